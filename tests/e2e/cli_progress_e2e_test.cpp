// tr805q-cli decides by itself whether standard error is a terminal: the real executable on a
// pseudo-terminal draws the bar, the same command into a pipe writes nothing but its result.
#include "tests/e2e/Process.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

TEST(CliProgressE2e, ATerminalSeesTheBarAPipeSeesNothing) {
    const TempFolder folder("tr805q-progress");
    const fs::path& home = folder.Path();
    const std::vector<std::string> env = {"XDG_CONFIG_HOME=" + home.string(), "HOME=" + home.string()};
    const std::string file = (home / "trace.txt").string();
    const std::vector<std::string> args = {TR805Q_CLI_EXE, "--simulate", "--fill-trace", "5000", "trace",
                                           "--save",       file};

    const ProcessResult terminal = RunProcessOnTerminal(args, env);
    EXPECT_EQ(terminal.exitCode, 0) << terminal.err;
    EXPECT_EQ(terminal.out, "");
    // Begin, the blocks of 2048 entries, and the last count at the end, each over the one before.
    EXPECT_EQ(terminal.err,
              "\rSaving trace [....................]   0% 0/131072 entries"
              "\rSaving trace [....................]   1% 2048/131072 entries"
              "\rSaving trace [....................]   3% 4096/131072 entries"
              "\rSaving trace [....................]   3% 5000/131072 entries\n");

    const ProcessResult pipe = RunProcess(args, env);
    EXPECT_EQ(pipe.exitCode, 0);
    EXPECT_EQ(pipe.err, "");
    EXPECT_EQ(pipe.out, "");
}

}  // namespace
