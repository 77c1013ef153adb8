#pragma once
// The board connection of tr805q-cli: what the window's sheet gives its pages, without a window.
#include "cli/TerminalProgress.h"
#include "core/KernletFlags.h"
#include "core/PageHost.h"
#include "link/ComSettings.h"
#include "link/MB805QBrd.h"
#include "sim/Board.h"
#include "sim/port/InProcessBoard.h"

#include <array>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

// Prints what the window would show in a message box; remembers a request to quit. A bar drawn
// on the same stream gets its line ended first.
class StreamPrompts final : public UserPrompts {
public:
    StreamPrompts(std::ostream& err, TerminalProgress& progress) : err_(err), progress_(progress) {}
    MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                         MsgButtons buttons) override;
    void ErrorWithDetail(const std::string& text, const std::string& caption,
                         const std::string& detail) override;
    void PostQuit(int exitCode) override { quitCode_ = exitCode; }
    bool QuitRequested() const { return quitCode_ >= 0; }

private:
    std::ostream& err_;
    TerminalProgress& progress_;
    int quitCode_ = -1;
};

// The in-process board of --simulate: what it reports about itself (fillTrace included), where
// the requests it receives are logged (none: not logged), and the line rate its line is paced
// at (0: unpaced, every exchange at once).
struct SimulatedBoardSetup {
    sim::BoardConfig config;
    std::vector<std::string>* requestLog = nullptr;
    uint32_t lineRate = 0;
};

struct ConnectOptions {
    std::string port;  // a COM number or a device path; empty: the stored port
    uint32_t baud = 0;  // 0: the stored rate
};

class CliSession final : public PageHost {
public:
    // simulate: an in-process simulated board on a fake clock, so its waits take no time.
    // showProgress: long operations draw their progress on err (a terminal).
    CliSession(std::ostream& err, ComSettings stored, bool simulate,
               const SimulatedBoardSetup& simulated = {}, bool showProgress = false);
    ~CliSession() override;

    // Opens the port (again, when it is open: a simulated board keeps its state) and sets the
    // board link's time-outs; false after printing why.
    bool Connect(const ConnectOptions& options);

    CMB805QBrd& Board() override { return board_; }
    UserPrompts& Prompts() override { return prompts_; }
    Clock& GetClock() override { return *clock_; }
    bool KernletLoaded(uint8_t device) const override { return kernletLoaded_.Loaded(device); }
    void SetKernletLoaded(uint8_t device, bool loaded) override { kernletLoaded_.Set(device, loaded); }
    uint8_t KernletOptions() const override { return kernletOptions_; }
    ProgressSink& Progress() override { return terminal_; }
    void SetKernletOptions(uint8_t mask) { kernletOptions_ = mask; }
    // The in-process board of --simulate, or null.
    sim::Board* SimulatedBoard() { return simulated_ ? &simulated_->board() : nullptr; }

private:
    std::ostream& err_;
    ComSettings stored_;
    std::unique_ptr<sim::InProcessBoard> simulated_;  // with --simulate only
    Clock* clock_;
    TerminalProgress terminal_;
    StreamPrompts prompts_;
    // The firmware download's documented bar; on the terminal it shows through terminal_.
    SilentProgressDialog progress_;
    CMB805QBrd board_;
    KernletFlags kernletLoaded_;
    uint8_t kernletOptions_ = 0;
};
