#include "link/ComInt.h"
#include "tests/link/ScriptedLine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace {

class ComIntTest : public ::testing::Test {
protected:
    void SetUp() override { OpenScripted(link.Port(), line); }

    FakeClock clock;
    ScriptedLine line{clock};
    CComInt link;
};

struct ReadCase {
    const char* name;
    const char* queued;
    uint32_t n;
    uint8_t wait;
    uint8_t result;
    uint32_t got;
    uint64_t clockMs;  // how long the port waited
    size_t left;  // bytes still queued afterwards
    size_t readLimit = static_cast<size_t>(-1);
    bool failReads = false;
    bool failStatus = false;
};

TEST_F(ComIntTest, ReadResultCodes) {
    const ReadCase cases[] = {
        {"non-waiting, nothing queued", "", 1, 0, kReadNotQueued, 0, 0, 0},
        {"non-waiting, fewer queued than asked", "7E", 2, 0, kReadNotQueued, 0, 0, 1},
        {"non-waiting, enough queued", "7E 13 5A", 2, 0, kReadAll, 2, 0, 1},
        {"non-waiting, port hands out fewer than queued", "01 02 03", 3, 0, kReadError, 1, 503, 2, 1},
        {"non-waiting, status fails", "7E", 1, 0, kReadError, 0, 0, 1, static_cast<size_t>(-1), false, true},
        {"waiting, all came", "7E 14 12 34", 4, 1, kReadAll, 4, 0, 0},
        {"waiting, nothing came", "", 1, 1, kReadShort, 0, 501, 0},
        {"waiting, some came", "7E 14", 4, 1, kReadShort, 2, 504, 0},
        {"waiting, port fails", "7E", 1, 1, kReadError, 0, 0, 1, static_cast<size_t>(-1), true},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeClock caseClock;
        ScriptedLine caseLine{caseClock};
        CComInt caseLink;
        OpenScripted(caseLink.Port(), caseLine);
        caseLine.Queue(Hex(c.queued));
        caseLine.readLimit = c.readLimit;
        caseLine.failReads = c.failReads;
        caseLine.failStatus = c.failStatus;

        uint8_t buffer[8] = {};
        uint32_t got = 99;
        EXPECT_EQ(caseLink.Read(buffer, got, c.n, c.wait), c.result);
        EXPECT_EQ(got, c.got);
        EXPECT_EQ(caseClock.NowMs(), c.clockMs);
        EXPECT_EQ(caseLine.rx.size(), c.left);
        Bytes expected = Hex(c.queued);
        expected.resize(c.got);
        EXPECT_EQ(Bytes(buffer, buffer + c.got), expected);
        if (c.result == kReadNotQueued) {
            EXPECT_TRUE(caseLine.readSizes.empty()) << "nothing is read";
        }
    }
}

TEST_F(ComIntTest, ReadOnClosedPortIsAnError) {
    link.Port().Close();
    uint8_t b = 0;
    uint32_t got = 7;
    EXPECT_EQ(link.Read(&b, got, 1, 1), kReadError);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(link.Read(&b, got, 1, 0), kReadError);
}

struct PacedCase {
    const char* name;
    const char* pace;  // what the board answers before the chunk
    uint32_t length;
    uint8_t result;
    bool sent;  // count byte and data went out
    size_t paceLeft;  // pacing bytes still queued
    size_t writeLimit = static_cast<size_t>(-1);
};

TEST_F(ComIntTest, PacedChunk) {
    const PacedCase cases[] = {
        {"board asks for it", "12", 3, kWriteOk, true, 0},
        {"largest chunk", "12", 255, kWriteOk, true, 0},
        {"empty chunk", "12", 0, kWriteOk, true, 0},
        {"board refuses", "11", 3, kWriteRefused, false, 0},
        {"unknown pacing byte", "13", 3, kWriteFailed, false, 0},
        {"board silent", "", 3, kWriteFailed, false, 0},
        {"too long for the count byte", "12", 300, kWriteFailed, false, 1},
        {"data not all taken", "12", 10, kWriteFailed, true, 0, 5},
    };
    for (const PacedCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeClock caseClock;
        ScriptedLine caseLine{caseClock};
        CComInt caseLink;
        OpenScripted(caseLink.Port(), caseLine);
        caseLine.Queue(Hex(c.pace));
        caseLine.writeLimit = c.writeLimit;
        Bytes data(c.length);
        for (uint32_t i = 0; i < c.length; ++i) data[i] = static_cast<uint8_t>(i * 7 + 1);

        EXPECT_EQ(caseLink.Write(data.data(), c.length, 1), c.result);
        EXPECT_EQ(caseLine.rx.size(), c.paceLeft);
        if (!c.sent) {
            EXPECT_TRUE(caseLine.written.empty()) << ToHex(caseLine.written);
            continue;
        }
        // One count byte, then the data, each written and flushed on its own.
        ASSERT_GE(caseLine.writes.size(), 1u);
        EXPECT_EQ(caseLine.writes[0], Bytes{static_cast<uint8_t>(c.length)});
        if (c.length > 0) {
            ASSERT_EQ(caseLine.writes.size(), 2u);
            data.resize(std::min<size_t>(c.length, c.writeLimit));
            EXPECT_EQ(caseLine.writes[1], data);
        }
        EXPECT_EQ(caseLine.flushes, static_cast<int>(caseLine.writes.size()));
    }
}

TEST_F(ComIntTest, PlainWriteIsOneWriteAndAFlush) {
    const Bytes frame = Hex("7E 03 20 12 34 02");
    EXPECT_EQ(link.Write(frame.data(), 6, 0), kWriteOk);
    ASSERT_EQ(line.writes.size(), 1u);
    EXPECT_EQ(line.writes[0], frame);
    EXPECT_EQ(line.flushes, 1);
    EXPECT_TRUE(line.readSizes.empty()) << "a plain write waits for no pacing byte";

    line.writeLimit = 4;
    EXPECT_EQ(link.Write(frame.data(), 6, 0), kWriteFailed);
}

// An adapter that goes away fails every operation with its failure result, and the port's
// words are kept for the lost-board report.
TEST_F(ComIntTest, PortFailuresAreFailureResultsWithTheirWordsKept) {
    line.Queue(Hex("01 02 03"));
    uint32_t n = 0;
    EXPECT_EQ(link.GetRxCount(n), 1);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(link.LastPortFailure(), "");

    line.failStatus = true;
    EXPECT_EQ(link.GetRxCount(n), 0);
    EXPECT_EQ(n, 0u);
    EXPECT_NE(link.LastPortFailure(), "");
    line.failWrites = true;
    const uint8_t b = 0x7E;
    EXPECT_EQ(link.Write(&b, 1, 0), kWriteFailed);
    line.failReads = true;
    EXPECT_EQ(link.Write(&b, 1, 1), kWriteFailed);
    uint8_t r = 0;
    EXPECT_EQ(link.Read(&r, n, 1, 1), kReadError);
}

}  // namespace

// A device that passes a write on a few bytes at a time with pauses between, as a USB bridge
// whose buffer is full does: other threads run while a long frame is on its way.
class TrickleDevice final : public SerialDevice {
public:
    void Configure(const SerialLineSettings&) override {}
    void SetTimeouts(const SerialTimeouts&) override {}
    SerialTimeouts GetTimeouts() const override { return {}; }
    size_t Read(uint8_t*, size_t) override { return 0; }
    size_t Write(const uint8_t* buffer, size_t n) override {
        for (size_t i = 0; i < n; i += kPiece) {
            {
                std::lock_guard lock(mutex);
                wire.insert(wire.end(), buffer + i, buffer + std::min(n, i + kPiece));
            }
            started = true;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        return n;
    }
    void Flush() override {}
    size_t QueuedBytes() override { return 0; }

    static constexpr size_t kPiece = 16;
    std::mutex mutex;
    Bytes wire;
    std::atomic<bool> started{false};
};

// While a script runs the worker sends file blocks and the window thread sends the abort: the
// abort arrives as its own frame after the block, never inside it.
TEST(ComIntWriters, AFrameLeavesWholeWhileAnotherThreadWrites) {
    CComInt link;
    TrickleDevice* device = nullptr;
    link.Port().SetDeviceOpener([&device](int) {
        auto d = std::make_unique<TrickleDevice>();
        device = d.get();
        return d;
    });
    link.Port().Open(1, 115200, ParityNone, 8, StopOne, FlowNone, false);

    Bytes block = Hex("7E 0C 07 D0");
    block.resize(4 + 2000, 0x55);
    const Bytes abort = Hex("7E 0B");
    std::thread worker(
        [&] { EXPECT_EQ(link.Write(block.data(), static_cast<uint32_t>(block.size()), 0), kWriteOk); });
    while (!device->started) std::this_thread::yield();
    EXPECT_EQ(link.Write(abort.data(), 2, 0), kWriteOk);
    worker.join();

    Bytes expected = block;
    expected.insert(expected.end(), abort.begin(), abort.end());
    std::lock_guard lock(device->mutex);
    EXPECT_EQ(device->wire.size(), expected.size());
    EXPECT_TRUE(device->wire == expected) << "the abort landed inside the block";
}
