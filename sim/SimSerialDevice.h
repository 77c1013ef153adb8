#pragma once
// The simulated board as the device behind CSerialPort, in the same process: what the PC
// writes reaches the board at once, and a read that would wait for bytes that never come
// moves the clock by the time-out instead of sleeping.
#include "link/Clock.h"
#include "link/SerialDevice.h"
#include "sim/Board.h"

#include <memory>

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
    Board& board_;
    FakeClock& clock_;
    SerialTimeouts timeouts_;
};

}  // namespace sim
