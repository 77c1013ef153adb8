#include "cli/Cli.h"

#include "cli/CliSession.h"
#include "cli/PortsCommand.h"
#include "link/BoardInfoText.h"
#include "link/LostBoard.h"
#include "link/Messages.h"
#include "core/Version.h"
#include "loading/KernletCommand.h"
#include "registers/RegisterTable.h"
#include "registers/TraceCommand.h"
#include "script/CompileCommand.h"
#include "script/RunCommand.h"
#include "registers/ZLINKControl.h"

#include <CLI/CLI.hpp>

#include <atomic>
#include <charconv>
#include <csignal>
#include <iostream>
#include <functional>
#include <ostream>
#include <string>

namespace {

// Ctrl-C while a script runs aborts the script, as the page's Abort button does.
std::atomic<bool> gInterrupted{false};
extern "C" void OnInterrupt(int) { gInterrupted = true; }

// Faster than any serial line a kit has.
constexpr uint32_t kMaxLineRate = 100'000'000;

std::string FillTraceCheck(const std::string& text) {
    size_t n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size()) return "expects a number of trace entries";
    if (n > sim::Board::kTraceEntries) {
        return "the trace memory holds at most " + std::to_string(sim::Board::kTraceEntries) + " (0x20000) entries";
    }
    return {};
}

int ExitFor(PageResult r) {
    switch (r) {
        case PageResult::Ok: return kCliOk;
        case PageResult::Invalid: return kCliInvalid;
        case PageResult::LostBoard: return kCliLostBoard;
        case PageResult::Failed: return kCliInvalid;
    }
    return kCliInvalid;
}

// A register text from the command line in upper case, as a field turns it when typed, but
// whole: the length is checked, never cut.
std::string TypedText(const std::string& typed) { return EntryText(typed, typed.size()); }

// The page's checks and messages, with the field lengths a shell does not enforce.
bool TypedTextsValid(CliSession& s, const std::string& address, const std::string* data,
                     RegWidth width) {
    const std::string error = ValidateTypedRegisterTexts(address, data, width);
    if (error.empty()) return true;
    ShowError(s.Prompts(), error);
    return false;
}

// The board lines of the About box, from what the board reports about itself.
int RunInfo(CliSession& s, std::ostream& out) {
    BoardInfo info;
    FirmwareVersion version;
    FirmwareCode code = 0;
    CMB805QBrd& board = s.Board();
    if (!board.GetBoardInfo(info) || !board.GetFirmwareVersion(version) ||
        !board.GetFirmwareCode(code)) {
        return ExitFor(PageLostBoard(s));
    }
    for (const std::string& line : BoardInfoLines(info, version, code)) out << line << '\n';
    return kCliOk;
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

int RunCli(int argc, const char* const* argv, const ComSettings& stored, std::ostream& out,
           std::ostream& err, const SimulatedBoardSetup& simulated, bool errIsTerminal) {
    return RunCli(argc, argv, [&stored] { return stored; }, out, err, simulated, errIsTerminal);
}

int RunCli(int argc, const char* const* argv, const StoredSettingsReader& stored, std::ostream& out,
           std::ostream& err, const SimulatedBoardSetup& simulated, bool errIsTerminal) {
    CLI::App app{"TR805Q: controls the MB805Q evaluation kit from a shell.", "tr805q-cli"};
    app.set_version_flag("--version", std::string("tr805q-cli ") + kVersionSuffix);
    app.require_subcommand(1);

    ConnectOptions connect;
    bool simulate = false;
    int device = 1;
    app.add_option("--port", connect.port, "COM number (3 or COM3) or device path; default: the stored port");
    app.add_option("--baud", connect.baud, "Baud rate; default: the stored rate");
    app.add_option("--device", device, "Target device on the Z-LINK bus")->check(CLI::Range(1, 3));
    auto* simulateFlag =
        app.add_flag("--simulate", simulate, "Use a simulated board in this process instead of a port");
    bool quiet = false;
    app.add_flag("--quiet", quiet, "Draw no progress of long operations on standard error");
    SimulatedBoardSetup board = simulated;
    app.add_option("--line-rate", board.lineRate,
                   "With --simulate: move every byte at the wire time of a serial line of BAUD (10 bits a "
                   "byte), as on the kit")
        ->check(CLI::Range(uint32_t{0}, kMaxLineRate).description(""))
        ->type_name("BAUD")
        ->needs(simulateFlag);
    app.add_option("--fill-trace", board.config.fillTrace,
                   "With --simulate: the board starts with N trace entries recorded")
        ->check(FillTraceCheck)
        ->type_name("N")
        ->needs(simulateFlag);

    std::function<int(CliSession&)> command;

    auto* info = app.add_subcommand("info", "Print what the board reports about itself");
    info->callback([&] { command = [&](CliSession& s) { return RunInfo(s, out); }; });

    std::string readAddress;
    bool read8 = false;
    auto* read = app.add_subcommand("read", "Read a register and print its value in hex");
    read->add_option("ADDR", readAddress, "Register address, hex")->required();
    read->add_flag("--8bit", read8, "8-bit access (default 16-bit)");
    read->callback([&] {
        command = [&](CliSession& s) {
            CZLINKControl page(s);
            page.readAddress = TypedText(readAddress);
            page.readWidth = read8 ? RegWidth::Bits8 : RegWidth::Bits16;
            if (!TypedTextsValid(s, page.readAddress, nullptr, page.readWidth)) return kCliInvalid;
            page.device1 = device == 1;
            page.device2 = device == 2;
            const PageResult r = page.Read();
            if (r == PageResult::Ok) out << page.readData << '\n';
            return ExitFor(r);
        };
    });

    std::string writeAddress, writeData;
    bool write8 = false;
    auto* write = app.add_subcommand("write", "Write a register");
    write->add_option("ADDR", writeAddress, "Register address, hex")->required();
    write->add_option("DATA", writeData, "Value, hex")->required();
    write->add_flag("--8bit", write8, "8-bit access (default 16-bit)");
    write->callback([&] {
        command = [&](CliSession& s) {
            CZLINKControl page(s);
            page.writeAddress = TypedText(writeAddress);
            page.writeData = TypedText(writeData);
            page.writeWidth = write8 ? RegWidth::Bits8 : RegWidth::Bits16;
            if (!TypedTextsValid(s, page.writeAddress, &page.writeData, page.writeWidth)) {
                return kCliInvalid;
            }
            page.device1 = device == 1;
            page.device2 = device == 2;
            return ExitFor(page.Write());
        };
    });

    auto* reset = app.add_subcommand("reset", "General reset of the target device");
    reset->callback([&] {
        command = [&](CliSession& s) {
            CZLINKControl page(s);
            page.device1 = device == 1;
            page.device2 = device == 2;
            return ExitFor(page.GenReset());
        };
    });

    std::string tablePath;
    bool tableWrite = false, tableRead = false, tableBoth = false;
    auto* table = app.add_subcommand(
        "table", "Load a register configuration file and run its enabled rows on the board");
    table->add_option("FILE", tablePath, "Configuration file, as saved by a register table page")
        ->required();
    auto* wr = table->add_flag("--write", tableWrite, "Write the enabled rows of a write type (Wr all)");
    auto* rd = table->add_flag("--read", tableRead, "Read the enabled rows of a read type (Rd all)");
    auto* both = table->add_flag("--both", tableBoth, "Every enabled row (Wr\\Rd all; the default)");
    wr->excludes(rd)->excludes(both);
    rd->excludes(both);
    table->callback([&] {
        command = [&](CliSession& s) {
            CZLINKControlExt1 page(s);
            page.device1 = device == 1;
            page.device2 = device == 2;
            if (!page.LoadConfigFile(tablePath)) return kCliInvalid;
            page.onRowAccessed = [&](int row, const RegisterRow& r) {
                out << row << '\t' << kRowTypeNames[static_cast<size_t>(r.type)] << '\t'
                    << r.address << '\t' << r.data << '\n';
            };
            const AllRowsRun run = tableWrite  ? AllRowsRun::Write
                                   : tableRead ? AllRowsRun::Read
                                               : AllRowsRun::Both;
            return ExitFor(page.RunAll(run));
        };
    });

    // Commands that need no board.
    std::function<int()> offline;

    std::string compilePath;
    bool compileImage = false;
    auto* compile = app.add_subcommand("compile", "Compile a script as the script page does (no board needed)");
    compile->add_option("FILE", compilePath, "Script file (.mbs)")->required();
    compile->add_flag("--image", compileImage, "Print the frames a run would send, one per line");
    compile->callback([&] {
        offline = [&] { return script::RunCompileCommand(compilePath, compileImage, out, err); };
    });

    std::string kernletPath;
    bool kernletInspect = false;
    KernletCommandOptions kernletOptions;
    auto* kernlet = app.add_subcommand("kernlet", "Load a Kernlet file into the target device and verify it");
    kernlet->add_option("FILE", kernletPath, "Kernlet image file")->required();
    kernlet->add_flag("--inspect", kernletInspect, "List the file's blocks without a board");
    kernlet->add_flag("--ignore-checksums", kernletOptions.ignoreChecksums,
                      "Report differing checksums but end with success");
    kernlet->callback([&] {
        if (kernletInspect) {
            offline = [&] { return RunKernletInspect(kernletPath, out, err); };
            return;
        }
        command = [&](CliSession& s) {
            kernletOptions.device = static_cast<uint8_t>(device);
            return RunKernletCommand(s, kernletPath, kernletOptions, out, err);
        };
    });

    std::string runPath;
    script::RunCommandOptions runOptions;
    auto* run = app.add_subcommand("run", "Compile and run a script on the board, serving its text, dialogs and files");
    run->add_option("FILE", runPath, "Script file (.mbs); its data files lie beside it")->required();
    run->add_option("--answer", runOptions.answers,
                    "Answers to the script's dialogs, in order; then standard input is asked");
    run->callback([&] {
        command = [&](CliSession& s) {
            gInterrupted = false;
            runOptions.interrupt = &gInterrupted;
            auto previous = std::signal(SIGINT, OnInterrupt);
            const int code = script::RunScriptCommand(s, runPath, runOptions, std::cin, out, err);
            std::signal(SIGINT, previous);
            return code;
        };
    });

    TraceCommandOptions traceOptions;
    auto* trace = app.add_subcommand("trace", "Read the board's trace of bus accesses");
    trace->add_option("--start", traceOptions.start, "First trace address to list, hex (default 00000)");
    auto* traceSave = trace->add_option("--save", traceOptions.savePath,
                                        "Save the whole trace to FILE as the trace window does");
    std::string traceFormat = "text";
    trace->add_option("--format", traceFormat,
                      "File format of --save: text (the trace file, default), csv, vcd, or vcd-bits "
                      "(VCD of 1-bit signals, for PulseView 0.4)")
        ->check(CLI::IsMember({"text", "csv", "vcd", "vcd-bits"}))
        ->option_text("text|csv|vcd|vcd-bits")
        ->needs(traceSave);
    trace->add_option("--names", traceOptions.nameFiles,
                      "Register configuration file whose descriptions name registers of --device (csv, vcd)")
        ->option_text("CONFIG")
        ->needs(traceSave);
    trace->callback([&] {
        command = [&](CliSession& s) {
            traceOptions.device = static_cast<uint8_t>(device);
            traceOptions.format = traceFormat == "csv"        ? TraceFileFormat::Csv
                                  : traceFormat == "vcd"      ? TraceFileFormat::Vcd
                                  : traceFormat == "vcd-bits" ? TraceFileFormat::VcdBits
                                                              : TraceFileFormat::Text;
            return RunTraceCommand(s, traceOptions, out);
        };
    });

    auto* ports = app.add_subcommand("ports", "List the COM ports: device, stable name, USB adapter or simulated board");
    ports->callback([&] {
        offline = [&] {
            PortTable portTable = PortTable::ForCurrentUser();
            return RunPortsCommand(portTable, out);
        };
    });

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e, out, err);
    }
    if (offline) return offline();
    if (!command) return kCliInvalid;

    CliSession session(err, stored(), simulate, board, errIsTerminal && !quiet);
    if (!session.Connect(connect)) return kCliLostBoard;
    try {
        return command(session);
    } catch (const CSerialException& e) {
        // A port that fails during a board operation is a lost board.
        ReportLostBoardWithDetail(session.Prompts(), LostBoardText(), PortFailureText(e));
        return kCliLostBoard;
    }
}
