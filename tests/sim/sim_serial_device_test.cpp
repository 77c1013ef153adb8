// The in-process device: reads that would wait move the fake clock by the time-out, and the
// board's time follows the clock.
#include "link/SerialPort.h"
#include "sim/port/SimSerialDevice.h"
#include "tests/sim/BoardTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace simtest;

namespace {

constexpr uint32_t kMaxDword = 0xFFFFFFFF;

// The time-outs the program sets once the port is open.
const SerialTimeouts kProgramTimeouts{500, 1, 500, 1, 500};

struct DeviceFixture : ::testing::Test {
    FakeClock clock;
    sim::Board board;
    sim::SimSerialDevice device{board, clock};

    void Write(const std::string& hex) {
        const Bytes b = Hex(hex);
        ASSERT_EQ(device.Write(b.data(), b.size()), b.size());
    }
    std::string Read(size_t n, size_t* got = nullptr) {
        Bytes buf(n);
        buf.resize(device.Read(buf.data(), n));
        if (got) *got = buf.size();
        return ToHex(buf);
    }
};

TEST_F(DeviceFixture, ReadTimeOutsMoveTheClock) {
    struct Case {
        const char* name;
        SerialTimeouts timeouts;
        const char* request;  // what the board is asked first, so that it has something to say
        size_t n;
        const char* expected;
        uint64_t elapsedMs;
    };
    const Case cases[] = {
        {"all bytes there: no wait", kProgramTimeouts, "7E 05 20 01", 4, "7E 14 00 00", 0},
        {"silent line: total time-out n x 1 + 500", kProgramTimeouts, "", 1, "", 501},
        {"silent line, 10 bytes", kProgramTimeouts, "", 10, "", 510},
        {"some bytes, then the interval ends the read", kProgramTimeouts, "7E 01 01", 4, "7E", 500},
        {"interval longer than the total", {800, 1, 500, 0, 0}, "7E 01 01", 4, "7E", 504},
        {"interval only", {300, 0, 0, 0, 0}, "7E 01 01", 4, "7E", 300},
        {"return at once", {kMaxDword, 0, 0, 0, 0}, "", 1, "", 0},
        {"return on any byte: something there", {kMaxDword, kMaxDword, 200, 0, 0}, "7E 01 01", 4, "7E", 0},
        {"return on any byte: nothing comes", {kMaxDword, kMaxDword, 200, 0, 0}, "", 4, "", 200},
        {"no time-outs at all: cut after a minute", {0, 0, 0, 0, 0}, "", 1, "", 60000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeClock caseClock;
        sim::Board caseBoard;
        sim::SimSerialDevice caseDevice(caseBoard, caseClock);
        caseDevice.SetTimeouts(c.timeouts);
        const Bytes request = Hex(c.request);
        caseDevice.Write(request.data(), request.size());
        // The write itself costs one USB frame.
        EXPECT_EQ(caseClock.NowMs(), 1u);
        Bytes buf(c.n);
        buf.resize(caseDevice.Read(buf.data(), c.n));
        EXPECT_EQ(ToHex(buf), c.expected);
        EXPECT_EQ(caseClock.NowMs() - 1, c.elapsedMs);
        EXPECT_EQ(caseClock.SleptMs(), 0u);  // a read is no documented wait
        EXPECT_EQ(caseBoard.NowMicroseconds(), (c.elapsedMs + 1) * 1000);
    }
}

TEST_F(DeviceFixture, AReadWaitsForTheBoardsNextPacingByte) {
    device.SetTimeouts(kProgramTimeouts);
    board.faults().refusals = 2;
    Write("7E 15 01");
    EXPECT_EQ(Read(2), "7E 11");
    EXPECT_EQ(clock.NowMs(), 1u);  // the request's USB frame
    // The refusals come a millisecond apart; the request's frame has covered the first.
    EXPECT_EQ(Read(1), "11");
    EXPECT_EQ(clock.NowMs(), 1u);
    EXPECT_EQ(Read(1), "12");
    EXPECT_EQ(clock.NowMs(), 2u);
}

TEST_F(DeviceFixture, TheProgramsOwnWaitsPassForTheBoard) {
    device.SetTimeouts(kProgramTimeouts);
    clock.SleepMs(100);
    EXPECT_EQ(device.QueuedBytes(), 0u);
    EXPECT_EQ(board.NowMicroseconds(), 100'000u);
    Write("7E 03 20 00 01 01");
    EXPECT_EQ(board.TraceAt(0).timestamp, 100'000u);
}

TEST_F(DeviceFixture, QueuedBytesCountsWhatTheBoardSent) {
    device.SetTimeouts(kProgramTimeouts);
    Write("7E 05 20 01");
    EXPECT_EQ(device.QueuedBytes(), 4u);
    EXPECT_EQ(Read(1), "7E");
    EXPECT_EQ(device.QueuedBytes(), 3u);
}

TEST_F(DeviceFixture, AClosedLineFailsEveryCallWithEio) {
    device.SetTimeouts(kProgramTimeouts);
    board.faults().closeAfterBytes = 6;
    Write("7E 05 20 01");
    EXPECT_EQ(Read(4), "7E 14 00 00");
    const Bytes more = Hex("7E 05 20 01");
    // The write that reaches the count delivers two bytes and fails.
    try {
        device.Write(more.data(), more.size());
        ADD_FAILURE() << "no exception";
    } catch (const CSerialException& e) {
        EXPECT_EQ(e.GetErrorCode(), static_cast<uint32_t>(EIO));
    }
    uint8_t b = 0;
    EXPECT_THROW(device.Read(&b, 1), CSerialException);
    EXPECT_THROW(device.Write(&b, 1), CSerialException);
    EXPECT_THROW(device.QueuedBytes(), CSerialException);
    EXPECT_THROW(device.Flush(), CSerialException);
    EXPECT_THROW(device.SetTimeouts(kProgramTimeouts), CSerialException);
    EXPECT_THROW(device.GetTimeouts(), CSerialException);
    EXPECT_THROW(device.Configure(SerialLineSettings{}), CSerialException);
}

TEST_F(DeviceFixture, AWriteThatEndsExactlyAtTheCountSucceedsAndTheReadFails) {
    device.SetTimeouts(kProgramTimeouts);
    board.faults().closeAfterBytes = 4;
    Write("7E 05 20 01");
    uint8_t b = 0;
    EXPECT_THROW(device.Read(&b, 1), CSerialException);
}

}  // namespace
