#pragma once
// The run host: compiles the selected script, downloads it to the board, starts it and the
// worker, and handles on the window thread what the worker posts (results, dialogs, the end).
// It belongs to the script page, which gives it the results list and the dialogs.
#include "core/PageHost.h"
#include "link/MB805QBrd.h"
#include "script/ResultsList.h"
#include "script/RunWorker.h"
#include "script/ScriptCompiler.h"
#include "script/ScriptDialogs.h"
#include "script/ScriptPost.h"

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace script {

// How a run ended, for the page's buttons and tr805q-cli's exit code.
enum class RunOutcome {
    None,  // nothing ran yet, or a run is going
    Finished,  // "Script finished"
    Aborted,  // aborted by the user or the board
    RunTimeError,  // the board reported an error
    FileError,  // a data file could not be opened or written
    QueueFull,  // the receive queue overflowed
    CompileFailed,  // the script did not compile (or could not be read), nothing ran
    LostBoard,  // a communication failure; the program is ending
};

// The page's side of a run, told on the window thread.
class RunHostClient {
public:
    virtual ~RunHostClient() = default;
    // The run started: the button reads "Abort", the other controls are disabled.
    virtual void RunStarted() = 0;
    // The page is idle again (after Abort, or when the run ended): the button reads "Run" and
    // the controls are enabled; seeTrace says whether "See Trace..." may be.
    virtual void RunStopped(bool seeTrace) = 0;
    // Compile errors are in the list: Save and Clear enabled, See Trace disabled.
    virtual void CompileFailed() = 0;
};

class CScriptRunHost {
public:
    // Waits of the run, in milliseconds on the page's clock.
    static constexpr uint32_t kWaitBeforeRunMs = 150;
    static constexpr uint32_t kWaitAfterFirstRecordMs = 50;
    static constexpr uint32_t kWaitAfterAbortMs = 1000;
    // The board answers the download with one byte; a board that says nothing for this long
    // has gone.
    static constexpr uint32_t kDownloadAnswerLimitMs = 5000;
    // How long the window thread waits for a stopping worker. Every step of the worker is
    // short (reads only what is queued, writes at most one block, checks the stop request
    // between blocks), so it ends well within this; the thread is joined in any case.
    static constexpr uint32_t kWorkerEndLimitMs = 5000;
    // Stale bytes drained before a download, at most.
    static constexpr uint32_t kMaxDrainBytes = 1u << 20;

    CScriptRunHost(PageHost& host, ScriptPoster& poster, ScriptDialogPrompts& dialogs, CResultsList& results,
                   RunHostClient& client);
    // Stops the worker (as the page does when it closes).
    ~CScriptRunHost();
    CScriptRunHost(const CScriptRunHost&) = delete;
    CScriptRunHost& operator=(const CScriptRunHost&) = delete;

    // Where the compiler writes "debug_file.txt"; empty: the current directory.
    void SetListingDirectory(std::string dir) { compiler_.SetListingDirectory(std::move(dir)); }

    // The Run button while idle. The data files of the script live in its folder.
    bool Run(const std::string& scriptPath);
    // The button while running, Cancel in a paused dialog, a bad entry.
    void Abort();
    // One posted message, on the window thread.
    void Handle(const ScriptPost& post);
    // The page closes: stop the worker, then let go of the compiled script.
    void Close();

    bool Idle() const { return idle_; }
    bool WorkerRunning() const { return thread_.joinable() && !shared_.threadEnded.IsSet(); }
    RunOutcome Outcome() const { return outcome_; }
    bool BoardLost() const { return outcome_ == RunOutcome::LostBoard; }
    const CScriptCompiler& Compiler() const { return compiler_; }
    RunShared& Shared() { return shared_; }

private:
    bool Download();
    void DrainStale();
    bool SendFrame(const std::vector<uint8_t>& frame);
    bool SendReply(uint16_t answer, int failureSuffix);
    // The board's status flag; false on any failure of the link.
    bool ScriptStatus(uint8_t& status);
    // Shows the communication error and asks the program to quit.
    void LostBoard(int suffix);
    // Sets the stop request and the hand-over event and waits for the worker to end.
    void StopWorker();
    // Waits for a worker that has posted its last message and joins it.
    void JoinWorker();
    void EndRun(RunOutcome outcome, bool seeTrace);
    std::string Text(uint32_t stringIndex, uint32_t value) const;
    std::string RunTimeErrorText(uint32_t code, uint32_t record, const std::string& name) const;

    void OnMessageBox(const ScriptPost& post);
    void OnYesNo(const ScriptPost& post);
    void OnEntry(const ScriptPost& post);
    void OnEnd(const ScriptPost& post);

    PageHost& host_;
    ScriptPoster& poster_;
    ScriptDialogPrompts& dialogs_;
    CResultsList& results_;
    RunHostClient& client_;

    CScriptCompiler compiler_;
    RunShared shared_;
    std::unique_ptr<CScriptWorker> worker_;
    std::thread thread_;
    bool idle_ = true;
    RunOutcome outcome_ = RunOutcome::None;
};

}  // namespace script
