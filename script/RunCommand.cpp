#include "script/RunCommand.h"

#include "script/ResultsList.h"
#include "script/RunHost.h"
#include "script/RunTexts.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <istream>
#include <mutex>
#include <optional>
#include <ostream>

namespace script {
namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool IsAbortWord(const std::string& answer) {
    const std::string a = Lower(answer);
    return a == "abort" || a == "cancel";
}

// The posts of the worker, kept until the command's loop takes them.
class QueuePoster final : public ScriptPoster {
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
    // The next post, waiting at most `ms` of real time for one: the loop looks at the interrupt
    // flag and the worker between waits.
    std::optional<ScriptPost> Take(int ms) {
        std::unique_lock lock(mutex_);
        arrived_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !posts_.empty(); });
        if (posts_.empty()) return std::nullopt;
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

// The answers of the command line, then the lines of the input.
class Answers {
public:
    Answers(const std::vector<std::string>& given, std::istream& in, std::ostream& err)
        : given_(given.begin(), given.end()), in_(in), err_(err) {}

    // Shows the prompt and returns the answer; nothing once both sources have run out.
    std::optional<std::string> Ask(const std::string& prompt) {
        err_ << prompt;
        if (!given_.empty()) {
            std::string a = std::move(given_.front());
            given_.pop_front();
            err_ << a << '\n';
            return a;
        }
        err_.flush();
        std::string line;
        if (!std::getline(in_, line)) {
            err_ << '\n';
            return std::nullopt;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }

private:
    std::deque<std::string> given_;
    std::istream& in_;
    std::ostream& err_;
};

// The host's prompts, except that the script's own message box is answered from the answers.
class AnsweringPrompts final : public UserPrompts {
public:
    AnsweringPrompts(UserPrompts& inner, Answers& answers) : inner_(inner), answers_(answers) {}
    MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                         MsgButtons buttons) override {
        if (caption != kCaptionScriptPaused) return inner_.MessageBox(text, caption, icon, buttons);
        const std::optional<std::string> a =
            answers_.Ask(caption + ": " + std::string(CResultsList::DisplayText(text)) + " [OK/cancel] ");
        return a && !IsAbortWord(*a) ? MsgAnswer::Ok : MsgAnswer::Cancel;
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
    Answers& answers_;
};

class AnsweringDialogs final : public ScriptDialogPrompts {
public:
    explicit AnsweringDialogs(Answers& answers) : answers_(answers) {}
    CDialog_Entry::Result RunEntry(CDialog_Entry& d) override {
        const std::optional<std::string> a =
            answers_.Ask(d.caption + ": " + d.prompt + " [" + d.entry + "] ");
        if (!a || IsAbortWord(*a)) return CDialog_Entry::Result::Abort;
        if (!a->empty()) d.entry = *a;
        return CDialog_Entry::Result::Ok;
    }
    void RunYesNo(CDialog_YesNo& d) override {
        for (;;) {
            const std::optional<std::string> a = answers_.Ask(d.caption + ": " + d.prompt + " [Yes/no/abort] ");
            if (!a) return d.OnAbort();
            const std::string w = Lower(*a);
            if (w.empty() || w == "y" || w == "yes") return d.OnYes();
            if (w == "n" || w == "no") return d.OnNo();
            if (IsAbortWord(w) || w == "a") return d.OnAbort();
        }
    }

private:
    Answers& answers_;
};

// The host with the answering prompts in place of its own.
class CommandHost final : public PageHost {
public:
    CommandHost(PageHost& inner, UserPrompts& prompts) : inner_(inner), prompts_(prompts) {}
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

// Prints each results-list line once it is complete (a line left open by "\c" waits for the
// text that completes it).
class LinePrinter final : public ResultsObserver {
public:
    LinePrinter(const CResultsList& list, std::ostream& out) : list_(list), out_(out) {}
    void OnCleared() override { Flush(); }
    void OnFirstRemoved() override {}
    void OnLineAdded(const std::string& text) override {
        Flush();
        Offer(text);
    }
    void OnLastLineChanged(const std::string& text) override { Offer(text); }
    void Flush() {
        if (open_) Print(*open_);
        open_.reset();
    }

private:
    void Offer(const std::string& text) {
        if (list_.ContinuationOpen()) {
            open_ = text;
        } else {
            open_.reset();
            Print(text);
        }
    }
    void Print(const std::string& text) { out_ << CResultsList::DisplayText(text) << '\n' << std::flush; }

    const CResultsList& list_;
    std::ostream& out_;
    std::optional<std::string> open_;
};

class NoControls final : public RunHostClient {
public:
    void RunStarted() override {}
    void RunStopped(bool) override {}
    void CompileFailed() override {}
};

int ExitCode(RunOutcome outcome) {
    switch (outcome) {
    case RunOutcome::Finished: return kRunExitFinished;
    case RunOutcome::Aborted: return kRunExitAborted;
    case RunOutcome::RunTimeError:
    case RunOutcome::FileError:
    case RunOutcome::QueueFull: return kRunExitScriptError;
    case RunOutcome::CompileFailed: return kRunExitCompile;
    case RunOutcome::LostBoard:
    case RunOutcome::None: break;
    }
    return kRunExitLostBoard;
}

}  // namespace

int RunScriptCommand(PageHost& host, const std::string& path, const RunCommandOptions& options,
                     std::istream& in, std::ostream& out, std::ostream& err) {
    Answers answers(options.answers, in, err);
    AnsweringPrompts prompts(host.Prompts(), answers);
    CommandHost commandHost(host, prompts);
    AnsweringDialogs dialogs(answers);
    QueuePoster poster;
    CResultsList results;
    LinePrinter printer(results, out);
    results.SetObserver(&printer);
    NoControls controls;
    CScriptRunHost runHost(commandHost, poster, dialogs, results, controls);
    runHost.SetListingDirectory(options.listingDirectory);

    if (!runHost.Run(path)) {
        printer.Flush();
        return ExitCode(runHost.Outcome());
    }
    bool interrupted = false;
    while (!runHost.BoardLost()) {
        if (options.interrupt && options.interrupt->load() && !interrupted && !runHost.Idle()) {
            interrupted = true;
            runHost.Abort();
            continue;
        }
        // The run is over once the worker has gone and nothing is left to handle; a worker
        // that went without a word (it cannot) ends the command as well.
        if (!runHost.WorkerRunning() && poster.Empty()) break;
        if (std::optional<ScriptPost> post = poster.Take(50)) runHost.Handle(*post);
    }
    runHost.Close();
    printer.Flush();
    if (runHost.BoardLost()) return kRunExitLostBoard;
    if (!runHost.Idle()) return kRunExitLostBoard;
    return ExitCode(runHost.Outcome());
}

}  // namespace script
