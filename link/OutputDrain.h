#pragma once
// The wait of a flush: until the driver has passed every written byte on. A line held off by
// flow control (RTS/CTS with CTS low) never drains; the wait then ends at the write time-out and
// the flush fails like a write that could not get its bytes out.
#include "core/Clock.h"
#include "link/SerialDevice.h"

#include <cstddef>
#include <cstdint>
#include <functional>

// The limit for a flush of `queued` bytes under the time-out record: the write total time-out
// for that many bytes, or a minute when the record has no write totals.
uint64_t FlushLimitMs(const SerialTimeouts& timeouts, size_t queued);

// Polls the driver's output count until it is 0 (true) or limitMs have passed (false).
[[nodiscard]] bool WaitUntilSent(const std::function<size_t()>& outQueued, Clock& clock, uint64_t limitMs);
