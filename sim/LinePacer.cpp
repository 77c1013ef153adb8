#include "sim/LinePacer.h"

#include <limits>

namespace sim {
namespace {

constexpr uint64_t kMicrosPerSecond = 1'000'000;

// Microseconds of `bits` bits at `baud`, rounded up. bits stays below baud + one call's worth (see
// Move), so the product cannot overflow for any transfer a caller makes at once.
uint64_t BitMicroseconds(uint64_t bits, uint32_t baud) {
    const uint64_t seconds = bits / baud;
    const uint64_t rest = bits % baud;
    return seconds * kMicrosPerSecond + (rest * kMicrosPerSecond + baud - 1) / baud;
}

}  // namespace

void LinePacer::SetBaud(uint32_t baud) {
    baud_ = baud;
    running_ = false;
    runStart_ = 0;
    runBits_ = 0;
}

uint64_t LinePacer::WireMicroseconds(uint64_t bytes, uint32_t baud) {
    if (baud == 0) return 0;
    return BitMicroseconds(bytes * kBitsPerByte, baud);
}

uint64_t LinePacer::BytesIn(uint64_t micros, uint32_t baud) {
    if (baud == 0) return std::numeric_limits<uint64_t>::max();
    const uint64_t bits =
        micros / kMicrosPerSecond * baud + micros % kMicrosPerSecond * baud / kMicrosPerSecond;
    const uint64_t bytes = bits / kBitsPerByte;
    return bytes > 0 ? bytes : 1;
}

uint64_t LinePacer::BusyUntil() const { return runStart_ + BitMicroseconds(runBits_, baud_); }

void LinePacer::Move(uint64_t bytes, uint64_t now) {
    if (baud_ == 0 || bytes == 0) return;
    if (!running_ || now > BusyUntil() + kCatchUpMicroseconds) {
        running_ = true;
        runStart_ = now;
        runBits_ = 0;
    }
    runBits_ += bytes * kBitsPerByte;
    // Whole seconds of the run move into its start, exactly (baud bits are one second), so the count
    // stays small however long the line runs.
    const uint64_t seconds = runBits_ / baud_;
    runStart_ += seconds * kMicrosPerSecond;
    runBits_ -= seconds * baud_;
}

uint64_t LinePacer::Busy(uint64_t now) const {
    if (baud_ == 0 || !running_) return 0;
    const uint64_t until = BusyUntil();
    return until > now ? until - now : 0;
}

}  // namespace sim
