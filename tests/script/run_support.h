#pragma once
// The run host against a scripted stand-in for the board: the test decides which uplink frames
// the "board" sends in answer to each frame the PC writes. Frames in the tests are written as
// the documented byte layouts, never built with the program's own code.
#include "core/PageHost.h"
#include "link/ComSettings.h"
#include "link/MB805QBrd.h"
#include "link/Messages.h"
#include "script/RunHost.h"
#include "script/ScriptDialogs.h"
#include "script/ScriptPost.h"
#include "tests/script/ScriptTestSupport.h"
#include "tests/support/HexBytes.h"
#include "tests/support/PostQueue.h"
#include "tests/support/Recorders.h"
#include "tests/support/SimHost.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace runtest {

using testbytes::Bytes;
using testbytes::Hex;
using testbytes::ToHex;

// The board side. The PC's frames are cut by their documented lengths; the board answers the
// status request, the end of the download and an abort on its own, and hands every frame to
// the test's handler (which may Send more). All calls take turns under one lock, as the worker
// reads while the test's thread writes.
class FakeBoard {
public:
    // Called with the lock held, from whichever thread wrote the frame.
    std::function<void(FakeBoard&, const Bytes&)> onFrame;
    uint8_t status = 1;  // the script status flag the board reports
    uint16_t abortRecord = 0;  // record in the end frame after an abort
    bool answerAbort = true;  // 0x0B gets the end frame "aborted at record"
    bool answerDownload = true;  // the closing record gets the board's answer byte
    int failWriteAt = -1;  // this write (0-based) fails
    bool failQueueQuery = false;  // the receive-queue query raises a port failure

    void Send(const Bytes& bytes) { rx_.insert(rx_.end(), bytes.begin(), bytes.end()); }
    void Send(const std::string& hex) { Send(Hex(hex)); }

    std::vector<Bytes> Frames() {
        std::lock_guard lock(mutex_);
        return frames_;
    }
    std::vector<std::string> FrameTexts() {
        std::vector<std::string> out;
        for (const Bytes& f : Frames()) out.push_back(ToHex(f));
        return out;
    }
    // Frames whose command byte is cmd.
    std::vector<Bytes> FramesOf(uint8_t cmd) {
        std::vector<Bytes> out;
        for (const Bytes& f : Frames())
            if (f.size() > 1 && f[1] == cmd) out.push_back(f);
        return out;
    }
    size_t Pending() {
        std::lock_guard lock(mutex_);
        return rx_.size();
    }
    void Queue(const std::string& hex) {
        std::lock_guard lock(mutex_);
        Send(hex);
    }

    // The device's side.
    size_t Read(uint8_t* out, size_t n) {
        std::lock_guard lock(mutex_);
        size_t k = 0;
        while (k < n && !rx_.empty()) {
            out[k++] = rx_.front();
            rx_.pop_front();
        }
        return k;
    }
    size_t Write(const uint8_t* data, size_t n) {
        std::lock_guard lock(mutex_);
        if (writes_++ == failWriteAt) throw CSerialException(EIO, "write failed");
        for (size_t i = 0; i < n; ++i) Take(data[i]);
        return n;
    }
    size_t Queued() {
        std::lock_guard lock(mutex_);
        if (failQueueQuery) throw CSerialException(EIO, "queue query failed");
        return rx_.size();
    }

private:
    // Data bytes after the command byte, or -1 until the count of a file block is in.
    long Needed() const {
        switch (current_.size() > 1 ? current_[1] : 0) {
            case 0x08:
            case 0x09: return 14;
            case 0x12:
            case 0x14: return 4;
            case 0x13: return 6;
            case 0x1A: return 6;
            case 0x0C:
            case 0x0D:
                if (current_.size() < 4) return 2;
                return 2 + (current_[2] << 8 | current_[3]);
            default: return 0;
        }
    }
    void Take(uint8_t b) {
        if (current_.empty()) {
            if (b == 0x7E) current_.push_back(b);
            return;
        }
        current_.push_back(b);
        if (static_cast<long>(current_.size()) - 2 < Needed()) return;
        Bytes frame;
        frame.swap(current_);
        frames_.push_back(frame);
        const uint8_t cmd = frame[1];
        if (cmd == 0x19) Send(Bytes{0x7E, static_cast<uint8_t>(status ? 0x16 : 0x15)});
        // The closing record of a download: the board answers with one byte.
        if (answerDownload && cmd == 0x09 && frame == Hex("7E 09 00 35 00 00 00 00 00 00 00 00 00 00 00 00"))
            Send("06");
        if (cmd == 0x0B && answerAbort) {
            Send(Bytes{0x7E, 0x0C, 0x01, static_cast<uint8_t>(abortRecord >> 8),
                       static_cast<uint8_t>(abortRecord)});
        }
        if (onFrame) onFrame(*this, frame);
    }

    std::mutex mutex_;
    std::deque<uint8_t> rx_;
    Bytes current_;
    std::vector<Bytes> frames_;
    int writes_ = 0;
};

class FakeBoardDevice final : public SerialDevice {
public:
    explicit FakeBoardDevice(FakeBoard& board) : board_(board) {}
    void Configure(const SerialLineSettings&) override {}
    void SetTimeouts(const SerialTimeouts& t) override { timeouts_ = t; }
    SerialTimeouts GetTimeouts() const override { return timeouts_; }
    size_t Read(uint8_t* buffer, size_t n) override { return board_.Read(buffer, n); }
    size_t Write(const uint8_t* buffer, size_t n) override { return board_.Write(buffer, n); }
    void Flush() override {}
    size_t QueuedBytes() override { return board_.Queued(); }

private:
    FakeBoard& board_;
    SerialTimeouts timeouts_;
};

// A page's surroundings with the fake board behind the board object.
class FakeHost final : public PageHost {
public:
    FakeHost() : board(clock, prompts, progress) {
        OpenBoardPort(board.Link().Port(), [this](int) -> std::unique_ptr<SerialDevice> {
            return std::make_unique<FakeBoardDevice>(fake);
        });
    }
    ~FakeHost() override { board.Link().Port().Close(); }
    CMB805QBrd& Board() override { return board; }
    UserPrompts& Prompts() override { return prompts; }
    Clock& GetClock() override { return clock; }
    bool KernletLoaded(uint8_t) const override { return false; }
    void SetKernletLoaded(uint8_t, bool) override {}
    uint8_t KernletOptions() const override { return 0; }
    void EnableSheetControls(bool enable) override { sheetControls.push_back(enable); }

    FakeClock clock;
    RecordingPrompts prompts;
    RecordingProgress progress;
    FakeBoard fake;
    CMB805QBrd board;
    std::vector<bool> sheetControls;
};

// The dialogs of a paused script, answered from queues; Abort when they run out.
class ScriptedDialogs final : public script::ScriptDialogPrompts {
public:
    struct EntryAnswer {
        bool ok;
        std::optional<std::string> text;  // nothing: OK with what the dialog proposed
    };
    std::deque<EntryAnswer> entries;
    std::deque<int> yesNo;
    std::vector<script::CDialog_Entry> shownEntries;  // as they came up
    std::vector<script::CDialog_YesNo> shownYesNo;

    script::CDialog_Entry::Result RunEntry(script::CDialog_Entry& d) override {
        shownEntries.push_back(d);
        if (entries.empty()) return script::CDialog_Entry::Result::Abort;
        EntryAnswer a = entries.front();
        entries.pop_front();
        if (a.text) d.entry = *a.text;
        return a.ok ? script::CDialog_Entry::Result::Ok : script::CDialog_Entry::Result::Abort;
    }
    void RunYesNo(script::CDialog_YesNo& d) override {
        shownYesNo.push_back(d);
        if (yesNo.empty()) return d.OnAbort();
        const int r = yesNo.front();
        yesNo.pop_front();
        if (r == script::CDialog_YesNo::kYes)
            d.OnYes();
        else if (r == script::CDialog_YesNo::kNo)
            d.OnNo();
        else if (r == script::CDialog_YesNo::kAbort)
            d.OnAbort();
        // any other number: the dialog ended without a button
    }
};

class RecordingClient final : public script::RunHostClient {
public:
    void RunStarted() override { calls.push_back("started"); }
    void RunStopped(bool seeTrace) override { calls.push_back(seeTrace ? "stopped+trace" : "stopped"); }
    void CompileFailed() override { calls.push_back("compile-failed"); }
    std::vector<std::string> calls;
};

// The run host on a board (the fake one, or the simulated board), with a folder for the script
// and its data files.
template <typename HostT>
class HostRunFixture : public testing::Test {
protected:
    HostRunFixture() : runHost(host, poster, dialogs, results, client) {
        runHost.SetListingDirectory(folder.Path());
    }
    ~HostRunFixture() override { runHost.Close(); }

    std::string Script(const std::string& text, const std::string& name = "test.mbs") {
        return folder.Write(name, text);
    }
    // Hands the worker's posts to the run host until the run is over.
    void Pump() {
        for (int guard = 0; guard < 100000; ++guard) {
            if (runHost.Idle() && !runHost.WorkerRunning() && poster.Empty()) return;
            std::optional<script::ScriptPost> post = poster.Take();
            if (!post) {
                ADD_FAILURE() << "the worker posted nothing more";
                return;
            }
            posts.push_back(post->msg);
            runHost.Handle(*post);
            if (runHost.BoardLost()) return;
        }
        ADD_FAILURE() << "the run did not end";
    }
    bool RunAndPump(const std::string& path) {
        const bool started = runHost.Run(path);
        if (started) Pump();
        return started;
    }
    std::vector<std::string> Lines() const {
        return std::vector<std::string>(results.Lines().begin(), results.Lines().end());
    }

    TempFolder folder;
    HostT host;
    TestPoster poster;
    ScriptedDialogs dialogs;
    script::CResultsList results;
    RecordingClient client;
    script::CScriptRunHost runHost;
    std::vector<script::ScriptMsg> posts;
};

using RunFixture = HostRunFixture<FakeHost>;

}  // namespace runtest
