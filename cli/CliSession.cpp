#include "cli/CliSession.h"

#include "core/UnattendedAnswer.h"
#include "link/BoardPort.h"

#include <optional>
#include <ostream>

MsgAnswer StreamPrompts::MessageBox(const std::string& text, const std::string& caption, MsgIcon,
                                    MsgButtons buttons) {
    (void)caption;
    progress_.BreakLine();
    err_ << text << '\n';
    return UnattendedAnswer(buttons);
}

// The reason first, as a shell user reads an error: what failed, then what it means.
void StreamPrompts::ErrorWithDetail(const std::string& text, const std::string& caption,
                                    const std::string& detail) {
    progress_.BreakLine();
    if (!detail.empty()) err_ << detail << '\n';
    MessageBox(text, caption, MsgIcon::Error, MsgButtons::Ok);
}

CliSession::CliSession(std::ostream& err, ComSettings stored, bool simulate,
                       const SimulatedBoardSetup& simulated, bool showProgress)
    : err_(err),
      stored_(stored),
      simulated_(simulate ? std::make_unique<sim::InProcessBoard>(simulated.config, simulated.lineRate)
                          : nullptr),
      clock_(&sim::InProcessBoard::HostClock(simulated_.get())),
      terminal_(err, showProgress),
      prompts_(err, terminal_),
      board_(*clock_, prompts_, progress_) {
    board_.SetProgressSink(&terminal_);
    if (simulated_) {
        if (simulated.requestLog) simulated_->board().SetRequestLog(simulated.requestLog);
        simulated_->ServeOn(board_.Link().Port());
    }
}

CliSession::~CliSession() { board_.Link().Port().Close(); }

bool CliSession::Connect(const ConnectOptions& options) {
    ComSettings settings = stored_;
    if (options.baud != 0) settings.baud = options.baud;
    const BoardPortName name = options.port.empty() ? BoardPortName::Number(static_cast<int>(settings.port))
                                                    : BoardPortName::Parse(options.port);
    const std::optional<BoardPortFailure> failure =
        OpenBoardPort(board_.Link().Port(), name, settings.Line());
    if (!failure) return true;
    // The port's own words first, then the window's text, as with the board's other errors.
    if (!failure->reason.empty()) err_ << failure->reason << '\n';
    err_ << failure->text << '\n';
    return false;
}
