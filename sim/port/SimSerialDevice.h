#pragma once
// The simulated board as the device behind CSerialPort, in the same process: what the PC
// writes reaches the board at once, and a read that would wait for bytes that never come
// moves the clock by the time-out instead of sleeping. Time that passes on the clock by other
// means (the program's own waits) passes for the board too. Once the board has closed the line
// every call raises CSerialException(EIO). Calls from two threads (the script worker reads while
// the user-interface thread writes) take turns.
#include "core/Clock.h"
#include "link/SerialDevice.h"
#include "sim/Board.h"

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

private:
    void CheckLine();
    void SyncBoardTime();
    void Wait(uint64_t ms);

    Board& board_;
    FakeClock& clock_;
    SerialTimeouts timeouts_;
    uint64_t syncedMs_ = 0;  // clock time the board's time was last brought up to
    mutable std::mutex mutex_;
};

}  // namespace sim
