#pragma once
// A manual-reset event between the script worker and the window thread: once set it stays set
// until someone resets it, and every waiter sees it.
#include "core/Clock.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace script {

class ManualResetEvent {
public:
    explicit ManualResetEvent(bool initiallySet) : set_(initiallySet) {}
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;

    // Waits until the event is set or `giveUp` becomes true. Whoever sets giveUp must set the
    // event (or call Wake) afterwards, so that the waiter looks at the flag again: the worker's
    // wait for the hand-over ends so when the page stops it.
    void Wait(const std::atomic<bool>& giveUp);
    // Wakes the waiters to look at their flag again without setting the event.
    void Wake();

    // Waits until the event is set, at most limitMs on the clock. The clock moves in steps of a
    // millisecond while the waiter really waits at most as long for each step, so that with a
    // fake clock the limit is reached after about limitMs of real time at the latest, and with
    // the system clock after limitMs. True when the event was set.
    bool WaitFor(Clock& clock, uint32_t limitMs);

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool set_;
};

}  // namespace script
