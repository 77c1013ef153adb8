#pragma once
// What the script worker hands to the script page: one of the thirteen registered messages with
// its two numbers, plus the text the page needs for it (the open report of "Print", the file
// name of an open failure or of the run-time errors that name a file).
#include "script/ManualResetEvent.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace script {

// In the order of the registered message names, "QVR_MB805Q_Script_AddText" first.
enum class ScriptMsg : uint8_t {
    AddText,
    Clear,
    DebugText,
    End,
    Error,
    FOpenError,
    FStoreError,
    MaxRxQueue,
    MessageBox,
    MessageBoxEntry,
    MessageBoxYesNo,
    Print,
    ThreadError,
};
inline constexpr size_t kScriptMsgCount = 13;

// FStoreError's lParam when the data was lost at the close after the board's end frame: the
// board's script has ended already and is not to be stopped.
inline constexpr uint32_t kStoreFailedAfterEnd = 1;

struct ScriptPost {
    ScriptMsg msg = ScriptMsg::AddText;
    uint32_t wParam = 0;
    uint32_t lParam = 0;
    std::string text;
};

// The way from the worker to the page. The window posts an event of the message's registered
// type to the page; tests and tr805q-cli keep a queue that they pump.
class ScriptPoster {
public:
    virtual ~ScriptPoster() = default;
    // Worker thread: hands the post to the window thread and returns at once.
    virtual void Post(ScriptPost post) = 0;
    // Window thread: forgets posts not yet handled (before a new run).
    virtual void RemovePending() = 0;
};

// What the worker and the window thread share for one page.
struct RunShared {
    // Reset by the worker before it posts, set by the page when it has taken the post.
    ManualResetEvent handOver{true};
    // Reset when a worker starts, set by the worker as it exits.
    ManualResetEvent threadEnded{true};
    // Set by the worker once the board's last frame of the run (end or error) is in, or as it
    // exits: from then on it reads nothing more from the link.
    ManualResetEvent linkReleased{true};
    // Set by the page: the worker ends at its next look, without posting.
    std::atomic<bool> stopRequest{false};
};

}  // namespace script
