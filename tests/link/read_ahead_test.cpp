// The read-ahead's time-outs and queue count on the fake clock: bytes arrive at set times, and
// a wait moves the clock to the next arrival or to the end of the wait.
#include "link/ReadAhead.h"
#include "link/SerialPort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace {

constexpr uint32_t kInf = kTimeoutInfinite;

// A driver queue whose bytes arrive at given times.
class TimedQueue final : public ReceiveQueue {
public:
    explicit TimedQueue(FakeClock& clock) : clock_(clock) {}

    void ArriveAt(uint64_t ms, std::vector<uint8_t> bytes) { pending_.push_back({ms, std::move(bytes)}); }
    void HangUpAt(uint64_t ms) { hangUpAt_ = ms; }
    // At most this many bytes a call, as a driver hands over what it has in pieces.
    void LimitTakes(size_t n) { limit_ = n; }

    size_t TakeArrived(uint8_t* buffer, size_t n) override {
        ++takes;
        Deliver();
        const size_t k = std::min({n, arrived_.size(), limit_});
        std::copy_n(arrived_.begin(), k, buffer);
        arrived_.erase(arrived_.begin(), arrived_.begin() + static_cast<long>(k));
        return k;
    }
    bool WaitForArrival(int64_t ms) override {
        waits.push_back(ms);
        uint64_t until = clock_.NowMs() + static_cast<uint64_t>(ms);
        for (const auto& p : pending_) until = std::min(until, std::max(p.at, clock_.NowMs()));
        if (hangUpAt_) until = std::min(until, std::max(*hangUpAt_, clock_.NowMs()));
        clock_.Advance(until - clock_.NowMs());
        Deliver();
        return !(hangUpAt_ && clock_.NowMs() >= *hangUpAt_);
    }
    size_t DriverCount() override {
        Deliver();
        return arrived_.size();
    }
    [[noreturn]] void RaiseLineClosed() override { throw CSerialException(EIO, "closed"); }

    int takes = 0;
    std::vector<int64_t> waits;

private:
    struct Arrival {
        uint64_t at;
        std::vector<uint8_t> bytes;
    };
    void Deliver() {
        for (auto it = pending_.begin(); it != pending_.end();) {
            if (it->at <= clock_.NowMs()) {
                arrived_.insert(arrived_.end(), it->bytes.begin(), it->bytes.end());
                it = pending_.erase(it);
            } else {
                ++it;
            }
        }
    }

    FakeClock& clock_;
    std::deque<Arrival> pending_;
    std::deque<uint8_t> arrived_;
    std::optional<uint64_t> hangUpAt_;
    size_t limit_ = SIZE_MAX;
};

class ReadAheadTest : public ::testing::Test {
protected:
    FakeClock clock;
    TimedQueue queue{clock};
    ReadAhead reader{queue, clock};
    uint8_t buf[16] = {};
};

struct TimeoutCase {
    const char* name;
    SerialTimeouts timeouts;
    size_t request;
    // Arrivals: (ms, count) from t = 0; bytes are numbered from 1 in order.
    std::vector<std::pair<uint64_t, size_t>> arrivals;
    size_t expectGot;
    uint64_t expectMs;  // when the read returns
};

TEST_F(ReadAheadTest, TimeoutsKeepTheirMeaning) {
    const TimeoutCase cases[] = {
        // The link's record: interval 500, total 1 per byte + 500.
        {"silent line: the total, n + constant", {500, 1, 500}, 1, {}, 0, 501},
        {"silent line, 4 bytes", {500, 1, 500}, 4, {}, 0, 504},
        {"everything there", {500, 1, 500}, 4, {{0, 4}}, 4, 0},
        {"one then silence: the interval after the byte", {20, 0, 2000}, 4, {{0, 1}}, 1, 20},
        {"interval counts from the last byte", {20, 0, 2000}, 4, {{0, 1}, {15, 1}, {30, 1}}, 3, 50},
        {"a gap longer than the interval ends it", {20, 0, 2000}, 4, {{0, 1}, {25, 1}}, 1, 20},
        {"no interval before the first byte", {20, 0, 2000}, 1, {{300, 1}}, 1, 300},
        {"total ends a trickle", {20, 1, 10}, 4, {{0, 1}, {10, 1}}, 2, 14},
        {"no totals: interval only", {20, 0, 0}, 2, {{100, 1}}, 1, 120},
        {"no time-outs: a minute at most", {0, 0, 0}, 1, {}, 0, 60000},
        {"interval infinite, no totals: what is there, at once", {kInf, 0, 0}, 4, {{0, 2}, {1, 2}}, 2, 0},
        {"interval infinite, nothing there", {kInf, 0, 0}, 4, {}, 0, 0},
        {"on any: as soon as something came", {kInf, kInf, 5000}, 4, {{40, 1}, {41, 3}}, 1, 40},
        {"on any: nothing within the constant", {kInf, kInf, 50}, 4, {}, 0, 50},
    };
    for (const TimeoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeClock caseClock;
        TimedQueue q(caseClock);
        ReadAhead r(q, caseClock);
        uint8_t next = 1;
        for (auto [ms, count] : c.arrivals) {
            std::vector<uint8_t> bytes;
            for (size_t i = 0; i < count; ++i) bytes.push_back(next++);
            q.ArriveAt(ms, bytes);
        }
        uint8_t out[16] = {};
        EXPECT_EQ(r.Read(out, c.request, c.timeouts), c.expectGot);
        EXPECT_EQ(caseClock.NowMs(), c.expectMs);
        for (size_t i = 0; i < c.expectGot; ++i) EXPECT_EQ(out[i], i + 1);
    }
}

TEST_F(ReadAheadTest, OneTakeServesManyOneByteReadsAndTheQueueCountsTheHeldBytes) {
    queue.ArriveAt(0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    const SerialTimeouts t{500, 1, 500};
    EXPECT_EQ(reader.Queued(), 10u);
    for (uint8_t want = 1; want <= 10; ++want) {
        ASSERT_EQ(reader.Read(buf, 1, t), 1u);
        EXPECT_EQ(buf[0], want);
        EXPECT_EQ(reader.Queued(), 10u - want);
    }
    EXPECT_EQ(queue.takes, 1);
    EXPECT_EQ(clock.NowMs(), 0u);

    // Held and driver bytes together: 3 held after a read of 1 from 4, then 2 more arrive.
    queue.ArriveAt(0, {11, 12, 13, 14});
    ASSERT_EQ(reader.Read(buf, 1, t), 1u);
    EXPECT_EQ(reader.Held(), 3u);
    queue.ArriveAt(0, {15, 16});
    EXPECT_EQ(reader.Queued(), 5u);
    ASSERT_EQ(reader.Read(buf, 5, t), 5u);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 5), (std::vector<uint8_t>{12, 13, 14, 15, 16}));
    EXPECT_EQ(reader.Queued(), 0u);
}

TEST_F(ReadAheadTest, HeldBytesCountAsArrivingWhenHandedOut) {
    // Two held bytes handed out at t = 100 start the interval then, not when the driver had them.
    queue.ArriveAt(0, {1, 2, 3});
    ASSERT_EQ(reader.Read(buf, 1, {20, 0, 2000}), 1u);
    clock.Advance(100);
    EXPECT_EQ(reader.Read(buf, 4, {20, 0, 2000}), 2u);
    EXPECT_EQ(clock.NowMs(), 120u);
    EXPECT_EQ(queue.waits, (std::vector<int64_t>{20}));

    // Returning on anything: the held byte, topped up with what the driver has, without a wait.
    queue.ArriveAt(0, {4, 5, 6});
    ASSERT_EQ(reader.Read(buf, 1, {500, 1, 500}), 1u);
    queue.ArriveAt(clock.NowMs(), {7});
    queue.waits.clear();
    EXPECT_EQ(reader.Read(buf, 8, {kInf, kInf, 5000}), 3u);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 3), (std::vector<uint8_t>{5, 6, 7}));
    EXPECT_TRUE(queue.waits.empty());
}

TEST_F(ReadAheadTest, LargeReadsAndPiecemealDriversGetEveryByteInOrder) {
    std::vector<uint8_t> all(3 * ReadAhead::kCapacity + 7);
    for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint8_t>(i * 7);
    queue.ArriveAt(0, all);
    queue.LimitTakes(1000);
    std::vector<uint8_t> got(all.size());
    ASSERT_EQ(reader.Read(got.data(), 5, {500, 1, 500}), 5u);
    ASSERT_EQ(reader.Read(got.data() + 5, got.size() - 5, {500, 1, 500}), got.size() - 5);
    EXPECT_EQ(got, all);
    EXPECT_EQ(reader.Queued(), 0u);
}

TEST_F(ReadAheadTest, HungUpLineRaisesOnlyOnceNothingIsLeft) {
    queue.ArriveAt(0, {1, 2});
    queue.HangUpAt(10);
    ASSERT_EQ(reader.Read(buf, 1, {500, 1, 500}), 1u);
    // The held byte still comes; waiting for the second ends in the closed line.
    try {
        reader.Read(buf, 2, {500, 1, 500});
        ADD_FAILURE() << "no exception";
    } catch (const CSerialException& e) {
        EXPECT_EQ(e.GetErrorCode(), static_cast<uint32_t>(EIO));
    }
    EXPECT_EQ(buf[0], 2);
    EXPECT_EQ(clock.NowMs(), 10u);
}

}  // namespace
