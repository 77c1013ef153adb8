// The checksum warning's text, the simulated Kernlet device and its sample files, and the
// tr805q-cli Kernlet commands.
#include "link/Messages.h"
#include "loading/Checksums.h"
#include "loading/KernletCommand.h"
#include "loading/KernletFileReader.h"
#include "tests/loading/KernletTestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using kltest::KernletHost;
using kltest::TempFiles;

TEST(Checksums, EightUpperCaseDigitsPaddedWithZeros) {
    const std::pair<uint32_t, const char*> cases[] = {
        {0, "00000000"},          {0x1, "00000001"},        {0x1A, "0000001A"},  {0x1A2, "000001A2"},
        {0x1A2B, "00001A2B"},     {0xabcde, "000ABCDE"},    {0x123456, "00123456"}, {0xFEDCBA9, "0FEDCBA9"},
        {0xDEADBEEF, "DEADBEEF"}, {0xFFFFFFFF, "FFFFFFFF"},
    };
    for (const auto& [value, digits] : cases) EXPECT_EQ(CChecksums::Digits(value), digits);
    CChecksums c;
    c.block1 = 0x1A2B;
    c.block2 = 0;
    EXPECT_EQ(c.Block1Text(), "Block 1 Checksum: 0x00001A2B");
    EXPECT_EQ(c.Block2Text(), "Block 2 Checksum: 0x00000000");
}

TEST(KernletDevice, ChecksumRuleCountsOrderValuesAndAddress) {
    const std::vector<uint16_t> words = {0x0001, 0x0002, 0x0003};
    // first: 0x0100 + 1 + 2 + 3 = 0x0106; second: 0x0101 + 0x0103 + 0x0106 = 0x030A
    EXPECT_EQ(sim::BlockChecksum(0x0100, words), (sim::KernletChecksum{0x030A, 0x0106}));
    EXPECT_EQ(sim::BlockChecksum(0x0100, words).Value(), 0x030A0106u);
    EXPECT_NE(sim::BlockChecksum(0x0100, words), sim::BlockChecksum(0x0100, std::vector<uint16_t>{3, 2, 1}));
    EXPECT_NE(sim::BlockChecksum(0x0100, words), sim::BlockChecksum(0x0101, words));
    // Both sums wrap at 16 bits.
    EXPECT_EQ(sim::BlockChecksum(0xFFFF, std::vector<uint16_t>{0x0002}), (sim::KernletChecksum{0x0001, 0x0001}));
    EXPECT_EQ(sim::BlockChecksum(0x1234, nullptr, 0), (sim::KernletChecksum{0, 0x1234}));
}

TEST(KernletDevice, RegistersOfARunningKernlet) {
    sim::KernletDevice device;
    // Without a Kernlet: a plain register file.
    device.Write16(0x4D, 0x1111);
    device.Write16(0xC5, 0x2222);
    EXPECT_EQ(device.Read16(0x4D), 0x1111);
    EXPECT_EQ(device.Read16(0x4D), 0x1111);
    EXPECT_EQ(device.Read16(0xC5), 0x2222);
    EXPECT_EQ(device.Read16(0xC6), 0);

    sim::KernletImage image;
    image.blocks.push_back({0x0100, 2, {0x1122, 0x3344}});
    image.blocks.push_back({0x0200, 1, {0xAABB}});
    image.blocks.push_back({0x0300, 1, {0x0001}});
    image.finalAddress = 0x0100;
    device.KernletLoadStarted();
    device.KernletLoaded(image);
    const sim::KernletChecksum c1 = sim::BlockChecksum(0x0100, image.blocks[0].words);
    const sim::KernletChecksum c2 = sim::BlockChecksum(0x0200, image.blocks[1].words);
    const sim::KernletChecksum c3 = sim::BlockChecksum(0x0300, image.blocks[2].words);
    EXPECT_EQ(device.Read16(0xC5), 0x0805);
    EXPECT_EQ(device.Read16(0xC9), 0x0103);
    EXPECT_EQ(device.Read16(0xB8), c1.high);
    EXPECT_EQ(device.Read16(0xB9), c1.low);
    EXPECT_EQ(device.Read16(0xA9), c2.high);
    EXPECT_EQ(device.Read16(0xAA), c2.low);
    EXPECT_EQ(device.Read16(0xC6), 1);
    // Reply words: every block's checksum, then product ID and version, then 0.
    std::vector<uint16_t> reply;
    for (int i = 0; i < 9; ++i) reply.push_back(device.Read16(0x4D));
    EXPECT_EQ(reply, (std::vector<uint16_t>{c1.high, c1.low, c2.high, c2.low, c3.high, c3.low, 0x0805, 0x0103, 0}));
    // The run status shows the started bit from the third look on.
    EXPECT_EQ(device.Read16(0x7E), 0);
    EXPECT_EQ(device.Read16(0x7E), 0);
    EXPECT_EQ(device.Read16(0x7E), 0x2000);
    EXPECT_EQ(device.Read16(0x7E), 0x2000);

    // A reset restarts the Kernlet: status bit 0 of 0xC6 at once, reply words and run status anew.
    device.Reset();
    EXPECT_EQ(device.Read16(0xC6), 1);
    EXPECT_EQ(device.Read16(0x7E), 0);
    EXPECT_EQ(device.Read16(0x4D), c1.high);
    EXPECT_EQ(device.Read16(0xB8), c1.high);

    // A new load drops it all; a one-block Kernlet shows 0 for block 2.
    device.KernletLoadStarted();
    EXPECT_EQ(device.Read16(0xC6), 0);
    image.blocks.resize(1);
    device.KernletLoaded(image);
    EXPECT_EQ(device.Read16(0xA9), 0);
    EXPECT_EQ(device.Read16(0xAA), 0);
    EXPECT_EQ(device.Checksums().size(), 1u);

    sim::KernletDevice never({0x1, 0x2, 0, 0x4000});
    never.KernletLoaded(image);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(never.Read16(0x7E), 0);
    sim::KernletDevice first({0x1, 0x2, 1, 0x4000});
    first.KernletLoaded(image);
    EXPECT_EQ(first.Read16(0x7E), 0x4000);
}

TEST(KernletSample, FilesReadBackAsWrittenAndLoadCleanly) {
    sim::KernletSampleSpec spec;
    spec.blocks = 3;
    spec.wordsPerBlock = 100;
    spec.firstAddress = 0x4000;
    spec.finalAddress = 0x4010;
    std::istringstream in(*sim::MakeKernletText(spec));
    const KernletFileSummary s = ScanKernletText(in);
    EXPECT_EQ(s.blockCount, 4u);
    ASSERT_EQ(s.blocks.size(), 3u);
    for (size_t b = 0; b < 3; ++b) {
        EXPECT_EQ(s.blocks[b].header.address, 0x4000 + 100 * b);
        EXPECT_EQ(s.blocks[b].header.lengthWords, 100);
        EXPECT_EQ(s.blocks[b].chunks, 3u);
        EXPECT_EQ(s.blocks[b].bytes, 200u);
    }
    EXPECT_EQ(s.finalAddress, 0x4010);

    // Out of range: no text.
    spec.blocks = 255;
    EXPECT_FALSE(sim::MakeKernletText(spec).has_value());
    spec.blocks = 2;
    spec.wordsPerBlock = 0;
    EXPECT_FALSE(sim::MakeKernletText(spec).has_value());
    spec.wordsPerBlock = 1;
    spec.corruptBlock = 2;
    EXPECT_FALSE(sim::MakeKernletText(spec).has_value());
    spec.blocks = 0;
    spec.corruptBlock.reset();
    std::istringstream none(*sim::MakeKernletText(spec));
    EXPECT_TRUE(ScanKernletText(none).blocks.empty());

    TempFiles files;
    std::string error;
    EXPECT_TRUE(sim::WriteKernletFile(files.Path() / "w.h", spec, &error));
    EXPECT_FALSE(sim::WriteKernletFile(files.Path() / "no" / "such" / "w.h", spec, &error));
    EXPECT_NE(error.find("cannot write"), std::string::npos);
}

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
         "Kernlet loaded into Z-LINK device 2: 2 blocks, product ID 0x0805, Kernlet version 0x0103, checksums match\n", ""},
        {"register checksums differ", 0, true, false, 5, "", "Checksums do not match:\nBlock 1 Checksum: 0x"},
        {"register checksums differ, ignored", 0, true, true, 0,
         "Kernlet loaded into Z-LINK device 2: 2 blocks, product ID 0x0805, Kernlet version 0x0103, checksums differ\n",
         "Checksums do not match:\nBlock 1 Checksum: 0x"},
        {"reply words differ", 2, true, false, 5,
         "Kernlet loaded into Z-LINK device 2: 2 blocks, product ID 0x0805, Kernlet version 0x0103, checksums differ\n", ""},
        {"reply words differ, ignored", 2, true, true, 0,
         "Kernlet loaded into Z-LINK device 2: 2 blocks, product ID 0x0805, Kernlet version 0x0103, checksums differ\n", ""},
    };
    for (const CommandCase& c : cases) {
        sim::BoardConfig config;
        config.kernletOptions = c.kernletOptions;
        KernletHost host(config);
        std::ostringstream out, err;
        KernletCommandOptions options;
        options.device = 2;
        options.ignoreChecksums = c.ignore;
        EXPECT_EQ(RunKernletCommand(host, c.corrupt ? badPath : goodPath, options, out, err), c.exitCode) << c.name;
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
    const std::string path = files.Write("k.h", "#define N_DB 0x03\n"
                                                "#define A 0x0100\n#define L 0x0064\n#define CH 0x1234\n#define CL 0xABCD\n" +
                                                    words + "\n"
                                                    "#define A 0x0200\n#define L 0x0002\n#define CH 0x0000\n#define CL 0x0001\n"
                                                    "0x0001, 0x0002, 0x0003\n#define E 0x0100\n");
    std::ostringstream out, err;
    EXPECT_EQ(RunKernletInspect(path, out, err), 1);
    EXPECT_EQ(out.str(),
              "Lines: 12\n"
              "Block count: 3\n"
              "Block  Address  Words  Checksum    Chunks\n"
              "    1  0x0100    100  0x1234ABCD       3\n"
              "    2  0x0200      2  0x00000001       1\n"
              "Block 2 never completes: the file ends inside it, or its last line holds words beyond its length\n"
              "Final address: none (no end record: the board would not report the load complete)\n");
    EXPECT_EQ(err.str(),
              "Error - Block 2 of the Kernlet file never completes: its length is 2 words, and the line with its last "
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
