// The window on the offscreen platform against the in-process simulated board. Modal dialogs
// are answered by a script of handlers that a timer runs when each dialog comes up.
// With TR805Q_SCREENSHOTS set to a folder, the walk also saves PNGs of the window (each tab)
// and of every dialog there.
#include "app/MessageNames.h"
#include "app/ui/AboutBoxView.h"
#include "app/ui/ComPortDialogView.h"
#include "app/ui/OptionsView.h"
#include "app/ui/QtPrompts.h"
#include "app/ui/RegisteredMessages.h"
#include "app/ui/TR805QApp.h"
#include "app/ui/TR805QSheetView.h"
#include "core/ExitCodes.h"
#include "link/Messages.h"
#include "registers/ui/EntryField.h"
#include "registers/ui/ZLINKControlView.h"
#include "script/ScriptPage.h"
#include "script/ui/ScriptPageView.h"
#include "sim/FirmwareImage.h"
#include "tests/app/GuiTestSupport.h"
#include "tests/support/GuiSupport.h"
#include "tests/support/app/AppTestSupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <set>

// Fontconfig keeps a cache for the whole process that it never frees; not the program's leak.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

// Readable QStrings in failure messages.
void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace {

using guitest::App;
using guitest::Child;
using guitest::ChoosePort;
using guitest::ExpectMessage;
using guitest::GuiTest;
using guitest::kScriptTab;
using guitest::ModalScript;
using guitest::PumpUntil;
using guitest::SaveScreenshot;

TEST_F(GuiTest, WalksTheTabsOpensAboutAndOptionsAndClosesWithCode0) {
    rig.presentPorts = {1, 3};
    script.Then(ChoosePort(QStringLiteral("COM3"), true));
    const int code = Run([this] {
        CTR805QSheetView& v = View();
        EXPECT_TRUE(v.isVisible());
        EXPECT_TRUE(v.isEnabled());
        EXPECT_EQ(v.windowTitle(), "QVR HK8051B Evaluation (COM3)");

        QTabWidget* tabs = Child<QTabWidget>(&v, "tabs");
        ASSERT_EQ(tabs->count(), 5);
        const int shortHeight = v.height();
        const int shortTabs = tabs->height();
        const int closeTop = Child<QPushButton>(&v, "closeButton")->y();
        for (int tab : {0, 1, 2, 3, 4}) {
            tabs->setCurrentIndex(tab);
            EXPECT_EQ(tabs->tabText(tab), kTabCaptions[tab]);
            // A tab whose page is not there yet shows its caption in its place.
            if (tabs->widget(tab)->objectName() == QStringLiteral("placeholderPage")) {
                auto* caption = tabs->widget(tab)->findChild<QLabel*>(QStringLiteral("placeholderCaption"));
                ASSERT_NE(caption, nullptr);
                EXPECT_EQ(caption->text(), kTabCaptions[tab]);
            }
            const int extra = (tab == 1 || tab == 2) ? 148 : 0;
            EXPECT_EQ(v.height(), shortHeight + extra) << tab;
            EXPECT_EQ(tabs->height(), shortTabs + extra) << tab;
            EXPECT_EQ(tabs->currentWidget()->geometry().bottom() < tabs->height(), true);
            // The buttons sit below the tab control, Close under its right edge.
            for (const char* name : {"closeButton", "optionsButton", "serialButton"}) {
                QPushButton* b = Child<QPushButton>(&v, name);
                EXPECT_EQ(b->y(), closeTop + extra);
                EXPECT_EQ(b->width(), Child<QPushButton>(&v, "closeButton")->width());
                EXPECT_EQ(b->height(), Child<QPushButton>(&v, "closeButton")->height());
                EXPECT_LE(b->geometry().bottom(), v.height() - 1);
                EXPECT_GT(b->y(), tabs->geometry().bottom());
            }
            SaveScreenshot(&v, QStringLiteral("main-tab%1").arg(tab));
        }
        const QRect close = Child<QPushButton>(&v, "closeButton")->geometry();
        EXPECT_EQ(close.right(), tabs->geometry().right());
        EXPECT_EQ(Child<QPushButton>(&v, "optionsButton")->x(), close.x() - close.width() - 7);
        EXPECT_EQ(Child<QPushButton>(&v, "serialButton")->x(), close.x() - 2 * (close.width() + 7));
        EXPECT_EQ(Child<QPushButton>(&v, "closeButton")->text(), "Close");
        EXPECT_EQ(Child<QPushButton>(&v, "optionsButton")->text(), "Options");
        EXPECT_EQ(Child<QPushButton>(&v, "serialButton")->text(), "Serial");
        tabs->setCurrentIndex(0);

        // About, from F1 as a user would ask for it.
        ASSERT_NE(Child<QAction>(&v, "aboutAction"), nullptr);
        EXPECT_EQ(Child<QAction>(&v, "aboutAction")->text(), "&About TR8051B");
        EXPECT_EQ(v.contextMenuPolicy(), Qt::ActionsContextMenu);
        bool aboutShown = false;
        script.Then([&](QWidget* w) {
            auto* about = qobject_cast<CAboutBoxView*>(w);
            ASSERT_NE(about, nullptr);
            aboutShown = true;
            EXPECT_EQ(about->windowTitle(), "About TR8051B");
            EXPECT_EQ(Child<QLabel>(about, "programVersion")->text(), "TR8051B Version 1.3");
            EXPECT_EQ(Child<QLabel>(about, "boardVersion")->text(), "GQ0017 Version 2.4");
            EXPECT_EQ(Child<QLabel>(about, "code")->text(), "Code: 0805");
            SaveScreenshot(about, QStringLiteral("about-box"));
            about->accept();
        });
        v.activateWindow();
        QApplication::setActiveWindow(&v);
        QTest::keyClick(&v, Qt::Key_F1);
        if (!aboutShown) {
            fprintf(stderr, "F1 DID NOT WORK\n");
            Child<QAction>(&v, "aboutAction")->trigger();
        }  // no active window on this platform
        EXPECT_TRUE(aboutShown);

        // Options: a lower-case name comes out in upper case, cut at eight characters.
        script.Then([&](QWidget* w) {
            auto* options = qobject_cast<COptionsView*>(w);
            ASSERT_NE(options, nullptr);
            EXPECT_EQ(options->windowTitle(), "Options");
            QTest::keyClicks(Child<QLineEdit>(options, "boardName"), QStringLiteral("bench2kit9"));
            EXPECT_EQ(Child<QLineEdit>(options, "boardName")->text(), "BENCH2KI");
            SaveScreenshot(options, QStringLiteral("options-dialog"));
            Child<QPushButton>(options, "setNameButton")->click();
            options->accept();
        });
        Child<QPushButton>(&v, "optionsButton")->click();
        EXPECT_EQ(v.windowTitle(), "QVR HK8051B Evaluation            MB805Q Name:BENCH2KI (COM3)");

        // Serial: the dialog offers the ports, Cancel leaves everything as it was.
        script.Then([](QWidget* w) {
            auto* dialog = qobject_cast<CComPortDialogView*>(w);
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(Child<QComboBox>(dialog, "portList")->count(), 2);
            EXPECT_EQ(Child<QComboBox>(dialog, "portList")->currentText(), "COM3");
            EXPECT_EQ(Child<QButtonGroup>(dialog, "dataBitsGroup")->checkedButton()->text(), "8 bits");
            dialog->reject();
        });
        Child<QPushButton>(&v, "serialButton")->click();
        EXPECT_TRUE(v.Sheet().Board().Link().Port().IsOpen());

        Child<QPushButton>(&v, "closeButton")->click();
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(rig.store.Dword("ScriptTab", "Port"), std::optional<uint32_t>(3));
}

TEST_F(GuiTest, BoardThatDoesNotAnswerShowsTheCommunicationErrorAndQuits) {
    rig.simBoard.faults().noReply = true;
    script.Then(ChoosePort(QStringLiteral("COM3")));
    script.Then(ExpectMessage(QString::fromLatin1(kMsgNoCommunication), QStringLiteral("Error"),
                              QMessageBox::Critical));
    EXPECT_EQ(Run(), kExitLostBoard);
}

TEST_F(GuiTest, CancelInThePortDialogEndsWithCode2) {
    script.Then([](QWidget* w) {
        auto* dialog = qobject_cast<CComPortDialogView*>(w);
        ASSERT_NE(dialog, nullptr);
        dialog->reject();
    });
    EXPECT_EQ(Run(), 2);
    EXPECT_FALSE(View().isVisible());
}

TEST_F(GuiTest, PortThatDoesNotOpenIsReportedAndAskedForAgain) {
    rig.presentPorts = {1, 3};
    rig.failingPorts = {1};
    script.Then(ChoosePort(QStringLiteral("COM1")));
    script.Then(
        ExpectMessage(QStringLiteral("Unable to open port COM1.\nCheck board connection to COM port."),
                      QStringLiteral("COM Port"), QMessageBox::Critical));
    script.Then(ChoosePort(QStringLiteral("COM3")));
    EXPECT_EQ(Run([this] { Child<QPushButton>(&View(), "closeButton")->click(); }), 0);
}

TEST_F(GuiTest, RunningScriptTurnsOffTabsSerialAndAbout) {
    script.Then(ChoosePort(QStringLiteral("COM3")));
    EXPECT_EQ(Run([this] {
                  CTR805QSheetView& v = View();
                  v.Sheet().EnableSheetControls(false);
                  EXPECT_FALSE(Child<QTabWidget>(&v, "tabs")->tabBar()->isEnabled());
                  EXPECT_FALSE(Child<QPushButton>(&v, "serialButton")->isEnabled());
                  EXPECT_FALSE(Child<QAction>(&v, "aboutAction")->isEnabled());
                  EXPECT_TRUE(Child<QPushButton>(&v, "closeButton")->isEnabled());
                  QTest::keyClick(&v, Qt::Key_F1);  // nothing opens: a dialog would fail the script
                  Child<QAction>(&v, "aboutAction")->trigger();
                  v.Sheet().EnableSheetControls(true);
                  EXPECT_TRUE(Child<QTabWidget>(&v, "tabs")->tabBar()->isEnabled());
                  EXPECT_TRUE(Child<QPushButton>(&v, "serialButton")->isEnabled());
                  v.close();  // the close box ends the program like "Close"
              }),
              0);
}

TEST_F(GuiTest, PageOfATabCanBeReplaced) {
    script.Then(ChoosePort(QStringLiteral("COM3")));
    EXPECT_EQ(Run([this] {
                  CTR805QSheetView& v = View();
                  Child<QTabWidget>(&v, "tabs")->setCurrentIndex(2);
                  const int height = v.height();
                  QPointer<QWidget> old = Child<QTabWidget>(&v, "tabs")->widget(3);
                  auto* page = new QLabel(QStringLiteral("new page"));
                  v.SetPage(3, page);
                  EXPECT_TRUE(old.isNull());
                  EXPECT_EQ(Child<QTabWidget>(&v, "tabs")->widget(3), page);
                  EXPECT_EQ(Child<QTabWidget>(&v, "tabs")->tabText(3), "Kernlet Load");
                  EXPECT_EQ(Child<QTabWidget>(&v, "tabs")->currentIndex(), 2);
                  EXPECT_EQ(v.height(), height);
                  Child<QPushButton>(&v, "closeButton")->click();
              }),
              0);
}

TEST_F(GuiTest, QuitWaitsForTheOpenMessageAndTheFirstRequestCounts) {
    script.Then(ChoosePort(QStringLiteral("COM3")));
    script.Then(ExpectMessage(QStringLiteral("Unable to load the firmware..."), QStringLiteral("Error"),
                              QMessageBox::Critical));
    EXPECT_EQ(Run([this] {
                  prompts.PostQuit(kExitLostBoard);
                  prompts.PostQuit(0);
                  // Shown after the request: the program ends only once it has been read.
                  EXPECT_EQ(prompts.MessageBox("Unable to load the firmware...", "Error", MsgIcon::Error),
                            MsgAnswer::Ok);
              }),
              kExitLostBoard);
}

TEST_F(GuiTest, MessageBoxAnswersAreTheButtonsPressed) {
    script.Then(ChoosePort(QStringLiteral("COM3")));
    auto press = [](QMessageBox::StandardButton which) {
        return [which](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_NE(box, nullptr);
            box->button(which)->click();
        };
    };
    script.Then(press(QMessageBox::Cancel));
    script.Then(press(QMessageBox::No));
    script.Then(press(QMessageBox::Yes));
    script.Then([](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->icon(), QMessageBox::Information);
        box->button(QMessageBox::Cancel)->click();
    });
    EXPECT_EQ(Run([&] {
                  EXPECT_EQ(
                      prompts.MessageBox("a", "Script Message", MsgIcon::Information, MsgButtons::OkCancel),
                      MsgAnswer::Cancel);
                  EXPECT_EQ(prompts.MessageBox("b", "Question", MsgIcon::Question, MsgButtons::YesNo),
                            MsgAnswer::No);
                  EXPECT_EQ(prompts.MessageBox("c", "Question", MsgIcon::Question, MsgButtons::YesNoCancel),
                            MsgAnswer::Yes);
                  EXPECT_EQ(prompts.MessageBox("d", "Info", MsgIcon::Information, MsgButtons::YesNoCancel),
                            MsgAnswer::Cancel);
                  Child<QPushButton>(&View(), "closeButton")->click();
              }),
              0);
}

TEST(QtPrompts, FileFiltersInQtForm) {
    // Qt's "*.*" takes only names with a dot: "All files" is "*" there.
    const std::pair<const char*, const char*> cases[] = {
        {"Text Files (*.txt)|*.txt|All files (*.*)|*.*||", "Text Files (*.txt);;All files (*)"},
        {"All files (*.*)|*.*||", "All files (*)"},
        {"Scripts|*.mbs;*.txt||", "Scripts (*.mbs *.txt)"},
        {"Any|*.txt;*.*||", "Any (*.txt *)"},
        {"Dotted|a*.*b||", "Dotted (a*.*b)"},
        {"", ""},
    };
    for (const auto& [windows, qt] : cases)
        EXPECT_EQ(QtUserPrompts::QtFileFilter(windows), QString::fromLatin1(qt)) << windows;
}

TEST(QtPrompts, OpenTakesTheNameAsTypedAndSaveAddsTheDefaultExtension) {
    App();
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("tr805q-dialog-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "image") << "#define N_DB 0x01\n";
    struct Case {
        const char* name;
        FileDialogSpec spec;
        bool save;
        const char* typed;
        const char* chosen;  // in `dir`
        int filter = 0;  // the file type the user picks before typing the name
    };
    const FileDialogSpec exportSpec{"Export Trace",
                                    "CSV Files (*.csv)|*.csv|VCD Files (*.vcd)|*.vcd|All files (*.*)|*.*||",
                                    "*.csv",
                                    "",
                                    "",
                                    false};
    const Case cases[] = {
        {"a Kernlet without an extension",
         {"Select Kernlet", "All files (*.*)|*.*||", "*.*", "", "", false},
         false,
         "image",
         "image"},
        {"a configuration without an extension",
         {"Select Config", "Text Files (*.txt)|*.txt|All files (*.*)|*.*||", "*.txt", "", "", false},
         false,
         "image",
         "image"},
        {"saving adds the default extension",
         {"Save Config", "Text Files (*.txt)|*.txt|All files (*.*)|*.*||", "*.txt", "", "", false},
         true,
         "table",
         "table.txt"},
        {"the first file type", exportSpec, true, "capture", "capture.csv", 0},
        {"the extension follows the file type chosen", exportSpec, true, "capture", "capture.vcd", 1},
        {"a type without an extension adds the default one", exportSpec, true, "capture", "capture.csv", 2},
        {"a name with its own extension keeps it", exportSpec, true, "capture.dat", "capture.dat", 1},
    };
    for (const Case& c : cases) {
        QtUserPrompts prompts;
        FileDialogSpec spec = c.spec;
        spec.initialDirectory = dir.string();
        guitest::ModalScript script;
        const QString typed = QString::fromLatin1(c.typed);
        const int filter = c.filter;
        script.Then([typed, filter](QWidget* w) {
            auto* d = qobject_cast<QFileDialog*>(w);
            ASSERT_NE(d, nullptr) << w->metaObject()->className();
            if (filter != 0) {
                // As the user picks it in the file type box.
                auto* types = d->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
                ASSERT_NE(types, nullptr);
                types->setCurrentIndex(filter);
                Q_EMIT types->activated(filter);
                Q_EMIT types->textActivated(types->currentText());
            }
            guitest::TypeFileName(d, typed);
            QMetaObject::invokeMethod(d, "accept");
        });
        // A dialog that refuses the name stays open: close whatever is left.
        QTimer watchdog;
        QObject::connect(&watchdog, &QTimer::timeout, [&] {
            if (QWidget* w = QApplication::activeModalWidget()) {
                ADD_FAILURE() << c.name << ": still open: " << w->metaObject()->className();
                if (auto* d = qobject_cast<QDialog*>(w)) d->reject();
            }
        });
        watchdog.start(2000);
        if (c.save) {
            const std::optional<SaveFileChoice> choice = prompts.AskSaveFileOfType(spec);
            ASSERT_TRUE(choice) << c.name;
            EXPECT_EQ(choice->path, (dir / c.chosen).string()) << c.name;
            EXPECT_EQ(choice->filter, static_cast<size_t>(c.filter)) << c.name;
        } else {
            const std::optional<std::string> path = prompts.AskOpenFile(spec);
            EXPECT_EQ(path, std::optional<std::string>((dir / c.chosen).string())) << c.name;
        }
        EXPECT_TRUE(script.Done()) << c.name;
    }
    std::filesystem::remove_all(dir);
}

TEST(RegisteredMessagesTest, FourteenTypesRegisteredOnceAndFoundByName) {
    App();
    RegisterMessages();
    std::set<int> types;
    for (std::string_view name : kRegisteredMessageNames) {
        const QEvent::Type type = RegisteredMessage(name);
        EXPECT_GE(type, QEvent::User) << name;
        types.insert(type);
    }
    EXPECT_EQ(types.size(), 14u);
    RegisterMessages();
    EXPECT_EQ(RegisteredMessage("QVR_MB805Q_Firmware_LoaderReady"), RegisteredMessage(kMsgLoaderReady));
    EXPECT_EQ(RegisteredMessage("QVR_MB805Q_Unknown"), QEvent::None);
}

class GuiFirmwareTest : public GuiTest {};

TEST_F(GuiFirmwareTest, ReplacesTheFirmwareWithProgressAndShowsTheNewVersion) {
    sim::FirmwareIdentity id;
    id.kind = 2;
    id.major = 6;
    id.minor = 1;
    id.code = 0xBEEF;
    ASSERT_TRUE(sim::WriteFirmwareFile(rig.programDir, id, 30000).has_value());
    script.Then(ChoosePort(QStringLiteral("COM3")));
    // The loader-ready message comes from the loader-wait thread, and the download paints the
    // window (timers run meanwhile): the checks wait until the board reports the new firmware.
    QTimer check;
    check.setInterval(5);
    QObject::connect(&check, &QTimer::timeout, [&] {
        CTR805QSheetView& v = View();
        if (v.Sheet().Version().versionMajor != 6 || CBoardActivity::Running()) return;
        check.stop();
        EXPECT_EQ(v.Sheet().Version().versionMinor, 1);
        EXPECT_EQ(v.Sheet().Code(), 0xBEEFu);
        EXPECT_EQ(progress.Dialog(), nullptr);  // closed after the download
        EXPECT_EQ(progress.GetPos(), 100);
        EXPECT_TRUE(v.isEnabled());
        Child<QPushButton>(&v, "closeButton")->click();
    });
    EXPECT_EQ(Run([&] { check.start(); }), 0);
    EXPECT_TRUE(HasRequest(rig.requests, "7E 40 5D 2E 91 C3 48"));
    EXPECT_TRUE(HasRequest(rig.requests, "7E 39"));
}

bool RunEnded(script::CScriptView* page) {
    return page->Page().Idle() && !page->Page().RunHost().WorkerRunning();
}

std::vector<bool> TabsEnabled(QTabWidget* tabs) {
    std::vector<bool> out;
    for (int i = 0; i < tabs->count(); ++i) out.push_back(tabs->isTabEnabled(i));
    return out;
}

std::vector<bool> PagesEnabled(QTabWidget* tabs) {
    std::vector<bool> out;
    for (int i = 0; i < tabs->count(); ++i) out.push_back(tabs->widget(i)->isEnabled());
    return out;
}

const std::vector<bool> kOnlyScriptTab{false, false, false, false, true};

// After a run every page can be reached again, by key as by mouse.
void ExpectTabsUsable(CTR805QSheetView& v) {
    QTabWidget* tabs = Child<QTabWidget>(&v, "tabs");
    EXPECT_EQ(TabsEnabled(tabs), std::vector<bool>(5, true));
    EXPECT_EQ(PagesEnabled(tabs), std::vector<bool>(5, true));
    EXPECT_TRUE(tabs->tabBar()->isEnabled());
    EXPECT_TRUE(Child<QPushButton>(&v, "serialButton")->isEnabled());
    EXPECT_TRUE(Child<QAction>(&v, "aboutAction")->isEnabled());
    ASSERT_EQ(tabs->currentIndex(), kScriptTab);
    QTest::keyClick(tabs, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(tabs->currentIndex(), 0);
    QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(3).center());
    EXPECT_EQ(tabs->currentIndex(), 3);
}

TEST_F(GuiTest, RunningScriptKeepsEveryOtherPageOutOfReach) {
    script.Then(ChoosePort(QStringLiteral("COM3")));
    const int code = Run([this] {
        CTR805QSheetView& v = View();
        QTabWidget* tabs = Child<QTabWidget>(&v, "tabs");
        QTabBar* bar = tabs->tabBar();
        auto* zlink = qobject_cast<CZLINKControlView*>(tabs->widget(0));
        ASSERT_NE(zlink, nullptr);
        // A button with a mnemonic, as a page may well give one: Alt+R must not read
        // from a page that is not shown.
        Child<QPushButton>(zlink, "readButton")->setText(QStringLiteral("&Read"));
        // A read that goes to the board.
        Child<CEntryField>(zlink, "readAddress")->setText(QStringLiteral("20"));
        // Every button on the other pages counts its presses.
        std::vector<QString> pressed;
        std::vector<QAbstractButton*> others;
        for (int i = 0; i < kScriptTab; ++i) {
            for (QAbstractButton* b : tabs->widget(i)->findChildren<QAbstractButton*>()) {
                others.push_back(b);
                QObject::connect(b, &QAbstractButton::pressed, [&pressed, b, i] {
                    pressed.push_back(QStringLiteral("tab %1 %2").arg(i).arg(b->text()));
                });
            }
        }
        ASSERT_FALSE(others.empty());

        script::CScriptView* page = StartScript("loop    jmp loop\n", {});
        ASSERT_NE(page, nullptr);
        ASSERT_TRUE(PumpUntil([&] { return page->Page().RunHost().WorkerRunning(); }));
        ASSERT_FALSE(page->Page().Idle());
        const size_t requestsAtStart = rig.requests.size();
        v.activateWindow();
        QApplication::setActiveWindow(&v);
        Child<QListWidget>(page, "results")->setFocus();

        EXPECT_EQ(TabsEnabled(tabs), kOnlyScriptTab);
        EXPECT_EQ(PagesEnabled(tabs), kOnlyScriptTab);
        EXPECT_FALSE(bar->isEnabled());
        EXPECT_FALSE(Child<QPushButton>(&v, "serialButton")->isEnabled());
        EXPECT_FALSE(Child<QAction>(&v, "aboutAction")->isEnabled());

        // Whatever the try, the script page stays; a move is put back so that the
        // next try starts from it again.
        auto expectStill = [&](const std::string& what) {
            EXPECT_EQ(tabs->currentIndex(), kScriptTab) << what;
            if (tabs->currentIndex() != kScriptTab) tabs->setCurrentIndex(kScriptTab);
        };
        struct Key {
            Qt::Key key;
            Qt::KeyboardModifiers modifiers;
            const char* name;
        };
        const Key keys[] = {
            {Qt::Key_Tab, Qt::ControlModifier, "Ctrl+Tab"},
            {Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier, "Ctrl+Shift+Tab"},
            {Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, "Ctrl+Backtab"},
            {Qt::Key_PageDown, Qt::ControlModifier, "Ctrl+PgDown"},
            {Qt::Key_PageUp, Qt::ControlModifier, "Ctrl+PgUp"},
            {Qt::Key_Left, Qt::NoModifier, "Left"},
            {Qt::Key_Right, Qt::NoModifier, "Right"},
            {Qt::Key_Home, Qt::NoModifier, "Home"},
            {Qt::Key_End, Qt::NoModifier, "End"},
        };
        const std::pair<QWidget*, const char*> targets[] = {
            {tabs, "tab widget"},
            {bar, "tab bar"},
            {Child<QListWidget>(page, "results"), "focused page"},
            {&v, "window"}};
        for (const auto& [target, targetName] : targets) {
            for (const Key& k : keys) {
                QTest::keyClick(target, k.key, k.modifiers);
                expectStill(std::string(k.name) + " to the " + targetName);
            }
        }
        for (int i = 0; i < kScriptTab; ++i) {
            QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(i).center());
            expectStill("click on tab " + std::to_string(i));
            QTest::mouseDClick(bar, Qt::LeftButton, {}, bar->tabRect(i).center());
            expectStill("double click on tab " + std::to_string(i));
        }
        for (int delta : {120, -120, 120 * 3, -120 * 3}) {
            const QPointF at = bar->tabRect(kScriptTab).center();
            QWheelEvent wheel(at, bar->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(bar, &wheel);
            expectStill("wheel " + std::to_string(delta));
        }
        // What skips Qt's checks for disabled tabs (accessibility's press on a tab, say) ends
        // in a plain change of the current index.
        tabs->setCurrentIndex(0);
        expectStill("a change of the current index to tab 0");
        int mnemonics = 0;
        for (QAbstractButton* b : others) {
            const QKeySequence mnemonic = QKeySequence::mnemonic(b->text());
            if (mnemonic.isEmpty()) continue;
            ++mnemonics;
            QTest::keySequence(Child<QListWidget>(page, "results"), mnemonic);
            expectStill("mnemonic " + mnemonic.toString().toStdString());
        }
        EXPECT_GE(mnemonics, 1);
        EXPECT_EQ(pressed, std::vector<QString>{});
        EXPECT_EQ(rig.requests.size(), requestsAtStart) << "a request reached the board";
        EXPECT_TRUE(page->Page().RunHost().WorkerRunning());
        SaveScreenshot(&v, QStringLiteral("main-running-script"));

        Child<QPushButton>(page, "runScript")->click();  // "Abort"
        ASSERT_TRUE(PumpUntil([&] { return RunEnded(page); }));
        ExpectTabsUsable(v);
        // The mnemonic on the shown page works again, and its read is seen on the board.
        tabs->setCurrentIndex(0);
        const size_t requestsBeforeRead = rig.requests.size();
        QTest::keyClick(zlink, Qt::Key_R, Qt::AltModifier);
        EXPECT_EQ(pressed, std::vector<QString>{QStringLiteral("tab 0 &Read")});
        EXPECT_TRUE(PumpUntil([&] { return rig.requests.size() > requestsBeforeRead; }));
        Child<QPushButton>(&v, "closeButton")->click();
    });
    EXPECT_EQ(code, 0);
}

// The three ends of a run that pauses at a message box: each gives the other pages back.
struct RunEndCase {
    const char* name;
    const char* source;
    QMessageBox::StandardButton answer;
    const char* lastResult;
};

class GuiRunEndTest : public GuiTest, public ::testing::WithParamInterface<RunEndCase> {};

TEST_P(GuiRunEndTest, OtherPagesComeBackWhenTheRunEnds) {
    const RunEndCase& c = GetParam();
    script.Then(ChoosePort(QStringLiteral("COM3")));
    const int code = Run([this, &c] {
        CTR805QSheetView& v = View();
        script::CScriptView* page = StartScript(c.source, {[this, &c](QWidget* w) {
                                                    auto* box = qobject_cast<QMessageBox*>(w);
                                                    ASSERT_NE(box, nullptr) << w->metaObject()->className();
                                                    QTabWidget* tabs = Child<QTabWidget>(&View(), "tabs");
                                                    EXPECT_EQ(TabsEnabled(tabs), kOnlyScriptTab);
                                                    EXPECT_EQ(PagesEnabled(tabs), kOnlyScriptTab);
                                                    QTest::keyClick(tabs, Qt::Key_Tab, Qt::ControlModifier);
                                                    EXPECT_EQ(tabs->currentIndex(), kScriptTab);
                                                    box->button(c.answer)->click();
                                                }});
        ASSERT_NE(page, nullptr);
        ASSERT_TRUE(PumpUntil([&] { return RunEnded(page); }));
        QListWidget* results = Child<QListWidget>(page, "results");
        ASSERT_GT(results->count(), 0);
        EXPECT_EQ(results->item(results->count() - 1)->text(), c.lastResult);
        ExpectTabsUsable(v);
        Child<QPushButton>(&v, "closeButton")->click();
    });
    EXPECT_EQ(code, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, GuiRunEndTest,
    ::testing::Values(RunEndCase{"Finished", "        dialog \"Pause\" 0\n        stop\n", QMessageBox::Ok,
                                 "Script finished"},
                      RunEndCase{"Aborted", "        dialog \"Pause\" 0\n        stop\n", QMessageBox::Cancel,
                                 "Script aborted at line 1"},
                      RunEndCase{"RunTimeError", "        dialog \"Pause\" 0\n        return\n",
                                 QMessageBox::Ok, "Error Stack underflow at line 2"}),
    [](const ::testing::TestParamInfo<RunEndCase>& p) { return std::string(p.param.name); });

}  // namespace
