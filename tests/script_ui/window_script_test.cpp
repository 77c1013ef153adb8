// The script tab inside the window, end to end on the in-process simulated board: the user
// selects a script in the file dialog, runs it, answers its message box and its entry dialog,
// and sees the results; the sheet's tabs and "Serial" are disabled while it runs.
#include "app/ui/ComPortDialogView.h"
#include "app/ui/QtPrompts.h"
#include "app/ui/TR805QApp.h"
#include "app/ui/TR805QSheetView.h"
#include "script/ScriptPage.h"
#include "script/ui/ScriptDialogViews.h"
#include "script/ui/ScriptPageView.h"
#include "tests/script/ScriptTestSupport.h"
#include "tests/support/GuiSupport.h"
#include "tests/support/app/AppTestSupport.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QThread>

namespace {

using guitest::Child;
using guitest::SaveScreenshot;

TEST(ScriptWindow, RunsAScriptWithAMessageBoxAndAnEntryDialog) {
    guitest::App();
    TempFolder folder;
    const std::string path = folder.Write("window.mbs",
                                          "v       word    7\n"
                                          "        disp \"Board test started\"\n"
                                          "        dialog \"Connect the probe to pin %u\" 3\n"
                                          "        dialogentry \"Gain (1..99)\" v\n"
                                          "        disp \"gain %u\" v\n"
                                          "        stop\n");
    SimRig rig;
    QtUserPrompts prompts;
    CProgressDialog progress;
    SheetPlatform platform = rig.Platform();
    platform.prompts = &prompts;
    platform.progress = &progress;
    CTR805QSheetView view(platform);
    prompts.SetOwner(&view);
    progress.SetOwner(&view);

    guitest::ModalScript modal;
    modal.Then([](QWidget* w) {
        auto* d = qobject_cast<CComPortDialogView*>(w);
        ASSERT_NE(d, nullptr);
        Child<QComboBox>(d, "portList")->setCurrentText(QStringLiteral("COM3"));
        d->accept();
    });
    script::CScriptView* page = nullptr;
    bool sheetDisabledWhileRunning = false;
    modal.Then([&](QWidget* w) {
        auto* d = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(d, nullptr) << w->metaObject()->className();
        EXPECT_EQ(d->windowTitle(), "Select Script");
        d->selectFile(QString::fromStdString(path));
        QMetaObject::invokeMethod(d, "accept");
    });
    modal.Then([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr) << w->metaObject()->className();
        EXPECT_EQ(box->text(), "Connect the probe to pin 3");
        EXPECT_EQ(box->windowTitle(), "Script Message-Script Paused");
        EXPECT_EQ(box->icon(), QMessageBox::Information);
        EXPECT_NE(box->button(QMessageBox::Cancel), nullptr);
        sheetDisabledWhileRunning = !Child<QTabWidget>(&view, "tabs")->tabBar()->isEnabled() &&
                                    !Child<QPushButton>(&view, "serialButton")->isEnabled();
        box->button(QMessageBox::Ok)->click();
    });
    modal.Then([&](QWidget* w) {
        auto* d = qobject_cast<script::CDialog_EntryView*>(w);
        ASSERT_NE(d, nullptr) << w->metaObject()->className();
        EXPECT_EQ(Child<QLabel>(d, "prompt")->text(), "Gain (1..99)");
        EXPECT_EQ(Child<QLineEdit>(d, "entry")->text(), "7");
        Child<QLineEdit>(d, "entry")->setText(QStringLiteral("42"));
        Child<QPushButton>(d, "okButton")->click();
    });

    QTimer walk;
    walk.setInterval(5);
    QObject::connect(&walk, &QTimer::timeout, [&] {
        if (!view.isVisible() || QApplication::activeModalWidget() ||
            QThread::currentThread()->loopLevel() != 1) {
            return;
        }
        walk.stop();
        Child<QTabWidget>(&view, "tabs")->setCurrentIndex(4);
        page = qobject_cast<script::CScriptView*>(Child<QTabWidget>(&view, "tabs")->currentWidget());
        ASSERT_NE(page, nullptr);
        page->Page().RunHost().SetListingDirectory(folder.Path());
        Child<QPushButton>(page, "selectScript")->click();
        EXPECT_EQ(Child<QLineEdit>(page, "fileName")->text(), "window.mbs");
        Child<QPushButton>(page, "runScript")->click();
        ASSERT_TRUE(guitest::PumpUntil(
            [&] { return page->Page().Idle() && !page->Page().RunHost().WorkerRunning(); }));
        SaveScreenshot(&view, QStringLiteral("window-script-tab"));
        Child<QPushButton>(&view, "closeButton")->click();
    });
    walk.start();
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        ADD_FAILURE() << "the window did not end";
        QCoreApplication::exit(99);
    });
    watchdog.start(30000);

    EXPECT_EQ(RunSheet(view, prompts), 0);
    EXPECT_TRUE(modal.Done());
    ASSERT_NE(page, nullptr);
    QStringList items;
    QListWidget* results = Child<QListWidget>(page, "results");
    for (int i = 0; i < results->count(); ++i) items << results->item(i)->text();
    EXPECT_EQ(items, (QStringList{"Script running...", "Board test started", "gain 42", "Script finished"}));
    EXPECT_TRUE(sheetDisabledWhileRunning);
    EXPECT_TRUE(Child<QTabWidget>(&view, "tabs")->tabBar()->isEnabled());
    EXPECT_TRUE(Child<QPushButton>(&view, "serialButton")->isEnabled());
    // The script went into the recent list under ScriptTab.
    EXPECT_EQ(std::get<std::string>(rig.store.tabs["ScriptTab"]["RecentFileName0"]), "window.mbs");
    EXPECT_EQ(rig.store.Dword("ScriptTab", "FileCount"), 1u);
}

}  // namespace
