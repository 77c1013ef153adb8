#pragma once
// The worker's posts kept in a queue until a loop takes them: how tr805q-cli, the Python module
// and the tests hand posts from the worker to the run host without a window.
#include "script/ScriptPost.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace script {

class PostQueue : public ScriptPoster {
public:
    void Post(ScriptPost post) override {
        {
            std::lock_guard lock(mutex_);
            posts_.push_back(std::move(post));
        }
        arrived_.notify_all();
    }
    void RemovePending() override {
        std::lock_guard lock(mutex_);
        posts_.clear();
    }
    // The next post, waiting at most `limit` of real time for one: the loop looks at the stop
    // conditions and the worker between waits. Nothing when none came.
    std::optional<ScriptPost> Take(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        if (!arrived_.wait_for(lock, limit, [this] { return !posts_.empty(); })) return std::nullopt;
        ScriptPost p = std::move(posts_.front());
        posts_.pop_front();
        return p;
    }
    bool Empty() const {
        std::lock_guard lock(mutex_);
        return posts_.empty();
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<ScriptPost> posts_;
};

}  // namespace script
