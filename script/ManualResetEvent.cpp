#include "script/ManualResetEvent.h"

#include <chrono>

namespace script {

void ManualResetEvent::Set() {
    {
        std::lock_guard lock(mutex_);
        set_ = true;
    }
    changed_.notify_all();
}

void ManualResetEvent::Reset() {
    std::lock_guard lock(mutex_);
    set_ = false;
}

bool ManualResetEvent::IsSet() const {
    std::lock_guard lock(mutex_);
    return set_;
}

void ManualResetEvent::Wait(const std::atomic<bool>& giveUp) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return set_ || giveUp.load(); });
}

void ManualResetEvent::Wake() {
    { std::lock_guard lock(mutex_); }
    changed_.notify_all();
}

bool ManualResetEvent::WaitFor(Clock& clock, uint32_t limitMs) {
    const uint64_t deadline = clock.NowMs() + limitMs;
    std::unique_lock lock(mutex_);
    while (!set_) {
        if (clock.NowMs() >= deadline) return false;
        if (changed_.wait_for(lock, std::chrono::milliseconds(1), [&] { return set_; })) break;
        lock.unlock();
        clock.SleepMs(1);
        lock.lock();
    }
    return true;
}

}  // namespace script
