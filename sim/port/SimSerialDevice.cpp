#include "sim/port/SimSerialDevice.h"

#include "link/SerialPort.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace sim {
namespace {

constexpr uint32_t kMaxDword = 0xFFFFFFFF;
// A read that the time-outs would let wait for ever is cut here: in the same process nothing
// else can make the board talk, and nothing may block for ever.
constexpr uint64_t kEndlessReadCapMs = 60'000;
constexpr uint64_t kUsbFrameMs = 1;
// Wire time shorter than this is not slept yet but added to the next bytes', so a line that
// moves one byte per call does not cost a system call per byte.
constexpr uint64_t kMinSleepMicroseconds = 1000;

uint64_t RealMicroseconds() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

}  // namespace

SimSerialDevice::SimSerialDevice(Board& board, FakeClock& clock)
    : board_(board), clock_(clock), syncedMs_(clock.NowMs()) {}

void SimSerialDevice::CheckLine() {
    if (board_.LineClosed()) throw CSerialException(EIO, "the simulated board closed the line");
}

// Whatever moved the clock since our last call (the program's own waits) has passed for the
// board too.
void SimSerialDevice::SyncBoardTime() {
    const uint64_t now = clock_.NowMs();
    if (now > syncedMs_) board_.AdvanceTime((now - syncedMs_) * 1000);
    syncedMs_ = std::max(syncedMs_, now);
}

void SimSerialDevice::Wait(uint64_t ms) {
    clock_.Advance(ms);
    SyncBoardTime();
}

void SimSerialDevice::SetLineRate(uint32_t baud) {
    std::lock_guard lock(mutex_);
    line_.SetBaud(baud);
}

uint64_t SimSerialDevice::Pace(size_t bytes) {
    if (!line_.Paced()) return 0;
    const uint64_t now = RealMicroseconds();
    line_.Move(bytes, now);
    const uint64_t busy = line_.Busy(now);
    return busy >= kMinSleepMicroseconds ? busy : 0;
}

void SimSerialDevice::SleepMicroseconds(uint64_t micros) {
    if (micros > 0) std::this_thread::sleep_for(std::chrono::microseconds(micros));
}

void SimSerialDevice::Configure(const SerialLineSettings&) {
    std::lock_guard lock(mutex_);
    CheckLine();
}

void SimSerialDevice::SetTimeouts(const SerialTimeouts& timeouts) {
    std::lock_guard lock(mutex_);
    CheckLine();
    timeouts_ = timeouts;
}

SerialTimeouts SimSerialDevice::GetTimeouts() const {
    std::lock_guard lock(mutex_);
    if (board_.LineClosed()) throw CSerialException(EIO, "the simulated board closed the line");
    return timeouts_;
}

size_t SimSerialDevice::Read(uint8_t* buffer, size_t n) {
    uint64_t sleep = 0;
    size_t got = 0;
    {
        std::lock_guard lock(mutex_);
        got = ReadLocked(buffer, n);
        sleep = Pace(got);
    }
    SleepMicroseconds(sleep);
    return got;
}

size_t SimSerialDevice::ReadLocked(uint8_t* buffer, size_t n) {
    CheckLine();
    SyncBoardTime();
    size_t got = board_.Take(buffer, n);
    if (got == n) return got;

    const SerialTimeouts& t = timeouts_;
    // Interval "infinite" with no totals: return at once with what is there.
    if (t.readInterval == kMaxDword && t.readTotalMultiplier == 0 && t.readTotalConstant == 0) return got;
    // Interval and multiplier "infinite", constant set: return as soon as anything is there,
    // else after the constant.
    const bool returnOnAny = t.readInterval == kMaxDword && t.readTotalMultiplier == kMaxDword &&
                             t.readTotalConstant > 0 && t.readTotalConstant < kMaxDword;
    if (returnOnAny && got > 0) return got;

    uint64_t total;
    if (returnOnAny) {
        total = t.readTotalConstant;
    } else if (t.readTotalMultiplier != 0 || t.readTotalConstant != 0) {
        total = uint64_t{n} * t.readTotalMultiplier + t.readTotalConstant;
    } else {
        total = kEndlessReadCapMs;
    }
    const bool intervalOn = !returnOnAny && t.readInterval != 0 && t.readInterval != kMaxDword;

    uint64_t waited = 0;
    uint64_t sinceByte = 0;
    while (got < n) {
        uint64_t step = total - waited;
        // The interval counts from the first byte on, as a port's would.
        if (intervalOn && got > 0)
            step = std::min<uint64_t>(step, t.readInterval - std::min<uint64_t>(sinceByte, t.readInterval));
        if (step == 0) break;
        if (const std::optional<uint64_t> next = board_.NextEventMicroseconds()) {
            const uint64_t now = board_.NowMicroseconds();
            const uint64_t micros = *next > now ? *next - now : 0;
            step = std::min<uint64_t>(step, std::max<uint64_t>(1, (micros + 999) / 1000));
        }
        Wait(step);
        waited += step;
        sinceByte += step;
        CheckLine();
        const size_t k = board_.Take(buffer + got, n - got);
        if (k > 0) {
            got += k;
            sinceByte = 0;
            if (returnOnAny) break;
        }
    }
    return got;
}

size_t SimSerialDevice::Write(const uint8_t* buffer, size_t n) {
    uint64_t sleep = 0;
    size_t taken = 0;
    {
        std::lock_guard lock(mutex_);
        CheckLine();
        SyncBoardTime();
        taken = board_.Receive(buffer, n);
        // The write during which the line closed delivered only part of its bytes: it fails like
        // a port whose device went away.
        if (taken < n) CheckLine();
        // A write leaves the PC in one USB frame: every exchange costs at least a millisecond, as
        // with a real bridge, so a loop that polls the board also moves the clock.
        Wait(kUsbFrameMs);
        sleep = Pace(taken);
    }
    SleepMicroseconds(sleep);
    return taken;
}

void SimSerialDevice::Flush() {
    std::lock_guard lock(mutex_);
    CheckLine();
}

size_t SimSerialDevice::QueuedBytes() {
    std::lock_guard lock(mutex_);
    CheckLine();
    SyncBoardTime();
    return board_.Available();
}

}  // namespace sim
