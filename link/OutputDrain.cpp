#include "link/OutputDrain.h"

#include <algorithm>

namespace {

constexpr uint64_t kNoTotalsLimitMs = 60'000;
// Short enough that a drained line is noticed at once on the kit's 115200 baud (a byte takes
// 87 microseconds), long enough not to spin.
constexpr uint32_t kPollMs = 1;

}  // namespace

uint64_t FlushLimitMs(const SerialTimeouts& t, size_t queued) {
    if (t.writeTotalMultiplier == 0 && t.writeTotalConstant == 0) return kNoTotalsLimitMs;
    return static_cast<uint64_t>(queued) * t.writeTotalMultiplier + t.writeTotalConstant;
}

bool WaitUntilSent(const std::function<size_t()>& outQueued, Clock& clock, uint64_t limitMs) {
    const uint64_t start = clock.NowMs();
    for (;;) {
        if (outQueued() == 0) return true;
        const uint64_t waited = clock.NowMs() - start;
        if (waited >= limitMs) return false;
        clock.SleepMs(static_cast<uint32_t>(std::min<uint64_t>(kPollMs, limitMs - waited)));
    }
}
