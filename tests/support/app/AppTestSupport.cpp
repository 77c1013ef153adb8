#include "tests/support/app/AppTestSupport.h"

#include "app/AboutBox.h"
#include "app/ComPortDialog.h"
#include "app/Options.h"

#include <algorithm>
#include <cerrno>

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

SimRig::SimRig(sim::BoardConfig config) : SimLine(config) {}

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
        return NewDevice();
    };
    return p;
}

bool HasRequest(const std::vector<std::string>& requests, const std::string& start) {
    return std::any_of(requests.begin(), requests.end(),
                       [&](const std::string& r) { return r.rfind(start, 0) == 0; });
}
