#pragma once
// Every fixed wait and every time limit of the program goes through a Clock, so that tests can
// run the board's waits in no time with FakeClock.
#include <atomic>
#include <cstdint>

class Clock {
public:
    virtual ~Clock() = default;
    virtual void SleepMs(uint32_t ms) = 0;
    // Milliseconds since an arbitrary, fixed start.
    virtual uint64_t NowMs() const = 0;
};

class SystemClock final : public Clock {
public:
    void SleepMs(uint32_t ms) override;
    uint64_t NowMs() const override;
    static SystemClock& Instance();
};

// Time moves only when someone sleeps or calls Advance. Safe to share between the
// user-interface thread and the script worker.
class FakeClock final : public Clock {
public:
    void SleepMs(uint32_t ms) override {
        now_ += ms;
        slept_ += ms;
    }
    uint64_t NowMs() const override { return now_; }
    void Advance(uint64_t ms) { now_ += ms; }
    // Total of all SleepMs calls, for checking the documented waits.
    uint64_t SleptMs() const { return slept_; }

private:
    std::atomic<uint64_t> now_{0};
    std::atomic<uint64_t> slept_{0};
};
