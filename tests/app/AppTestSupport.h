#pragma once
// Test doubles for the window's logic: settings kept in memory with failures on demand, a
// window that records what the sheet asked of it and answers the port dialog from a script,
// and a rig that puts the sheet on the in-process simulated board.
#include "app/TR805QSheet.h"
#include "sim/Board.h"
#include "tests/support/Recorders.h"

#include <atomic>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

// The whole per-user store: tab -> value name -> value.
struct MemoryStore {
    using Value = std::variant<uint32_t, std::string>;
    std::map<std::string, std::map<std::string, Value>> tabs;
    bool failOpen = false;
    std::set<std::string> failQuery;  // value names whose query fails
    std::set<std::string> failSet;    // value names that cannot be written
    std::vector<std::string> writes;  // "name=value" in the order they were written

    std::optional<uint32_t> Dword(const std::string& tab, const std::string& name) const;
};

class MemorySettingsKey final : public SettingsKey {
public:
    explicit MemorySettingsKey(MemoryStore& store) : store_(store) {}
    bool Open(const std::string& tab) override;
    bool IsOpen() const override { return open_; }
    SettingsStatus QueryDword(const std::string& name, uint32_t& value) override;
    bool SetDword(const std::string& name, uint32_t value) override;
    SettingsStatus QueryString(const std::string& name, std::string& value) override;
    bool SetString(const std::string& name, const std::string& value) override;
    void Close() override { open_ = false; }

private:
    MemoryStore& store_;
    std::string tab_;
    bool open_ = false;
};

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
    std::function<void(COptions&)> optionsAction;          // what the user does in "Options"
    std::vector<std::string> aboutTexts;                    // caption, then the seven texts
    int aboutRuns = 0;
    std::optional<std::string> aboutEntry;  // set by BuildControls
    std::vector<int> resizes;
    std::vector<std::string> titles;
    int enables = 0;
    bool controlsEnabled = true;
    std::atomic<int> loaderReadyPosts{0};
};

// The sheet's surroundings on the simulated board: the board answers on the ports in
// `presentPorts`; the program folder is a fresh temporary folder.
struct SimRig {
    explicit SimRig(sim::BoardConfig config = {});
    ~SimRig();
    SheetPlatform Platform();

    FakeClock clock;
    RecordingPrompts prompts;
    RecordingProgress progress;
    MemoryStore store;
    sim::Board board;
    std::vector<std::string> requests;  // every request the board received
    std::vector<int> presentPorts{3};
    std::set<int> failingPorts;  // listed, but opening them fails
    uint32_t lineRate = 0;       // baud of the ports' line in real time; 0: instant
    std::filesystem::path programDir;
    int opens = 0;  // devices the port opened
};

// True when a request line ("7E 40 ...") starts with the given bytes.
bool HasRequest(const std::vector<std::string>& requests, const std::string& start);
