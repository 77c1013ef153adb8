#pragma once
// The worker's posts as a test receives them: the program's own queue (the one tr805q-cli
// pumps), which the test pumps by hand, handing each post to the run host or the page.
#include "script/PostQueue.h"

#include <chrono>
#include <optional>

class TestPoster final : public script::PostQueue {
public:
    // The next post; nothing if none comes within the limit (a test failure, never a hang).
    std::optional<script::ScriptPost> Take(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        return script::PostQueue::Take(limit);
    }
};
