#include "script/ScriptRunLoop.h"

#include "script/PostQueue.h"
#include "script/ResultsList.h"
#include "script/RunTexts.h"

#include <cctype>

namespace script {
namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Counts the showings of one dialog: the run host shows an entry again after a value it did
// not take, within the handling of one post.
class Attempts {
public:
    void NewPost() { count_ = 0; }
    int Next() { return count_++; }

private:
    int count_ = 0;
};

// The host's prompts, except that the script's own message box goes to the answerer.
class AnsweringPrompts final : public UserPrompts {
public:
    AnsweringPrompts(UserPrompts& inner, DialogAnswerer& answerer, Attempts& attempts)
        : inner_(inner), answerer_(answerer), attempts_(attempts) {}
    MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                         MsgButtons buttons) override {
        if (caption != kCaptionScriptPaused) return inner_.MessageBox(text, caption, icon, buttons);
        const std::optional<std::string> a =
            answerer_.Answer(DialogKind::Message, caption, text, std::string(), attempts_.Next());
        return a && !IsAbortAnswer(*a) ? MsgAnswer::Ok : MsgAnswer::Cancel;
    }
    void ErrorWithDetail(const std::string& text, const std::string& caption,
                         const std::string& detail) override {
        inner_.ErrorWithDetail(text, caption, detail);
    }
    void PostQuit(int exitCode) override { inner_.PostQuit(exitCode); }
    std::optional<std::string> AskOpenFile(const FileDialogSpec& s) override { return inner_.AskOpenFile(s); }
    std::optional<std::string> AskSaveFile(const FileDialogSpec& s) override { return inner_.AskSaveFile(s); }

private:
    UserPrompts& inner_;
    DialogAnswerer& answerer_;
    Attempts& attempts_;
};

class AnsweringDialogs final : public ScriptDialogPrompts {
public:
    AnsweringDialogs(DialogAnswerer& answerer, Attempts& attempts)
        : answerer_(answerer), attempts_(attempts) {}
    CDialog_Entry::Result RunEntry(CDialog_Entry& d) override {
        const std::optional<std::string> a =
            answerer_.Answer(DialogKind::Entry, d.caption, d.prompt, d.entry, attempts_.Next());
        if (!a || IsAbortAnswer(*a)) return CDialog_Entry::Result::Abort;
        if (!a->empty()) d.entry = *a;
        return CDialog_Entry::Result::Ok;
    }
    void RunYesNo(CDialog_YesNo& d) override {
        for (;;) {
            const std::optional<std::string> a =
                answerer_.Answer(DialogKind::YesNo, d.caption, d.prompt, std::string(), attempts_.Next());
            if (!a) return d.OnAbort();
            const std::string w = Lower(*a);
            if (w.empty() || w == "y" || w == "yes") return d.OnYes();
            if (w == "n" || w == "no") return d.OnNo();
            if (IsAbortAnswer(w) || w == "a") return d.OnAbort();
        }
    }

private:
    DialogAnswerer& answerer_;
    Attempts& attempts_;
};

// The host with the answering prompts in place of its own.
class LoopHost final : public PageHost {
public:
    LoopHost(PageHost& inner, UserPrompts& prompts) : inner_(inner), prompts_(prompts) {}
    CMB805QBrd& Board() override { return inner_.Board(); }
    UserPrompts& Prompts() override { return prompts_; }
    Clock& GetClock() override { return inner_.GetClock(); }
    bool KernletLoaded(uint8_t device) const override { return inner_.KernletLoaded(device); }
    void SetKernletLoaded(uint8_t device, bool loaded) override { inner_.SetKernletLoaded(device, loaded); }
    uint8_t KernletOptions() const override { return inner_.KernletOptions(); }
    ProgressSink& Progress() override { return inner_.Progress(); }

private:
    PageHost& inner_;
    UserPrompts& prompts_;
};

// Hands on each results-list line once it is complete.
class LineReporter final : public ResultsObserver {
public:
    LineReporter(const CResultsList& list, const std::function<void(const std::string&)>& onLine)
        : list_(list), onLine_(onLine) {}
    void OnCleared() override { Flush(); }
    void OnFirstRemoved() override {}
    void OnLineAdded(const std::string& text) override {
        Flush();
        Offer(text);
    }
    void OnLastLineChanged(const std::string& text) override { Offer(text); }
    void Flush() {
        if (open_) Report(*open_);
        open_.reset();
    }

private:
    void Offer(const std::string& text) {
        if (list_.ContinuationOpen()) {
            open_ = text;
        } else {
            open_.reset();
            Report(text);
        }
    }
    void Report(const std::string& text) {
        if (onLine_) onLine_(std::string(CResultsList::DisplayText(text)));
    }

    const CResultsList& list_;
    const std::function<void(const std::string&)>& onLine_;
    std::optional<std::string> open_;
};

class NoControls final : public RunHostClient {
public:
    void RunStarted() override {}
    void RunStopped(bool) override {}
    void CompileFailed() override {}
};

}  // namespace

bool IsAbortAnswer(std::string_view answer) {
    const std::string a = Lower(answer);
    return a == "abort" || a == "cancel";
}

RunLoopResult RunScriptToEnd(PageHost& host, const std::string& path, DialogAnswerer& answerer,
                             const RunLoopOptions& options) {
    Attempts attempts;
    AnsweringPrompts prompts(host.Prompts(), answerer, attempts);
    LoopHost loopHost(host, prompts);
    AnsweringDialogs dialogs(answerer, attempts);
    PostQueue poster;
    CResultsList results;
    LineReporter reporter(results, options.onLine);
    results.SetObserver(&reporter);
    NoControls controls;
    CScriptRunHost runHost(loopHost, poster, dialogs, results, controls);
    runHost.SetListingDirectory(options.listingDirectory);

    RunLoopResult result;
    auto finish = [&] {
        reporter.Flush();
        result.outcome = runHost.Outcome();
        for (const std::string& line : results.Lines()) {
            result.lines.emplace_back(CResultsList::DisplayText(line));
        }
        return result;
    };
    if (!runHost.Run(path)) {
        result.boardLost = runHost.BoardLost();
        return finish();
    }
    while (!runHost.BoardLost()) {
        if (result.stop == RunStop::None && !runHost.Idle()) {
            if (options.interrupted && options.interrupted()) {
                result.stop = RunStop::Interrupted;
            } else if (options.deadline && std::chrono::steady_clock::now() >= *options.deadline) {
                result.stop = RunStop::Expired;
            }
            if (result.stop != RunStop::None) {
                runHost.Abort();
                continue;
            }
        }
        // The run is over once the worker has gone and nothing is left to handle; a worker
        // that went without a word (it cannot) ends the run as well.
        if (!runHost.WorkerRunning() && poster.Empty()) break;
        if (std::optional<ScriptPost> post = poster.Take(std::chrono::milliseconds(50))) {
            attempts.NewPost();
            runHost.Handle(*post);
        }
    }
    runHost.Close();
    result.boardLost = runHost.BoardLost() || !runHost.Idle();
    return finish();
}

}  // namespace script
