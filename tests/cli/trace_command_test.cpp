// `tr805q-cli trace`: the rows the trace window lists, or the whole trace saved or exported as
// the window does, with register names from configuration files.
#include "cli/commands/TraceCommand.h"
#include "tests/script/TraceTestSupport.h"

#include <sstream>

namespace {

class TraceCommandTest : public testing::Test {
protected:
    void Accesses(int n) { tracetest::Accesses(host, n); }
    std::vector<std::string> TraceRequests() const { return tracetest::TraceRequests(host); }

    TempFolder folder;
    SimHost host;
};

TEST_F(TraceCommandTest, AnUnwritableDestinationIsRefusedBeforeTheBoardIsAsked) {
    Accesses(3);
    std::ostringstream out;
    tracetest::ExpectUnwritableDestinationsRefused(host, folder,
                                                   {{"tr805q-cli trace --save", [&](const std::string& path) {
                                                         return RunTraceCommand(host, "0", path, out) == 1;
                                                     }}});
    EXPECT_EQ(out.str(), "");
}

TEST_F(TraceCommandTest, CommandExportsWithNamesFromConfigurationFiles) {
    Accesses(2);
    std::string config;
    for (int r = 1; r <= 40; ++r) {
        char header[24];
        std::snprintf(header, sizeof header, "Register:%03d\r\n", r);
        config += header + std::string(r == 1 ? "Gain\r\n20\r\n02\r\n\r\n0\r\n" : "\r\n\r\n00\r\n\r\n0\r\n");
    }
    TraceCommandOptions options;
    options.savePath = folder.File("cli.csv");
    options.format = TraceFileFormat::Csv;
    options.nameFiles = {folder.Write("names.txt", config)};
    options.device = 2;
    std::ostringstream out;
    ASSERT_EQ(RunTraceCommand(host, options, out), 0);
    EXPECT_NE(folder.Read("cli.csv").find(",0x00001,Gain\r\n1,2,write,0x20,0x0001"), std::string::npos)
        << folder.Read("cli.csv");
    // Named for another device, the rows name nothing here.
    options.device = 1;
    options.format = TraceFileFormat::Vcd;
    options.savePath = folder.File("cli.vcd");
    ASSERT_EQ(RunTraceCommand(host, options, out), 0);
    EXPECT_NE(folder.Read("cli.vcd").find(" dev2_reg20 [15:0]"), std::string::npos);
    // A file that is no configuration file is refused with the table page's message.
    options.nameFiles = {folder.Write("bad.txt", "nothing\r\n")};
    host.requests.clear();
    EXPECT_EQ(RunTraceCommand(host, options, out), 1);
    EXPECT_EQ(host.prompts.messages.back().text, "Error - Unable to read config file");
    EXPECT_TRUE(TraceRequests().empty());
}

TEST_F(TraceCommandTest, CommandPrintsTheRowsOrSavesTheFile) {
    Accesses(3);
    std::ostringstream out;
    EXPECT_EQ(RunTraceCommand(host, "1", "", out), 0);
    std::istringstream lines(out.str());
    std::string l;
    std::getline(lines, l);
    EXPECT_EQ(l, "Trace Address\tTimestamp (us)\tZ-LINK\tDevice\tAddress\tBytes per Access\tAccess\tData");
    std::getline(lines, l);
    EXPECT_EQ(l.substr(0, 8), "0x00001\t") << l;
    std::getline(lines, l);
    std::getline(lines, l);
    EXPECT_EQ(l, "0x00003\tNO DATA");
    EXPECT_EQ(RunTraceCommand(host, "20000", "", out), 1);
    EXPECT_EQ(host.prompts.messages.back().text, "Error - Trace start address must be 0x00000 to 0x20000");
    EXPECT_EQ(RunTraceCommand(host, "", folder.File("cli.txt"), out), 0);
    EXPECT_EQ(folder.Read("cli.txt").substr(0, 62),
              "Note: Ordered from last Z-LINK access to first Z-LINK access\r\n");
    host.simBoard.faults().noReply = true;
    EXPECT_EQ(RunTraceCommand(host, "0", "", out), 2);
}

}  // namespace
