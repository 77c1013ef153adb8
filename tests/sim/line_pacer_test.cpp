// Line-rate pacing: the wire time of bytes at a baud rate, back-to-back runs, idle lines, and the
// in-process device that sleeps it.
#include "sim/LinePacer.h"
#include "sim/port/SimSerialDevice.h"
#include "tests/sim/BoardTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>

using namespace simtest;

namespace {

TEST(LinePacer, WireTimeIsTenBitsAByteRoundedUp) {
    struct Case {
        uint64_t bytes;
        uint32_t baud;
        uint64_t micros;
    };
    const Case cases[] = {
        {1, 115200, 87},  // 86.8 us
        {14, 115200, 1216},  // one trace record with its 7E 17
        {512, 115200, 44445},  // a firmware block
        {11520, 115200, 1000000},  // exactly one second
        {1835008, 115200, 159288889},  // 131072 trace records of 14 bytes
        {1, 9600, 1042},
        {960, 9600, 1000000},
        {1, 1, 10000000},  // the slowest line: ten seconds a byte
        {0, 115200, 0},
        {100, 0, 0},  // unpaced
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.bytes) + " bytes at " + std::to_string(c.baud));
        EXPECT_EQ(sim::LinePacer::WireMicroseconds(c.bytes, c.baud), c.micros);
    }
}

TEST(LinePacer, BytesInATimeAreWholeAndAtLeastOne) {
    struct Case {
        uint64_t micros;
        uint32_t baud;
        uint64_t bytes;
    };
    const Case cases[] = {
        {1000, 115200, 11},  // 11.52
        {2000, 115200, 23},  // 23.04
        {1000000, 115200, 11520}, {2500000, 115200, 28800},
        {1000, 9600, 1},  // 0.96: still a byte at a time
        {0, 115200, 1},           {1000, 0, std::numeric_limits<uint64_t>::max()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.micros) + " us at " + std::to_string(c.baud));
        EXPECT_EQ(sim::LinePacer::BytesIn(c.micros, c.baud), c.bytes);
    }
}

// Steps on a fake time source: (time, bytes handed over then, busy time expected after).
TEST(LinePacer, BytesQueueBehindEachOtherAndAnIdleLineStartsAfresh) {
    struct Step {
        uint64_t now;
        uint64_t bytes;
        uint64_t busy;
    };
    struct Case {
        const char* name;
        uint32_t baud;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"unpaced line is never busy", 0, {{0, 1000, 0}, {5, 1000, 0}}},
        {"nothing moved: free", 115200, {{100, 0, 0}}},
        {"one byte", 115200, {{1000, 1, 87}, {1087, 0, 0}}},
        {"back to back: the second byte waits for the first",
         9600,
         {{0, 1, 1042}, {0, 1, 2084}, {1000, 0, 1084}, {2084, 0, 0}}},
        // Bytes handed over in pieces cost the time of the whole, not a rounding per piece.
        {"a run keeps exact time", 115200, {{0, 6, 521}, {0, 6, 1042}}},
        {"next bytes right after the run continue it", 9600, {{0, 96, 100000}, {100000, 96, 100000}}},
        {"a late caller within the catch-up continues the run and owes less",
         9600,
         {{0, 96, 100000}, {105000, 96, 95000}}},
        {"after a real pause the line starts afresh",
         9600,
         {{0, 96, 100000}, {100000 + sim::LinePacer::kCatchUpMicroseconds + 1, 96, 100000}}},
        {"a long run folds whole seconds without losing a bit",
         115200,
         {{0, 11520 * 3 + 1, 3000087}, {3000000, 0, 87}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::LinePacer pacer(c.baud);
        for (const Step& s : c.steps) {
            pacer.Move(s.bytes, s.now);
            EXPECT_EQ(pacer.Busy(s.now), s.busy) << "at " << s.now;
        }
    }
}

TEST(LinePacer, ANewRateStartsIdle) {
    sim::LinePacer pacer(9600);
    pacer.Move(960, 0);
    ASSERT_EQ(pacer.Busy(0), 1000000u);
    pacer.SetBaud(115200);
    EXPECT_EQ(pacer.Busy(0), 0u);
    pacer.SetBaud(0);
    pacer.Move(960, 0);
    EXPECT_FALSE(pacer.Paced());
    EXPECT_EQ(pacer.Busy(0), 0u);
}

// The one real-time check: a paced device takes at least the wire time of what it moved, both ways
// added up, and leaves the fake clock as an unpaced one does. A fast line keeps it short.
TEST(SimSerialDeviceLineRate, MovesTakeTheirWireTimeInRealTime) {
    constexpr uint32_t kBaud = 1'000'000;  // 10 us a byte
    const SerialTimeouts timeouts{500, 1, 500, 1, 500};
    FakeClock clock, unpacedClock;
    sim::Board board, unpacedBoard;
    sim::SimSerialDevice device(board, clock), unpaced(unpacedBoard, unpacedClock);
    device.SetLineRate(kBaud);
    device.SetTimeouts(timeouts);
    unpaced.SetTimeouts(timeouts);

    // 300 register reads: 4 bytes out and 4 bytes back each, 2400 bytes = 24 ms of wire time.
    const Bytes request = Hex("7E 05 20 01");
    uint8_t reply[4];
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 300; ++i) {
        for (sim::SimSerialDevice* d : {&device, &unpaced}) {
            ASSERT_EQ(d->Write(request.data(), request.size()), request.size());
            ASSERT_EQ(d->Read(reply, sizeof reply), sizeof reply);
        }
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // Less than a millisecond may still be owed at the end: it is slept with the next bytes.
    EXPECT_GE(elapsed, std::chrono::microseconds(24000 - 1000));
    EXPECT_EQ(clock.NowMs(), unpacedClock.NowMs());
}

}  // namespace
