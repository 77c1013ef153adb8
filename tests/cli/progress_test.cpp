// tr805q-cli's progress of long operations: the bar's text, how it is redrawn in place, that a
// message starts on a line of its own, and that nothing is drawn off a terminal or with --quiet.
#include "cli/Cli.h"
#include "cli/CliSession.h"
#include "cli/TerminalProgress.h"
#include "sim/KernletDevice.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

TEST(TerminalProgress, LineShowsBarPercentAndCount) {
    struct Case {
        uint64_t done, total;
        const char* unit;
        const char* line;
    };
    const Case cases[] = {
        {0, 50, "blocks", "Loading Kernlet [....................]   0% 0/50 blocks"},
        {26, 50, "blocks", "Loading Kernlet [##########..........]  52% 26/50 blocks"},
        {49, 50, "blocks", "Loading Kernlet [###################.]  98% 49/50 blocks"},
        {50, 50, "blocks", "Loading Kernlet [####################] 100% 50/50 blocks"},
        {131072, 131072, "entries", "Loading Kernlet [####################] 100% 131072/131072 entries"},
        {5000, 131072, "entries", "Loading Kernlet [....................]   3% 5000/131072 entries"},
        {0, 0, "blocks", "Loading Kernlet [####################] 100% 0/0 blocks"},  // nothing to do
        {7, 5, "blocks", "Loading Kernlet [####################] 100% 7/5 blocks"},  // more than said
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TerminalProgress::Line("Loading Kernlet", c.done, c.total, c.unit), c.line);
    }
}

// The stream a run of calls leaves on the terminal: each drawn state after a carriage return,
// steps that change nothing visible left out, the last count always shown, then a line feed.
TEST(TerminalProgress, RedrawsInPlaceOnlyWhatChangesAndEndsTheLine) {
    auto state = [](uint64_t done, uint64_t total) {
        return "\r" + TerminalProgress::Line("Downloading script", done, total, "records");
    };
    struct Case {
        const char* name;
        uint64_t total;
        std::vector<uint64_t> steps;
        std::string drawn;
    };
    const Case cases[] = {
        {"every step visible",
         4,
         {1, 2, 3, 4},
         state(0, 4) + state(1, 4) + state(2, 4) + state(3, 4) + state(4, 4) + "\n"},
        // 1000 records: 101 to 1000 change the percentage only every tenth record.
        {"steps within one percent are not drawn",
         1000,
         {1, 2, 9, 10, 11, 1000},
         state(0, 1000) + state(10, 1000) + state(1000, 1000) + "\n"},
        {"an end below the total still shows the last count",
         1000,
         {10, 15},
         state(0, 1000) + state(10, 1000) + state(15, 1000) + "\n"},
        {"nothing done", 4, {}, state(0, 4) + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::ostringstream terminal;
        TerminalProgress progress(terminal, true);
        progress.Begin("Downloading script", c.total, "records");
        for (uint64_t done : c.steps) progress.Advance(done);
        progress.End();
        progress.End();  // a second End adds nothing
        EXPECT_EQ(terminal.str(), c.drawn);
    }
}

TEST(TerminalProgress, AMessageGetsALineOfItsOwnAndOffDrawsNothing) {
    std::ostringstream terminal;
    TerminalProgress progress(terminal, true);
    StreamPrompts prompts(terminal, progress);
    progress.Begin("Saving trace", 4, "entries");
    progress.Advance(1);
    prompts.MessageBox("Error - something", "Error", MsgIcon::Error, MsgButtons::Ok);
    progress.Advance(2);
    progress.End();
    prompts.MessageBox("after", "Error", MsgIcon::Error, MsgButtons::Ok);
    const auto state = [](uint64_t done) {
        return "\r" + TerminalProgress::Line("Saving trace", done, 4, "entries");
    };
    EXPECT_EQ(terminal.str(), state(0) + state(1) + "\nError - something\n" + state(2) + "\nafter\n");

    std::ostringstream log;
    TerminalProgress off(log, false);
    off.Begin("Saving trace", 4, "entries");
    off.Advance(4);
    off.BreakLine();
    off.End();
    EXPECT_EQ(log.str(), "");
}

struct CliRun {
    int code;
    std::string out, err;
};

CliRun RunCommandLine(std::vector<const char*> args, bool errIsTerminal) {
    args.insert(args.begin(), "tr805q-cli");
    std::ostringstream out, err;
    const int code = RunCli(static_cast<int>(args.size()), args.data(), ComSettings{}, out, err,
                            SimulatedBoardSetup{}, errIsTerminal);
    return {code, out.str(), err.str()};
}

// The commands' progress on a terminal, none off it or with --quiet; the board's messages come
// after the bar's line whatever it shows.
TEST(CliProgress, CommandsDrawTheirProgressOnATerminalOnly) {
    const TempFolder folder("cli-progress");
    const std::filesystem::path& dir = folder.Path();
    sim::KernletSampleSpec spec;
    spec.blocks = 3;
    const std::string kernlet = (dir / "three.h").string();
    ASSERT_TRUE(sim::WriteKernletFile(kernlet, spec));
    const std::string trace = (dir / "trace.txt").string();
    const std::string script = std::string(TR805Q_TEST_DATA_DIR) + "/compile/odd_even.mbs";
    const std::string listing = dir.string();
    const std::string kernletBar = "\r" + TerminalProgress::Line("Loading Kernlet", 3, 3, "blocks") + "\n";
    const std::string traceBar =
        "\r" + TerminalProgress::Line("Saving trace", 3000, 131072, "entries") + "\n";

    struct Case {
        std::vector<const char*> args;
        std::string lastBar;  // the bar's last state and its line end
    };
    const Case cases[] = {
        {{"--simulate", "kernlet", kernlet.c_str()}, kernletBar},
        {{"--simulate", "--fill-trace", "3000", "trace", "--save", trace.c_str()}, traceBar},
        {{"--simulate", "run", script.c_str()}, "records\n"},
    };
    const std::string cwd = std::filesystem::current_path();
    std::filesystem::current_path(listing);  // the compiler's listing goes beside the caller
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        const CliRun shown = RunCommandLine(c.args, true);
        EXPECT_EQ(shown.code, kCliOk) << shown.err;
        const size_t end = shown.err.find(c.lastBar);
        ASSERT_NE(end, std::string::npos) << shown.err;
        EXPECT_EQ(shown.err.rfind('\r', 0), 0u) << "the bar comes first";
        EXPECT_EQ(shown.err.find('\r', end + c.lastBar.size()), std::string::npos) << "nothing after its end";

        const CliRun log = RunCommandLine(c.args, false);
        EXPECT_EQ(log.code, kCliOk);
        EXPECT_EQ(shown.err.substr(end + c.lastBar.size()), log.err) << "the rest is as without a terminal";
        EXPECT_EQ(log.err.find('\r'), std::string::npos);

        std::vector<const char*> quietArgs = c.args;
        quietArgs.insert(quietArgs.begin(), "--quiet");
        const CliRun quiet = RunCommandLine(quietArgs, true);
        EXPECT_EQ(quiet.code, kCliOk);
        EXPECT_EQ(quiet.err, log.err);
        EXPECT_EQ(quiet.out, log.out);
    }
    std::filesystem::current_path(cwd);
    std::filesystem::remove_all(dir);
}

TEST(CliProgress, SimulatedBoardOptionsAreCheckedAndNeedTheSimulation) {
    const CliRun tooMany = RunCommandLine({"--simulate", "--fill-trace", "131073", "info"}, false);
    EXPECT_NE(tooMany.code, kCliOk);
    EXPECT_NE(tooMany.err.find("--fill-trace: the trace memory holds at most 131072 (0x20000) entries"),
              std::string::npos)
        << tooMany.err;
    const CliRun noSim = RunCommandLine({"--line-rate", "115200", "info"}, false);
    EXPECT_NE(noSim.code, kCliOk);
    EXPECT_NE(noSim.err.find("--line-rate requires --simulate"), std::string::npos) << noSim.err;
    // The whole trace memory is allowed; a listing shows the newest entry first.
    const CliRun full =
        RunCommandLine({"--simulate", "--fill-trace", "131072", "trace", "--start", "1FFFF"}, false);
    EXPECT_EQ(full.code, kCliOk) << full.err;
    EXPECT_NE(full.out.find("0x1FFFF\t"), std::string::npos);
    EXPECT_NE(full.out.find("0x20000\tNO DATA"), std::string::npos) << full.out;
}

}  // namespace
