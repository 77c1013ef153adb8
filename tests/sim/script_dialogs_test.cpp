// A running script and the PC in turn: dialogs that pause it until the reply, aborts of paused
// and endless scripts, and the uplink that makes the script wait while the PC is not reading.
#include "tests/sim/script_support.h"

#include <gtest/gtest.h>

using namespace simtest;

namespace {

constexpr const char* kOk = "7E 13 00 00 00 00 00 00";

TEST(ScriptDialogs, AMessageBoxPausesTheScriptUntilTheReply) {
    ScriptRig rig;
    rig.Load(R"(
        dialog "Paused %u" 7
        disp "after"
        stop
)");
    EXPECT_EQ(Join(rig.Run(2'000'000)), "7E 0A 00 00 07");
    EXPECT_TRUE(rig.board.ScriptRunning());
    EXPECT_FALSE(rig.board.NextEventMicroseconds().has_value());  // nothing until the PC answers
    // Frames that answer something else do not release it.
    rig.SendHex("7E 14 00 00 00 05");
    rig.SendHex(kBlockWrittenFrame);
    rig.SendHex(FileBlockHex(true, {1, 2}));
    EXPECT_EQ(Join(rig.Run(100'000)), "");
    rig.SendHex(kOk);
    EXPECT_EQ(Join(rig.Run()), "7E 08 01 00 00 | 7E 0C 00 00 02");
}

TEST(ScriptDialogs, YesNoAndEntrySendTheVariableAndStoreTheAnswer) {
    ScriptRig rig;
    rig.Load(R"(
a       word    9
v       word    $10
        dialogyesno "Sure?" a
        disp "a" a
        dialogentry "Value %x" v
        disp "v" v
        stop
)");
    EXPECT_EQ(Join(rig.Run()), "7E 19 00 00 09");
    rig.SendHex("7E 13 00 01 00 00 00 00");
    EXPECT_EQ(Join(rig.Run()), "7E 08 01 00 01 | 7E 1A 02 00 10");
    rig.SendHex("7E 13 12 34 00 00 00 00");
    EXPECT_EQ(Join(rig.Run()), "7E 08 03 12 34 | 7E 0C 00 00 04");
}

TEST(ScriptDialogs, AnIndexedAnswerStepsItsIndexOnceTheAnswerIsIn) {
    ScriptRig rig;
    rig.Load(R"(
i       word    0
vals    buffer  2
        dialogentry "first" vals[i+]
        dialogentry "second" vals[i+]
        disp "i" i
        disp "v0" vals
        disp "v1" vals[1]
        stop
)");
    EXPECT_EQ(Join(rig.Run()), "7E 1A 00 00 00");
    rig.SendHex("7E 13 00 0A 00 00 00 00");
    EXPECT_EQ(Join(rig.Run()), "7E 1A 01 00 00");
    rig.SendHex("7E 13 00 0B 00 00 00 00");
    EXPECT_EQ(Join(rig.Run()), "7E 08 02 00 02 | 7E 08 03 00 0A | 7E 08 04 00 0B | 7E 0C 00 00 05");
}

TEST(ScriptDialogs, AbortWhilePausedEndsAtTheDialogsRecord) {
    ScriptRig rig;
    rig.Load(R"(
        cls
        dialog "Cancel me"
        stop
)");
    EXPECT_EQ(Join(rig.Run()), "7E 07 | 7E 0A 00 00 00");
    rig.SendHex(kAbortFrame);
    EXPECT_EQ(Join(rig.Collect()), "7E 0C 01 00 01");  // at once, without waiting for time
    rig.SendHex(kOk);  // the page's late answer changes nothing
    EXPECT_EQ(Join(rig.Run()), "");
    EXPECT_FALSE(rig.board.ScriptRunning());
}

TEST(ScriptDialogs, AnEndlessLoopIsAbortedAndTheBoardKeepsAnswering) {
    ScriptRig rig;
    rig.Load(R"(
n       word    0
loop    add 1 n
        jmp loop
)");
    // One second of board time: 100001 instructions from 0 to 1000000 us, the last an add.
    EXPECT_EQ(Join(rig.Run(1'000'000)), "");
    EXPECT_EQ(Exchange(rig.board, "7E 05 00 01"), "7E 14 00 00");
    EXPECT_EQ(Exchange(rig.board, "7E 19"), "7E 15");
    rig.SendHex(kAbortFrame);
    EXPECT_EQ(Join(rig.Collect()), "7E 0C 01 00 01");
    EXPECT_EQ(Exchange(rig.board, "7E 19"), "7E 16");
    EXPECT_EQ(Join(rig.Run(1'000'000)), "");
}

TEST(ScriptDialogs, TheScriptWaitsWhileTheUplinkIsFull) {
    ScriptRig rig;
    rig.Load(R"(
n       word    0
loop    disp "n" n
        add 1 n
        jmpc n < 2000 loop
        stop
)");
    // The PC reads nothing for a second: the board holds at most its uplink buffer and waits.
    for (int i = 0; i < 1000; ++i) rig.board.AdvanceTime(1000);
    EXPECT_LE(rig.board.Available(), sim::ScriptEngine::kUplinkBufferBytes);
    EXPECT_GT(rig.board.Available(), sim::ScriptEngine::kUplinkBufferBytes - 5);
    EXPECT_FALSE(rig.board.NextEventMicroseconds().has_value());
    // Read as it comes, every value arrives once and in order.
    std::vector<std::string> frames = rig.Collect();
    for (int i = 0; i < 100 && frames.size() < 2001; ++i) {
        const std::vector<std::string> more = rig.Run(10'000);
        frames.insert(frames.end(), more.begin(), more.end());
    }
    ASSERT_EQ(frames.size(), 2001u);
    for (uint16_t n = 0; n < 2000; ++n) {
        const Bytes expected = {0x7E, 0x08, 0x00, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
        ASSERT_EQ(frames[n], ToHex(expected));
    }
    EXPECT_EQ(frames.back(), "7E 0C 00 00 03");
}

TEST(ScriptDialogs, WaituplinkWaitsForRoom) {
    ScriptRig rig;
    rig.Load(R"(
        disp "one"
        waituplink 4092
        disp "two"
        stop
)");
    // The first frame (5 bytes) leaves room for 4091 bytes: the script waits for the PC.
    rig.board.AdvanceTime(100'000);
    EXPECT_EQ(ToHex(TakeAll(rig.board)), "7E 08 00 00 00");
    EXPECT_EQ(Join(rig.Run()), "7E 08 01 00 00 | 7E 0C 00 00 03");
}

}  // namespace
