#pragma once
// A script run without a window, from the Run button to the end: the run host compiles,
// downloads and starts the script, and this loop hands it the worker's posts on the calling
// thread until the run is over. The script's dialogs are answered by typed words instead of a
// screen. `tr805q-cli run` and the Python module `tr805q` run scripts through it.
//
// Answer words: a message box takes anything for OK and "cancel" or "abort" (any case) for
// Cancel; a yes/no question "yes"/"y" or an empty answer (the default button), "no"/"n", or
// "abort"/"cancel"/"a", and any other word is asked again; an entry takes the text to enter (an
// empty answer keeps what the field holds) or "abort"/"cancel". No answer at all is Escape:
// the script is aborted.
#include "link/PageHost.h"
#include "script/RunHost.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace script {

enum class DialogKind { Message, YesNo, Entry };

class DialogAnswerer {
public:
    virtual ~DialogAnswerer() = default;
    // The answer to one showing of a dialog, or nothing (Escape). `field` is what the entry
    // field holds (the proposed value, or the answer given before); empty for the other kinds.
    // `attempt` counts the showings of the same dialog: 0 first, then 1, 2, ... after answers
    // that were not taken.
    virtual std::optional<std::string> Answer(DialogKind kind, const std::string& caption,
                                              const std::string& prompt, const std::string& field,
                                              int attempt) = 0;
};

// "abort" or "cancel", in any case.
bool IsAbortAnswer(std::string_view answer);

struct RunLoopOptions {
    // Where "debug_file.txt" goes; empty: the current directory, as with the page.
    std::string listingDirectory;
    // Asked between posts while the script runs; true aborts it, once.
    std::function<bool()> interrupted;
    // Once this passes, the script is aborted, once.
    std::optional<std::chrono::steady_clock::time_point> deadline;
    // Each results-list line once it is complete (a line left open by "\c" waits for the text
    // that completes it), as a list row shows it.
    std::function<void(const std::string&)> onLine;
};

// Why the loop itself aborted the script.
enum class RunStop { None, Interrupted, Expired };

struct RunLoopResult {
    RunOutcome outcome = RunOutcome::None;
    // A communication failure (reported through the host's prompts), or a worker that went
    // without a word.
    bool boardLost = false;
    RunStop stop = RunStop::None;
    // The results list at the end, each line as a list row shows it.
    std::vector<std::string> lines;
};

// The host's own prompts show the program's message boxes (communication errors, entry errors)
// and take its request to quit; the script's message box and dialogs go to the answerer.
RunLoopResult RunScriptToEnd(PageHost& host, const std::string& path, DialogAnswerer& answerer,
                             const RunLoopOptions& options);

}  // namespace script
