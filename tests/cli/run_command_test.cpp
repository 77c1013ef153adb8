// `tr805q-cli run`: the results list on standard output, dialogs answered from the answers and
// then from standard input, and the exit codes.
#include "cli/commands/RunCommand.h"
#include "core/ExitCodes.h"
#include "tests/script/run_support.h"
#include "tests/support/SimHost.h"

#include <filesystem>
#include <sstream>

namespace runtest {
namespace {

struct CommandResult {
    int code;
    std::string out, err;
};

class RunCommandTest : public testing::Test {
protected:
    CommandResult Run(const std::string& script, std::vector<std::string> answers = {},
                      const std::string& input = {}) {
        const std::string path = folder.Write("cmd.mbs", script);
        std::istringstream in(input);
        std::ostringstream out, err;
        script::RunCommandOptions options;
        options.answers = std::move(answers);
        options.listingDirectory = folder.Path();
        const int code = script::RunScriptCommand(host, path, options, in, out, err);
        return {code, out.str(), err.str()};
    }

    TempFolder folder;
    SimHost host;
};

TEST_F(RunCommandTest, PrintsEachCompletedLineAndEndsWith0) {
    const CommandResult r = Run("        disp \"a\\c\"\n        disp \"b %u\" 7\n        stop\n");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Script running...\nab 7\nScript finished\n");
}

TEST_F(RunCommandTest, ExitCodesForEachEnd) {
    struct Case {
        const char* script;
        int code;
        const char* lastLine;
    };
    const Case cases[] = {
        {"        return\n", 3, "Error Stack underflow at line 1"},
        {"n       word    0\n        fopenr \"none.txt\" \"%d\" n\n        stop\n", 3,
         "Error: Unable to open file: none.txt"},
        {"        dialog \"x\"\n        stop\n", 4, "Script aborted at line 1"},  // no answers, no input
        {"        frobnicate\n", 1, "Line 1: Error unrecognised command"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        const CommandResult r = Run(c.script);
        EXPECT_EQ(r.code, c.code);
        ASSERT_FALSE(r.out.empty());
        std::string last = r.out.substr(0, r.out.size() - 1);
        last = last.substr(last.find_last_of('\n') + 1);
        EXPECT_EQ(last, c.lastLine);
    }
    std::ostringstream out, err;
    std::istringstream in;
    EXPECT_EQ(script::RunScriptCommand(host, folder.File("absent.mbs"), {}, in, out, err), 1);
    EXPECT_EQ(host.prompts.messages.back().text, "Error - Unable to open file");
}

TEST_F(RunCommandTest, DataThatCannotBeStoredEndsWithAFileErrorNotFinished) {
    std::filesystem::create_symlink("/dev/full", folder.File("out.txt"));
    const CommandResult r = Run("        fopenw \"out.txt\"\n        filew \"%u\" 7\n        stop\n");
    EXPECT_EQ(r.out, "Script running...\nError: Unable to store data: out.txt\n");
    EXPECT_EQ(r.code, kCliScriptError);
}

TEST_F(RunCommandTest, DialogsTakeTheAnswersInOrderThenStandardInput) {
    const CommandResult r =
        Run("a       word    5\n"
            "        dialog \"Hello %u\" a\n"
            "        dialogyesno \"Sure?\" a\n"
            "        dialogentry \"Value %x\" a\n"
            "        disp \"value %u\" a\n"
            "        dialogentry \"Again %u\" a\n"
            "        disp \"again %u\" a\n"
            "        stop\n",
            {"ok", "maybe", "no", "abc", "$1F"}, "\n");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Script running...\nvalue 31\nagain 31\nScript finished\n");
    // Prompts, the entry's error, and the empty input line keeping the proposed value.
    EXPECT_NE(r.err.find("Script Message-Script Paused: Hello 5 [OK/cancel] ok\n"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Sure? [Yes/no/abort] maybe\n"), std::string::npos);
    EXPECT_NE(r.err.find("Sure? [Yes/no/abort] no\n"), std::string::npos);
    EXPECT_NE(r.err.find("Value 0 [$0] abc\n"), std::string::npos);
    ASSERT_EQ(host.prompts.messages.size(), 1u);  // the program's own boxes go to the host's prompts
    EXPECT_EQ(host.prompts.messages[0].text, "Error - Value must be hexadecimal or integer");
    EXPECT_NE(r.err.find("Again 31 [31] "), std::string::npos);
}

TEST_F(RunCommandTest, CancelAbortsWith4) {
    const CommandResult r = Run("        dialog \"Stop?\"\n        stop\n", {"cancel"});
    EXPECT_EQ(r.code, 4);
    EXPECT_EQ(r.out, "Script running...\nScript aborted at line 1\n");
}

TEST_F(RunCommandTest, InterruptAbortsAnEndlessScript) {
    const std::string path = folder.Write("loop.mbs", "loop    jmp loop\n");
    std::atomic<bool> interrupt{true};
    script::RunCommandOptions options;
    options.listingDirectory = folder.Path();
    options.interrupt = &interrupt;
    std::istringstream in;
    std::ostringstream out, err;
    EXPECT_EQ(script::RunScriptCommand(host, path, options, in, out, err), 4);
    EXPECT_EQ(out.str(), "Script running...\nScript aborted at line 1\n");
}

TEST_F(RunCommandTest, LostBoardEndsWith2) {
    host.simBoard.faults().closeAfterBytes = 20;  // the line goes during the download
    const CommandResult r = Run("        disp \"x\"\n        stop\n");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(host.prompts.messages.size(), 1u);
    EXPECT_EQ(host.prompts.messages[0].text, std::string(kMsgNoCommunication) + "4");
    EXPECT_TRUE(host.prompts.QuitPosted());
}

}  // namespace
}  // namespace runtest
