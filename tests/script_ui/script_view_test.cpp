// The script page, its dialogs and the trace window as views on the in-process simulated board,
// on the offscreen platform. With TR805Q_SCREENSHOTS set, the tests save PNGs of what they show.
#include "registers/ui/EntryField.h"
#include "registers/ui/TraceView.h"
#include "script/ScriptPage.h"
#include "script/ui/ScriptDialogViews.h"
#include "script/ui/ScriptPageView.h"
#include "tests/script/ScriptTestSupport.h"
#include "tests/support/GuiSupport.h"
#include "tests/support/SimHost.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

// Fontconfig keeps a cache for the whole process that it never frees; not the program's leak.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

using guitest::Child;
using guitest::PumpUntil;
using guitest::SaveScreenshot;
using script::CScriptView;

QStringList Items(QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

class ScriptViewTest : public testing::Test {
protected:
    ScriptViewTest() {
        view = std::make_unique<CScriptView>(host, script::ScriptEventTypes{});
        view->Page().RunHost().SetListingDirectory(folder.Path());
        view->resize(866, 446);
        view->show();
    }
    ~ScriptViewTest() override {
        EXPECT_TRUE(modal.Done()) << "a dialog the test waited for did not come up";
    }

    void Select(const std::string& path) {
        host.prompts.filePaths.push_back(path);
        Child<QPushButton>(view.get(), "selectScript")->click();
    }
    bool RunToTheEnd() {
        Child<QPushButton>(view.get(), "runScript")->click();
        return PumpUntil([this] { return view->Page().Idle() && !view->Page().RunHost().WorkerRunning(); });
    }

    QApplication& app = guitest::App();
    TempFolder folder;
    SimHost host;
    guitest::ModalScript modal;
    std::unique_ptr<CScriptView> view;
};

TEST_F(ScriptViewTest, IdlePageShowsItsControls) {
    EXPECT_EQ(Child<QPushButton>(view.get(), "selectScript")->text(), "Select Script...");
    EXPECT_EQ(Child<QPushButton>(view.get(), "recentFiles")->text(), ">");
    EXPECT_EQ(Child<QPushButton>(view.get(), "runScript")->text(), "Run Script");
    EXPECT_EQ(Child<QPushButton>(view.get(), "clearResults")->text(), "Clear Results");
    EXPECT_EQ(Child<QPushButton>(view.get(), "saveResults")->text(), "Save Results...");
    EXPECT_EQ(Child<QPushButton>(view.get(), "seeTrace")->text(), "See Trace...");
    EXPECT_TRUE(Child<QPushButton>(view.get(), "selectScript")->isEnabled());
    EXPECT_TRUE(Child<QPushButton>(view.get(), "recentFiles")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(view.get(), "runScript")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(view.get(), "clearResults")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(view.get(), "saveResults")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(view.get(), "seeTrace")->isEnabled());
    EXPECT_TRUE(Child<QLineEdit>(view.get(), "fileName")->isReadOnly());
    SaveScreenshot(view.get(), QStringLiteral("script-page-idle"));

    Select(folder.Write("probe.mbs", "        stop\n"));
    EXPECT_EQ(Child<QLineEdit>(view.get(), "fileName")->text(), "probe.mbs");
    EXPECT_TRUE(Child<QPushButton>(view.get(), "runScript")->isEnabled());
    EXPECT_EQ(Child<QPushButton>(view.get(), "runScript")->text(), "Run");
}

TEST_F(ScriptViewTest, RunWithEntryAndYesNoDialogsShowsItsResults) {
    Select(folder.Write("channel.mbs",
                        "offset  word    $10\n"
                        "again   word    0\n"
                        "        disp \"Measuring channel %u\" 1\n"
                        "        disp \"gain \\c\"\n"
                        "        disp \"= %u dB\" 12\n"
                        "        dialogentry \"Offset for channel 2 (hex %x)\" offset\n"
                        "        disp \"offset set to $%X\" offset\n"
                        "        dialogyesno \"Measure channel 2 as well?\" again\n"
                        "        disp \"answer %u\" again\n"
                        "        dialog \"Check the probe on channel %u\" 2\n"
                        "        stop\n"));
    modal.Then([this](QWidget* w) {
        auto* d = qobject_cast<script::CDialog_EntryView*>(w);
        ASSERT_NE(d, nullptr) << w->windowTitle().toStdString();
        EXPECT_EQ(d->windowTitle(), "Script Message-Script Paused");
        EXPECT_EQ(Child<QLabel>(d, "prompt")->text(), "Offset for channel 2 (hex 10)");
        EXPECT_EQ(Child<QLineEdit>(d, "entry")->text(), "$10");
        EXPECT_EQ(Child<QPushButton>(d, "okButton")->text(), "OK");
        EXPECT_EQ(Child<QPushButton>(d, "abortButton")->text(), "Abort");
        EXPECT_EQ(d->size(), QSize(script::kEntryDialogWidth, script::kEntryDialogHeight));
        // While the script waits: the page reads "Abort" and shows what came so far.
        EXPECT_EQ(Child<QPushButton>(view.get(), "runScript")->text(), "Abort");
        EXPECT_FALSE(Child<QPushButton>(view.get(), "selectScript")->isEnabled());
        EXPECT_FALSE(Child<QPushButton>(view.get(), "recentFiles")->isEnabled());
        EXPECT_FALSE(Child<QPushButton>(view.get(), "saveResults")->isEnabled());
        EXPECT_FALSE(Child<QPushButton>(view.get(), "seeTrace")->isEnabled());
        SaveScreenshot(view.get(), QStringLiteral("script-page-running"));
        Child<QLineEdit>(d, "entry")->setText(QStringLiteral("$2A"));
        SaveScreenshot(d, QStringLiteral("script-entry-dialog"));
        Child<QPushButton>(d, "okButton")->click();
    });
    modal.Then([](QWidget* w) {
        auto* d = qobject_cast<script::CDialog_YesNoView*>(w);
        ASSERT_NE(d, nullptr) << w->windowTitle().toStdString();
        EXPECT_EQ(d->windowTitle(), "Script Message-Script Paused");
        EXPECT_EQ(Child<QLabel>(d, "prompt")->text(), "Measure channel 2 as well?");
        EXPECT_EQ(Child<QPushButton>(d, "yesButton")->text(), "Yes");
        EXPECT_EQ(Child<QPushButton>(d, "noButton")->text(), "No");
        EXPECT_EQ(Child<QPushButton>(d, "abortButton")->text(), "Abort");
        EXPECT_EQ(d->size(), QSize(script::kYesNoDialogWidth, script::kYesNoDialogHeight));
        SaveScreenshot(d, QStringLiteral("script-yesno-dialog"));
        QTest::keyClick(d, Qt::Key_Return);  // the default button: Yes
    });
    ASSERT_TRUE(RunToTheEnd());
    EXPECT_EQ(Items(Child<QListWidget>(view.get(), "results")),
              (QStringList{"Script running...", "Measuring channel 1", "gain = 12 dB", "offset set to $2A",
                           "answer 1", "Script finished"}));
    EXPECT_EQ(host.prompts.messages.size(), 1u);  // the script's message box, answered OK
    EXPECT_EQ(Child<QListWidget>(view.get(), "results")->currentRow(), 5);
    EXPECT_EQ(Child<QPushButton>(view.get(), "runScript")->text(), "Run");
    EXPECT_TRUE(Child<QPushButton>(view.get(), "saveResults")->isEnabled());
    EXPECT_TRUE(Child<QPushButton>(view.get(), "clearResults")->isEnabled());
    EXPECT_TRUE(Child<QPushButton>(view.get(), "seeTrace")->isEnabled());
    SaveScreenshot(view.get(), QStringLiteral("script-page-results"));

    Child<QPushButton>(view.get(), "clearResults")->click();
    EXPECT_EQ(Child<QListWidget>(view.get(), "results")->count(), 0);
    EXPECT_FALSE(Child<QPushButton>(view.get(), "clearResults")->isEnabled());
}

TEST_F(ScriptViewTest, EscapeInTheYesNoDialogAbortsTheScript) {
    Select(folder.Write("ask.mbs", "a       word    0\n        dialogyesno \"Go?\" a\n        stop\n"));
    modal.Then([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    ASSERT_TRUE(RunToTheEnd());
    EXPECT_EQ(Items(Child<QListWidget>(view.get(), "results")),
              (QStringList{"Script running...", "Script aborted at line 2"}));
}

TEST_F(ScriptViewTest, AbortButtonStopsAnEndlessLoopAndListLimitHolds) {
    // One text a millisecond: a loop that floods the line faster than the page takes texts would
    // leave more behind the abort than the abort's wait lets through.
    Select(folder.Write(
        "loop.mbs",
        "n       word    0\nloop    add 1 n\n        disp \"%u\" n\n        delay 1\n        jmp loop\n"));
    Child<QPushButton>(view.get(), "runScript")->click();
    ASSERT_TRUE(PumpUntil([this] { return Child<QListWidget>(view.get(), "results")->count() >= 500; }));
    Child<QPushButton>(view.get(), "runScript")->click();  // "Abort"
    ASSERT_TRUE(PumpUntil([this] { return !view->Page().RunHost().WorkerRunning(); }));
    EXPECT_EQ(Child<QListWidget>(view.get(), "results")->count(), 500);
    EXPECT_TRUE(
        Child<QListWidget>(view.get(), "results")->item(499)->text().startsWith("Script aborted at line "));
    EXPECT_EQ(Child<QPushButton>(view.get(), "runScript")->text(), "Run");
}

TEST_F(ScriptViewTest, RecentMenuListsTheScriptsAndClears) {
    for (const char* name : {"a.mbs", "b.mbs"}) Select(folder.Write(name, "        stop\n"));
    std::unique_ptr<QMenu> menu = view->MakeRecentMenu();
    QStringList texts;
    for (QAction* a : menu->actions()) texts << (a->isSeparator() ? QStringLiteral("----") : a->text());
    EXPECT_EQ(texts, (QStringList{"Clear Recent Files List", "----", "a.mbs", "b.mbs"}));
    menu->actions()[2]->trigger();
    EXPECT_EQ(Child<QLineEdit>(view.get(), "fileName")->text(), "a.mbs");
    menu->actions()[0]->trigger();
    menu = view->MakeRecentMenu();
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_FALSE(menu->actions()[0]->isEnabled());
}

TEST_F(ScriptViewTest, SeeTraceOpensTheTraceWindow) {
    Select(folder.Write("w.mbs", "        device 1\n        write $BEEF *$21 1\n        stop\n"));
    ASSERT_TRUE(RunToTheEnd());
    ASSERT_TRUE(Child<QPushButton>(view.get(), "seeTrace")->isEnabled());
    modal.Then([](QWidget* w) {
        auto* t = qobject_cast<CMTraceView*>(w);
        ASSERT_NE(t, nullptr);
        ASSERT_EQ(Child<QTreeWidget>(t, "traceList")->topLevelItemCount(), 2);
        EXPECT_EQ(Child<QTreeWidget>(t, "traceList")->topLevelItem(0)->text(7), "0xBEEF");
        EXPECT_EQ(Child<QTreeWidget>(t, "traceList")->topLevelItem(1)->text(1), "NO DATA");
        Child<QPushButton>(t, "okButton")->click();
    });
    Child<QPushButton>(view.get(), "seeTrace")->click();
}

TEST(ScriptDialogViews, KeysAndButtonsGiveTheDocumentedResults) {
    guitest::App();
    struct Case {
        std::function<void(script::CDialog_YesNoView&)> act;
        int result;
    };
    const Case cases[] = {
        {[](script::CDialog_YesNoView& v) { QTest::keyClick(&v, Qt::Key_Return); }, 6},
        {[](script::CDialog_YesNoView& v) { QTest::keyClick(&v, Qt::Key_Escape); }, 3},
        {[](script::CDialog_YesNoView& v) { Child<QPushButton>(&v, "noButton")->click(); }, 7},
        {[](script::CDialog_YesNoView& v) { Child<QPushButton>(&v, "abortButton")->click(); }, 3},
        {[](script::CDialog_YesNoView& v) { v.close(); }, 3},
        {[](script::CDialog_YesNoView&) {}, 1},
    };
    for (const Case& c : cases) {
        script::CDialog_YesNo d;
        script::CDialog_YesNoView v(d);
        EXPECT_EQ(v.windowTitle(), "Dialog Yes No");
        v.show();
        c.act(v);
        EXPECT_EQ(d.result, c.result);
    }

    script::CDialog_Entry e;
    e.SetProposed("5");
    {
        script::CDialog_EntryView v(e);
        EXPECT_EQ(v.windowTitle(), "Dialog Entry");
        v.show();
        Child<QLineEdit>(&v, "entry")->setText(QStringLiteral("-12"));
        QTest::keyClick(Child<QLineEdit>(&v, "entry"), Qt::Key_Return);
        EXPECT_EQ(v.result(), QDialog::Accepted);
        EXPECT_EQ(e.entry, "-12");
    }
    {
        script::CDialog_EntryView v(e);
        v.show();
        Child<QLineEdit>(&v, "entry")->setText(QStringLiteral("99"));
        QTest::keyClick(&v, Qt::Key_Escape);
        EXPECT_EQ(v.result(), QDialog::Rejected);
        EXPECT_EQ(e.entry, "-12");  // Abort keeps nothing
    }
}

class TraceViewTest : public testing::Test {
protected:
    QApplication& app = guitest::App();
    SimHost host;
};

TEST_F(TraceViewTest, ListColumnsRowsPagingAndEscapeSaves) {
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(
            host.board.WriteReg16(static_cast<uint8_t>(i), static_cast<uint16_t>(i * 257), 1 + i % 3));
    uint16_t read = 0;
    ASSERT_TRUE(host.board.ReadReg16(0x10, read, 2));
    CMTraceView view(host);
    view.show();
    EXPECT_EQ(view.windowTitle(), "Trace");
    EXPECT_EQ(Child<CEntryField>(&view, "traceStart")->text(), "00000");
    QTreeWidget* list = Child<QTreeWidget>(&view, "traceList");
    ASSERT_EQ(list->columnCount(), 8);
    const char* const titles[] = {"Trace Address", "Timestamp (us)",   "Z-LINK", "Device",
                                  "Address",       "Bytes per Access", "Access", "Data"};
    const int widths[] = {85, 85, 75, 50, 50, 100, 75, 60};
    const double scale = CMTraceView::ColumnScale(list->header()->fontMetrics());
    EXPECT_GE(scale, 1.0);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(list->headerItem()->text(i), titles[i]);
        EXPECT_EQ(list->columnWidth(i), static_cast<int>(widths[i] * scale + 0.5));
        // Every title fits its column.
        EXPECT_LE(list->header()->fontMetrics().horizontalAdvance(list->headerItem()->text(i)) + 12,
                  list->columnWidth(i) + 1);
    }
    ASSERT_EQ(list->topLevelItemCount(), 102);
    EXPECT_EQ(list->topLevelItem(0)->text(2), "Read");
    EXPECT_EQ(list->topLevelItem(101)->text(0), "0x00065");
    EXPECT_EQ(list->topLevelItem(101)->text(1), "NO DATA");
    SaveScreenshot(&view, QStringLiteral("trace-window"));

    Child<CEntryField>(&view, "traceStart")->setText(QStringLiteral("1F800"));
    Child<QPushButton>(&view, "forwardButton")->click();
    EXPECT_EQ(Child<CEntryField>(&view, "traceStart")->text(), "00000");
    Child<QPushButton>(&view, "backButton")->click();
    EXPECT_EQ(Child<CEntryField>(&view, "traceStart")->text(), "1F800");
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "0x1F800");
    EXPECT_EQ(list->topLevelItem(0)->text(1), "NO DATA");
    SaveScreenshot(&view, QStringLiteral("trace-window-no-data"));

    // A refused address leaves the list alone.
    Child<CEntryField>(&view, "traceStart")->setText(QStringLiteral("20000"));
    Child<QPushButton>(&view, "readButton")->click();
    EXPECT_EQ(host.prompts.messages.back().text, "Error - Trace start address must be 0x00000 to 0x20000");
    EXPECT_EQ(list->topLevelItemCount(), 1);

    // Escape starts a save and the window stays.
    QTest::keyClick(&view, Qt::Key_Escape);
    ASSERT_EQ(host.prompts.fileDialogs.size(), 1u);
    EXPECT_EQ(host.prompts.fileDialogs[0].title, "Save Trace");
    EXPECT_TRUE(view.isVisible());
    Child<QPushButton>(&view, "okButton")->click();
    EXPECT_FALSE(view.isVisible());
}

}  // namespace
