// Scripts that read and write the PC's files: the open frames, the read requests answered with
// 0C/0D blocks, the end of a file, write values, block writes with their 21 acknowledgements,
// and the static buffers between them.
#include "tests/sim/script_support.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace simtest;

namespace {

std::vector<uint16_t> Values(uint16_t from, size_t count) {
    std::vector<uint16_t> v(count);
    std::iota(v.begin(), v.end(), from);
    return v;
}

const char* kRead2500 = R"(
n       word
buf     buffer 2500
        fopenr "data.txt" "%d" n
        filercs *buf 2500
        disp "n" n
        disp "last" buf[2499]
        stop
)";

TEST(ScriptFiles, ARequestOf2500ValuesIsAnsweredInBlocks) {
    ScriptRig rig;
    rig.Load(kRead2500);
    EXPECT_EQ(Join(rig.Run()), "7E 05 00 01");
    rig.SendHex("7E 14 00 00 09 C4");  // 2500 values
    EXPECT_EQ(Join(rig.Run()), "7E 0B 00 00 09 C4");
    rig.SendHex(FileBlockHex(false, Values(1, 1000)));
    EXPECT_EQ(Join(rig.Run()), "");  // still waiting for the rest
    rig.SendHex(FileBlockHex(false, Values(1001, 1000)));
    EXPECT_EQ(Join(rig.Run()), "");
    rig.SendHex(FileBlockHex(false, Values(2001, 500)));
    EXPECT_EQ(Join(rig.Run()), "7E 08 02 09 C4 | 7E 08 03 09 C4 | 7E 0C 00 00 04");
}

TEST(ScriptFiles, AFileShorterThanTheRequestEndsWithReadPastEnd) {
    ScriptRig rig;
    rig.Load(kRead2500);
    EXPECT_EQ(Join(rig.Run()), "7E 05 00 01");
    rig.SendHex("7E 14 00 00 08 98");  // 2200 values: the board still asks for what it needs
    EXPECT_EQ(Join(rig.Run()), "7E 0B 00 00 09 C4");
    rig.SendHex(FileBlockHex(false, Values(1, 1000)));
    rig.SendHex(FileBlockHex(false, Values(1001, 1000)));
    rig.SendHex(FileBlockHex(true, Values(2001, 200)));
    EXPECT_EQ(Join(rig.Run()), "7E 0D 0A 00 01");
}

TEST(ScriptFiles, TheEndOfAFileIsWhatThePcSays) {
    ScriptRig rig;
    rig.Load(R"(
v       word
        fopenr "one.txt" "%d"
        filer v
        disp "v" v
        filer v
        stop
)");
    EXPECT_EQ(Join(rig.Run()), "7E 05 00 01");
    rig.SendHex(FileBlockHex(false, {0x77}));  // nobody asked: dropped
    rig.SendHex("7E 14 00 00 00 01");
    EXPECT_EQ(Join(rig.Run()), "7E 0B 00 00 00 01");
    rig.SendHex(FileBlockHex(false, {0x2A}));
    // The announced value is read; the next read asks again and the PC reports the end.
    EXPECT_EQ(Join(rig.Run()), "7E 08 02 00 2A | 7E 0B 00 00 00 01");
    rig.SendHex(FileBlockHex(true, {}));
    EXPECT_EQ(Join(rig.Run()), "7E 0D 0A 00 03");
}

TEST(ScriptFiles, WaitfileFilercAndFiletobuf) {
    ScriptRig rig;
    rig.Load(R"(
n       word
k       word
left    word
        bufcfg 10
        fopenr "in.bin" "" n
        waitfile 3
        filerc left
        disp "left" left
        filetobuf 0
        bufopenr 0 k
        disp "k" k
        bufread 0 left 4
        stop
)");
    EXPECT_EQ(Join(rig.Run()), "7E 05 00 01");
    rig.SendHex("7E 14 00 00 00 04");
    EXPECT_EQ(Join(rig.Run()), "7E 0B 00 00 00 04");
    rig.SendHex(FileBlockHex(false, {5, 6, 7, 8}));
    // The buffer takes the four held values and asks for the six it still has room for.
    EXPECT_EQ(Join(rig.Run()), "7E 08 02 00 04 | 7E 0B 00 00 00 06");
    rig.SendHex(FileBlockHex(true, {}));
    EXPECT_EQ(Join(rig.Run()), "7E 08 03 00 04 | 7E 0C 00 00 09");
}

TEST(ScriptFiles, OpenForWritingAndWriteValues) {
    ScriptRig rig;
    rig.Load(R"(
v       word    $1234
        fopenw "out.wav" $1F40 2
        fopenw "o.txt"
        fopenw "big.wav" $2B110
        filew "%u" 5
        filew "%x" v
        filew "plain"
        stop
)");
    EXPECT_EQ(Join(rig.Run()),
              "7E 06 00 00 1F 40 02 | 7E 06 01 00 00 00 01 | 7E 06 02 02 B1 10 01 | 7E 09 03 00 05 | "
              "7E 09 04 12 34 | 7E 09 05 00 00 | 7E 0C 00 00 06");
}

TEST(ScriptFiles, BuftofileSendsBlocksOf255WordsEachAcknowledged) {
    ScriptRig rig;
    rig.Load(R"(
i       word    0
        bufcfg 300
        bufopenw 0
loop    bufwrite 0 i
        add 1 i
        jmpc i < 300 loop
        fopenw "out.bin"
        buftofile 0 "%u"
        stop
)");
    auto block = [](uint16_t from, uint8_t count) {
        Bytes f{0x7E, 0x18, 0x01, 0x00, count};
        for (uint16_t v = from; v < from + count; ++v) {
            f.push_back(static_cast<uint8_t>(v >> 8));
            f.push_back(static_cast<uint8_t>(v));
        }
        return ToHex(f);
    };
    EXPECT_EQ(Join(rig.Run(1'000'000)), "7E 06 00 00 00 00 01 | " + block(0, 255));
    EXPECT_EQ(Join(rig.Run(1'000'000)), "");  // waits for the acknowledgement
    rig.SendHex(kBlockWrittenFrame);
    EXPECT_EQ(Join(rig.Run()), block(255, 45));
    rig.SendHex(kBlockWrittenFrame);
    EXPECT_EQ(Join(rig.Run()), "7E 0C 00 00 07");
}

TEST(ScriptFiles, StaticBuffersKeepTheirContentsBetweenOpens) {
    ScriptRig rig;
    rig.Load(R"(
src     word    11 22 33
dst     buffer  3
n       word
        bufcfg 4 2
        bufopenw 1 n
        disp "size" n
        bufwrite 1 src 3
        bufopenr 1 n
        disp "fill" n
        bufread 1 dst 2
        bufread 1 dst[2]
        disp "a" dst
        disp "c" dst[2]
        bufopenr 0 n
        disp "other" n
        stop
)");
    EXPECT_EQ(Join(rig.Run()),
              "7E 08 00 00 04 | 7E 08 01 00 03 | 7E 08 02 00 0B | 7E 08 03 00 21 | 7E 08 04 00 00 | 7E 0C 00 "
              "00 0C");
}

}  // namespace
