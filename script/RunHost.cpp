#include "script/RunHost.h"

#include "link/LostBoard.h"
#include "link/Messages.h"
#include "script/CompileMessages.h"
#include "script/DownloadFrames.h"
#include "script/RunTexts.h"

#include <algorithm>
#include <filesystem>
#include <optional>

namespace script {

CScriptRunHost::CScriptRunHost(PageHost& host, ScriptPoster& poster, ScriptDialogPrompts& dialogs,
                               CResultsList& results, RunHostClient& client)
    : host_(host), poster_(poster), dialogs_(dialogs), results_(results), client_(client) {}

CScriptRunHost::~CScriptRunHost() { Close(); }

void CScriptRunHost::LostBoard(int suffix) {
    // One report: the program is ending, and a worker left running on a dead link would only
    // report the same loss again.
    if (outcome_ == RunOutcome::LostBoard) return;
    outcome_ = RunOutcome::LostBoard;
    StopWorker();
    ReportLostBoard(host_.Prompts(), host_.Board().Link(), suffix);
}

bool CScriptRunHost::SendFrame(const std::vector<uint8_t>& frame) {
    return host_.Board().Link().Write(frame.data(), static_cast<uint32_t>(frame.size()), 0) == kWriteOk;
}

bool CScriptRunHost::ScriptStatus(uint8_t& status) { return host_.Board().GetScriptStatus(status); }

bool CScriptRunHost::SendReply(uint16_t answer, int failureSuffix) {
    if (SendFrame(BoardFrame(kCmdReply, {answer, 0, 0}))) return true;
    LostBoard(failureSuffix);
    return false;
}

void CScriptRunHost::JoinWorker() {
    if (thread_.joinable()) {
        shared_.threadEnded.WaitFor(host_.GetClock(), kWorkerEndLimitMs);
        thread_.join();
    }
    worker_.reset();
}

void CScriptRunHost::StopWorker() {
    shared_.stopRequest = true;
    shared_.handOver.Set();
    JoinWorker();
}

void CScriptRunHost::Close() {
    // The worker reads the compiled strings until it has ended: stop it before they go.
    StopWorker();
    if (compiler_.TablesHeld()) compiler_.Release();
}

// Bytes left over from an earlier run (the end frame of a script stopped after a file error,
// a flooded queue) would pass for the board's answer to the download.
void CScriptRunHost::DrainStale() {
    // A failing port ends the drain; the download that follows reports it.
    host_.Board().Link().DiscardReceived(kMaxDrainBytes);
}

bool CScriptRunHost::Download() {
    DrainStale();
    Clock& clock = host_.GetClock();
    const std::vector<Frame> frames = BuildDownloadFrames(compiler_);
    std::optional<int> failed;
    {
        // Over before the board's answer is awaited, and before any message.
        ProgressScope shown(host_.Progress(), kProgressDownloadingScript, frames.size(),
                            kProgressUnitScriptRecords);
        for (size_t i = 0; i < frames.size(); ++i) {
            const Frame& f = frames[i];
            if (!SendFrame(f)) {
                // The digit tells the place: first record 3, later records 4, closing record 5,
                // an initialiser none.
                failed = i == 0 ? 3 : i + 1 == frames.size() ? 5 : f[1] == kCmdInitialiser ? 0 : 4;
                break;
            }
            shown.Advance(i + 1);
            if (i == 0) clock.SleepMs(kWaitAfterFirstRecordMs);
        }
    }
    if (failed) {
        LostBoard(*failed);
        return false;
    }
    // The board answers the download with one byte, whatever its value.
    CComInt& link = host_.Board().Link();
    const uint64_t deadline = clock.NowMs() + kDownloadAnswerLimitMs;
    for (;;) {
        uint8_t answer = 0;
        uint32_t got = 0;
        const uint8_t r = link.Read(&answer, got, 1, 0);
        // A port that fails here ends the wait; the start frame that follows reports it.
        if (r == kReadAll || r == kReadError) break;
        if (clock.NowMs() >= deadline) {
            LostBoard(5);
            return false;
        }
        clock.SleepMs(1);
    }
    return true;
}

bool CScriptRunHost::Run(const std::string& scriptPath) {
    if (!idle_) return false;
    Clock& clock = host_.GetClock();
    clock.SleepMs(kWaitBeforeRunMs);
    StopWorker();
    poster_.RemovePending();
    if (compiler_.TablesHeld()) compiler_.Release();
    outcome_ = RunOutcome::None;

    results_.Clear();
    if (!compiler_.Prepare(scriptPath) || !compiler_.Compile()) {
        compiler_.Release();
        outcome_ = RunOutcome::CompileFailed;
        host_.Prompts().MessageBox(std::string(kMsgUnableToOpenFile), kCaptionError, MsgIcon::Error);
        return false;
    }
    bool errors = false;
    compiler_.NextError(true);
    while (std::optional<std::string> e = compiler_.NextError(false)) {
        results_.AddLine(std::move(*e));
        errors = true;
    }
    if (errors) {
        outcome_ = RunOutcome::CompileFailed;
        client_.CompileFailed();
        return false;
    }

    if (!Download()) return false;
    if (!SendFrame(BoardFrame(kCmdStartScript, {}))) {
        LostBoard(6);
        return false;
    }
    results_.AddLine(std::string(kTextScriptRunning));
    idle_ = false;
    client_.RunStarted();
    host_.EnableSheetControls(false);
    shared_.stopRequest = false;
    results_.CloseContinuation();
    shared_.threadEnded.Reset();
    shared_.linkReleased.Reset();
    shared_.handOver.Set();
    const std::string folder = std::filesystem::path(scriptPath).parent_path().string();
    worker_ =
        std::make_unique<CScriptWorker>(host_.Board().Link(), compiler_, folder, shared_, poster_, clock);
    thread_ = std::thread([w = worker_.get()] { w->Run(); });
    return true;
}

void CScriptRunHost::Abort() {
    if (idle_) return;
    if (!SendFrame(BoardFrame(kCmdAbortScript, {}))) {
        LostBoard(1);
        return;
    }
    // The board answers with its end frame, which the worker takes and posts. Until the worker
    // has it, the link is the worker's: asking the board for its status now would race it for
    // the bytes. Texts the board sent before the abort may hold the worker waiting for the
    // page, which is busy here: it is let go on, and the page handles those posts afterwards,
    // in order. A board that has not ended within the wait gets no more reading from the worker.
    Clock& clock = host_.GetClock();
    const uint64_t deadline = clock.NowMs() + kWaitAfterAbortMs;
    for (;;) {
        shared_.handOver.Set();
        if (shared_.linkReleased.WaitFor(clock, 1)) break;
        if (clock.NowMs() >= deadline) {
            StopWorker();
            break;
        }
    }
    uint8_t status = 0;
    if (!ScriptStatus(status)) {
        LostBoard(2);
        return;
    }
    idle_ = true;
    outcome_ = RunOutcome::Aborted;
    host_.EnableSheetControls(true);
    client_.RunStopped(false);
}

void CScriptRunHost::EndRun(RunOutcome outcome, bool seeTrace) {
    idle_ = true;
    outcome_ = outcome;
    host_.EnableSheetControls(true);
    client_.RunStopped(seeTrace);
}

std::string CScriptRunHost::Text(uint32_t stringIndex, uint32_t value) const {
    std::string text;
    compiler_.FormatForFile(static_cast<int>(stringIndex), static_cast<uint16_t>(value), 1, text);
    return text;
}

std::string CScriptRunHost::RunTimeErrorText(uint32_t code, uint32_t record, const std::string& name) const {
    const int line = compiler_.LineOfRecord(static_cast<int>(record));
    if (code == 0 || code > kRunTimeErrors.size()) return FillNumbers(kFmtUnknownRunTimeError, code, line);
    const std::string_view format = kRunTimeErrors[code - 1];
    if (format.find("%s") != std::string_view::npos) {
        // The error frame names no file: the worker knows the one the script last opened.
        if (!name.empty()) return FillText(format, name);
        std::string text(format);
        text.erase(text.find("%s"), 3);
        return text;
    }
    return FillNumber(format, line);
}

void CScriptRunHost::Handle(const ScriptPost& post) {
    // The worker waits until the page has the message.
    shared_.handOver.Set();
    switch (post.msg) {
        case ScriptMsg::AddText: results_.AddText(Text(post.wParam, post.lParam)); break;
        case ScriptMsg::Print: results_.AddLine(post.text); break;
        case ScriptMsg::Clear: results_.Clear(); break;
        case ScriptMsg::DebugText:
            results_.AddText(std::string(kTextDebugPrefix) +
                             FillNumbers(kFmtDebugValues, post.wParam, post.lParam));
            break;
        case ScriptMsg::MessageBox: OnMessageBox(post); break;
        case ScriptMsg::MessageBoxYesNo: OnYesNo(post); break;
        case ScriptMsg::MessageBoxEntry: OnEntry(post); break;
        case ScriptMsg::End: OnEnd(post); break;
        case ScriptMsg::Error:
            JoinWorker();
            results_.AddLine(RunTimeErrorText(post.wParam, post.lParam, post.text));
            EndRun(RunOutcome::RunTimeError, false);
            break;
        case ScriptMsg::FOpenError:
        case ScriptMsg::FStoreError:
            JoinWorker();
            // The board's script waits for a file the PC no longer serves: stop it (unless it has
            // ended already).
            if (!(post.msg == ScriptMsg::FStoreError && post.lParam == kStoreFailedAfterEnd) &&
                !SendFrame(BoardFrame(kCmdAbortScript, {}))) {
                LostBoard(1);
                return;
            }
            results_.AddLine(std::string(post.msg == ScriptMsg::FOpenError ? kTextUnableToOpenDataFile
                                                                           : kTextUnableToStoreData) +
                             post.text);
            EndRun(RunOutcome::FileError, false);
            break;
        case ScriptMsg::MaxRxQueue:
            JoinWorker();
            if (!SendFrame(BoardFrame(kCmdAbortScript, {}))) {
                LostBoard(14);
                return;
            }
            results_.AddLine(std::string(kTextRxQueueFull));
            EndRun(RunOutcome::QueueFull, false);
            break;
        case ScriptMsg::ThreadError:
            JoinWorker();
            idle_ = true;
            LostBoard(7);
            break;
    }
}

void CScriptRunHost::OnMessageBox(const ScriptPost& post) {
    const std::string text = Text(post.wParam, post.lParam);
    if (idle_) return;  // the run ended before the page got here
    const MsgAnswer answer = host_.Prompts().MessageBox(text, std::string(kCaptionScriptPaused),
                                                        MsgIcon::Information, MsgButtons::OkCancel);
    if (answer != MsgAnswer::Ok) {
        Abort();
        return;
    }
    SendReply(0, 11);
}

void CScriptRunHost::OnYesNo(const ScriptPost& post) {
    if (idle_) return;
    CDialog_YesNo dialog;
    dialog.SetCaption(std::string(kCaptionScriptPaused));
    dialog.SetPrompt(Text(post.wParam, post.lParam));
    dialogs_.RunYesNo(dialog);
    uint16_t answer = 0;
    if (dialog.result == CDialog_YesNo::kYes) {
        answer = 1;
    } else if (dialog.result == CDialog_YesNo::kNo) {
        answer = 0;
    } else {
        Abort();
        return;
    }
    SendReply(answer, 12);
}

void CScriptRunHost::OnEntry(const ScriptPost& post) {
    if (idle_) return;
    std::string proposed;
    compiler_.FormatForDisplay(static_cast<int>(post.wParam), static_cast<uint16_t>(post.lParam), proposed);
    if (proposed.rfind("Error", 0) == 0) {
        results_.AddLine(proposed);
        SendReply(0, 13);
        return;
    }
    CDialog_Entry dialog;
    dialog.SetCaption(std::string(kCaptionScriptPaused));
    dialog.SetPrompt(Text(post.wParam, post.lParam));
    dialog.SetProposed(proposed);
    for (;;) {
        if (dialogs_.RunEntry(dialog) != CDialog_Entry::Result::Ok) {
            Abort();
            return;
        }
        const EntryCheck check = CheckEntryText(dialog.entry);
        switch (check.verdict) {
            case EntryVerdict::Accept: SendReply(check.value, 13); return;
            case EntryVerdict::AskAgain:
                host_.Prompts().MessageBox(check.message, kCaptionError, MsgIcon::Error);
                break;
            case EntryVerdict::Abort:
                host_.Prompts().MessageBox(check.message, kCaptionError, MsgIcon::Error);
                Abort();
                return;
        }
    }
}

void CScriptRunHost::OnEnd(const ScriptPost& post) {
    JoinWorker();
    idle_ = true;
    uint8_t status = 0;
    if (!ScriptStatus(status)) {
        LostBoard(8);
        return;
    }
    const uint32_t reason = post.wParam;
    if (reason == 0) {
        results_.AddLine(std::string(kTextScriptFinished));
    } else if (reason == 1) {
        results_.AddLine(
            FillNumber(kFmtScriptAbortedAtLine, compiler_.LineOfRecord(static_cast<int>(post.lParam))));
    }
    compiler_.Release();
    EndRun(reason == 0 ? RunOutcome::Finished : RunOutcome::Aborted, status == 1);
}

}  // namespace script
