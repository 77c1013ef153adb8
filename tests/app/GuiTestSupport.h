#pragma once
// The window on the offscreen platform against the in-process simulated board: a fixture that
// runs the program's start and event loop with a watchdog, and answers for its dialogs.
#include "app/ui/ComPortDialogView.h"
#include "app/ui/QtPrompts.h"
#include "app/ui/TR805QApp.h"
#include "app/ui/TR805QSheetView.h"
#include "app/ui/WindowProgress.h"
#include "link/ui/BoardActivity.h"
#include "script/ScriptPage.h"
#include "script/ui/ScriptPageView.h"
#include "tests/support/GuiSupport.h"
#include "tests/support/app/AppTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace guitest {

inline constexpr int kScriptTab = 4;

// The answer to the port dialog: choose an entry and press OK.
inline ModalScript::Handler ChoosePort(const QString& entry, bool screenshot = false) {
    return [entry, screenshot](QWidget* w) {
        auto* dialog = qobject_cast<CComPortDialogView*>(w);
        ASSERT_NE(dialog, nullptr) << w->windowTitle().toStdString();
        EXPECT_EQ(dialog->windowTitle(), "COM PORT");
        Child<QComboBox>(dialog, "portList")->setCurrentText(entry);
        if (screenshot) SaveScreenshot(dialog, QStringLiteral("com-port-dialog"));
        dialog->accept();
    };
}

// Checks a message box and presses its OK.
inline ModalScript::Handler ExpectMessage(const QString& text, const QString& caption,
                                          QMessageBox::Icon icon) {
    return [=](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr) << w->windowTitle().toStdString();
        EXPECT_EQ(box->text(), text);
        EXPECT_EQ(box->windowTitle(), caption);
        EXPECT_EQ(box->icon(), icon);
        box->button(QMessageBox::Ok)->click();
    };
}

class GuiTest : public ::testing::Test {
protected:
    explicit GuiTest(sim::BoardConfig config = {}) : rig(config) {
        platform = rig.Platform();
        platform.prompts = &prompts;
        platform.progress = &progress;
        platform.progressSink = &progressSink;
    }
    CTR805QSheetView& View() {
        if (!view_) {
            view_ = std::make_unique<CTR805QSheetView>(platform);
            prompts.SetOwner(view_.get());
            progress.SetOwner(view_.get());
            progressSink.SetOwner(view_.get());
        }
        return *view_;
    }
    // Runs the program's start and its event loop; a watchdog ends a stuck run with 99.
    int Run(std::function<void()> inLoop = {}) {
        CTR805QSheetView& view = View();
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            ADD_FAILURE() << "the window did not end";
            QCoreApplication::exit(99);
        });
        watchdog.start(20000);
        // The walk starts once the window is up and the program's own event loop runs.
        QTimer start;
        start.setInterval(5);
        QObject::connect(&start, &QTimer::timeout, [&] {
            if (!view.isVisible() || QApplication::activeModalWidget() ||
                QThread::currentThread()->loopLevel() != 1 || CBoardActivity::Running()) {
                return;
            }
            start.stop();
            if (inLoop) inLoop();
        });
        start.start();
        const int code = RunSheet(view, prompts);
        EXPECT_TRUE(script.Done()) << "a dialog the test waited for did not come up";
        return code;
    }

    // Selects a script on the window's script page in the file dialog and presses Run, as the
    // user does; the compiler's listing goes into the same folder. Handlers for the dialogs
    // the script shows come after the file dialog's.
    script::CScriptView* StartScript(const std::string& source, std::vector<ModalScript::Handler> dialogs) {
        const std::filesystem::path path = rig.programDir / "lock.mbs";
        std::ofstream(path) << source;
        script.Then([path](QWidget* w) {
            auto* d = qobject_cast<QFileDialog*>(w);
            ASSERT_NE(d, nullptr) << w->metaObject()->className();
            d->selectFile(QString::fromStdString(path.string()));
            QMetaObject::invokeMethod(d, "accept");
        });
        for (ModalScript::Handler& h : dialogs) script.Then(std::move(h));
        QTabWidget* tabs = Child<QTabWidget>(&View(), "tabs");
        tabs->setCurrentIndex(kScriptTab);
        auto* page = qobject_cast<script::CScriptView*>(tabs->widget(kScriptTab));
        if (!page) return nullptr;
        page->Page().RunHost().SetListingDirectory(rig.programDir.string());
        Child<QPushButton>(page, "selectScript")->click();
        Child<QPushButton>(page, "runScript")->click();
        return page;
    }

    QApplication& app_ = App();  // before every Qt object of the test
    SimRig rig;
    QtUserPrompts prompts;
    CProgressDialog progress;
    // Shown at once: the tests' operations are short.
    CWindowProgress progressSink{progress, 0};
    SheetPlatform platform;
    ModalScript script;
    std::unique_ptr<CTR805QSheetView> view_;
};

}  // namespace guitest
