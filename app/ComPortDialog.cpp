#include "app/ComPortDialog.h"

#include "link/Messages.h"

#include <algorithm>

CComPortDialog::CComPortDialog(UserPrompts& prompts, SettingsKeyFactory newKey, PortLister activePorts)
    : prompts_(prompts), newKey_(std::move(newKey)), activePorts_(std::move(activePorts)) {}

CComPortDialog::~CComPortDialog() { CloseKey(); }

void CComPortDialog::CloseKey() {
    if (key_) key_->Close();
    key_.reset();
}

void CComPortDialog::OnInitDialog() {
    portEntries.clear();
    baudEntries.clear();
    portSelection = baudSelection = -1;
    parityChoice = stopBitsChoice = dataBitsChoice = flowChoice = -1;
    CloseKey();
    if (!ReadStoredSettings()) return;  // the lists stay empty
    FillLists();
    ShowSettings();
}

bool CComPortDialog::ReadStoredSettings() {
    key_ = newKey_ ? newKey_() : nullptr;
    if (!key_ || !key_->Open(kComSettingsTab)) {
        key_.reset();
        prompts_.MessageBox(kMsgCannotCreateKey, kCaptionError, MsgIcon::Error);
        return false;
    }
    for (const ComSettingField& f : kComSettingFields) {
        uint32_t value = 0;
        switch (key_->QueryDword(f.name, value)) {
            case SettingsStatus::Ok: settings_.*f.field = value; break;
            case SettingsStatus::Missing:
                settings_.*f.field = f.defaultValue;
                if (!key_->SetDword(f.name, f.defaultValue)) {
                    prompts_.MessageBox(kMsgCannotCreateEntry, kCaptionError, MsgIcon::Error);
                    CloseKey();
                    return false;
                }
                break;
            case SettingsStatus::Failed:
                prompts_.MessageBox(kMsgCannotReadEntry, kCaptionError, MsgIcon::Error);
                CloseKey();
                return false;
        }
    }
    return true;
}

void CComPortDialog::FillLists() {
    for (uint32_t rate : kBaudRates) baudEntries.push_back(std::to_string(rate));
    std::vector<int> present = activePorts_ ? activePorts_() : std::vector<int>{};
    // Offered in numeric order, COM0 to COM99, whatever order the lister gives.
    for (int n = 0; n <= kMaxPort; ++n) {
        if (std::find(present.begin(), present.end(), n) != present.end()) {
            portEntries.push_back("COM" + std::to_string(n));
        }
    }
    if (portEntries.empty()) portEntries.push_back(kNoActivePorts);
}

void CComPortDialog::ShowSettings() {
    const std::string wanted =
        "COM" + std::to_string(preselect_ ? static_cast<uint32_t>(*preselect_) : settings_.port);
    const auto port = std::find(portEntries.begin(), portEntries.end(), wanted);
    portSelection = port == portEntries.end() ? -1 : static_cast<int>(port - portEntries.begin());

    const auto rate = std::find(kBaudRates.begin(), kBaudRates.end() - 1, settings_.baud);
    baudSelection = static_cast<int>(rate - kBaudRates.begin());  // anything else: 115200

    parityChoice = settings_.parity == ParityEven ? 2 : settings_.parity == ParityOdd ? 1 : 0;
    dataBitsChoice = settings_.dataBits == 7 ? 1 : 0;
    flowChoice = settings_.flowControl == FlowCtsRts ? 1 : settings_.flowControl == FlowDsrDtr ? 2 : 0;
    stopBitsChoice = settings_.stopBits == StopTwo ? 1 : 0;
}

uint32_t CComPortDialog::PortNumberOfEntry(std::string_view entry) {
    if (entry.substr(0, 3) != "COM") return 0;
    uint32_t n = 0;
    for (char c : entry.substr(3)) {
        if (c < '0' || c > '9' || n > 99999) break;
        n = n * 10 + static_cast<uint32_t>(c - '0');
    }
    return n;
}

void CComPortDialog::OnOK() {
    const bool portChosen = portSelection >= 0 && portSelection < static_cast<int>(portEntries.size());
    // No choice (the stored port is not present now): the stored number stays, rather than
    // being replaced by a port nobody chose.
    if (portChosen) settings_.port = PortNumberOfEntry(portEntries[portSelection]);
    const bool rateChosen = baudSelection >= 0 && baudSelection < static_cast<int>(kBaudRates.size());
    settings_.baud = rateChosen ? kBaudRates[baudSelection] : 115200;
    // A group with no choice keeps its setting: that only happens when reading the stored
    // settings failed, and a port must not then be opened with settings nobody chose.
    if (parityChoice == 0) settings_.parity = ParityNone;
    if (parityChoice == 1) settings_.parity = ParityOdd;
    if (parityChoice == 2) settings_.parity = ParityEven;
    if (dataBitsChoice == 0) settings_.dataBits = 8;
    if (dataBitsChoice == 1) settings_.dataBits = 7;
    if (flowChoice == 0) settings_.flowControl = FlowNone;
    if (flowChoice == 1) settings_.flowControl = FlowCtsRts;
    if (flowChoice == 2) settings_.flowControl = FlowDsrDtr;
    if (stopBitsChoice == 0) settings_.stopBits = StopOne;
    if (stopBitsChoice == 1) settings_.stopBits = StopTwo;
    StoreSettings();
    CloseKey();
}

void CComPortDialog::StoreSettings() {
    if (!key_) return;
    for (const ComSettingField& f : kComSettingFields) {
        uint32_t existing = 0;
        if (key_->QueryDword(f.name, existing) != SettingsStatus::Ok) return;
        if (!key_->SetDword(f.name, settings_.*f.field)) return;
    }
}

void CComPortDialog::OnCancel() { CloseKey(); }
