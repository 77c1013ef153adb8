// tr805q-cli command lines on one prepared board, each with its whole standard output, standard
// error and exit code: what one command line leaves on the simulated board, the next one sees.
#include "cli/Cli.h"
#include "cli/CliSession.h"
#include "core/Texts.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

struct Step {
    std::vector<const char*> args;
    int code;
    std::string out, err;
};

class CommandLinesTest : public testing::Test {
protected:
    static SimulatedBoardSetup Logged(std::vector<std::string>& requests) {
        SimulatedBoardSetup setup;
        setup.requestLog = &requests;
        return setup;
    }

    void Run(CliSession& on, const std::vector<Step>& steps) {
        for (const Step& s : steps) {
            std::string line;
            for (const char* a : s.args) line += std::string(line.empty() ? "" : " ") + a;
            SCOPED_TRACE(line);
            std::vector<const char*> argv{"tr805q-cli"};
            argv.insert(argv.end(), s.args.begin(), s.args.end());
            out.str("");
            err.str("");
            EXPECT_EQ(RunCli(static_cast<int>(argv.size()), argv.data(), on, out, err), s.code);
            EXPECT_EQ(out.str(), s.out);
            EXPECT_EQ(err.str(), s.err);
        }
    }

    std::ostringstream out, err;
    std::vector<std::string> requests;
    CliSession session{err, ComSettings{}, true, Logged(requests)};
};

TEST_F(CommandLinesTest, RegistersKeepWhatTheLastCommandLineWrote) {
    Run(session, {
                     {{"write", "2a", "00ab"}, kCliOk, "", ""},
                     {{"read", "2a"}, kCliOk, "00AB\n", ""},
                     {{"read", "2A", "--8bit"}, kCliOk, "AB\n", ""},
                     {{"--device", "2", "write", "2a", "1234"}, kCliOk, "", ""},
                     {{"--device", "2", "read", "2a"}, kCliOk, "1234\n", ""},
                     {{"read", "2a"}, kCliOk, "00AB\n", ""},
                     {{"write", "2a", "12345"},
                      kCliInvalid,
                      "",
                      "Error - Register data has at most 4 hexadecimal digits\n"},
                     {{"write", "2a", "77", "--8bit"}, kCliOk, "", ""},
                     {{"read", "2a"}, kCliOk, "0077\n", ""},
                 });
    EXPECT_EQ(requests.front(), "7E 03 2A 00 AB 01");
}

// Every command that needs the board ends the same way when it does not answer: the one report
// on standard error, nothing on standard output, exit code 2.
TEST_F(CommandLinesTest, EveryBoardCommandReportsALostBoardOnceAndEndsWith2) {
    session.SimulatedBoard()->faults().noReply = true;
    const std::string lost = std::string(kMsgNoCommunication) + "\n";
    Run(session, {
                     {{"info"}, kCliLostBoard, "", lost},
                     {{"read", "20"}, kCliLostBoard, "", lost},
                     {{"write", "20", "1"}, kCliLostBoard, "", lost},
                     {{"reset"}, kCliLostBoard, "", lost},
                     {{"trace"}, kCliLostBoard, "", lost},
                     // The board's Kernlet options are read before the file.
                     {{"kernlet", "/nonexistent/k.h"}, kCliLostBoard, "", lost},
                 });
    EXPECT_FALSE(requests.empty());
}

// A port that does not open: the port's own words, then the window's text; nothing runs.
TEST_F(CommandLinesTest, APortThatDoesNotOpenEndsWith2BeforeTheCommand) {
    CliSession real(err, ComSettings{}, false);
    Run(real, {
                  {{"--port", "/nonexistent/tty", "info"},
                   kCliLostBoard,
                   "",
                   "Cannot open /nonexistent/tty (No such file or directory)\n"
                   "The device is not there: plug the adapter in again, or choose another port.\n"
                   "Unable to open /nonexistent/tty.\nCheck board connection to COM port.\n"},
                  // A command without a board does not open the port.
                  {{"--port", "/nonexistent/tty", "compile", "/nonexistent/x.mbs"},
                   kCliInvalid,
                   "",
                   "Error - Unable to open file\n"},
              });
}

}  // namespace
