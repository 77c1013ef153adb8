// The "Script Handler" page: its settings, Select Script, the recent-files menu, the enable
// rules while idle and running, Clear and Save Results, and closing while a script runs.
#include "script/ScriptPage.h"
#include "tests/script/run_support.h"
#include "tests/support/MemorySettings.h"
#include "tests/support/SimHost.h"

#include <filesystem>

namespace runtest {
namespace {

using script::CScript;

class PageHostWithStore final : public SimHost {
public:
    std::unique_ptr<SettingsKey> NewSettingsKey() override {
        return std::make_unique<MemorySettingsKey>(store);
    }
    void EnableSheetControls(bool enable) override { sheetControls.push_back(enable); }
    MemoryStore store;
    std::vector<bool> sheetControls;
};

class ScriptPageTest : public testing::Test {
protected:
    ScriptPageTest() : page(host, poster, dialogs) { page.RunHost().SetListingDirectory(folder.Path()); }

    std::string Str(const std::string& name) const {
        return host.store.String("ScriptTab", name).value_or("<missing>");
    }
    uint32_t Count() const { return host.store.Dword("ScriptTab", "FileCount").value_or(0xDEAD); }
    // Selects a script through the file dialog.
    void Select(const std::string& path) {
        host.prompts.filePaths.push_back(path);
        page.SelectScript();
    }
    void Pump() {
        for (int guard = 0; guard < 10000; ++guard) {
            if (page.Idle() && !page.RunHost().WorkerRunning() && poster.Empty()) return;
            std::optional<script::ScriptPost> post = poster.Take();
            ASSERT_TRUE(post) << "the worker posted nothing more";
            page.Handle(*post);
        }
    }
    std::vector<std::string> MenuTexts() const {
        std::vector<std::string> out;
        for (const script::RecentMenuItem& i : page.RecentMenu())
            out.push_back(i.separator ? "----" : (i.enabled ? "" : "(grey)") + i.text);
        return out;
    }

    TempFolder folder;
    PageHostWithStore host;
    TestPoster poster;
    ScriptedDialogs dialogs;
    CScript page;
};

TEST_F(ScriptPageTest, InitialisationCreatesMissingValuesInOrder) {
    ASSERT_TRUE(page.Initialise());
    EXPECT_EQ(host.store.openedTabs, std::vector<std::string>{"ScriptTab"});
    EXPECT_EQ(host.store.writes,
              (std::vector<std::string>{
                  "RecentFileDirectory0=", "RecentFileName0=", "RecentFileDirectory1=", "RecentFileName1=",
                  "RecentFileDirectory2=", "RecentFileName2=", "RecentFileDirectory3=", "RecentFileName3=",
                  "RecentFileDirectory4=", "RecentFileName4=", "RecentFileDirectory5=", "RecentFileName5=",
                  "FileCount=0", "WorkingDirectoryScripts="}));
    EXPECT_TRUE(host.prompts.messages.empty());
    const script::ScriptControls& c = page.Controls();
    EXPECT_TRUE(c.selectScript);
    EXPECT_TRUE(c.recentFiles);
    EXPECT_FALSE(c.run);
    EXPECT_EQ(c.runText, "Run Script");
    EXPECT_FALSE(c.clearResults);
    EXPECT_FALSE(c.saveResults);
    EXPECT_FALSE(c.seeTrace);
}

TEST_F(ScriptPageTest, InitialisationFailuresShowTheirMessage) {
    struct Case {
        const char* what;
        std::function<void(MemoryStore&)> fault;
        const char* message;
    };
    const Case cases[] = {
        {"open", [](MemoryStore& s) { s.failOpen = true; }, "Error - Cannot create registry key"},
        {"query", [](MemoryStore& s) { s.failQuery.insert("RecentFileName3"); },
         "Error - Cannot read registry entry"},
        {"create", [](MemoryStore& s) { s.failSet.insert("FileCount"); },
         "Error - Cannot create registry entry"},
        {"count", [](MemoryStore& s) { s.failQuery.insert("FileCount"); },
         "Error - Cannot read registry entry"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PageHostWithStore h;
        c.fault(h.store);
        CScript p(h, poster, dialogs);
        EXPECT_FALSE(p.Initialise());
        ASSERT_EQ(h.prompts.messages.size(), 1u);
        EXPECT_EQ(h.prompts.messages[0].text, c.message);
        EXPECT_EQ(h.prompts.messages[0].caption, "Error");
        EXPECT_EQ(h.prompts.messages[0].icon, MsgIcon::Error);
    }
}

TEST_F(ScriptPageTest, StoredListIsReadAndADamagedCountIsHeldToSix) {
    for (int i = 0; i < 6; ++i) {
        host.store.tabs["ScriptTab"]["RecentFileName" + std::to_string(i)] = "s" + std::to_string(i) + ".mbs";
        host.store.tabs["ScriptTab"]["RecentFileDirectory" + std::to_string(i)] = std::string("/d/");
    }
    host.store.tabs["ScriptTab"]["FileCount"] = uint32_t{9};
    host.store.tabs["ScriptTab"]["WorkingDirectoryScripts"] = std::string("/w/");
    ASSERT_TRUE(page.Initialise());
    EXPECT_EQ(page.RecentCount(), 6u);
    EXPECT_EQ(page.WorkingDirectory(), "/w/");
    EXPECT_EQ(MenuTexts().size(), 8u);
}

TEST_F(ScriptPageTest, SelectScriptAsksInTheWorkingDirectoryAndStoresTheChoice) {
    ASSERT_TRUE(page.Initialise());
    Select(folder.File("a.mbs"));
    ASSERT_EQ(host.prompts.fileDialogs.size(), 1u);
    const FileDialogSpec& spec = host.prompts.fileDialogs[0];
    EXPECT_EQ(spec.title, "Select Script");
    EXPECT_EQ(spec.filter, "Script Files (*.mbs)|*.mbs|All files (*.*)|*.*||");
    EXPECT_EQ(spec.defaultExtension, "*.txt");
    EXPECT_EQ(spec.initialDirectory, std::filesystem::current_path().string());

    EXPECT_EQ(page.FileName(), "a.mbs");
    EXPECT_EQ(page.FullPath(), folder.File("a.mbs"));
    EXPECT_EQ(page.WorkingDirectory(), folder.Path().string() + "/");
    EXPECT_EQ(Str("WorkingDirectoryScripts"), folder.Path().string() + "/");
    EXPECT_EQ(Str("RecentFileName0"), "a.mbs");
    EXPECT_EQ(Str("RecentFileDirectory0"), folder.Path().string() + "/");
    EXPECT_EQ(Count(), 1u);
    EXPECT_TRUE(page.Controls().run);
    EXPECT_EQ(page.Controls().runText, "Run");

    // The next dialog starts where the last script was.
    host.prompts.filePaths.push_back(std::nullopt);
    page.SelectScript();
    EXPECT_EQ(host.prompts.fileDialogs[1].initialDirectory, folder.Path().string() + "/");
    EXPECT_EQ(page.FileName(), "a.mbs");  // Cancel changes nothing
}

TEST_F(ScriptPageTest, RecentFilesSameTwiceSeventhDropsOldestClearLeavesGreyItem) {
    ASSERT_TRUE(page.Initialise());
    Select("/s/one.mbs");
    const std::vector<std::string> writesAfterFirst = host.store.writes;
    Select("/s/one.mbs");
    EXPECT_EQ(page.RecentCount(), 1u);
    // Only the working directory is stored again; the list is left alone.
    EXPECT_EQ(host.store.writes.size(), writesAfterFirst.size() + 1);
    EXPECT_EQ(MenuTexts(), (std::vector<std::string>{"Clear Recent Files List", "----", "one.mbs"}));

    for (const char* name : {"two", "three", "four", "five", "six"})
        Select(std::string("/s/") + name + ".mbs");
    Select("/other/one.mbs");  // same name, another folder: a new entry, the seventh
    EXPECT_EQ(page.RecentCount(), 6u);
    EXPECT_EQ(MenuTexts(),
              (std::vector<std::string>{"Clear Recent Files List", "----", "two.mbs", "three.mbs", "four.mbs",
                                        "five.mbs", "six.mbs", "one.mbs"}));
    EXPECT_EQ(Str("RecentFileName0"), "two.mbs");
    EXPECT_EQ(Str("RecentFileName5"), "one.mbs");
    EXPECT_EQ(Str("RecentFileDirectory5"), "/other/");
    EXPECT_EQ(Count(), 6u);

    // Choosing an entry sets the script without reordering the list.
    page.ChooseRecent(1);
    EXPECT_EQ(page.FullPath(), "/s/three.mbs");
    EXPECT_EQ(page.WorkingDirectory(), "/s/");
    EXPECT_EQ(Str("WorkingDirectoryScripts"), "/s/");
    EXPECT_EQ(MenuTexts()[3], "three.mbs");

    page.ClearRecentList();
    EXPECT_EQ(MenuTexts(), (std::vector<std::string>{"(grey)Clear Recent Files List"}));
    EXPECT_EQ(Count(), 0u);
    EXPECT_EQ(Str("RecentFileName0"), "two.mbs");  // the names stay until overwritten
    Select("/s/new.mbs");
    EXPECT_EQ(Str("RecentFileName0"), "new.mbs");
    EXPECT_EQ(Count(), 1u);
}

TEST_F(ScriptPageTest, ControlsWhileRunningAndAfterwardsAndSavedResults) {
    ASSERT_TRUE(page.Initialise());
    Select(folder.Write("r.mbs", "        disp \"hello\"\n        dialog \"wait\"\n        stop\n"));
    page.RunOrAbort();
    ASSERT_FALSE(page.Idle());
    const script::ScriptControls running = page.Controls();
    EXPECT_FALSE(running.selectScript);
    EXPECT_FALSE(running.recentFiles);
    EXPECT_TRUE(running.run);
    EXPECT_EQ(running.runText, "Abort");
    EXPECT_FALSE(running.clearResults);
    EXPECT_FALSE(running.saveResults);
    EXPECT_FALSE(running.seeTrace);
    EXPECT_EQ(host.sheetControls, (std::vector<bool>{false}));
    Pump();
    const script::ScriptControls& after = page.Controls();
    EXPECT_TRUE(after.selectScript);
    EXPECT_TRUE(after.recentFiles);
    EXPECT_EQ(after.runText, "Run");
    EXPECT_TRUE(after.clearResults);
    EXPECT_TRUE(after.saveResults);
    EXPECT_TRUE(after.seeTrace);
    EXPECT_EQ(host.sheetControls, (std::vector<bool>{false, true}));

    host.prompts.filePaths.push_back(folder.File("results.txt"));
    page.SaveResults();
    const FileDialogSpec& spec = host.prompts.fileDialogs.back();
    EXPECT_EQ(spec.title, "Save Script Results");
    EXPECT_EQ(spec.filter, "Text Files (*.txt)|*.txt|All files (*.*)|*.*||");
    EXPECT_EQ(spec.defaultExtension, "*.txt");
    EXPECT_TRUE(spec.confirmOverwrite);
    EXPECT_EQ(folder.Read("results.txt"), "Script running...\nhello\nScript finished\n");

    host.prompts.filePaths.push_back(folder.Path().string() + "/no/such/folder/x.txt");
    page.SaveResults();
    EXPECT_EQ(host.prompts.messages.back().text, "Error - Unable to save results");

    page.ClearResults();
    EXPECT_TRUE(page.Results().Empty());
    EXPECT_FALSE(page.Controls().clearResults);
    EXPECT_FALSE(page.Controls().saveResults);
}

TEST_F(ScriptPageTest, SavedResultsHoldEachLineOnceWithoutCarriageReturns) {
    ASSERT_TRUE(page.Initialise());
    enum class Destination { New, Link, ReadOnly };
    struct Case {
        const char* what;
        const char* script;
        Destination destination;
        const char* saved;  // nullptr: refused, the older file kept
    };
    const Case cases[] = {
        // A run-time error text starts with a line break.
        {"a run-time error", "        disp \"a\"\n        return\n", Destination::New,
         "Script running...\na\nError Stack underflow at line 2\n"},
        // Compile errors end with one.
        {"compile errors", "        frobnicate\n        bogus\n", Destination::New,
         "Line 1: Error unrecognised command\nLine 2: Error unrecognised command\n"},
        {"through a symbolic link", "        disp \"b\"\n        stop\n", Destination::Link,
         "Script running...\nb\nScript finished\n"},
        {"over a read-only file", "        disp \"c\"\n        stop\n", Destination::ReadOnly, nullptr},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Select(folder.Write("s" + std::to_string(++n) + ".mbs", c.script));
        page.RunOrAbort();
        Pump();
        const std::string name = "results" + std::to_string(n) + ".txt";
        std::string chosen = folder.File(name);
        if (c.destination != Destination::New) folder.Write(name, "older");
        if (c.destination == Destination::Link) {
            chosen = folder.File("link" + std::to_string(n) + ".txt");
            std::filesystem::create_symlink(name, chosen);
        }
        if (c.destination == Destination::ReadOnly) {
            std::filesystem::permissions(folder.File(name), std::filesystem::perms::owner_read);
        }
        host.prompts.messages.clear();
        host.prompts.filePaths.push_back(chosen);
        page.SaveResults();
        if (c.saved) {
            EXPECT_TRUE(host.prompts.messages.empty());
            EXPECT_EQ(folder.Read(name), c.saved);
        } else {
            ASSERT_EQ(host.prompts.messages.size(), 1u);
            EXPECT_EQ(host.prompts.messages[0].text, "Error - Unable to save results");
            EXPECT_EQ(folder.Read(name), "older");
        }
        if (c.destination == Destination::Link) {
            EXPECT_TRUE(std::filesystem::is_symlink(chosen));
        }
    }
}

TEST_F(ScriptPageTest, AbortFromTheButtonAndSeeTraceOnlyWithTheStatusFlag) {
    ASSERT_TRUE(page.Initialise());
    Select(folder.Write("loop.mbs", "loop    jmp loop\n"));
    page.RunOrAbort();
    page.RunOrAbort();  // the button reads "Abort"
    EXPECT_TRUE(page.Idle());
    EXPECT_EQ(page.Controls().runText, "Run");
    EXPECT_FALSE(page.Controls().seeTrace);
    Pump();
    EXPECT_EQ(page.Results().Lines().back(), "Script aborted at line 1");
    EXPECT_TRUE(page.Controls().seeTrace);

    // A run-time error leaves See Trace disabled (the board's flag is 0 then).
    Select(folder.Write("err.mbs", "        return\n"));
    page.RunOrAbort();
    Pump();
    EXPECT_FALSE(page.Controls().seeTrace);
    EXPECT_TRUE(page.Controls().saveResults);
}

TEST_F(ScriptPageTest, CompileErrorsLeaveRunAvailable) {
    ASSERT_TRUE(page.Initialise());
    Select(folder.Write("bad.mbs", "        frobnicate\n"));
    page.RunOrAbort();
    EXPECT_TRUE(page.Idle());
    EXPECT_EQ(page.Results().Count(), 1u);
    EXPECT_TRUE(page.Controls().run);
    EXPECT_EQ(page.Controls().runText, "Run");
    EXPECT_TRUE(page.Controls().saveResults);
    EXPECT_TRUE(page.Controls().clearResults);
    EXPECT_FALSE(page.Controls().seeTrace);
}

TEST_F(ScriptPageTest, ClosingThePageWhileAScriptWaitsStopsTheWorker) {
    ASSERT_TRUE(page.Initialise());
    Select(folder.Write("w.mbs", "        dialog \"wait\"\n        stop\n"));
    page.RunOrAbort();
    std::optional<script::ScriptPost> post = poster.Take();
    ASSERT_TRUE(post);
    page.Close();
    EXPECT_FALSE(page.RunHost().WorkerRunning());
}

}  // namespace
}  // namespace runtest
