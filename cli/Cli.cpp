#include "cli/Cli.h"

#include "cli/CliSession.h"
#include "cli/commands/CommandLine.h"
#include "cli/commands/CompileCommand.h"
#include "cli/commands/InfoCommand.h"
#include "cli/commands/KernletCommand.h"
#include "cli/commands/PortsCommand.h"
#include "cli/commands/RegisterCommand.h"
#include "cli/commands/RunCommand.h"
#include "cli/commands/TableCommand.h"
#include "cli/commands/TraceCommand.h"
#include "core/Version.h"
#include "link/LostBoard.h"
#include "link/Messages.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <ostream>
#include <string>

namespace {

// Faster than any serial line a kit has.
constexpr uint32_t kMaxLineRate = 100'000'000;

std::string FillTraceCheck(const std::string& text) {
    size_t n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size()) return "expects a number of trace entries";
    if (n > sim::Board::kTraceEntries) {
        return "the trace memory holds at most " + std::to_string(sim::Board::kTraceEntries) +
               " (0x20000) entries";
    }
    return {};
}

// The options before the command: which board, on which port, and how it reports.
void AddBoardOptions(CLI::App& app, CliOptions& o) {
    app.add_option("--port", o.connect.port,
                   "COM number (3 or COM3) or device path; default: the stored port");
    app.add_option("--baud", o.connect.baud, "Baud rate; default: the stored rate");
    app.add_option("--device", o.device, "Target device on the Z-LINK bus")->check(CLI::Range(1, 3));
    auto* simulateFlag =
        app.add_flag("--simulate", o.simulate, "Use a simulated board in this process instead of a port");
    app.add_flag("--quiet", o.quiet, "Draw no progress of long operations on standard error");
    app.add_option("--line-rate", o.board.lineRate,
                   "With --simulate: move every byte at the wire time of a serial line of BAUD (10 bits a "
                   "byte), as on the kit")
        ->check(CLI::Range(uint32_t{0}, kMaxLineRate).description(""))
        ->type_name("BAUD")
        ->needs(simulateFlag);
    app.add_option("--fill-trace", o.board.config.fillTrace,
                   "With --simulate: the board starts with N trace entries recorded")
        ->check(FillTraceCheck)
        ->type_name("N")
        ->needs(simulateFlag);
}

// In the order --help lists them.
void AddCommands(CLI::App& app, CommandLine& line) {
    AddInfoCommand(app, line);
    AddRegisterCommands(app, line);
    AddTableCommand(app, line);
    AddCompileCommand(app, line);
    AddKernletCommand(app, line);
    AddRunCommand(app, line);
    AddTraceCommand(app, line);
    AddPortsCommand(app, line);
}

// The chosen command on the board of the session, once its port is open.
int RunOnBoard(const CommandLine& line, CliSession& session) {
    if (!session.Connect(line.options.connect)) return kCliLostBoard;
    try {
        return line.onBoard(session);
    } catch (const CSerialException& e) {
        // A port that fails during a board operation is a lost board.
        ReportLostBoardWithDetail(session.Prompts(), LostBoardText(), PortFailureText(e));
        return kCliLostBoard;
    }
}

// Parses the command line and runs what it chose: a command without a board at once, one with
// the board on the session that `session` gives for the options.
int Run(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
        const SimulatedBoardSetup& simulated, const std::function<int(const CommandLine&)>& onSession) {
    CommandLine line(out, err);
    line.options.board = simulated;
    CLI::App app{"TR805Q: controls the MB805Q evaluation kit from a shell.", "tr805q-cli"};
    app.set_version_flag("--version", std::string("tr805q-cli ") + kVersionSuffix);
    app.require_subcommand(1);
    AddBoardOptions(app, line.options);
    AddCommands(app, line);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e, out, err);
    }
    if (line.offline) return line.offline();
    if (!line.onBoard) return kCliInvalid;
    return onSession(line);
}

}  // namespace

int RunCli(int argc, const char* const* argv, const ComSettings& stored, std::ostream& out,
           std::ostream& err) {
    return RunCli(argc, argv, stored, out, err, SimulatedBoardSetup{});
}

int RunCli(int argc, const char* const* argv, const StoredSettingsReader& stored, std::ostream& out,
           std::ostream& err) {
    return RunCli(argc, argv, stored, out, err, SimulatedBoardSetup{});
}

int RunCli(int argc, const char* const* argv, const ComSettings& stored, std::ostream& out, std::ostream& err,
           const SimulatedBoardSetup& simulated, bool errIsTerminal) {
    return RunCli(
        argc, argv, [&stored] { return stored; }, out, err, simulated, errIsTerminal);
}

int RunCli(int argc, const char* const* argv, const StoredSettingsReader& stored, std::ostream& out,
           std::ostream& err, const SimulatedBoardSetup& simulated, bool errIsTerminal) {
    return Run(argc, argv, out, err, simulated, [&](const CommandLine& line) {
        const CliOptions& o = line.options;
        CliSession session(err, stored(), o.simulate, o.board, errIsTerminal && !o.quiet);
        return RunOnBoard(line, session);
    });
}

int RunCli(int argc, const char* const* argv, CliSession& session, std::ostream& out, std::ostream& err) {
    return Run(argc, argv, out, err, SimulatedBoardSetup{},
               [&session](const CommandLine& line) { return RunOnBoard(line, session); });
}
