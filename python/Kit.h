#pragma once
// The kit as the Python module `tr805q` drives it: the board connection of a page host, with
// the page logic classes doing the work (the single-register page, the register table page,
// the trace window, the Kernlet page, the script run host). Nothing here knows Python; the
// bindings (module.cpp) turn the failures below into Python exceptions and run the callbacks.
//
// What the window shows in message boxes is recorded instead (Messages()). A lost board, which
// ends the window, closes the port here and raises LostBoardError with the one report's text.
#include "core/KernletFlags.h"
#include "core/PageHost.h"
#include "link/BoardPort.h"
#include "loading/KernletFileReader.h"
#include "registers/RegisterTable.h"
#include "script/ScriptRunLoop.h"
#include "sim/Board.h"
#include "sim/port/InProcessBoard.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace kit {

// Failures, each with the program's own text as its what(). Values out of range are
// std::invalid_argument.
struct KitError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// The board stopped answering, answered wrongly, or its port failed; the kit is closed.
struct LostBoardError : KitError {
    LostBoardError(const std::string& text, std::string why) : KitError(text), detail(std::move(why)) {}
    std::string detail;  // the port's words, when the port itself failed
};
// The port could not be opened.
struct PortOpenError : KitError {
    PortOpenError(const std::string& text, int errorCode) : KitError(text), code(errorCode) {}
    int code;  // the system's error number
};
// A file the program refuses: a register configuration file without its 40 records, a
// Kernlet file that would never complete, a table row that cannot be run.
struct FileFormatError : KitError {
    FileFormatError(const std::string& text, std::optional<int> rowNumber = std::nullopt)
        : KitError(text), row(rowNumber) {}
    std::optional<int> row;  // the register table row, 1..40
};
// The board answered but the operation did not succeed (a refused Kernlet transfer, a
// Kernlet that did not start).
struct BoardRefusedError : KitError {
    using KitError::KitError;
};
// A file that cannot be read or written.
struct FileAccessError : KitError {
    FileAccessError(const std::string& text, std::string file, int errorCode)
        : KitError(text), path(std::move(file)), code(errorCode) {}
    std::string path;
    int code;
};

// The system's error number for a file that failed to open, found by trying again (EIO when
// the second try works).
int FileErrorCode(const std::string& path, bool forWriting);

struct KitMessage {
    std::string text;
    std::string caption;
    MsgIcon icon = MsgIcon::None;
    std::string detail;
};

// Records what the window would show; remembers a request to quit.
class RecordingUserPrompts final : public UserPrompts {
public:
    MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                         MsgButtons buttons) override;
    void ErrorWithDetail(const std::string& text, const std::string& caption,
                         const std::string& detail) override;
    void PostQuit(int exitCode) override;

    std::vector<KitMessage> Messages() const;
    size_t Count() const;
    // The last error box from message `from` on, if any.
    std::optional<KitMessage> LastError(size_t from) const;
    bool QuitRequested() const { return quit_; }
    void ClearQuit() { quit_ = false; }

private:
    void Record(KitMessage m);

    mutable std::mutex mutex_;
    std::vector<KitMessage> messages_;
    std::atomic<bool> quit_{false};
};

struct KitInfo {
    BoardInfo board;
    FirmwareVersion firmware;
    FirmwareCode code = 0;
};

struct TableRow {
    int number = 0;  // 1..40
    RegisterRow row;
    bool accessed = false;  // the run reached the board for it
};

struct KernletReport {
    uint16_t productId = 0;
    uint16_t version = 0;
    bool checksumsMatch = true;
    std::vector<KernletBlockHeader> blocks;
};

struct CompileReport {
    std::vector<std::string> errors;  // as the results list shows them
    std::vector<std::vector<uint8_t>> frames;
    std::string listingPath;
};

struct ScriptReport {
    std::vector<std::string> lines;
    std::string status;
};

// What the Python side gives a script run.
struct ScriptHooks {
    script::DialogAnswerer* answerer = nullptr;
    std::function<void(const std::string&)> onLine;
    std::function<bool()> interrupted;
    std::optional<std::chrono::steady_clock::time_point> deadline;
    std::string listingDirectory;
};

struct SimulatedBoard {
    sim::BoardConfig config;  // with fillTrace: the trace entries it starts with
    sim::Faults faults;
    uint8_t scriptStatus = 0;
    uint32_t lineRate = 0;  // bytes take the wire time of this baud rate (0: none)
    std::string logPath;  // every request received, one line each, as hex bytes
};

class Kit final : public PageHost {
public:
    // Opens a COM number through the port table, or a device path.
    static std::unique_ptr<Kit> Open(const BoardPortName& port, const SerialLineSettings& line);
    // The simulated board in this process, on a fake clock: its waits take no time.
    static std::unique_ptr<Kit> Simulated(const SimulatedBoard& board);
    ~Kit() override;

    void Close();
    bool Closed() const;

    KitInfo Info();
    uint16_t Read(int address, int bits, int device);
    void Write(int address, int64_t value, int bits, int device);
    void Reset(int device);
    std::vector<TraceRecord> Trace(int64_t start, std::optional<int64_t> count);
    void SaveTrace(const std::string& path, const std::string& format);
    std::vector<TableRow> RunTable(const std::string& path, const std::string& mode, int device);
    KernletReport LoadKernlet(const std::string& path, int device,
                              const std::function<void(int done, int total)>* progress);
    ScriptReport RunScript(const std::string& path, const ScriptHooks& hooks);

    std::vector<KitMessage> Messages() const { return prompts_.Messages(); }

    // PageHost.
    CMB805QBrd& Board() override { return board_; }
    UserPrompts& Prompts() override { return prompts_; }
    Clock& GetClock() override { return *clock_; }
    bool KernletLoaded(uint8_t device) const override { return kernletLoaded_.Loaded(device); }
    void SetKernletLoaded(uint8_t device, bool loaded) override { kernletLoaded_.Set(device, loaded); }
    uint8_t KernletOptions() const override { return kernletOptions_; }
    ProgressSink& Progress() override { return progressSink_; }

private:
    class Turn;
    // Tells the current action's progress callback, if it has one, how far it has come.
    class ProgressToCallback final : public ProgressSink {
    public:
        void Begin(const std::string&, uint64_t total, const std::string&) override;
        void Advance(uint64_t done) override;
        void End() override {}
        const std::function<void(int done, int total)>* report = nullptr;

    private:
        uint64_t total_ = 0;
    };

    explicit Kit(std::unique_ptr<sim::InProcessBoard> simulated);
    void OpenPort(const BoardPortName& port, const SerialLineSettings& line);
    // Runs one action on the board: one at a time, on an open kit; a lost board closes the kit
    // and raises LostBoardError.
    template <typename F>
    auto Action(F&& f) -> decltype(f());
    void ThrowIfLost();
    // From `start` on, at most `wanted` records; a lost board is reported.
    std::vector<TraceRecord> ReadTraceRecords(uint64_t start, uint64_t wanted);
    // The last error box of the current action.
    std::string LastErrorText() const;

    RecordingUserPrompts prompts_;
    SilentProgressDialog progress_;  // the firmware download's bar, which no call uses
    ProgressToCallback progressSink_;
    std::unique_ptr<sim::InProcessBoard> simulated_;  // with a simulated board only
    Clock* clock_;
    std::ofstream log_;
    CMB805QBrd board_;
    KernletFlags kernletLoaded_;
    uint8_t kernletOptions_ = 0;

    std::mutex turn_;
    std::atomic<std::thread::id> owner_{};
    std::atomic<bool> closed_{true};
    size_t actionStart_ = 0;  // messages before the current action
};

CompileReport Compile(const std::string& path, const std::string& listingDirectory);
std::vector<RegisterRow> LoadTable(const std::string& path);
void SaveTable(const std::string& path, const std::vector<RegisterRow>& rows);

// A line setting named as Python callers name it ("none", "even", "rts/cts", ...).
int ParityCode(const std::string& name);
int FlowControlCode(const std::string& name);

}  // namespace kit
