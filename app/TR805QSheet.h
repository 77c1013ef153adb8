#pragma once
// The main sheet: the board object, the connection to it, the state the pages share, and the
// rules of the window (title, relayout, bottom buttons, About). No Qt here: the view
// (app/ui/TR805QSheetView) implements SheetWindow and forwards its buttons and tab changes.
#include "app/AboutBox.h"
#include "app/ComPortDialog.h"
#include "app/FirmwareFile.h"
#include "app/Options.h"
#include "app/SheetWindow.h"
#include "core/KernletFlags.h"
#include "core/PageHost.h"
#include "link/ComSettings.h"
#include "link/MB805QBrd.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>

inline constexpr const char* kSheetCaption = "Target Device Setup and Operation EVAL";
inline constexpr const char* kTitleBase = "QVR HK8051B Evaluation";
inline constexpr const char* kTitleNameLabel = "            MB805Q Name:";
inline constexpr const char* kAboutEntryText = "&About TR8051B";
inline constexpr const char* kMsgWrongFirmware =
    "Wrong GUI to use with the current device firmware.\nSet a new firmware or use the right GUI";
inline constexpr const char* kCaptionWrongFirmware = "Warning TR805Q";

// The five pages, in tab order, with their captions.
inline constexpr std::array<const char*, 5> kTabCaptions{
    "Z-LINK Control", "Z-LINK Ctrl Ext.1", "Z-LINK Ctrl Ext.2", "Kernlet Load", "Script Handler"};

inline constexpr uint16_t kBoardKindComPort = 0x111;
// The register-table tabs (1 and 2) are this much taller than the others.
inline constexpr int kTableTabExtraHeight = 148;

// What the sheet takes from its surroundings.
struct SheetPlatform {
    Clock* clock = nullptr;
    UserPrompts* prompts = nullptr;
    ProgressDialog* progress = nullptr;
    // Where the long operations say how far they have come; null: nowhere.
    ProgressSink* progressSink = nullptr;
    SettingsKeyFactory newSettingsKey;
    PortLister activePorts;
    // Where the board firmware file is looked for: the program's own folder.
    std::string programDirectory;
    // How a port number becomes a device; empty: CSerialPort's own way.
    CSerialPort::DeviceOpener deviceOpener;
    // A port the COM port dialog selects instead of the stored one (the simulated board's).
    std::optional<int> preselectPort;
};

class CTR805QSheet final : public PageHost {
public:
    CTR805QSheet(const SheetPlatform& platform, SheetWindow& window);
    ~CTR805QSheet() override;
    CTR805QSheet(const CTR805QSheet&) = delete;
    CTR805QSheet& operator=(const CTR805QSheet&) = delete;

    // The sheet's initialisation: connect (port dialog until a port opens), build the window,
    // enable it, identify the board and check its firmware. False when the user cancelled the
    // port dialog (the program is then ending with exit code 2).
    bool Initialise();

    // The parts of the connection.
    bool ConnectPort();
    void FinishConnect();
    // Reads the board's three records; false (after the communication error and a request to
    // quit) when the board does not answer GetBoardInfo.
    bool Identify();
    // Closes the port and opens it again with the stored settings; false when it does not open.
    bool ReopenPort();
    void ReplaceFirmware();
    void CheckFirmwareSuitability();
    // The loader-ready message: downloads the firmware file, then identifies the board again.
    void OnLoaderReady();
    // Waits for the loader-wait thread to end (it only sleeps 100 ms and posts).
    void JoinLoaderWait();
    // Closes the COM port; the window calls it before its pages go.
    void ClosePort();

    // The window's buttons, its About entry and its tabs.
    void OnClose();
    void OnOptions();
    void OnSerial();
    void OnAbout();
    void OnTabChanged(int tab);
    // Height change when the selection moves from one tab to another.
    static int RelayoutDelta(int fromTab, int toTab);

    static std::string FormatTitle(const std::string& boardName, uint32_t port);
    std::string Title() const { return FormatTitle(boardName_, comSettings_.port); }
    void RefreshTitle();
    // The About entry's text for the connected kit; empty before a kit is connected.
    std::string AboutEntryText() const;
    bool SheetControlsEnabled() const { return controlsEnabled_; }

    // Connection state.
    uint16_t BoardKind() const { return boardKind_; }
    const ComSettings& CurrentComSettings() const { return comSettings_; }
    const BoardInfo& Info() const { return info_; }
    const FirmwareVersion& Version() const { return version_; }
    FirmwareCode Code() const { return code_; }
    const FirmwareFile& FoundFirmwareFile() const { return firmwareFile_; }
    const std::string& BoardName() const { return boardName_; }
    void SetBoardName(std::string name) { boardName_ = std::move(name); }
    int LayoutTab() const { return layoutTab_; }

    CComPortDialog& ComPortDialog() { return comPortDialog_; }
    COptions& Options() { return options_; }

    // PageHost: what the pages reach through the sheet.
    CMB805QBrd& Board() override { return board_; }
    UserPrompts& Prompts() override { return prompts_; }
    Clock& GetClock() override { return clock_; }
    bool KernletLoaded(uint8_t device) const override { return kernletLoaded_.Loaded(device); }
    void SetKernletLoaded(uint8_t device, bool loaded) override { kernletLoaded_.Set(device, loaded); }
    uint8_t KernletOptions() const override { return kernletOptions_; }
    std::unique_ptr<SettingsKey> NewSettingsKey() override;
    void EnableSheetControls(bool enable) override;
    ProgressSink& Progress() override { return *progressSink_; }

private:
    bool OpenPort();
    void ShowUnableToOpenPort();
    std::string openFailure_;  // why the last open failed, in the port's words

    Clock& clock_;
    UserPrompts& prompts_;
    SheetWindow& window_;
    SettingsKeyFactory newSettingsKey_;
    ProgressSink* progressSink_;
    std::string programDirectory_;
    CMB805QBrd board_;
    COptions options_;
    CComPortDialog comPortDialog_;

    uint16_t boardKind_ = 0;
    ComSettings comSettings_;
    BoardInfo info_;
    FirmwareVersion version_;
    FirmwareCode code_ = 0;
    uint8_t kernletOptions_ = 0;
    FirmwareFile firmwareFile_;
    std::string boardName_;
    KernletFlags kernletLoaded_;
    int layoutTab_ = 0;
    bool controlsEnabled_ = true;
    std::thread loaderWait_;
};
