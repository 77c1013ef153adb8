#include "script/HelperThread.h"

#include <system_error>

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

}  // namespace script
