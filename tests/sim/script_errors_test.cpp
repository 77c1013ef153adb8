// Every run-time error the simulated board reports: the code-13 frame with its code and the
// failing record, from compiled scripts where the compiler lets the fault through and from
// hand-made records where it does not.
#include "tests/sim/script_support.h"

#include <gtest/gtest.h>

using namespace simtest;

namespace {

struct ErrorCase {
    const char* name;
    const char* source;
    const char* error;  // the last frame of the run
};

const std::vector<ErrorCase> kCompiledErrors = {
    {"data index out of range", R"(
i       word    10000
b       buffer  4
        copy 1 b[i]
)",
     "7E 0D 03 00 00"},
    {"an index walking off the data memory", R"(
i       word    8190
v       word
loop    copy v[i+] v
        jmp loop
)",
     "7E 0D 03 00 00"},
    {"register span past $FF", R"(
v       buffer  40
        read *$F0 v 32
)",
     "7E 0D 03 00 00"},
    {"transaction count above 255", R"(
v       buffer  300
        write v *0 256
)",
     "7E 0D 03 00 00"},
    {"vector out of range", R"(
        setvect 8 h
h       rfi
)",
     "7E 0D 03 00 00"},
    {"stack overflow", R"(
deep    jsr deep
)",
     "7E 0D 04 00 00"},
    {"stack underflow", R"(
x       word
        copy 1 x
        return
)",
     "7E 0D 05 00 01"},
    {"rfi outside a handler", R"(
        rfi
)",
     "7E 0D 05 00 00"},
    {"waitfile beyond the file read buffer", R"(
        waitfile 4097
)",
     "7E 0D 07 00 00"},
    {"reading without a read file", R"(
v       word
        filer v
)",
     "7E 0D 0A 00 00"},
    {"static buffers larger than their memory", R"(
        bufcfg $8000 3
)",
     "7E 0D 0D 00 00"},
    {"static buffer of size 0", R"(
        bufcfg 0
)",
     "7E 0D 0E 00 00"},
    {"too many static buffers", R"(
        bufcfg 4 17
)",
     "7E 0D 0E 00 00"},
    {"static buffer not configured", R"(
        bufcfg 4 2
        bufopenr 2
)",
     "7E 0D 0E 00 01"},
    {"write past the end of a static buffer", R"(
x       word
        bufcfg 2
        bufopenw 0
        bufwrite 0 x 3
)",
     "7E 0D 0F 00 02"},
    {"read past what was written", R"(
x       buffer  2
        bufcfg 2
        bufopenw 0
        bufwrite 0 x
        bufopenr 0
        bufread 0 x 2
)",
     "7E 0D 10 00 04"},
    {"read from a buffer not open for reading", R"(
x       word
        bufcfg 2
        bufread 0 x
)",
     "7E 0D 11 00 01"},
    {"write to a buffer open for reading", R"(
x       word
        bufcfg 2
        bufopenr 0
        bufwrite 0 x
)",
     "7E 0D 12 00 02"},
    {"waituplink beyond the uplink buffer", R"(
        waituplink 4097
)",
     "7E 0D 13 00 00"},
};

TEST(ScriptErrors, CompiledScriptsStopWithTheDocumentedCode) {
    for (const ErrorCase& c : kCompiledErrors) {
        SCOPED_TRACE(c.name);
        ScriptRig rig;
        rig.Load(c.source);
        const std::vector<std::string> frames = rig.Run(1'000'000);
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(frames.back(), c.error);
        EXPECT_EQ(frames.size(), 1u);
        EXPECT_FALSE(rig.board.ScriptRunning());
        EXPECT_EQ(Exchange(rig.board, "7E 19"), "7E 15");
    }
}

struct HandCase {
    const char* name;
    std::vector<std::string> records;  // before the closing record
    const char* uplink;
};

const std::vector<HandCase> kHandErrors = {
    {"unused opcode between the calls", {RecordHex(0x08, 0x2A, 0x0009)}, "7E 0D 02 00 00"},
    {"a compiler pseudo-opcode", {RecordHex(0x08, 0x1000, 0x0009)}, "7E 0D 02 00 00"},
    {"opcode 0", {RecordHex(0x08, 0x09, 0x0009), RecordHex(0x09, 0x00, 0x0009)}, "7E 07 | 7E 0D 02 00 01"},
    {"a constant as destination", {RecordHex(0x08, 0x0A, 0x0001, 1, 0x0001, 2, 0x0009)}, "7E 0D 02 00 00"},
    {"a required parameter left out", {RecordHex(0x08, 0x0B, 0x0001, 1, 0x0009)}, "7E 0D 02 00 00"},
    {"a number where a string belongs", {RecordHex(0x08, 0x07, 0x0001, 1, 0x0009)}, "7E 0D 02 00 00"},
    {"a string numbered above 255", {RecordHex(0x08, 0x07, 0x0006, 256, 0x0009)}, "7E 0D 03 00 00"},
    {"a kind the board does not know", {RecordHex(0x08, 0x37, 0x000C, 1, 0x0009)}, "7E 0D 02 00 00"},
    {"jump past the image", {RecordHex(0x08, 0x14, 0x0007, 2, 0x0009)}, "7E 0D 09 00 00"},
    {"conditional jump past the image, not taken",
     {RecordHex(0x08, 0x15, 0x0001, 1, 0x0001, 2, 0x0007, 99)},
     "7E 0D 09 00 00"},
    {"a call to the closing record ends the script there",
     {RecordHex(0x08, 0x21, 0x0007, 1, 0x0009)},
     "7E 0C 00 00 01"},
    {"setvect past the image", {RecordHex(0x08, 0x47, 0x0001, 0, 0x0007, 5, 0x0009)}, "7E 0D 09 00 00"},
};

TEST(ScriptErrors, HandMadeRecordsTheCompilerNeverEmits) {
    for (const HandCase& c : kHandErrors) {
        SCOPED_TRACE(c.name);
        ScriptRig rig;
        for (const std::string& r : c.records) rig.SendHex(r);
        rig.SendHex(kClosingRecord);
        ASSERT_EQ(ToHex(TakeAll(rig.board)), "7E");
        rig.SendHex(kStartFrame);
        EXPECT_EQ(Join(rig.Run()), c.uplink);
    }
}

TEST(ScriptErrors, AnIndexVariableOutsideTheDataMemory) {
    sim::BoardConfig config;
    config.dataBufferSize = 16;
    ScriptRig rig(config);
    rig.SendHex(RecordHex(0x08, 0x0A, 0x0001, 1, 0x0103, 0, 0x0009));  // copy 1 -> data[0 + data[16]]
    rig.SendHex(kClosingRecord);
    ASSERT_EQ(ToHex(TakeAll(rig.board)), "7E");
    rig.SendHex(kStartFrame);
    EXPECT_EQ(Join(rig.Run()), "7E 0D 03 00 00");
}

TEST(ScriptErrors, AStringNumberAboveAByteStopsTheScript) {
    std::string source;
    for (int i = 0; i <= 256; ++i) source += "        disp \"s\"\n";
    ScriptRig rig;
    rig.Load(source);
    const std::vector<std::string> frames = rig.Run();
    ASSERT_EQ(frames.size(), 257u);
    EXPECT_EQ(frames[255], "7E 08 FF 00 00");
    EXPECT_EQ(frames[256], "7E 0D 03 01 00");
}

TEST(ScriptErrors, ATimerInterruptOnAFullStackOverflows) {
    ScriptRig rig;
    rig.Load(R"(
        setvect 0 tick
        settimer 1
        starttimer
        intson
deep    jsr next
next    delay 1
        jmp deep
tick    rfi
)");
    // Every delay is interrupted once. 32 calls fill the stack; the tick during the delay after
    // them finds no room.
    EXPECT_EQ(Join(rig.Run(200'000)), "7E 0D 04 00 05");
}

}  // namespace
