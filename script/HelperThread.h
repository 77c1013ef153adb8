#pragma once
// A thread that does part of a job beside the thread that starts it, and is joined before the
// job ends. It is started on another processor than its starter's where the system lets a
// program say so: some systems keep a new thread on its parent's processor until the parent's
// time slice runs out, and a helper that waits milliseconds to start saves nothing. Once
// running it may move like any thread.
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>

#include <pthread.h>
#include <sched.h>

namespace script {

class HelperThread {
public:
    // Throws std::system_error when no thread can be started.
    explicit HelperThread(std::function<void()> body);
    // Joins.
    ~HelperThread();
    HelperThread(const HelperThread&) = delete;
    HelperThread& operator=(const HelperThread&) = delete;

    // Waits for the body to return; again does nothing.
    void Join();

private:
    static void* Run(void* self);

    std::function<void()> body_;
    cpu_set_t everywhere_{};  // where the starter may run, given back once started
    bool giveBack_ = false;
    pthread_t thread_{};
    bool joinable_ = false;
};

// Until `a` holds something other than `old` (returned): a while on the processor, then asleep
// until a notify. For the hand-overs between a helper and its starter.
uint32_t AwaitChange(const std::atomic<uint32_t>& a, uint32_t old);

// A helper kept for the phases of one job, each of which hands it a piece of work: starting a
// thread, or waking one that sleeps, takes tens of microseconds, and a long script's compile has
// several such phases a few hundred microseconds apart. Between pieces it waits on its processor
// for a moment, then sleeps.
class StandingHelper {
public:
    // Throws std::system_error when no thread can be started.
    StandingHelper();
    // Stops the helper (after the piece it is doing) and joins it.
    ~StandingHelper();
    StandingHelper(const StandingHelper&) = delete;
    StandingHelper& operator=(const StandingHelper&) = delete;

    // One piece of work on the helper, from its start to its end. The end waits for the work,
    // also when the starter leaves early by an exception: the work may use what the starter
    // holds. One piece at a time.
    class Task {
    public:
        Task(StandingHelper& helper, std::function<void()> work);
        // Waits; what the work threw is dropped.
        ~Task();
        Task(const Task&) = delete;
        Task& operator=(const Task&) = delete;
        // Waits; throws what the work threw.
        void Finish();

    private:
        StandingHelper& helper_;
        bool open_ = true;
    };

private:
    void Loop();
    void Await();

    std::function<void()> work_;
    std::exception_ptr failure_;
    bool stop_ = false;
    // Pieces handed over and pieces done: the helper takes work_ (and stop_) once posted_ moves,
    // the starter takes failure_ once finished_ reaches posted_.
    std::atomic<uint32_t> posted_{0};
    std::atomic<uint32_t> finished_{0};
    HelperThread thread_;  // last: started once the rest is there
};

}  // namespace script
