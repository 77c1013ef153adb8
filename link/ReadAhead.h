#pragma once
// The receive side of a serial device with read-ahead: one call to the driver takes whatever has
// arrived (up to a few KB), and the protocol's one-byte reads are served from what it holds.
// The bytes held count as part of the receive queue, and the time-out record keeps its meaning:
// a byte taken from the holding buffer counts as arriving when it is handed out, as a byte
// waiting in the driver's queue does.
#include "core/Clock.h"
#include "link/SerialDevice.h"

#include <array>
#include <cstddef>
#include <cstdint>

// What the read-ahead reads from: the driver's receive queue.
class ReceiveQueue {
public:
    virtual ~ReceiveQueue() = default;
    // Up to n bytes of what has arrived, without waiting; 0 when nothing has. Raises
    // CSerialException when the port fails.
    virtual size_t TakeArrived(uint8_t* buffer, size_t n) = 0;
    // Waits at most ms for bytes to arrive, and may return earlier (a signal). False when the
    // line reports that it hung up.
    virtual bool WaitForArrival(int64_t ms) = 0;
    // Bytes waiting in the driver. Raises as TakeArrived.
    virtual size_t DriverCount() = 0;
    // Nothing came after the line hung up: that is the end of the line.
    [[noreturn]] virtual void RaiseLineClosed() = 0;
};

class ReadAhead {
public:
    // Enough for every reply of the protocol but a Kernlet block; a pty hands over at most
    // 4 KB a call.
    static constexpr size_t kCapacity = 4096;

    ReadAhead(ReceiveQueue& queue, const Clock& clock) : queue_(queue), clock_(clock) {}

    // Up to n bytes: returns when n came, when more than the read interval passed between two
    // bytes (after the first), or at the latest after n * per-byte + constant ms. Interval
    // "infinite" without totals returns what is there; interval and per-byte "infinite" with a
    // constant returns as soon as anything came. A record without totals would wait for ever;
    // here it waits a minute at most.
    size_t Read(uint8_t* out, size_t n, const SerialTimeouts& timeouts);

    // The receive-queue count: what is held here and what the driver still has.
    size_t Queued();
    size_t Held() const { return end_ - begin_; }

private:
    size_t Serve(uint8_t* out, size_t n);

    ReceiveQueue& queue_;
    const Clock& clock_;
    std::array<uint8_t, kCapacity> held_{};
    size_t begin_ = 0;
    size_t end_ = 0;
};

// "Infinite" in a time-out field, as the Windows port has it.
inline constexpr uint32_t kTimeoutInfinite = 0xFFFFFFFF;
// Where a time-out record asks for no limit at all: nothing may wait for ever.
inline constexpr int64_t kEndlessWaitCapMs = 60'000;
