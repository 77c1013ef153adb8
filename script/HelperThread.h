#pragma once
// A thread that does part of a job beside the thread that starts it, and is joined before the
// job ends. It is started on another processor than its starter's where the system lets a
// program say so: some systems keep a new thread on its parent's processor until the parent's
// time slice runs out, and a helper that waits milliseconds to start saves nothing. Once
// running it may move like any thread.
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

}  // namespace script
