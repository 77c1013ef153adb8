#pragma once
// The "Script Handler" page (CScript): selects a script, keeps six recent scripts in the
// settings, runs and aborts it through the run host, shows what the compiler and the running
// script report, saves the results and opens the bus trace. The view copies the fields below to
// its controls and calls the operations.
#include "core/PageHost.h"
#include "link/MB805QBrd.h"
#include "script/ResultsList.h"
#include "script/RunHost.h"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace script {

struct RecentFile {
    std::string name;
    std::string directory;  // with its trailing separator: directory + name is the path
};

// One item of the recent-files menu.
struct RecentMenuItem {
    std::string text;
    bool enabled = true;
    bool separator = false;
    int entry = -1;  // -1: "Clear Recent Files List"; else the recent entry it opens
};

// Enabled state of the page's buttons and the Run button's text.
struct ScriptControls {
    bool selectScript = true;
    bool recentFiles = true;
    bool run = false;
    std::string runText{kTextRunScript};
    bool clearResults = false;
    bool saveResults = false;
    bool seeTrace = false;
};

class CScript final : private RunHostClient {
public:
    static constexpr size_t kRecentMax = 6;

    // The view (or tr805q-cli) hands in the way posts travel and the dialogs of a paused script.
    CScript(PageHost& host, ScriptPoster& poster, ScriptDialogPrompts& dialogs);
    ~CScript() override;
    CScript(const CScript&) = delete;
    CScript& operator=(const CScript&) = delete;

    // Page initialisation: the settings key and what it holds. False after a settings error
    // (shown); the page then works without stored values.
    bool Initialise();
    // Page closing: stops the worker, lets go of the script and the settings key.
    void Close();

    // Told whenever the controls' state changes, on the window thread.
    void SetControlsChanged(std::function<void()> changed) { controlsChanged_ = std::move(changed); }
    void SetResultsObserver(ResultsObserver* observer) { results_.SetObserver(observer); }

    // Commands.
    void SelectScript();
    std::vector<RecentMenuItem> RecentMenu() const;
    void ChooseRecent(int entry);
    void ClearRecentList();
    void RunOrAbort();
    void ClearResults();
    void SaveResults();
    // A message the worker posted, on the window thread.
    void Handle(const ScriptPost& post) { runHost_.Handle(post); }

    // Fields.
    const ScriptControls& Controls() const { return controls_; }
    const std::string& FileName() const { return fileName_; }
    const std::string& FullPath() const { return fullPath_; }
    const std::string& WorkingDirectory() const { return workingDirectory_; }
    const std::array<RecentFile, kRecentMax>& Recent() const { return recent_; }
    uint32_t RecentCount() const { return recentCount_; }
    const CResultsList& Results() const { return results_; }
    CScriptRunHost& RunHost() { return runHost_; }
    bool Idle() const { return runHost_.Idle(); }

    // The script to run, as Select Script or a recent entry sets it.
    void SetScript(const std::string& fullPath);

private:
    // RunHostClient
    void RunStarted() override;
    void RunStopped(bool seeTrace) override;
    void CompileFailed() override;

    void SelectedState();
    void StoreRecent();
    void StoreWorkingDirectory();
    bool ReadString(const std::string& name, std::string& value);
    void Changed();

    PageHost& host_;
    CResultsList results_;
    CScriptRunHost runHost_;
    std::unique_ptr<SettingsKey> key_;
    ScriptControls controls_;
    std::string fileName_;
    std::string fullPath_;
    std::string workingDirectory_;
    std::array<RecentFile, kRecentMax> recent_;
    uint32_t recentCount_ = 0;
    std::function<void()> controlsChanged_;
};

// The folder part of a path, with its trailing separator ("/a/b/c.mbs" -> "/a/b/"), and the
// name part ("c.mbs").
std::string DirectoryOf(const std::string& path);
std::string NameOf(const std::string& path);

}  // namespace script
