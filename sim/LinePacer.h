#pragma once
// The wire time of a serial line. A byte takes ten bit times (start bit, eight
// data bits, stop bit) at the line's baud rate, and bytes go one after the other: a byte that is
// handed over while the line is still busy goes when the bytes before it are through. The pacer
// only does the arithmetic; the caller gives it the time (microseconds on any steady time source)
// and sleeps or waits as it says.
#include <cstdint>

namespace sim {

class LinePacer {
public:
    static constexpr uint32_t kBitsPerByte = 10;
    // A caller that comes back this late after the line went free (a sleep that overslept, a poll
    // that woke late) still continues the run of bytes where it ended, so the line keeps its rate
    // over a long transfer; later than this the line has been idle and starts afresh.
    static constexpr uint64_t kCatchUpMicroseconds = 10'000;

    // 0: unpaced, every byte goes at once.
    explicit LinePacer(uint32_t baud = 0) : baud_(baud) {}

    // A new rate; the line starts idle.
    void SetBaud(uint32_t baud);
    uint32_t Baud() const { return baud_; }
    bool Paced() const { return baud_ != 0; }

    // Wire time of `bytes` bytes at `baud`, rounded up to whole microseconds; 0 at baud 0.
    static uint64_t WireMicroseconds(uint64_t bytes, uint32_t baud);
    // Whole bytes whose wire time fits into `micros` at `baud`, at least 1 (a pace of at least a byte
    // at a time); at baud 0 there is no limit (UINT64_MAX).
    static uint64_t BytesIn(uint64_t micros, uint32_t baud);

    // `bytes` bytes were handed to the line at `now`.
    void Move(uint64_t bytes, uint64_t now);
    // Microseconds from `now` until every byte handed over so far is through; 0: the line is free
    // (always 0 when unpaced).
    uint64_t Busy(uint64_t now) const;

private:
    // When the current run of back-to-back bytes ends, in the caller's time.
    uint64_t BusyUntil() const;

    uint32_t baud_ = 0;
    uint64_t runStart_ = 0;  // when the current run began
    uint64_t runBits_ = 0;  // bits of the run not yet folded into runStart_ (below one second's)
    bool running_ = false;
};

}  // namespace sim
