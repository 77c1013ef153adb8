// The frames around a script run, byte for byte: download and its answer byte, start, abort,
// the status flag, the variable-length file blocks in the request parser, and the limits of
// the board's command and data memories.
#include "sim/port/SimSerialDevice.h"
#include "tests/sim/script_support.h"

#include <gtest/gtest.h>

using namespace simtest;

namespace {

// copy 5 -> data 3; disp string 2 with data 3; disp string 1 with data 4 (set by an
// initialiser); closing record.
const std::vector<std::string> kHandImage = {
    "7E 08 00 0A 00 01 00 05 00 02 00 03 00 09 00 00",
    "7E 09 00 07 00 06 00 02 00 02 00 03 00 09 00 00",
    "7E 12 00 04 AB CD",
    "7E 09 00 07 00 06 00 01 00 02 00 04 00 09 00 00",
    kClosingRecord,
};
const char* kHandImageRun = "7E 08 02 00 05 | 7E 08 01 AB CD | 7E 0C 00 00 03";

TEST(ScriptDownload, TheBoardAnswersOnceAfterTheClosingRecord) {
    ScriptRig rig;
    for (size_t i = 0; i < kHandImage.size(); ++i) {
        SCOPED_TRACE(kHandImage[i]);
        rig.SendHex(kHandImage[i]);
        EXPECT_EQ(ToHex(TakeAll(rig.board)), i + 1 == kHandImage.size() ? "7E" : "");
    }
    rig.SendHex(kStartFrame);
    EXPECT_EQ(Join(rig.Run()), kHandImageRun);
    EXPECT_FALSE(rig.board.ScriptRunning());
}

TEST(ScriptDownload, FramesCutIntoSingleBytesRunTheSame) {
    ScriptRig rig;
    std::string answer;
    for (const std::string& f : kHandImage) {
        for (uint8_t b : Hex(f)) {
            rig.board.Receive(&b, 1);
            rig.board.AdvanceTime(100);  // time passing between bytes changes nothing
        }
        answer += ToHex(TakeAll(rig.board));
    }
    EXPECT_EQ(answer, "7E");
    for (uint8_t b : Hex(kStartFrame)) rig.board.Receive(&b, 1);
    EXPECT_EQ(Join(rig.Run()), kHandImageRun);
}

TEST(ScriptDownload, ACompiledScriptDownloadsWithTheProgramsFramesAndRuns) {
    const std::vector<Bytes> frames = CompileToFrames("        stop\n");
    ASSERT_EQ(frames.size(), 2u);
    // A compiled `stop` marks the end of its parameters, so it is no closing record.
    EXPECT_EQ(ToHex(frames[0]), "7E 08 00 35 00 09 00 00 00 00 00 00 00 00 00 00");
    EXPECT_EQ(ToHex(frames[1]), kClosingRecord);
    ScriptRig rig;
    EXPECT_EQ(rig.Download(frames), "7E");
    rig.SendHex(kStartFrame);
    EXPECT_EQ(Join(rig.Run()), "7E 0C 00 00 00");
}

TEST(ScriptDownload, StatusFlagFollowsTheRuns) {
    ScriptRig rig;
    EXPECT_EQ(Exchange(rig.board, "7E 19"), "7E 15");
    rig.Load("        dialog \"wait\"\n        stop\n");
    EXPECT_EQ(Join(rig.Run()), "7E 0A 00 00 00");
    EXPECT_EQ(Exchange(rig.board, "7E 19"), "7E 15");  // running, paused
    rig.SendHex("7E 13 00 00 00 00 00 00");
    EXPECT_EQ(Join(rig.Run()), "7E 0C 00 00 01");
    EXPECT_EQ(Exchange(rig.board, "7E 19"), "7E 16");  // finished

    // Aborted: 1 as well; a run-time error: 0; a new download: 0.
    rig.SendHex(kStartFrame);
    EXPECT_EQ(Join(rig.Run()), "7E 0A 00 00 00");
    rig.SendHex(kAbortFrame);
    EXPECT_EQ(Join(rig.Collect()), "7E 0C 01 00 00");
    EXPECT_EQ(Exchange(rig.board, "7E 19"), "7E 16");
    rig.Load("        return\n");
    EXPECT_EQ(Join(rig.Run()), "7E 0D 05 00 00");
    EXPECT_EQ(Exchange(rig.board, "7E 19"), "7E 15");
    rig.board.SetScriptStatus(1);
    ASSERT_EQ(rig.Download(CompileToFrames("        stop\n")), "7E");
    EXPECT_EQ(Exchange(rig.board, "7E 19"), "7E 15");
}

TEST(ScriptDownload, StartAndAbortOnlyActOnTheirState) {
    ScriptRig rig;
    // Nothing running: abort says nothing.
    rig.SendHex(kAbortFrame);
    EXPECT_EQ(Join(rig.Run()), "");
    rig.Load("        delay 100\n        stop\n");
    rig.Run(50'000);
    rig.SendHex(kStartFrame);  // already running: no restart
    EXPECT_EQ(Join(rig.Run(60'000)), "7E 0C 00 00 01");
    EXPECT_EQ(Join(rig.Run(200'000)), "");
}

TEST(ScriptDownload, ANewDownloadStopsARunningScriptWithoutAFrame) {
    ScriptRig rig;
    rig.Load("loop    jmp loop\n");
    rig.Run(10'000);
    ASSERT_TRUE(rig.board.ScriptRunning());
    EXPECT_EQ(rig.Download(CompileToFrames("x word 7\n        disp \"x\" x\n        stop\n")), "7E");
    EXPECT_FALSE(rig.board.ScriptRunning());
    EXPECT_EQ(Join(rig.Run()), "");
    rig.SendHex(kStartFrame);
    EXPECT_EQ(Join(rig.Run()), "7E 08 00 00 07 | 7E 0C 00 00 01");
}

TEST(ScriptDownload, AnImageWithoutItsClosingRecordRunsOutOfRange) {
    ScriptRig rig;
    rig.SendHex("7E 08 00 07 00 06 00 00 00 09 00 00 00 00 00 00");
    EXPECT_EQ(ToHex(TakeAll(rig.board)), "");
    rig.SendHex(kStartFrame);
    EXPECT_EQ(Join(rig.Run()), "7E 08 00 00 00 | 7E 0D 01 00 01");
    // No image at all: record 0 is already out of range.
    ScriptRig empty;
    empty.SendHex(kStartFrame);
    EXPECT_EQ(Join(empty.Run()), "7E 0D 01 00 00");
}

TEST(ScriptDownload, RecordsPastTheCommandBufferAreDroppedAndCannotBeReached) {
    sim::BoardConfig config;
    config.commandBufferSize = 1;  // one record and the closing record
    ScriptRig rig(config);
    rig.SendHex(RecordHex(0x08, 0x07, 0x0006, 0, 0x0009, 0));  // disp string 0
    rig.SendHex(RecordHex(0x09, 0x07, 0x0006, 1, 0x0009, 0));  // disp string 1
    rig.SendHex(RecordHex(0x09, 0x14, 0x0007, 0, 0x0009, 0));  // jmp 0: dropped
    rig.SendHex(kClosingRecord);  // dropped as well, but answered
    EXPECT_EQ(ToHex(TakeAll(rig.board)), "7E");
    rig.SendHex(kStartFrame);
    EXPECT_EQ(Join(rig.Run()), "7E 08 00 00 00 | 7E 08 01 00 00 | 7E 0D 01 00 02");
}

TEST(ScriptDownload, InitialisersOutsideTheDataMemoryAreDropped) {
    sim::BoardConfig config;
    config.dataBufferSize = 4;
    ScriptRig rig(config);
    rig.SendHex(RecordHex(0x08, 0x07, 0x0006, 0, 0x0002, 3));  // disp with data 3
    rig.SendHex(RecordHex(0x09, 0x07, 0x0006, 0, 0x0002, 4));  // disp with data 4: out of range
    rig.SendHex("7E 12 00 03 12 34");
    rig.SendHex("7E 12 00 04 56 78");
    rig.SendHex(kClosingRecord);
    EXPECT_EQ(ToHex(TakeAll(rig.board)), "7E");
    rig.SendHex(kStartFrame);
    EXPECT_EQ(Join(rig.Run()), "7E 08 00 12 34 | 7E 0D 03 00 01");
}

TEST(ScriptDownload, FileBlocksAreReadByTheirByteCount) {
    ScriptRig rig;
    // Outside a run the block is read and dropped: an odd count of 3 takes three bytes, 7E
    // among them, and the register request after it is answered.
    EXPECT_EQ(Exchange(rig.board, "7E 0C 00 03 7E 7E 7E 7E 05 20 01"), "7E 14 00 00");
    EXPECT_EQ(Exchange(rig.board, "7E 0D 00 00 7E 05 20 01"), "7E 14 00 00");
    // A block cut short is forgotten after two seconds of silence.
    EXPECT_EQ(Exchange(rig.board, "7E 0C 00 04 01"), "");
    rig.board.AdvanceTime(sim::Board::kAbandonMicroseconds);
    EXPECT_EQ(Exchange(rig.board, "7E 05 20 01"), "7E 14 00 00");
}

TEST(ScriptDownload, OtherRequestsAreAnsweredWhileAScriptRuns) {
    ScriptRig rig;
    rig.Load("n       word\nloop    add 1 n\n        jmp loop\n");
    rig.Run(5'000);
    EXPECT_EQ(Exchange(rig.board, "7E 03 20 00 2A 01"), "7E");
    EXPECT_EQ(Exchange(rig.board, "7E 05 20 01"), "7E 14 00 2A");
    EXPECT_EQ(Exchange(rig.board, "7E 19"), "7E 15");
    EXPECT_TRUE(rig.board.ScriptRunning());
}

}  // namespace

namespace {

// In the same process the PC's waits are the board's time: a read that waits lets the script
// run as far as the wait goes, and a read that returns at once does not.
TEST(ScriptDownload, TheInProcessSerialDeviceRunsTheScriptWhileThePcWaits) {
    FakeClock clock;
    sim::Board board;
    sim::SimSerialDevice device(board, clock);
    for (const Bytes& f : CompileToFrames("        delay 100\n        disp \"done\"\n        stop\n")) {
        device.Write(f.data(), f.size());
    }
    uint8_t answer = 0;
    ASSERT_EQ(device.Read(&answer, 1), 1u);
    EXPECT_EQ(answer, 0x7E);
    device.Write(Hex(kStartFrame).data(), 2);

    SerialTimeouts immediate;
    immediate.readInterval = 0xFFFFFFFF;
    device.SetTimeouts(immediate);
    uint8_t frame[10] = {};
    const uint64_t before = clock.NowMs();
    EXPECT_EQ(device.Read(frame, sizeof frame), 0u);
    EXPECT_EQ(clock.NowMs(), before);

    SerialTimeouts waiting;
    waiting.readTotalConstant = 500;
    device.SetTimeouts(waiting);
    ASSERT_EQ(device.Read(frame, sizeof frame), sizeof frame);
    EXPECT_EQ(ToHex(Bytes(frame, frame + sizeof frame)), "7E 08 00 00 00 7E 0C 00 00 02");
    // The delay ends 100.01 ms after the start, and the start's own write took 1 ms: the read
    // stopped at the first millisecond after that.
    EXPECT_EQ(clock.NowMs() - before, 100u);
}

}  // namespace
