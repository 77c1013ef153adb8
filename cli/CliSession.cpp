#include "cli/CliSession.h"

#include "link/PortFailure.h"
#include "link/PortTable.h"

#include "sim/SimSerialDevice.h"

#include <cstdio>
#include <ostream>

MsgAnswer StreamPrompts::MessageBox(const std::string& text, const std::string& caption,
                                    MsgIcon, MsgButtons buttons) {
    (void)caption;
    progress_.BreakLine();
    err_ << text << '\n';
    return buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel ? MsgAnswer::Yes
                                                                              : MsgAnswer::Ok;
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
      fakeClock_(simulate ? std::make_unique<FakeClock>() : nullptr),
      clock_(simulate ? static_cast<Clock*>(fakeClock_.get()) : &SystemClock::Instance()),
      terminal_(err, showProgress),
      prompts_(err, terminal_),
      simBoard_(simulate ? std::make_unique<sim::Board>(simulated.config) : nullptr),
      board_(*clock_, prompts_, progress_) {
    board_.SetProgressSink(&terminal_);
    if (simBoard_) {
        if (simulated.requestLog) simBoard_->SetRequestLog(simulated.requestLog);
        const uint32_t lineRate = simulated.lineRate;
        board_.Link().Port().SetDeviceOpener([this, lineRate](int) -> std::unique_ptr<SerialDevice> {
            auto device = std::make_unique<sim::SimSerialDevice>(*simBoard_, *fakeClock_);
            device->SetLineRate(lineRate);
            return device;
        });
    }
}

CliSession::~CliSession() { board_.Link().Port().Close(); }

bool CliSession::KernletLoaded(uint8_t device) const {
    return device >= 1 && device <= 3 && kernletLoaded_[device - 1];
}

void CliSession::SetKernletLoaded(uint8_t device, bool loaded) {
    if (device >= 1 && device <= 3) kernletLoaded_[device - 1] = loaded;
}

bool CliSession::Connect(const ConnectOptions& options) {
    ComSettings settings = stored_;
    if (options.baud != 0) settings.baud = options.baud;
    CSerialPort& port = board_.Link().Port();
    const std::optional<int> named = ParseComPortName(options.port);
    const bool byNumber = options.port.empty() || named;
    const int number = named ? *named : static_cast<int>(settings.port);
    try {
        if (byNumber) {
            const SerialLineSettings line = settings.Line();
            port.Open(number, line.baud, line.parity, line.dataBits, line.stopBits,
                      line.flowControl);
        } else {
            port.OpenPath(options.port, settings.Line());
        }
    } catch (const CSerialException& e) {
        port.Close();
        err_ << PortOpenFailureReason(e) << '\n';
    }
    if (!port.IsOpen()) {
        char text[128];
        if (byNumber) {
            std::snprintf(text, sizeof text, kMsgUnableToOpenPort, number);
            err_ << text << '\n';
        } else {
            err_ << "Unable to open " << options.port << ".\nCheck board connection to COM port.\n";
        }
        return false;
    }
    port.SetTimeouts(kBoardTimeouts);
    return true;
}
