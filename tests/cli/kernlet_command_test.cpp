// `tr805q-cli kernlet`: a load on the page's own operations with the board's Kernlet options,
// and --inspect, which lists a file without a board.
#include "cli/commands/KernletCommand.h"
#include "link/Messages.h"
#include "tests/loading/KernletTestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using kltest::KernletHost;
using kltest::TempFiles;

struct CommandCase {
    const char* name;
    uint8_t kernletOptions;  // what the board reports
    bool corrupt;
    bool ignore;
    int exitCode;
    const char* out;
    const char* err;
};

TEST(KernletCommand, ExitCodesAndWhatItPrints) {
    TempFiles files;
    sim::KernletSampleSpec good;
    sim::KernletSampleSpec bad;
    bad.corruptBlock = 0;
    const std::string goodPath = files.Sample("good.h", good);
    const std::string badPath = files.Sample("bad.h", bad);
    const CommandCase cases[] = {
        {"clean", 0, false, false, 0,
         "Kernlet loaded into Z-LINK device 2: 2 blocks, product ID 0x0805, Kernlet version 0x0103, "
         "checksums match\n",
         ""},
        {"register checksums differ", 0, true, false, 5, "", "Checksums do not match:\nBlock 1 Checksum: 0x"},
        {"register checksums differ, ignored", 0, true, true, 0,
         "Kernlet loaded into Z-LINK device 2: 2 blocks, product ID 0x0805, Kernlet version 0x0103, "
         "checksums differ\n",
         "Checksums do not match:\nBlock 1 Checksum: 0x"},
        {"reply words differ", 2, true, false, 5,
         "Kernlet loaded into Z-LINK device 2: 2 blocks, product ID 0x0805, Kernlet version 0x0103, "
         "checksums differ\n",
         ""},
        {"reply words differ, ignored", 2, true, true, 0,
         "Kernlet loaded into Z-LINK device 2: 2 blocks, product ID 0x0805, Kernlet version 0x0103, "
         "checksums differ\n",
         ""},
    };
    for (const CommandCase& c : cases) {
        sim::BoardConfig config;
        config.kernletOptions = c.kernletOptions;
        KernletHost host(config);
        std::ostringstream out, err;
        KernletCommandOptions options;
        options.device = 2;
        options.ignoreChecksums = c.ignore;
        EXPECT_EQ(RunKernletCommand(host, c.corrupt ? badPath : goodPath, options, out, err), c.exitCode)
            << c.name;
        EXPECT_EQ(out.str(), c.out) << c.name;
        EXPECT_EQ(err.str().substr(0, std::string(c.err).size()), c.err) << c.name;
        EXPECT_EQ(host.Requests().front(), "7E 0F") << c.name << ": the board's Kernlet options first";
    }

    // Refusals, missing files and bad devices fail with 1, a lost board with 2.
    {
        KernletHost host;
        host.simBoard.faults().refusals = 1;
        std::ostringstream out, err;
        EXPECT_EQ(RunKernletCommand(host, goodPath, {}, out, err), 1);
        EXPECT_EQ(host.prompts.messages.at(0).text, "Error - Unable to load Kernlet - WT_KL_LOAD_FAIL 6");
    }
    {
        KernletHost host;
        std::ostringstream out, err;
        EXPECT_EQ(RunKernletCommand(host, (files.Path() / "none.h").string(), {}, out, err), 1);
        EXPECT_EQ(RunKernletCommand(host, goodPath, {4, false}, out, err), 1);
        EXPECT_EQ(err.str(), "The device must be 1, 2 or 3\n");
        EXPECT_EQ(RunKernletCommand(host, goodPath, {0, false}, out, err), 1);
    }
    {
        KernletHost host;
        host.simBoard.faults().noReply = true;
        std::ostringstream out, err;
        EXPECT_EQ(RunKernletCommand(host, goodPath, {}, out, err), 2);
        EXPECT_TRUE(host.prompts.QuitPosted());
    }
    {
        KernletHost host;
        host.simBoard.faults().closeAfterBytes = 30;
        std::ostringstream out, err;
        EXPECT_EQ(RunKernletCommand(host, goodPath, {}, out, err), 2);
        ASSERT_EQ(host.prompts.messages.size(), 1u);
        EXPECT_EQ(host.prompts.messages[0].text, kMsgNoCommunication);
        EXPECT_NE(host.prompts.messages[0].detail, "") << "the port's own words";
    }
}

TEST(KernletCommand, InspectListsBlocksWithoutABoard) {
    TempFiles files;
    std::string words;
    for (int i = 0; i < 100; ++i) words += i ? ", 0x0001" : "0x0001";
    const std::string path =
        files.Write("k.h",
                    "#define N_DB 0x03\n"
                    "#define A 0x0100\n#define L 0x0064\n#define CH 0x1234\n#define CL 0xABCD\n" +
                        words +
                        "\n"
                        "#define A 0x0200\n#define L 0x0002\n#define CH 0x0000\n#define CL 0x0001\n"
                        "0x0001, 0x0002, 0x0003\n#define E 0x0100\n");
    std::ostringstream out, err;
    EXPECT_EQ(RunKernletInspect(path, out, err), 1);
    EXPECT_EQ(
        out.str(),
        "Lines: 12\n"
        "Block count: 3\n"
        "Block  Address  Words  Checksum    Chunks\n"
        "    1  0x0100    100  0x1234ABCD       3\n"
        "    2  0x0200      2  0x00000001       1\n"
        "Block 2 never completes: the file ends inside it, or its last line holds words beyond its length\n"
        "Final address: none (no end record: the board would not report the load complete)\n");
    EXPECT_EQ(err.str(),
              "Error - Block 2 of the Kernlet file never completes: its length is 2 words, and the line with "
              "its last "
              "word holds more\n");
    {
        // Loading it is refused before the board hears of it.
        KernletHost host;
        std::ostringstream loadOut, loadErr;
        EXPECT_EQ(RunKernletCommand(host, path, {}, loadOut, loadErr), 1);
        EXPECT_EQ(host.Requests(), std::vector<std::string>{"7E 0F"}) << "only the board's Kernlet options";
        EXPECT_EQ(loadOut.str(), "");
    }
    err.str("");

    sim::KernletSampleSpec spec;
    spec.blocks = 51;
    spec.wordsPerBlock = 1;
    std::ostringstream out2;
    EXPECT_EQ(RunKernletInspect(files.Sample("big.h", spec), out2, err), 0);
    EXPECT_NE(out2.str().find("Final address: 0x0100\nThis file has 51 blocks; a load takes at most 50\n"),
              std::string::npos);

    std::ostringstream out3, err3;
    EXPECT_EQ(RunKernletInspect((files.Path() / "none.h").string(), out3, err3), 1);
    EXPECT_EQ(err3.str(), "Error - Cannot open the specified file\n");
    std::ostringstream out4, err4;
    EXPECT_EQ(RunKernletInspect(files.Write("empty.h", "hello\n"), out4, err4), 1);
    EXPECT_EQ(out4.str(), "Lines: 1\nNo \"#define N_DB\" line: nothing would be loaded\n");
    EXPECT_EQ(err4.str(), "Error - The Kernlet file has no \"#define N_DB\" line\n");
    std::ostringstream out5, err5;
    EXPECT_EQ(RunKernletInspect("/proc/self/mem", out5, err5), 1) << "a file whose reads fail";
    EXPECT_EQ(err5.str(), "Error - Cannot open the specified file\n");
}

}  // namespace
