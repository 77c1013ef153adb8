#include "link/ReadAhead.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

int64_t TotalMs(size_t n, uint32_t perByte, uint32_t constant) {
    // Large enough for any count and multiplier without overflow.
    const uint64_t total = static_cast<uint64_t>(n) * perByte + constant;
    return static_cast<int64_t>(std::min<uint64_t>(total, INT64_MAX / 4));
}

}  // namespace

size_t ReadAhead::Serve(uint8_t* out, size_t n) {
    const size_t k = std::min(n, end_ - begin_);
    std::memcpy(out, held_.data() + begin_, k);
    begin_ += k;
    if (begin_ == end_) begin_ = end_ = 0;
    return k;
}

size_t ReadAhead::Read(uint8_t* out, size_t n, const SerialTimeouts& t) {
    if (n == 0) return 0;
    const bool returnOnAny = t.readInterval == kTimeoutInfinite &&
                             t.readTotalMultiplier == kTimeoutInfinite && t.readTotalConstant > 0 &&
                             t.readTotalConstant < kTimeoutInfinite;
    // What is held already came: a read it satisfies needs neither the driver nor the clock.
    size_t got = Serve(out, n);
    if (got == n) return got;

    const bool returnAtOnce =
        t.readInterval == kTimeoutInfinite && t.readTotalMultiplier == 0 && t.readTotalConstant == 0;
    int64_t total;
    if (returnOnAny) {
        total = t.readTotalConstant;
    } else if (t.readTotalMultiplier != 0 || t.readTotalConstant != 0) {
        total = TotalMs(n, t.readTotalMultiplier, t.readTotalConstant);
    } else {
        total = returnAtOnce ? 0 : kEndlessWaitCapMs;
    }
    const bool intervalOn = !returnOnAny && t.readInterval != 0 && t.readInterval != kTimeoutInfinite;

    const int64_t start = static_cast<int64_t>(clock_.NowMs());
    const int64_t deadline = start + total;
    int64_t lastByte = start;
    bool hungUp = false;
    for (;;) {
        // A request at least as large as the buffer goes straight to the caller; anything
        // smaller takes all that has arrived, and keeps what is left over.
        size_t r;
        if (n - got >= kCapacity) {
            r = queue_.TakeArrived(out + got, n - got);
            got += r;
        } else {
            r = queue_.TakeArrived(held_.data(), kCapacity);
            end_ = r;
            got += Serve(out + got, n - got);
        }
        if (r > 0) {
            lastByte = static_cast<int64_t>(clock_.NowMs());
            hungUp = false;
            if (got == n || returnOnAny) return got;
            continue;
        }
        // Returning on anything: what was held, topped up with what the driver had.
        if (got > 0 && returnOnAny) return got;
        if (hungUp) queue_.RaiseLineClosed();
        const int64_t now = static_cast<int64_t>(clock_.NowMs());
        int64_t wait = deadline - now;
        if (got > 0 && intervalOn) wait = std::min<int64_t>(wait, lastByte + t.readInterval - now);
        if (wait <= 0) return got;
        hungUp = !queue_.WaitForArrival(wait);
    }
}

size_t ReadAhead::Queued() { return Held() + queue_.DriverCount(); }
