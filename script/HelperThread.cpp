#include "script/HelperThread.h"

#include <chrono>
#include <system_error>
#include <utility>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace script {

HelperThread::HelperThread(std::function<void()> body) : body_(std::move(body)) {
    pthread_attr_t elsewhere;
    bool placed = false;
    if (::sched_getaffinity(0, sizeof everywhere_, &everywhere_) == 0 &&
        ::pthread_attr_init(&elsewhere) == 0) {
        cpu_set_t others = everywhere_;
        const int here = ::sched_getcpu();
        if (here >= 0 && here < CPU_SETSIZE) CPU_CLR(here, &others);
        if (CPU_COUNT(&others) > 0 &&
            ::pthread_attr_setaffinity_np(&elsewhere, sizeof others, &others) == 0) {
            giveBack_ = true;
            placed = ::pthread_create(&thread_, &elsewhere, &Run, this) == 0;
        }
        ::pthread_attr_destroy(&elsewhere);
    }
    if (!placed) {
        // Anywhere, as any thread starts.
        giveBack_ = false;
        const int rc = ::pthread_create(&thread_, nullptr, &Run, this);
        if (rc != 0) throw std::system_error(rc, std::generic_category(), "pthread_create");
    }
    joinable_ = true;
}

HelperThread::~HelperThread() { Join(); }

void HelperThread::Join() {
    if (!joinable_) return;
    ::pthread_join(thread_, nullptr);
    joinable_ = false;
}

void* HelperThread::Run(void* self) {
    auto* t = static_cast<HelperThread*>(self);
    if (t->giveBack_)
        (void)::pthread_setaffinity_np(::pthread_self(), sizeof t->everywhere_, &t->everywhere_);
    t->body_();
    return nullptr;
}

namespace {

// How long a waiting thread stays on its processor before it sleeps: about the gaps between the
// phases of a long compile. Waking a sleeper took a millisecond or more on a busy machine (the
// system may first have to give its processor back, or put it beside its waker), more than the
// gaps themselves; much longer only kept a processor busy for the long waits, where one half of a
// phase ends well before the other.
constexpr auto kSpinFor = std::chrono::microseconds(500);
// Pauses between two looks at the clock: a few hundred nanoseconds.
constexpr int kPausesPerLook = 16;

inline void Relax() {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();  // leaves the processor's other thread its share
#endif
}

}  // namespace

uint32_t AwaitChange(const std::atomic<uint32_t>& a, uint32_t old) {
    uint32_t v = a.load(std::memory_order_acquire);
    if (v != old) return v;
    const auto until = std::chrono::steady_clock::now() + kSpinFor;
    for (;;) {
        for (int i = 0; i < kPausesPerLook && v == old; ++i) {
            Relax();
            v = a.load(std::memory_order_acquire);
        }
        if (v != old || std::chrono::steady_clock::now() >= until) break;
    }
    while (v == old) {
        a.wait(old, std::memory_order_acquire);
        v = a.load(std::memory_order_acquire);
    }
    return v;
}

StandingHelper::StandingHelper() : thread_([this] { Loop(); }) {}

StandingHelper::~StandingHelper() {
    Await();
    stop_ = true;
    posted_.fetch_add(1, std::memory_order_release);
    posted_.notify_one();
    thread_.Join();
}

void StandingHelper::Loop() {
    uint32_t seen = 0;
    for (;;) {
        seen = AwaitChange(posted_, seen);
        if (stop_) return;
        try {
            work_();
        } catch (...) {
            failure_ = std::current_exception();
        }
        finished_.store(seen, std::memory_order_release);
        finished_.notify_one();
    }
}

void StandingHelper::Await() {
    const uint32_t posted = posted_.load(std::memory_order_relaxed);
    for (uint32_t done = finished_.load(std::memory_order_acquire); done != posted;)
        done = AwaitChange(finished_, done);
}

StandingHelper::Task::Task(StandingHelper& helper, std::function<void()> work) : helper_(helper) {
    helper_.work_ = std::move(work);
    helper_.failure_ = nullptr;
    helper_.posted_.fetch_add(1, std::memory_order_release);
    helper_.posted_.notify_one();
}

StandingHelper::Task::~Task() {
    if (open_) helper_.Await();
}

void StandingHelper::Task::Finish() {
    if (!open_) return;
    open_ = false;
    helper_.Await();
    if (helper_.failure_) std::rethrow_exception(std::exchange(helper_.failure_, nullptr));
}

}  // namespace script
