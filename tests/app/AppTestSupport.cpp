#include "tests/app/AppTestSupport.h"

#include "app/AboutBox.h"
#include "app/ComPortDialog.h"
#include "app/Options.h"
#include "sim/SimSerialDevice.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

std::optional<uint32_t> MemoryStore::Dword(const std::string& tab, const std::string& name) const {
    const auto t = tabs.find(tab);
    if (t == tabs.end()) return std::nullopt;
    const auto v = t->second.find(name);
    if (v == t->second.end() || !std::holds_alternative<uint32_t>(v->second)) return std::nullopt;
    return std::get<uint32_t>(v->second);
}

bool MemorySettingsKey::Open(const std::string& tab) {
    if (store_.failOpen) return false;
    tab_ = tab;
    store_.tabs[tab];
    open_ = true;
    return true;
}

SettingsStatus MemorySettingsKey::QueryDword(const std::string& name, uint32_t& value) {
    if (!open_ || store_.failQuery.count(name)) return SettingsStatus::Failed;
    auto& values = store_.tabs[tab_];
    const auto v = values.find(name);
    if (v == values.end()) return SettingsStatus::Missing;
    if (!std::holds_alternative<uint32_t>(v->second)) return SettingsStatus::Failed;
    value = std::get<uint32_t>(v->second);
    return SettingsStatus::Ok;
}

bool MemorySettingsKey::SetDword(const std::string& name, uint32_t value) {
    if (!open_ || store_.failSet.count(name)) return false;
    store_.tabs[tab_][name] = value;
    store_.writes.push_back(name + "=" + std::to_string(value));
    return true;
}

SettingsStatus MemorySettingsKey::QueryString(const std::string& name, std::string& value) {
    if (!open_ || store_.failQuery.count(name)) return SettingsStatus::Failed;
    auto& values = store_.tabs[tab_];
    const auto v = values.find(name);
    if (v == values.end()) return SettingsStatus::Missing;
    if (!std::holds_alternative<std::string>(v->second)) return SettingsStatus::Failed;
    value = std::get<std::string>(v->second);
    return SettingsStatus::Ok;
}

bool MemorySettingsKey::SetString(const std::string& name, const std::string& value) {
    if (!open_ || store_.failSet.count(name)) return false;
    store_.tabs[tab_][name] = value;
    store_.writes.push_back(name + "=" + value);
    return true;
}

bool FakeSheetWindow::RunComPortDialog(CComPortDialog& dialog) {
    dialog.OnInitDialog();
    portListsShown.push_back(dialog.portEntries);
    if (portAnswers.empty() || !portAnswers.front().ok) {
        if (!portAnswers.empty()) portAnswers.pop_front();
        dialog.OnCancel();
        return false;
    }
    const PortAnswer answer = portAnswers.front();
    portAnswers.pop_front();
    if (answer.entry) {
        const auto& entries = dialog.portEntries;
        const auto it = std::find(entries.begin(), entries.end(), *answer.entry);
        dialog.portSelection = it == entries.end() ? -1 : static_cast<int>(it - entries.begin());
    }
    dialog.OnOK();
    return true;
}

void FakeSheetWindow::RunOptionsDialog(COptions& options) {
    options.OnInitDialog();
    if (optionsAction) optionsAction(options);
}

void FakeSheetWindow::RunAboutBox(CAboutBox& box) {
    ++aboutRuns;
    box.OnInitDialog();
    aboutTexts.assign(1, box.caption);
    aboutTexts.insert(aboutTexts.end(), box.texts.begin(), box.texts.end());
}

void FakeSheetWindow::BuildControls(const std::string& aboutEntryText) { aboutEntry = aboutEntryText; }

SimRig::SimRig(sim::BoardConfig config) : board(config) {
    board.SetRequestLog(&requests);
    std::string pattern = (std::filesystem::temp_directory_path() / "tr805q-app-XXXXXX").string();
    if (const char* made = mkdtemp(pattern.data())) programDir = made;
}

SimRig::~SimRig() {
    std::error_code ec;
    if (!programDir.empty()) std::filesystem::remove_all(programDir, ec);
}

SheetPlatform SimRig::Platform() {
    SheetPlatform p;
    p.clock = &clock;
    p.prompts = &prompts;
    p.progress = &progress;
    p.newSettingsKey = [this] { return std::make_unique<MemorySettingsKey>(store); };
    p.activePorts = [this] { return presentPorts; };
    p.programDirectory = programDir.string();
    p.deviceOpener = [this](int number) -> std::unique_ptr<SerialDevice> {
        if (std::find(presentPorts.begin(), presentPorts.end(), number) == presentPorts.end()) return nullptr;
        if (failingPorts.count(number)) throw CSerialException(EBUSY, "in use");
        ++opens;
        auto device = std::make_unique<sim::SimSerialDevice>(board, clock);
        device->SetLineRate(lineRate);
        return device;
    };
    return p;
}

bool HasRequest(const std::vector<std::string>& requests, const std::string& start) {
    return std::any_of(requests.begin(), requests.end(),
                       [&](const std::string& r) { return r.rfind(start, 0) == 0; });
}
