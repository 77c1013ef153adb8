#pragma once
// Test doubles for the window's logic: a window that records what the sheet asked of it and
// answers the port dialog from a script, and a rig that puts the sheet on the in-process
// simulated board with its settings in memory.
#include "app/TR805QSheet.h"
#include "tests/support/MemorySettings.h"
#include "tests/support/Recorders.h"
#include "tests/support/SimHost.h"
#include "tests/support/TempFolder.h"

#include <atomic>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

class FakeSheetWindow final : public SheetWindow {
public:
    // One answer of the port dialog: OK after choosing an entry (or keeping what it selected),
    // or Cancel. With no answers left the dialog is cancelled.
    struct PortAnswer {
        bool ok = true;
        std::optional<std::string> entry;
    };
    static PortAnswer Choose(std::string entry) { return {true, std::move(entry)}; }
    static PortAnswer Keep() { return {true, std::nullopt}; }
    static PortAnswer Cancel() { return {false, std::nullopt}; }

    bool RunComPortDialog(CComPortDialog& dialog) override;
    void RunOptionsDialog(COptions& options) override;
    void RunAboutBox(CAboutBox& box) override;
    void BuildControls(const std::string& aboutEntryText) override;
    void ResizeBy(int dy) override { resizes.push_back(dy); }
    void EnableAndActivate() override { ++enables; }
    void SetTitle(const std::string& title) override { titles.push_back(title); }
    void SetSheetControlsEnabled(bool enable) override { controlsEnabled = enable; }
    void PostLoaderReady() override { ++loaderReadyPosts; }

    std::deque<PortAnswer> portAnswers;
    std::vector<std::vector<std::string>> portListsShown;  // the list of each dialog run
    std::function<void(COptions&)> optionsAction;  // what the user does in "Options"
    std::vector<std::string> aboutTexts;  // caption, then the seven texts
    int aboutRuns = 0;
    std::optional<std::string> aboutEntry;  // set by BuildControls
    std::vector<int> resizes;
    std::vector<std::string> titles;
    int enables = 0;
    bool controlsEnabled = true;
    std::atomic<int> loaderReadyPosts{0};
};

// The sheet's surroundings on the simulated board (the sheet owns its board object, whose port
// opens devices of the rig's line): the board answers on the ports in `presentPorts`; the
// program folder is a fresh temporary folder.
struct SimRig : SimLine {
    explicit SimRig(sim::BoardConfig config = {});
    SheetPlatform Platform();

    RecordingPrompts prompts;
    RecordingProgress progress;
    MemoryStore store;
    std::vector<int> presentPorts{3};
    std::set<int> failingPorts;  // listed, but opening them fails
    TempFolder programFolder{"tr805q-app"};
    const std::filesystem::path& programDir = programFolder.Path();
    int opens = 0;  // devices the port opened
};

// True when a request line ("7E 40 ...") starts with the given bytes.
bool HasRequest(const std::vector<std::string>& requests, const std::string& start);
