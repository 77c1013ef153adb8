// Small scripts compiled with the program's compiler and run on the simulated board, with the
// uplink frames they must produce written out by hand: data, parameter kinds, arithmetic,
// jumps and calls, conditions, the bus and its trace, time.
#include "tests/sim/script_support.h"

#include <gtest/gtest.h>

using namespace simtest;

namespace {

struct RunCase {
    const char* name;
    const char* source;
    const char* uplink;  // every frame of the run, joined by " | "
};

const std::vector<RunCase> kRunCases = {
    {"stop only", R"(
        stop
)",
     "7E 0C 00 00 00"},
    {"the closing record ends a script without stop", R"(
        cls
)",
     "7E 07 | 7E 0C 00 00 01"},
    {"disp with a value and without", R"(
x       word    5
        disp "x=%u" x
        disp "bare"
        disp "const %x" $BEEF
        stop
)",
     "7E 08 00 00 05 | 7E 08 01 00 00 | 7E 08 02 BE EF | 7E 0C 00 00 03"},
    {"a word without a value starts as all ones", R"(
w       word
        disp "w" w
        stop
)",
     "7E 08 00 FF FF | 7E 0C 00 00 01"},
    {"while counts", R"(
i       word
        copy 0 i
        while i < 3
          disp "i=%u" i
          add 1 i
        endwhile
        stop
)",
     "7E 08 00 00 00 | 7E 08 00 00 01 | 7E 08 00 00 02 | 7E 0C 00 00 05"},
    {"arithmetic, logic and shifts", R"(
a       word    $F0F0
b       word    3
        ones a b
        disp "ones" b
        asr 4 a
        disp "asr" a
        lsr 8 a
        disp "lsr" a
        lsl 12 a
        disp "lsl" a
        asl 16 a
        disp "asl" a
        sub 1 a
        disp "sub" a
        add 2 a
        disp "add" a
        or $8000 a
        and $F00F a
        xor $FFFF a
        disp "xor" a
        asr 15 a
        disp "asr+" a
        copy $8000 a
        asr 20 a
        disp "asr-" a
        stop
)",
     "7E 08 00 00 08 | 7E 08 01 FF 0F | 7E 08 02 00 FF | 7E 08 03 F0 00 | 7E 08 04 00 00 | "
     "7E 08 05 FF FF | 7E 08 06 00 01 | 7E 08 07 7F FE | 7E 08 08 00 00 | 7E 08 09 FF FF | "
     "7E 0C 00 00 17"},
    {"indexed forms read the index once and step it afterwards", R"(
i       word
tab     word    10 20 30
out     buffer  3
        copy 2 i
        copy tab[i-] out[i]
        disp "out2" out[2]
        disp "i" i
        copy tab[i+] out[i+]
        disp "out1" out[1]
        disp "i" i
        copy *i out
        disp "out0" out
        stop
)",
     "7E 08 00 00 1E | 7E 08 01 00 01 | 7E 08 02 00 14 | 7E 08 03 00 03 | 7E 08 04 00 03 | 7E 0C 00 00 09"},
    {"calls nest and return", R"(
n       word    0
        jsr one
        disp "n" n
        stop
one     add 1 n
        jsr two
        return
two     add 10 n
        return
)",
     "7E 08 00 00 0B | 7E 0C 00 00 02"},
    {"if, elseif and else", R"(
x       word    2
        if x = 1
          disp "one"
        elseif x = 2
          disp "two"
        else
          disp "other"
        endif
        if x
          disp "nonzero"
        endif
        stop
)",
     "7E 08 01 00 00 | 7E 08 03 00 00 | 7E 0C 00 00 09"},
    {"a long constant sizes the static buffers", R"(
        bufcfg $10000
        bufopenw 0
        stop
)",
     "7E 0C 00 00 02"},
    {"ports", R"(
p       word
        port $00F0
        portw $0001
        portr $0010
        portc $0100
        getport p
        disp "p" p
        stop
)",
     "7E 08 00 01 E1 | 7E 0C 00 00 06"},
    {"device number", R"(
d       word
        getdevice d
        disp "d" d
        device 3
        getdevice d
        disp "d" d
        stop
)",
     "7E 08 00 00 01 | 7E 08 01 00 03 | 7E 0C 00 00 05"},
};

TEST(ScriptRun, SmallScriptsSendTheirFrames) {
    for (const RunCase& c : kRunCases) {
        SCOPED_TRACE(c.name);
        ScriptRig rig;
        rig.Load(c.source);
        EXPECT_EQ(Join(rig.Run()), c.uplink);
        EXPECT_FALSE(rig.board.ScriptRunning());
    }
}

struct ConditionCase {
    const char* op;  // "" for none
    uint16_t a, b;
    bool holds;
};

const std::vector<ConditionCase> kConditions = {
    {"=", 5, 5, true},   {"==", 5, 3, false},    {"!=", 5, 3, true},  {"!", 5, 5, false},  {">", 5, 3, true},
    {">", 3, 5, false},  {">", 0x8000, 1, true},  // unsigned
    {"<", 3, 5, true},   {"<", 5, 5, false},     {">=", 5, 5, true},  {">=", 3, 5, false}, {"<=", 5, 5, true},
    {"<=", 6, 5, false}, {"&", 6, 3, true},      {"&", 4, 3, false},  {"|", 0, 0, false},  {"|", 0, 1, true},
    {"^", 5, 5, false},  {"^", 5, 4, true},      {"!&", 4, 3, true},  {"!&", 6, 3, false}, {"!|", 0, 0, true},
    {"!|", 1, 0, false}, {"!^", 5, 5, true},     {"!^", 5, 4, false}, {"", 7, 7, true},    {"", 7, 8, false},
};

TEST(ScriptRun, ConditionalJumpsAndCallsTestEachOperator) {
    for (const ConditionCase& c : kConditions) {
        const std::string words = "a word " + std::to_string(c.a) + "\nb word " + std::to_string(c.b) + "\n";
        SCOPED_TRACE(std::string("a ") + c.op + " b with " + words);
        {
            ScriptRig rig;
            rig.Load(words + "        jmpc a " + c.op +
                     " b yes\n        disp \"no\"\n        stop\n"
                     "yes     disp \"yes\"\n        stop\n");
            EXPECT_EQ(Join(rig.Run()),
                      c.holds ? "7E 08 01 00 00 | 7E 0C 00 00 04" : "7E 08 00 00 00 | 7E 0C 00 00 02");
        }
        {
            ScriptRig rig;
            rig.Load(words + "        jsrc a " + c.op +
                     " b sub\n        stop\nsub     disp \"in\"\n        return\n");
            EXPECT_EQ(Join(rig.Run()), c.holds ? "7E 08 00 00 00 | 7E 0C 00 00 01" : "7E 0C 00 00 01");
        }
    }
}

TEST(ScriptRun, DjnzCountsDownToZero) {
    // The compiler never emits djnz; the board runs opcode 0x36 all the same.
    ScriptRig rig;
    rig.SendHex(RecordHex(0x08, 0x0A, 0x0001, 3, 0x0002, 0, 0x0009, 0));  // copy 3 -> data 0
    rig.SendHex(RecordHex(0x09, 0x07, 0x0006, 0, 0x0002, 0, 0x0009, 0));  // disp data 0
    rig.SendHex(RecordHex(0x09, 0x36, 0x0002, 0, 0x0007, 1, 0x0009, 0));  // djnz data 0, record 1
    rig.SendHex(kClosingRecord);
    EXPECT_EQ(ToHex(TakeAll(rig.board)), "7E");
    rig.SendHex(kStartFrame);
    EXPECT_EQ(Join(rig.Run()), "7E 08 00 00 03 | 7E 08 00 00 02 | 7E 08 00 00 01 | 7E 0C 00 00 03");
}

TEST(ScriptRun, RegisterAccessesReachTheDevicesAndTheTrace) {
    ScriptRig rig;
    rig.board.SetRegister(2, 0x21, 0xBEEF);
    rig.Load(R"(
v       word
pair    buffer 2
        device 2
        write $1234 *$20 1
        read *$20 v 1
        disp "v" v
        register $0040 $00F0 *$20
        read *$20 pair 2
        disp "a" pair
        disp "b" pair[1]
        logoff
        write 7 *$30 1
        logon
        write pair *$40 2
        stop
)");
    EXPECT_EQ(Join(rig.Run()), "7E 08 00 12 34 | 7E 08 01 12 44 | 7E 08 02 BE EF | 7E 0C 00 00 0C");
    EXPECT_EQ(rig.board.Register(2, 0x20), 0x1244);
    EXPECT_EQ(rig.board.Register(2, 0x30), 7);
    EXPECT_EQ(rig.board.Register(2, 0x40), 0x1244);
    EXPECT_EQ(rig.board.Register(2, 0x41), 0xBEEF);
    EXPECT_EQ(rig.board.Register(1, 0x20), 0);

    struct Expected {
        uint8_t direction, address;
        uint16_t data;
        uint8_t count, number;
        uint32_t timestamp;  // 10 us per instruction from the start at 0
    };
    // Newest first: write pair (record 11), read pair (record 5), register (record 4), read
    // (record 2), write (record 1); the write under logoff is missing.
    const std::vector<Expected> expected = {
        {0, 0x41, 0xBEEF, 2, 2, 110}, {0, 0x40, 0x1244, 2, 1, 110}, {1, 0x21, 0xBEEF, 2, 2, 50},
        {1, 0x20, 0x1244, 2, 1, 50},  {0, 0x20, 0x1244, 2, 2, 40},  {1, 0x20, 0x1234, 2, 1, 40},
        {1, 0x20, 0x1234, 1, 1, 20},  {0, 0x20, 0x1234, 1, 1, 10},
    };
    ASSERT_EQ(rig.board.TraceSize(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        const sim::TraceEntry e = rig.board.TraceAt(i);
        EXPECT_EQ(e.device, 2);
        EXPECT_EQ(e.direction, expected[i].direction);
        EXPECT_EQ(e.address, expected[i].address);
        EXPECT_EQ(e.data, expected[i].data);
        EXPECT_EQ(e.bytesPerAccess, 2);
        EXPECT_EQ(e.accessCount, expected[i].count);
        EXPECT_EQ(e.accessNumber, expected[i].number);
        EXPECT_EQ(e.timestamp, expected[i].timestamp);
    }
    // The trace request sends them like any other access.
    EXPECT_EQ(Exchange(rig.board, "7E 1A 00 00 00 00 00 01"), "7E 17 02 00 41 BE EF 02 02 02 00 00 00 6E");
}

TEST(ScriptRun, DelaysRunOnBoardTime) {
    ScriptRig rig;
    rig.Load(R"(
t       word
        settime 100
        delay 20
        microdelay 990
        gettime t
        disp "t" t
        stop
)");
    // settime at 0, delay at 10 ends at 20020, microdelay at 20020 ends at 21020.
    rig.board.AdvanceTime(5'000);
    EXPECT_EQ(rig.board.NextEventMicroseconds(), 20'020u);
    EXPECT_EQ(Join(rig.Run(15'019, 15'019)), "");
    EXPECT_EQ(rig.board.NextEventMicroseconds(), 20'020u);
    rig.Run(1, 1);
    EXPECT_EQ(rig.board.NextEventMicroseconds(), 21'020u);
    EXPECT_EQ(Join(rig.Run(999, 999)), "");
    EXPECT_EQ(Join(rig.Run(1'000)), "7E 08 00 00 79 | 7E 0C 00 00 05");
    EXPECT_FALSE(rig.board.NextEventMicroseconds().has_value());
}

TEST(ScriptRun, TimerTicksCallTheHandlerAlsoDuringADelay) {
    ScriptRig rig;
    rig.Load(R"(
ticks   word    0
        setvect 0 tick
        settimer 10
        starttimer
        intson
        delay 55
        disp "ticks" ticks
        intsoff
        delay 30
        disp "ticks" ticks
        stoptimer
        intson
        delay 30
        disp "ticks" ticks
        stop
tick    add 1 ticks
        rfi
)");
    // Started at 20: ticks at 10020, 20020, ..., 50020 during the first delay; none while
    // interrupts are off (the one pending is dropped by stoptimer) and none after stoptimer.
    EXPECT_EQ(Join(rig.Run(200'000)), "7E 08 00 00 05 | 7E 08 01 00 05 | 7E 08 02 00 05 | 7E 0C 00 00 0D");
}

TEST(ScriptRun, InstructionsRunAtTheirRateAndNoFasterThanTheCap) {
    ScriptRig rig;
    rig.Load(R"(
n       word    0
loop    add 1 n
        jmpc n < 1000 loop
        disp "n" n
        stop
)");
    // 2000 instructions take 20 ms of board time.
    EXPECT_EQ(Join(rig.Run(19'990)), "");
    EXPECT_EQ(Join(rig.Run(20)), "7E 08 00 03 E8 | 7E 0C 00 00 03");

    // A clock that jumps by minutes runs at most the cap at once.
    ScriptRig jump;
    jump.Load("loop    jmp loop\n");
    jump.board.AdvanceTime(600'000'000);
    EXPECT_EQ(Exchange(jump.board, "7E 19"), "7E 15");
    jump.SendHex(kAbortFrame);
    EXPECT_EQ(Join(jump.Collect()), "7E 0C 01 00 00");
}

}  // namespace
