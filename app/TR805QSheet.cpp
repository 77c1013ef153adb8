#include "app/TR805QSheet.h"

#include "core/ExitCodes.h"
#include "core/TextFormat.h"
#include "link/LostBoard.h"
#include "link/Messages.h"
#include "link/PortFailure.h"

#include <cstdio>

CTR805QSheet::CTR805QSheet(const SheetPlatform& platform, SheetWindow& window)
    : clock_(*platform.clock),
      prompts_(*platform.prompts),
      window_(window),
      newSettingsKey_(platform.newSettingsKey),
      progressSink_(platform.progressSink ? platform.progressSink : &NoProgressSink::Instance()),
      programDirectory_(platform.programDirectory),
      board_(*platform.clock, *platform.prompts, *platform.progress),
      options_(*this),
      comPortDialog_(*platform.prompts, platform.newSettingsKey, platform.activePorts) {
    board_.SetProgramDirectory(programDirectory_);
    board_.SetProgressSink(progressSink_);
    if (platform.deviceOpener) board_.Link().Port().SetDeviceOpener(platform.deviceOpener);
    comPortDialog_.PreselectPort(platform.preselectPort);
}

CTR805QSheet::~CTR805QSheet() {
    JoinLoaderWait();
    ClosePort();
}

void CTR805QSheet::ClosePort() {
    CSerialPort& port = board_.Link().Port();
    try {
        if (port.IsOpen()) port.Close();
    } catch (const CSerialException&) {
        // The program is leaving the port; nothing more to do with it.
    }
}

void CTR805QSheet::JoinLoaderWait() {
    if (loaderWait_.joinable()) loaderWait_.join();
}

bool CTR805QSheet::Initialise() {
    if (!ConnectPort()) return false;
    window_.BuildControls(AboutEntryText());
    // The window is built for the tall table pages; the first tab is a short one.
    layoutTab_ = 1;
    OnTabChanged(0);
    window_.EnableAndActivate();
    RefreshTitle();
    FinishConnect();
    return true;
}

bool CTR805QSheet::OpenPort() {
    CSerialPort& port = board_.Link().Port();
    try {
        port.Open(static_cast<int>(comSettings_.port), comSettings_.baud,
                  static_cast<int>(comSettings_.parity), static_cast<uint8_t>(comSettings_.dataBits),
                  static_cast<int>(comSettings_.stopBits), static_cast<int>(comSettings_.flowControl), false);
    } catch (const CSerialException& e) {
        // Counts as a failed open; the reason goes under the message.
        openFailure_ = PortOpenFailureReason(e);
    }
    if (!port.IsOpen()) return false;
    // Every open port gets the board link's time-outs, so that no read after a reopen waits
    // without limit.
    try {
        port.SetTimeouts(kBoardTimeouts);
    } catch (const CSerialException& e) {
        openFailure_ = PortOpenFailureReason(e);
        ClosePort();
        return false;
    }
    return true;
}

void CTR805QSheet::ShowUnableToOpenPort() {
    prompts_.ErrorWithDetail(FormatText(kMsgUnableToOpenPort, static_cast<int>(comSettings_.port)),
                             kCaptionComPort, openFailure_);
}

bool CTR805QSheet::ConnectPort() {
    boardKind_ = 0;
    for (;;) {
        if (!window_.RunComPortDialog(comPortDialog_)) {
            prompts_.PostQuit(kExitCancelled);
            return false;
        }
        comSettings_ = comPortDialog_.Settings();
        openFailure_.clear();
        if (OpenPort()) break;
        ShowUnableToOpenPort();
    }
    boardKind_ = kBoardKindComPort;
    return true;
}

void CTR805QSheet::FinishConnect() {
    // A board that does not answer has already been reported and the program is ending: it must
    // not be switched to its loader on the strength of records it never sent.
    if (!Identify()) return;
    firmwareFile_ = FindFirmwareFile(ListFolder(programDirectory_));
    if (firmwareFile_.found == 1) {
        const bool current = firmwareFile_.version[0] == version_.firmwareKind &&
                             firmwareFile_.version[1] == version_.versionMajor &&
                             firmwareFile_.version[2] == version_.versionMinor;
        if (!current) ReplaceFirmware();
    } else {
        CheckFirmwareSuitability();
    }
}

bool CTR805QSheet::Identify() {
    BoardInfo info;
    const bool answered = board_.GetBoardInfo(info);
    if (!answered) ReportLostBoard(prompts_, board_.Link());
    info_ = info;
    kernletOptions_ = info.kernletOptions;
    // Their failures are not reported: an old board firmware without these requests still
    // identifies, and a version that did not come stays zero, so the firmware file replaces it.
    FirmwareVersion version;
    static_cast<void>(board_.GetFirmwareVersion(version));
    version_ = version;
    FirmwareCode code = 0;
    static_cast<void>(board_.GetFirmwareCode(code));
    code_ = code;
    return answered;
}

bool CTR805QSheet::ReopenPort() {
    CSerialPort& port = board_.Link().Port();
    if (port.IsOpen()) {
        ClosePort();
        clock_.SleepMs(500);
    }
    clock_.SleepMs(500);
    const bool open = OpenPort();
    if (!open) ShowUnableToOpenPort();
    clock_.SleepMs(500);
    return open;
}

void CTR805QSheet::ReplaceFirmware() {
    const bool sent = board_.StartFirmwareLoader();
    clock_.SleepMs(100);
    // A start request that cannot be sent means the port failed: a lost board.
    if (!sent) {
        ReportLostBoard(prompts_, board_.Link());
        return;
    }
    ReopenPort();
    JoinLoaderWait();
    // The board's loader needs a moment after the reopen; the rest happens when the message
    // comes back on the window's thread.
    loaderWait_ = std::thread([this] {
        clock_.SleepMs(100);
        window_.PostLoaderReady();
    });
}

void CTR805QSheet::OnLoaderReady() {
    JoinLoaderWait();
    window_.EnableAndActivate();
    RefreshTitle();
    if (!board_.LoadFirmware(firmwareFile_.fileName)) return;  // the load has said why
    ReopenPort();
    if (Identify()) CheckFirmwareSuitability();
}

void CTR805QSheet::CheckFirmwareSuitability() {
    if (version_.firmwareKind == 3) {
        prompts_.MessageBox(kMsgWrongFirmware, kCaptionWrongFirmware, MsgIcon::Warning);
    }
}

void CTR805QSheet::OnClose() { prompts_.PostQuit(kExitClosed); }

void CTR805QSheet::OnOptions() {
    window_.RunOptionsDialog(options_);
    RefreshTitle();
}

void CTR805QSheet::OnSerial() {
    // Only the stored settings and the title change; the open port stays as it is.
    if (window_.RunComPortDialog(comPortDialog_)) comSettings_ = comPortDialog_.Settings();
    RefreshTitle();
}

void CTR805QSheet::OnAbout() {
    if (!controlsEnabled_ || AboutEntryText().empty()) return;
    CAboutBox box(info_, version_, code_);
    window_.RunAboutBox(box);
}

int CTR805QSheet::RelayoutDelta(int fromTab, int toTab) {
    auto isTable = [](int tab) { return tab == 1 || tab == 2; };
    if (isTable(fromTab) == isTable(toTab)) return 0;
    return isTable(toTab) ? kTableTabExtraHeight : -kTableTabExtraHeight;
}

void CTR805QSheet::OnTabChanged(int tab) {
    if (const int dy = RelayoutDelta(layoutTab_, tab); dy != 0) window_.ResizeBy(dy);
    layoutTab_ = tab;
}

std::string CTR805QSheet::FormatTitle(const std::string& boardName, uint32_t port) {
    std::string title = kTitleBase;
    if (!boardName.empty()) title += kTitleNameLabel + boardName;
    title += " (COM" + std::to_string(static_cast<int>(port)) + ")";
    return title;
}

void CTR805QSheet::RefreshTitle() { window_.SetTitle(Title()); }

std::string CTR805QSheet::AboutEntryText() const {
    return boardKind_ == kBoardKindComPort ? kAboutEntryText : "";
}

std::unique_ptr<SettingsKey> CTR805QSheet::NewSettingsKey() {
    return newSettingsKey_ ? newSettingsKey_() : nullptr;
}

void CTR805QSheet::EnableSheetControls(bool enable) {
    controlsEnabled_ = enable;
    window_.SetSheetControlsEnabled(enable);
}
