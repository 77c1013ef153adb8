// The compile's standing helper: each piece of work runs once, on the helper, and its end is
// waited for, also when the starter leaves by an exception.
#include "script/HelperThread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

using script::StandingHelper;

namespace {

TEST(StandingHelper, RunsEachPieceOnceAndAfterTheOneBefore) {
    StandingHelper helper;
    std::vector<int> done;
    const std::thread::id starter = std::this_thread::get_id();
    bool elsewhere = true;
    for (int i = 0; i < 200; ++i) {
        StandingHelper::Task task(helper, [&, i] {
            elsewhere = elsewhere && std::this_thread::get_id() != starter;
            done.push_back(i);
        });
        // A pause now and then, long enough for the helper to fall asleep between pieces.
        if (i % 50 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(3));
        task.Finish();
        ASSERT_EQ(done.size(), static_cast<std::size_t>(i + 1));
    }
    for (int i = 0; i < 200; ++i) EXPECT_EQ(done[static_cast<std::size_t>(i)], i);
    EXPECT_TRUE(elsewhere);
}

TEST(StandingHelper, FinishThrowsWhatThePieceThrewOnceAndTheHelperGoesOn) {
    StandingHelper helper;
    {
        StandingHelper::Task task(helper, [] { throw std::runtime_error("piece"); });
        EXPECT_THROW(task.Finish(), std::runtime_error);
        EXPECT_NO_THROW(task.Finish());
    }
    int ran = 0;
    StandingHelper::Task next(helper, [&] { ++ran; });
    EXPECT_NO_THROW(next.Finish());
    EXPECT_EQ(ran, 1);
}

TEST(StandingHelper, AStarterThatLeavesEarlyStillWaitsForThePiece) {
    StandingHelper helper;
    std::vector<int> held;  // what the piece uses, owned by the starter
    try {
        StandingHelper::Task task(helper, [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            held.assign(1000, 7);
        });
        throw std::runtime_error("starter");
    } catch (const std::runtime_error&) {}
    EXPECT_EQ(held.size(), 1000u);  // the piece had ended when the task went
    // The piece's own failure is dropped when nobody finishes its task.
    {
        StandingHelper::Task task(helper, [] { throw std::logic_error("dropped"); });
    }
    int ran = 0;
    StandingHelper::Task next(helper, [&] { ran = 1; });
    next.Finish();
    EXPECT_EQ(ran, 1);
}

}  // namespace
