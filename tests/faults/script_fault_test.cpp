// The script run host against the faults of the simulated board, and against two more that
// only a running script meets: garbage among the uplink frames and a receive queue flooded past
// 0xBFFF bytes. Each cell checks the exit the headless run reports, what the user is told,
// whether the program is asked to quit, that the worker thread is gone, and a bounded end.
#include "cli/commands/RunCommand.h"
#include "core/ExitCodes.h"
#include "core/PageHost.h"
#include "link/ComSettings.h"
#include "link/MB805QBrd.h"
#include "tests/support/SimHost.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

enum class ScriptFault {
    None,
    NoReply,
    WrongFirstByte,
    WrongReplyCode,
    StaleBytes,
    LineClosed,
    Garbage,
    Flood
};

const char* Name(ScriptFault f) {
    switch (f) {
        case ScriptFault::None: return "no fault";
        case ScriptFault::NoReply: return "no reply";
        case ScriptFault::WrongFirstByte: return "wrong first byte";
        case ScriptFault::WrongReplyCode: return "wrong reply code";
        case ScriptFault::StaleBytes: return "stale bytes";
        case ScriptFault::LineClosed: return "line closed mid-exchange";
        case ScriptFault::Garbage: return "garbage uplink bytes";
        case ScriptFault::Flood: return "receive queue over 0xBFFF";
    }
    return "?";
}

// The simulated board's device with the two uplink faults added once the script has started
// (the PC has sent 7E 0A).
class UplinkFaults final : public SerialDevice {
public:
    UplinkFaults(std::unique_ptr<SerialDevice> inner, ScriptFault fault)
        : inner_(std::move(inner)), fault_(fault) {}
    void Configure(const SerialLineSettings& s) override { inner_->Configure(s); }
    void SetTimeouts(const SerialTimeouts& t) override { inner_->SetTimeouts(t); }
    SerialTimeouts GetTimeouts() const override { return inner_->GetTimeouts(); }
    size_t Read(uint8_t* buffer, size_t n) override {
        // The junk comes first, counted in the queue like the board's own bytes.
        size_t k = 0;
        while (started_ && fault_ == ScriptFault::Garbage && k < n && !junk_.empty()) {
            buffer[k++] = junk_.back();
            junk_.pop_back();
        }
        return k + (k < n ? inner_->Read(buffer + k, n - k) : 0);
    }
    size_t Write(const uint8_t* buffer, size_t n) override {
        if (n >= 2 && buffer[0] == 0x7E && buffer[1] == 0x0A) started_ = true;
        return inner_->Write(buffer, n);
    }
    void Flush() override { inner_->Flush(); }
    size_t QueuedBytes() override {
        const size_t q = inner_->QueuedBytes();
        if (!started_) return q;
        if (fault_ == ScriptFault::Flood) return q + 0xC000;
        if (fault_ == ScriptFault::Garbage) return q + junk_.size();
        return q;
    }

private:
    std::unique_ptr<SerialDevice> inner_;
    ScriptFault fault_;
    bool started_ = false;
    // Bytes no frame starts with, and a lone 0x7E with an unknown code.
    std::vector<uint8_t> junk_{0x00, 0x55, 0x7E, 0x63, 0xFF, 0x13, 0x41};
};

int Threads() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

struct Cell {
    int exitCode;
    std::string out;
    std::vector<ShownMessage> messages;
    std::vector<int> quits;
    uint64_t elapsedMs;
};

Cell RunWith(ScriptFault f, const std::string& script, std::vector<std::string> answers) {
    const TempFolder folder("tr805q-script-faults");
    const fs::path path = folder.Write("s.mbs", script);

    SimHost host;
    sim::Faults& faults = host.simBoard.faults();
    switch (f) {
        case ScriptFault::NoReply: faults.noReply = true; break;
        case ScriptFault::WrongFirstByte: faults.wrongFirstByte = true; break;
        case ScriptFault::WrongReplyCode: faults.wrongReplyCode = true; break;
        case ScriptFault::StaleBytes: faults.staleBytes = 3; break;
        case ScriptFault::LineClosed: faults.closeAfterBytes = 30; break;  // within the download
        default: break;
    }
    host.wrapDevice = [f](std::unique_ptr<SerialDevice> device) -> std::unique_ptr<SerialDevice> {
        return std::make_unique<UplinkFaults>(std::move(device), f);
    };
    host.Reconnect();

    script::RunCommandOptions options;
    options.answers = std::move(answers);
    options.listingDirectory = folder.Path().string();
    std::istringstream in;
    std::ostringstream out, err;
    // Real time: the worker's idle polls move the shared fake clock while the window side
    // waits, so the fake clock says nothing about how long the run took.
    const auto start = std::chrono::steady_clock::now();
    Cell c;
    c.exitCode = script::RunScriptCommand(host, path.string(), options, in, out, err);
    c.elapsedMs = static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
            .count());
    c.out = out.str();
    c.messages = host.prompts.messages;
    c.quits = host.prompts.quitCodes;
    return c;
}

TEST(ScriptFaultMatrix, EveryScriptExchangeAgainstEveryFault) {
    struct Op {
        const char* name;
        const char* script;
        std::vector<std::string> answers;
        int cleanExit;
    };
    const Op ops[] = {
        {"download, start and end", "x       word 7\n        disp \"x %u\" x\n        stop\n", {}, kCliOk},
        {"a dialog answered",
         "a       word 0\n        dialogyesno \"Go?\" a\n        disp \"a %u\" a\n        stop\n",
         {"no"},
         kCliOk},
        {"abort from a dialog",
         "a       word 0\nl       dialogyesno \"Go?\" a\n        jmp l\n",
         {"abort"},
         kCliAborted},
    };
    const ScriptFault faults[] = {ScriptFault::None,           ScriptFault::NoReply,
                                  ScriptFault::WrongFirstByte, ScriptFault::WrongReplyCode,
                                  ScriptFault::StaleBytes,     ScriptFault::LineClosed,
                                  ScriptFault::Garbage,        ScriptFault::Flood};
    const int threadsBefore = Threads();
    int cells = 0;
    for (const Op& op : ops) {
        for (ScriptFault f : faults) {
            SCOPED_TRACE(std::string(op.name) + " / " + Name(f));
            const Cell c = RunWith(f, op.script, op.answers);
            ++cells;
            EXPECT_LE(c.elapsedMs, 10000u);
            EXPECT_EQ(Threads(), threadsBefore) << "a worker thread was left running";
            switch (f) {
                // Stale bytes are drained before the download; garbage between the uplink
                // frames is dropped by the frame parser.
                case ScriptFault::None:
                case ScriptFault::StaleBytes:
                case ScriptFault::Garbage:
                    EXPECT_EQ(c.exitCode, op.cleanExit);
                    EXPECT_TRUE(c.messages.empty());
                    EXPECT_TRUE(c.quits.empty());
                    EXPECT_EQ(c.out.rfind("Script running...\n", 0), 0u) << c.out;
                    break;
                // No answer to the download, an unreadable status after the run, or a line that
                // closed: the communication error with the digit of its place, and quit.
                case ScriptFault::NoReply:
                case ScriptFault::WrongFirstByte:
                case ScriptFault::WrongReplyCode:
                case ScriptFault::LineClosed:
                    EXPECT_EQ(c.exitCode, kCliLostBoard);
                    ASSERT_EQ(c.messages.size(), 1u);
                    EXPECT_EQ(c.messages[0].text.rfind("Error - Unable to communicate with KOVA kit\nCheck "
                                                       "connections and restart the program",
                                                       0),
                              0u);
                    EXPECT_EQ(c.messages[0].caption, "Error");
                    EXPECT_EQ(c.quits, std::vector<int>{kExitLostBoard});
                    break;
                // The run ends with the page's own line, and the program goes on.
                case ScriptFault::Flood:
                    EXPECT_EQ(c.exitCode, kCliScriptError);
                    EXPECT_NE(c.out.find("Error: Rx Queue is full\n"), std::string::npos) << c.out;
                    EXPECT_TRUE(c.messages.empty());
                    EXPECT_TRUE(c.quits.empty());
                    break;
            }
        }
    }
    std::printf("script fault matrix: %d cells\n", cells);
}

}  // namespace
