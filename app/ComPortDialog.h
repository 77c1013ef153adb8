#pragma once
// "COM PORT": which COM port the board is on, with the port's line settings kept under the
// ScriptTab settings key. The view copies these fields to its controls and back; the sheet reads
// the six settings after OK.
#include "core/SettingsKey.h"
#include "core/UserPrompts.h"
#include "link/ComSettings.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A new, not yet opened settings key (QSettings in the window, in memory in tests).
using SettingsKeyFactory = std::function<std::unique_ptr<SettingsKey>()>;
// Numbers of the COM ports present on the machine.
using PortLister = std::function<std::vector<int>()>;

inline constexpr const char* kComPortDialogTitle = "COM PORT";
inline constexpr const char* kNoActivePorts = "No Active Ports Found";

class CComPortDialog {
public:
    static constexpr int kMaxPort = 99;
    static constexpr std::array<uint32_t, 6> kBaudRates{4800, 9600, 19200, 38400, 57600, 115200};
    // The choices of the hidden groups, in the order the view shows them.
    static constexpr std::array<const char*, 3> kParityChoices{"None", "Odd", "Even"};
    static constexpr std::array<const char*, 2> kStopBitsChoices{"1 bit", "2 bits"};
    static constexpr std::array<const char*, 2> kDataBitsChoices{"8 bits", "7 bits"};
    static constexpr std::array<const char*, 3> kFlowChoices{"None", "RTS/CTS", "DTR/DSR"};

    CComPortDialog(UserPrompts& prompts, SettingsKeyFactory newKey, PortLister activePorts);
    ~CComPortDialog();
    CComPortDialog(const CComPortDialog&) = delete;
    CComPortDialog& operator=(const CComPortDialog&) = delete;

    // A port to select instead of the stored one when it is offered (the simulated board's).
    void PreselectPort(std::optional<int> port) { preselect_ = port; }

    // Opening the dialog: reads the stored settings (creating missing ones with their defaults),
    // fills the lists and selects what the settings say.
    void OnInitDialog();
    // OK: takes the settings from the controls and stores them.
    void OnOK();
    // Cancel: changes nothing.
    void OnCancel();

    // The six settings: as read when the dialog opened, as chosen after OK.
    const ComSettings& Settings() const { return settings_; }

    // The port number an entry of the port list stands for ("No Active Ports Found" gives 0).
    static uint32_t PortNumberOfEntry(std::string_view entry);

    // What the controls hold. Selections are indexes into the lists above, -1 for none.
    std::vector<std::string> portEntries;
    std::vector<std::string> baudEntries;
    int portSelection = -1;
    int baudSelection = -1;
    int parityChoice = -1;
    int stopBitsChoice = -1;
    int dataBitsChoice = -1;
    int flowChoice = -1;

private:
    bool ReadStoredSettings();
    void FillLists();
    void ShowSettings();
    void StoreSettings();
    void CloseKey();

    UserPrompts& prompts_;
    SettingsKeyFactory newKey_;
    PortLister activePorts_;
    std::unique_ptr<SettingsKey> key_;
    ComSettings settings_;
    std::optional<int> preselect_;
};
