// The flush's wait: a line whose output never leaves (RTS/CTS with CTS held off) ends the wait at
// the write time-out instead of holding the program for ever.
#include "link/OutputDrain.h"

#include <gtest/gtest.h>

namespace {

TEST(OutputDrain, WaitEndsWhenTheQueueEmptiesOrAtTheWriteTimeout) {
    struct Case {
        const char* name;
        int drainsAfterMs;  // -1: never (flow control holds the line off)
        uint64_t limitMs;
        bool sent;
        uint64_t waitedMs;
    };
    const Case cases[] = {
        {"empty at once", 0, 600, true, 0},
        {"drains after a while", 40, 600, true, 40},
        {"drains just at the limit", 600, 600, true, 600},
        {"held off", -1, 600, false, 600},
        {"held off, no time-out left", -1, 0, false, 0},
    };
    for (const Case& c : cases) {
        FakeClock clock;
        const auto queued = [&]() -> size_t {
            if (c.drainsAfterMs < 0) return 32;
            return clock.NowMs() >= static_cast<uint64_t>(c.drainsAfterMs) ? 0 : 32;
        };
        EXPECT_EQ(WaitUntilSent(queued, clock, c.limitMs), c.sent) << c.name;
        EXPECT_EQ(clock.NowMs(), c.waitedMs) << c.name;
    }
}

TEST(OutputDrain, LimitIsTheWriteTotalOfWhatIsQueued) {
    EXPECT_EQ(FlushLimitMs({500, 1, 500, 1, 500}, 100), 600u);
    EXPECT_EQ(FlushLimitMs({0, 0, 0, 2, 0}, 100), 200u);
    EXPECT_EQ(FlushLimitMs({500, 1, 500, 0, 0}, 100), 60'000u);  // no write totals: a minute
}

}  // namespace
