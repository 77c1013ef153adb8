// The window during its long board operations, on the in-process simulated board with a line
// that takes real time per byte (a few times the kit's 115200 baud, so that the tests stay
// short): the progress dialogs are painted and advance while the operation runs, a failed
// firmware download takes its dialog away, the messages of the start are centred on the
// window, and --help and --version need no display.
#include "app/ui/QuitOnSignal.h"
#include "link/Messages.h"
#include "link/ui/BoardActivity.h"
#include "registers/ui/RegisterTableView.h"
#include "registers/ui/TraceView.h"
#include "sim/FirmwareImage.h"
#include "tests/app/GuiTestSupport.h"

#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QWindow>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

namespace {

using guitest::Child;
using guitest::ChoosePort;
using guitest::ColumnsLike;
using guitest::GuiTest;
using guitest::InkPixels;
using guitest::PumpUntil;
using guitest::ShownImage;

// A line four times as fast as the kit's: a 20 kB firmware file takes about half a second.
constexpr uint32_t kTestLineRate = 4 * 115200;

// What the screen showed of a progress dialog at one moment of the operation.
struct ProgressShot {
    int value = 0;
    QString text;
    QImage shown;
    QRect label, bar;
    QColor chunk;
    int mainWindowInk = 0;
};

// Looks at a progress dialog whenever the event loop comes round during the operation: only a
// window that keeps processing events lets this timer run at all.
class ProgressWatcher {
public:
    ProgressWatcher(std::function<QDialog*()> dialog, QWidget* mainWindow)
        : dialog_(std::move(dialog)), mainWindow_(mainWindow) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
        timer_.start();
    }
    const std::vector<ProgressShot>& Shots() const { return shots_; }
    // With TR805Q_SCREENSHOTS set: what the screen showed half way.
    void SaveMiddle(const QString& name) const {
        const QString folder = qEnvironmentVariable("TR805Q_SCREENSHOTS");
        if (folder.isEmpty() || shots_.empty()) return;
        shots_[shots_.size() / 2].shown.save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
    }

    // Every shot shows the text and the bar, painted; the main window behind is painted too;
    // and the bar's chunk grew between two of them.
    void ExpectPaintedAndAdvancing(const char* what) const {
        ASSERT_GE(shots_.size(), 2u) << what << ": the dialog was not seen twice during the operation";
        for (const ProgressShot& s : shots_) {
            EXPECT_FALSE(s.text.isEmpty()) << what;
            EXPECT_GT(InkPixels(s.shown, s.label), 20) << what << ": no text painted at " << s.value;
            EXPECT_GT(InkPixels(s.shown, s.bar), 20) << what << ": no bar painted at " << s.value;
            EXPECT_GT(s.mainWindowInk, 1000) << what << ": the main window is not painted";
        }
        const ProgressShot& first = shots_.front();
        const ProgressShot& last = shots_.back();
        EXPECT_LT(first.value, last.value) << what;
        // Inside the bar's frame, how far the chunk reaches.
        auto chunk = [](const ProgressShot& s) {
            return ColumnsLike(s.shown, s.bar.adjusted(3, 3, -3, -3), s.chunk);
        };
        EXPECT_LT(chunk(first), chunk(last))
            << what << ": the painted bar did not advance from " << first.value << " to " << last.value;
    }

private:
    void Look() {
        QDialog* d = dialog_();
        if (!d || !d->isVisible() || !d->windowHandle() || !d->windowHandle()->isExposed()) return;
        auto* bar = d->findChild<QProgressBar*>();
        auto* label = d->findChild<QLabel*>();
        if (!bar || !label) return;
        if (!shots_.empty() && shots_.back().value == bar->value()) return;
        ProgressShot s;
        s.value = bar->value();
        s.text = label->text();
        s.shown = ShownImage(d);
        s.label = QRect(label->mapTo(d, QPoint(0, 0)), label->size());
        s.bar = QRect(bar->mapTo(d, QPoint(0, 0)), bar->size());
        s.chunk = bar->palette().color(QPalette::Highlight);
        if (mainWindow_) {
            const QImage main = ShownImage(mainWindow_);
            s.mainWindowInk = InkPixels(main, main.rect());
        }
        shots_.push_back(std::move(s));
    }

    std::function<QDialog*()> dialog_;
    QPointer<QWidget> mainWindow_;
    QTimer timer_;
    std::vector<ProgressShot> shots_;
};

class WindowFirmwareTest : public GuiTest {};

TEST_F(WindowFirmwareTest, FlashingDialogIsPaintedAndAdvancesDuringTheDownload) {
    sim::FirmwareIdentity id;
    id.kind = 2;
    id.major = 7;
    id.minor = 0;
    ASSERT_TRUE(sim::WriteFirmwareFile(rig.programDir, id, 20000).has_value());
    rig.lineRate = kTestLineRate;
    script.Then(ChoosePort(QStringLiteral("COM3")));
    ProgressWatcher watcher([this] { return progress.Dialog(); }, &View());
    // The loader-ready message comes from the loader-wait thread: the window closes once the
    // board reports the new firmware and the download is over.
    QTimer closer;
    closer.setInterval(5);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (View().Sheet().Version().versionMajor != 7 || CBoardActivity::Running()) return;
        closer.stop();
        EXPECT_EQ(progress.Dialog(), nullptr);
        Child<QPushButton>(&View(), "closeButton")->click();
    });
    EXPECT_EQ(Run([&] { closer.start(); }), 0);
    watcher.ExpectPaintedAndAdvancing("Flashing Device...");
    if (!watcher.Shots().empty()) {
        EXPECT_TRUE(
            watcher.Shots().back().text.contains(QRegularExpression(QStringLiteral("^Block [0-9]+ of 40$"))))
            << watcher.Shots().back().text.toStdString();
    }
    watcher.SaveMiddle(QStringLiteral("flashing-device"));
}

TEST_F(WindowFirmwareTest, FailedDownloadThatLeavesTheProgramRunningClosesTheDialog) {
    sim::FirmwareIdentity id;
    id.major = 9;
    // Too large for the block count's byte: refused before the board hears of it, and the
    // program goes on with the old firmware.
    ASSERT_TRUE(sim::WriteFirmwareFile(rig.programDir, id, 140000).has_value());
    script.Then(ChoosePort(QStringLiteral("COM3")));
    script.Then([this](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->text().startsWith(QStringLiteral("Error - The firmware file")))
            << box->text().toStdString();
        EXPECT_NE(progress.Dialog(), nullptr) << "the refusal comes during the download";
        box->button(QMessageBox::Ok)->click();
    });
    script.Then([this](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), QString::fromLatin1(kMsgUnableToLoadFirmware));
        EXPECT_EQ(progress.Dialog(), nullptr) << "the dialog is still on screen under the message";
        box->button(QMessageBox::Ok)->click();
    });
    QTimer closer;
    closer.setInterval(5);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (!script.Done() || QApplication::activeModalWidget() || !view_ || !view_->isVisible()) return;
        closer.stop();
        EXPECT_EQ(progress.Dialog(), nullptr);
        EXPECT_FALSE(prompts.QuitCode().has_value());
        EXPECT_TRUE(View().isEnabled());
        Child<QPushButton>(&View(), "closeButton")->click();
    });
    EXPECT_EQ(Run([&] { closer.start(); }), 0);
}

// The operations with a progress dialog of their own, each started as the user starts it on a
// board whose line takes real time: the dialog is up during the operation, painted, advancing.
struct OperationCase {
    const char* name;
    uint32_t lineRate;
    const char* caption;
    const char* textPattern;
};

sim::BoardConfig WithTrace() {
    sim::BoardConfig c;
    c.fillTrace = 4 * 2048;
    return c;
}

class OperationProgressTest : public GuiTest, public ::testing::WithParamInterface<OperationCase> {
protected:
    OperationProgressTest() : GuiTest(WithTrace()) {}

    // Starts the case's operation from the running window; `done` once it has ended.
    void Start(const std::string& name) {
        CTR805QSheetView& v = View();
        if (name == "TraceSave") {
            // The Trace window as "See Trace..." opens it, then "Save..." into a new file.
            const std::filesystem::path path = rig.programDir / "trace.txt";
            script.Then([path](QWidget* w) {
                auto* d = qobject_cast<QFileDialog*>(w);
                ASSERT_NE(d, nullptr) << w->metaObject()->className();
                guitest::TypeFileName(d, QString::fromStdString(path.string()));
                QMetaObject::invokeMethod(d, "accept");
            });
            // The Trace window the save runs over comes back to the top: it stays open.
            script.Then([](QWidget* w) { EXPECT_NE(qobject_cast<CMTraceView*>(w), nullptr); });
            auto* trace = new CMTraceView(v.Sheet(), &v);
            trace->setAttribute(Qt::WA_DeleteOnClose);
            trace->open();
            QTimer::singleShot(0, trace, [this, trace, path] {
                Child<QPushButton>(trace, "saveButton")->click();
                EXPECT_TRUE(std::filesystem::exists(path));
                trace->accept();
                done = true;
            });
        } else if (name == "ScriptDownload") {
            std::string source;
            for (int i = 0; i < 1200; ++i) source += "        device 1\n";
            script::CScriptView* page = StartScript(source, {});
            ASSERT_NE(page, nullptr);
            QTimer::singleShot(0, page, [this, page] {
                EXPECT_TRUE(PumpUntil(
                    [page] { return page->Page().Idle() && !page->Page().RunHost().WorkerRunning(); }));
                done = true;
            });
        } else if (name == "ReadAll") {
            Child<QTabWidget>(&v, "tabs")->setCurrentIndex(1);
            auto* table = qobject_cast<CRegisterTableView*>(Child<QTabWidget>(&v, "tabs")->widget(1));
            ASSERT_NE(table, nullptr);
            for (int r = 1; r <= CRegisterTablePage::kRows; ++r) {
                table->Page().ApplyType(r, RowType::Rd16);
                table->Page().Row(r).address =
                    QStringLiteral("%1").arg(r, 2, 16, QLatin1Char('0')).toUpper().toStdString();
                table->Page().Row(r).enabled = true;
            }
            table->ShowPage();
            Child<QPushButton>(table, "readAll")->click();
            EXPECT_EQ(table->Page().Row(40).data.size(), 4u);
            done = true;
        }
    }
    bool done = false;
};

TEST_P(OperationProgressTest, HasItsDialogPaintedAndAdvancing) {
    const OperationCase& c = GetParam();
    rig.lineRate = c.lineRate;
    script.Then(ChoosePort(QStringLiteral("COM3")));
    ProgressWatcher watcher(
        [this] { return View().findChild<QDialog*>(QStringLiteral("operationProgress")); }, &View());
    QString caption;
    QTimer captions;
    captions.setInterval(10);
    QObject::connect(&captions, &QTimer::timeout, [&] {
        if (QDialog* d = View().findChild<QDialog*>(QStringLiteral("operationProgress")))
            caption = d->windowTitle();
    });
    captions.start();
    QTimer closer;
    closer.setInterval(5);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (!done || QApplication::activeModalWidget() || CBoardActivity::Running()) return;
        closer.stop();
        EXPECT_EQ(View().findChild<QDialog*>(QStringLiteral("operationProgress")), nullptr)
            << "the dialog outlived its operation";
        Child<QPushButton>(&View(), "closeButton")->click();
    });
    EXPECT_EQ(Run([&] {
                  Start(c.name);
                  closer.start();
              }),
              0);
    EXPECT_EQ(caption, QString::fromLatin1(c.caption));
    watcher.ExpectPaintedAndAdvancing(c.name);
    const QRegularExpression pattern(QString::fromLatin1(c.textPattern));
    for (const ProgressShot& shot : watcher.Shots()) {
        EXPECT_TRUE(pattern.match(shot.text).hasMatch()) << c.name << ": " << shot.text.toStdString();
    }
    watcher.SaveMiddle(QStringLiteral("progress-") + QString::fromLatin1(c.name));
}

INSTANTIATE_TEST_SUITE_P(
    Window, OperationProgressTest,
    ::testing::Values(
        // 14 bytes an entry: four blocks of 2048 in about half a second.
        OperationCase{"TraceSave", 2'000'000, "Saving trace", "^Entries read: 0x[0-9A-F]{5} of 0x20000$"},
        // 16 bytes a record.
        OperationCase{"ScriptDownload", 4 * 115200, "Downloading script", "^[0-9]+ of 1201 records$"},
        // 7 bytes an access: forty in a third of a second.
        OperationCase{"ReadAll", 9600, "Reading registers", "^[0-9]+ of 40 rows$"}),
    [](const ::testing::TestParamInfo<OperationCase>& p) { return std::string(p.param.name); });

// The messages that may come while the window comes up: a board that does not answer, and a
// firmware the program does not suit.
struct StartMessageCase {
    const char* name;
    sim::BoardConfig config;
    bool noReply;
    const char* text;
    int code;
};

sim::BoardConfig KindThree() {
    sim::BoardConfig c;
    c.firmwareKind = 3;
    return c;
}

class StartMessageTest : public GuiTest, public ::testing::WithParamInterface<StartMessageCase> {
protected:
    StartMessageTest() : GuiTest(GetParam().config) {}
};

TEST_P(StartMessageTest, IsCentredOnTheWindowWhereItStands) {
    const StartMessageCase& c = GetParam();
    rig.simBoard.faults().noReply = c.noReply;
    View().move(240, 40);
    script.Then(ChoosePort(QStringLiteral("COM3")));
    script.Then([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), QString::fromLatin1(c.text));
        EXPECT_EQ(box->parentWidget(), &View());
        ASSERT_NE(View().windowHandle(), nullptr);
        EXPECT_TRUE(View().windowHandle()->isExposed()) << "the box came before the window was up";
        // Frame on frame; the box's decoration is the window's, so their client areas share the
        // centre too (and the box's frame is not known yet as it comes up).
        constexpr int kWithin = 3;
        const QRect window = View().frameGeometry();
        const QPoint offset = box->geometry().center() - View().geometry().center();
        EXPECT_LE(std::abs(offset.y()), kWithin) << offset.y();
        // Across, a box is kept on its screen: centred where the window fits on it (the
        // offscreen platform's screen is narrower than the window).
        if (View().screen()->availableGeometry().contains(window)) {
            EXPECT_LE(std::abs(offset.x()), kWithin) << offset.x();
        } else {
            EXPECT_TRUE(window.contains(box->geometry().center()));
        }
        box->button(QMessageBox::Ok)->click();
    });
    std::optional<int> code;
    QTimer closer;
    closer.setInterval(5);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (!script.Done() || QApplication::activeModalWidget()) return;
        closer.stop();
        Child<QPushButton>(&View(), "closeButton")->click();
    });
    EXPECT_EQ(Run([&] { closer.start(); }), c.code);
}

INSTANTIATE_TEST_SUITE_P(
    Window, StartMessageTest,
    ::testing::Values(
        StartMessageCase{
            "WrongGui", KindThree(), false,
            "Wrong GUI to use with the current device firmware.\nSet a new firmware or use the right GUI", 0},
        StartMessageCase{
            "LostBoard",
            {},
            true,
            "Error - Unable to communicate with KOVA kit\nCheck connections and restart the program",
            1}),
    [](const ::testing::TestParamInfo<StartMessageCase>& p) { return std::string(p.param.name); });

// A SIGTERM ends the program also while the Trace window is open, whose Cancel (Escape, the
// close box) starts a save instead of closing it.
TEST_F(GuiTest, SignalEndsTheProgramOverTheTraceWindow) {
    script.Then(ChoosePort(QStringLiteral("COM3")));
    script.Then([](QWidget* w) { EXPECT_NE(qobject_cast<CMTraceView*>(w), nullptr); });
    EXPECT_EQ(Run([this] {
                  QuitOnSignals(prompts);
                  QTimer::singleShot(0, &View(), [this] {
                      CMTraceView trace(View().Sheet(), &View());
                      QTimer::singleShot(20, [] { std::raise(SIGTERM); });
                      trace.exec();
                  });
              }),
              128 + SIGTERM);
}

// The window program run as the user runs it, on a machine without a display.
TEST(WindowProgram, AnswersHelpAndVersionWithoutADisplay) {
    struct Case {
        QStringList arguments;
        int code;
        const char* stdoutHas;
        const char* stderrHas;
    } cases[] = {
        {{QStringLiteral("--help")}, 0, "--simulate", ""},
        {{QStringLiteral("-h")}, 0, "Usage: ", ""},
        {{QStringLiteral("--version")}, 0, "tr805q 1.3 (TR8051B Version 1.3)\n", ""},
        {{QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--version")},
         0,
         "tr805q 1.3",
         ""},
        {{QStringLiteral("--no-such-option")}, 1, "", "Unknown option 'no-such-option'."},
        // The window itself cannot open: one line says so and names what works instead.
        {{QStringLiteral("--simulate")}, 1, "", "no display to open the window on"},
    };
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    for (const Case& c : cases) {
        const std::string name = c.arguments.join(QLatin1Char(' ')).toStdString();
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(TR805Q_WINDOW_PROGRAM), c.arguments);
        ASSERT_TRUE(program.waitForFinished(10000)) << name;
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit)
            << name << ": " << program.readAllStandardError().toStdString();
        EXPECT_EQ(program.exitCode(), c.code) << name;
        const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(program.readAllStandardError());
        EXPECT_TRUE(out.contains(QString::fromLatin1(c.stdoutHas))) << name << ": " << out.toStdString();
        EXPECT_TRUE(err.contains(QString::fromLatin1(c.stderrHas))) << name << ": " << err.toStdString();
        if (c.code != 0 && c.stdoutHas[0] == '\0') {
            EXPECT_EQ(err.count(QLatin1Char('\n')), 1) << name << ": " << err.toStdString();
        }
        EXPECT_FALSE(err.contains(QStringLiteral("qt.qpa"))) << name << ": " << err.toStdString();
    }
}

}  // namespace
