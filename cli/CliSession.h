#pragma once
// The board connection of tr805q-cli: what the window's sheet gives its pages, without a window.
#include "link/ComSettings.h"
#include "core/PageHost.h"
#include "link/MB805QBrd.h"
#include "sim/Board.h"

#include <array>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

// Prints what the window would show in a message box; remembers a request to quit.
class StreamPrompts final : public UserPrompts {
public:
    explicit StreamPrompts(std::ostream& err) : err_(err) {}
    MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                         MsgButtons buttons) override;
    void ErrorWithDetail(const std::string& text, const std::string& caption,
                         const std::string& detail) override;
    void PostQuit(int exitCode) override { quitCode_ = exitCode; }
    bool QuitRequested() const { return quitCode_ >= 0; }

private:
    std::ostream& err_;
    int quitCode_ = -1;
};

// Progress of a long board operation as a line of dots.
class StreamProgress final : public ProgressDialog {
public:
    explicit StreamProgress(std::ostream& err) : err_(err) {}
    void Create(const std::string& caption) override;
    void SetRange(int low, int high) override { low_ = low; high_ = high; }
    void SetStep(int step) override { step_ = step; }
    void SetPos(int pos) override { pos_ = pos; }
    int GetPos() const override { return pos_; }
    void StepIt() override;
    void Destroy() override;

private:
    std::ostream& err_;
    int low_ = 0, high_ = 100, step_ = 10, pos_ = 0;
};

// The in-process board of --simulate: what it reports about itself, and where the requests it
// receives are logged (none: not logged).
struct SimulatedBoardSetup {
    sim::BoardConfig config;
    std::vector<std::string>* requestLog = nullptr;
};

struct ConnectOptions {
    std::string port;   // a COM number or a device path; empty: the stored port
    uint32_t baud = 0;  // 0: the stored rate
};

class CliSession final : public PageHost {
public:
    // simulate: an in-process simulated board on a fake clock, so its waits take no time.
    CliSession(std::ostream& err, ComSettings stored, bool simulate,
               const SimulatedBoardSetup& simulated = {});
    ~CliSession() override;

    // Opens the port and sets the board link's time-outs; false after printing why.
    bool Connect(const ConnectOptions& options);

    CMB805QBrd& Board() override { return board_; }
    UserPrompts& Prompts() override { return prompts_; }
    Clock& GetClock() override { return *clock_; }
    bool KernletLoaded(uint8_t device) const override;
    void SetKernletLoaded(uint8_t device, bool loaded) override;
    uint8_t KernletOptions() const override { return kernletOptions_; }
    void SetKernletOptions(uint8_t mask) { kernletOptions_ = mask; }
    // The in-process board of --simulate, or null.
    sim::Board* SimulatedBoard() { return simBoard_.get(); }

private:
    std::ostream& err_;
    ComSettings stored_;
    std::unique_ptr<FakeClock> fakeClock_;  // with a simulated board only
    Clock* clock_;
    StreamPrompts prompts_;
    StreamProgress progress_;
    std::unique_ptr<sim::Board> simBoard_;
    CMB805QBrd board_;
    std::array<bool, 3> kernletLoaded_{};
    uint8_t kernletOptions_ = 0;
};
