#pragma once
// The simulated board as the device behind CSerialPort, in the same process: what the PC
// writes reaches the board at once, and a read that would wait for bytes that never come
// moves the clock by the time-out instead of sleeping. Time that passes on the clock by other
// means (the program's own waits) passes for the board too. Once the board has closed the line
// every call raises CSerialException(EIO). Calls from two threads (the script worker reads while
// the user-interface thread writes) take turns.
//
// SetLineRate makes the line as slow as a real one: each byte moved takes its wire time in real
// time, so long transfers show the timing they have on the kit.
#include "core/Clock.h"
#include "link/SerialDevice.h"
#include "sim/Board.h"
#include "sim/LinePacer.h"

#include <memory>
#include <mutex>

namespace sim {

class SimSerialDevice final : public SerialDevice {
public:
    SimSerialDevice(Board& board, FakeClock& clock);
    void Configure(const SerialLineSettings& settings) override;
    void SetTimeouts(const SerialTimeouts& timeouts) override;
    SerialTimeouts GetTimeouts() const override;
    size_t Read(uint8_t* buffer, size_t n) override;
    size_t Write(const uint8_t* buffer, size_t n) override;
    void Flush() override;
    size_t QueuedBytes() override;

    // 0 (the default): unpaced. Otherwise every byte that Read delivers and Write accepts takes
    // 10/baud seconds of real time (start bit, 8 data bits, stop bit), on top of what the fake
    // clock does. The time is slept in steps of a millisecond or more, outside the device's lock,
    // so the other thread's calls go on meanwhile. Both directions share one wire time: the
    // board's answer follows the request that it answers, as on the kit's line.
    void SetLineRate(uint32_t baud);

private:
    size_t ReadLocked(uint8_t* buffer, size_t n);
    void CheckLine();
    void SyncBoardTime();
    void Wait(uint64_t ms);
    // Hands `bytes` to the line; returns how long the caller must sleep.
    uint64_t Pace(size_t bytes);
    static void SleepMicroseconds(uint64_t micros);

    Board& board_;
    FakeClock& clock_;
    SerialTimeouts timeouts_;
    uint64_t syncedMs_ = 0;  // clock time the board's time was last brought up to
    LinePacer line_;  // wire time of what Read delivers and Write accepts
    mutable std::mutex mutex_;
};

}  // namespace sim
