// The checksum warning's text, and the simulated Kernlet device and its sample files.
#include "link/Messages.h"
#include "loading/Checksums.h"
#include "loading/KernletFileReader.h"
#include "tests/loading/KernletTestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using kltest::KernletHost;
using kltest::TempFiles;

TEST(Checksums, EightUpperCaseDigitsPaddedWithZeros) {
    const std::pair<uint32_t, const char*> cases[] = {
        {0, "00000000"},          {0x1, "00000001"},        {0x1A, "0000001A"},     {0x1A2, "000001A2"},
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
    EXPECT_EQ(sim::BlockChecksum(0xFFFF, std::vector<uint16_t>{0x0002}),
              (sim::KernletChecksum{0x0001, 0x0001}));
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
    EXPECT_EQ(reply,
              (std::vector<uint16_t>{c1.high, c1.low, c2.high, c2.low, c3.high, c3.low, 0x0805, 0x0103, 0}));
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

}  // namespace
