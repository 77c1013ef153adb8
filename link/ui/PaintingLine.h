#pragma once
// The waits of a board operation, seen from the window: the line to the board and the clock's
// fixed sleeps keep the window painted while an operation runs on the window's thread (see
// CBoardActivity). On other threads, and outside an operation, they are the plain line and
// clock.
#include "link/Clock.h"
#include "link/SerialDevice.h"
#include "link/SerialPort.h"

#include <memory>

class CPaintingClock final : public Clock {
public:
    // A sleep is cut into slices of at most this length, with a paint after each.
    static constexpr uint32_t kSliceMs = 20;

    explicit CPaintingClock(Clock& base) : base_(base) {}
    void SleepMs(uint32_t ms) override;
    uint64_t NowMs() const override { return base_.NowMs(); }

private:
    Clock& base_;
};

// Paints before each call to the device: a read of the kit's line takes a byte time per byte
// and up to the read time-out when the board is slow to answer.
class CPaintingSerialDevice final : public SerialDevice {
public:
    explicit CPaintingSerialDevice(std::unique_ptr<SerialDevice> device) : device_(std::move(device)) {}
    void Configure(const SerialLineSettings& settings) override;
    void SetTimeouts(const SerialTimeouts& timeouts) override;
    SerialTimeouts GetTimeouts() const override { return device_->GetTimeouts(); }
    size_t Read(uint8_t* buffer, size_t n) override;
    size_t Write(const uint8_t* buffer, size_t n) override;
    void Flush() override;
    size_t QueuedBytes() override;
    size_t OutQueuedBytes() override { return device_->OutQueuedBytes(); }

private:
    std::unique_ptr<SerialDevice> device_;
};

// The same opener, with each device it opens wrapped; an empty opener stays empty.
CSerialPort::DeviceOpener PaintWhileWaiting(CSerialPort::DeviceOpener opener);
