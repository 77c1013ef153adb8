// A board operation on the window's thread: the window is painted meanwhile, the user's input
// reaches only the dialogs the operation opens, events that would start another exchange wait
// for its end, and the line's and the clock's waits paint. On the offscreen platform.
#include "link/ui/BoardActivity.h"
#include "link/ui/PaintingLine.h"
#include "link/ui/ProgressView.h"
#include "tests/support/GuiSupport.h"

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

// Fontconfig keeps its caches to the end of the process; that is not a leak of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

using guitest::App;

// Records the custom events it receives, in order.
class Recorder final : public QObject {
public:
    std::vector<int> received;
    bool event(QEvent* e) override {
        if (e->type() >= QEvent::User) {
            received.push_back(e->type());
            return true;
        }
        return QObject::event(e);
    }
};

const QEvent::Type kFirst = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kSecond = static_cast<QEvent::Type>(QEvent::registerEventType());

// A window with one button that counts its clicks.
struct ClickTarget {
    explicit ClickTarget(QWidget* parent = nullptr, bool modal = false) : window(parent) {
        auto* layout = new QVBoxLayout(&window);
        button = new QPushButton(QStringLiteral("Press"), &window);
        layout->addWidget(button);
        QObject::connect(button, &QPushButton::clicked, [this] { ++clicks; });
        window.setModal(modal);
        window.show();
    }
    QDialog window;
    QPushButton* button = nullptr;
    int clicks = 0;
};

TEST(BoardActivity, InputReachesOnlyTheDialogsTheOperationOpens) {
    App();
    ClickTarget behind;  // the main window, as the operation finds it
    ClickTarget runsIn(nullptr, true);  // a modal dialog the operation starts from (Trace)
    {
        const CBoardActivity activity;
        ClickTarget opened(&runsIn.window, true);  // a message box the operation shows
        QWidget popup(opened.button, Qt::Popup);  // and a drop-down list of it
        QWidget completions(nullptr, Qt::Popup);  // and its completion list, with no parent
        struct Case {
            const char* name;
            const QWidget* widget;
            bool reachable;
        } cases[] = {
            {"window behind the operation", behind.button, false},
            {"modal dialog it runs in", runsIn.button, false},
            {"dialog it opened", opened.button, true},
            {"window of that dialog's control", &popup, true},
            {"its popup without a parent", &completions, true},
        };
        for (const Case& c : cases) EXPECT_EQ(CBoardActivity::Reachable(c.widget), c.reachable) << c.name;

        QTest::mouseClick(behind.button, Qt::LeftButton);
        QTest::keyClick(behind.button, Qt::Key_Space);
        QTest::mouseClick(runsIn.button, Qt::LeftButton);
        QTest::mouseClick(opened.button, Qt::LeftButton);
        EXPECT_EQ(behind.clicks, 0);
        EXPECT_EQ(runsIn.clicks, 0);
        EXPECT_EQ(opened.clicks, 1);
    }
    {
        // With no dialog the operation opened, no popup belongs to one.
        const CBoardActivity activity;
        QWidget popup(nullptr, Qt::Popup);
        EXPECT_FALSE(CBoardActivity::Reachable(&popup));
    }
    runsIn.window.hide();
    EXPECT_TRUE(CBoardActivity::Reachable(behind.button));
    QTest::mouseClick(behind.button, Qt::LeftButton);
    EXPECT_EQ(behind.clicks, 1);
}

// Counts the times a window is raised.
class RaiseCounter final : public QObject {
public:
    int raised = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::ZOrderChange) ++raised;
        return false;
    }
};

TEST(BoardActivity, ClickOnAWindowBehindRaisesTheProgressAgain) {
    App();
    ClickTarget behind;
    const CBoardActivity activity;
    ClickTarget progress(&behind.window);
    RaiseCounter counter;
    progress.window.installEventFilter(&counter);
    CBoardActivity::ShowsProgress(&progress.window);
    QTest::mouseClick(behind.button, Qt::LeftButton);
    QTest::mouseClick(behind.button, Qt::LeftButton);
    PaintWindowNow();
    EXPECT_EQ(behind.clicks, 0);
    EXPECT_EQ(counter.raised, 1) << "raised once for the clicks since the last paint";
}

TEST(BoardActivity, WindowsItRunsOverRefuseToCloseUntilItEnds) {
    App();
    ClickTarget behind;
    {
        const CBoardActivity activity;
        EXPECT_FALSE(behind.window.close());
        EXPECT_TRUE(behind.window.isVisible());
        ClickTarget opened(nullptr, true);
        EXPECT_TRUE(opened.window.close());
    }
    EXPECT_TRUE(behind.window.close());
}

TEST(BoardActivity, HeldBackEventsArePostedWhenTheOutermostOperationEnds) {
    App();
    Recorder recorder;
    auto gone = std::make_unique<Recorder>();
    EXPECT_FALSE(CBoardActivity::HoldBack(&recorder, [] { return new QEvent(kFirst); }));
    {
        const CBoardActivity outer;
        {
            const CBoardActivity inner;
            EXPECT_TRUE(CBoardActivity::HoldBack(&recorder, [] { return new QEvent(kFirst); }));
            EXPECT_TRUE(CBoardActivity::HoldBack(gone.get(), [] { return new QEvent(kFirst); }));
        }
        EXPECT_TRUE(CBoardActivity::Running());
        EXPECT_TRUE(CBoardActivity::HoldBack(&recorder, [] { return new QEvent(kSecond); }));
        gone.reset();
        PaintWindowNow();
        EXPECT_TRUE(recorder.received.empty());
    }
    EXPECT_FALSE(CBoardActivity::Running());
    QCoreApplication::processEvents();
    EXPECT_EQ(recorder.received, (std::vector<int>{kFirst, kSecond}));
}

TEST(BoardActivity, PaintsOnlyInsideAnOperationAndAtMostOnceAnInterval) {
    App();
    ClickTarget behind;
    Recorder recorder;
    QCoreApplication::postEvent(&recorder, new QEvent(kFirst));
    KeepWindowPainted();
    EXPECT_TRUE(recorder.received.empty()) << "painted outside an operation";
    {
        const CBoardActivity activity;
        KeepWindowPainted();
        EXPECT_TRUE(recorder.received.empty()) << "painted before the interval was over";
        QThread::msleep(CBoardActivity::kPaintIntervalMs + 5);
        KeepWindowPainted();
        EXPECT_EQ(recorder.received.size(), 1u);
        // The window it runs over shows the operation is busy; a dialog it opened does not.
        EXPECT_EQ(behind.window.cursor().shape(), Qt::BusyCursor);
        ClickTarget opened(nullptr, true);
        QCoreApplication::postEvent(&recorder, new QEvent(kSecond));
        PaintWindowNow();
        EXPECT_EQ(recorder.received.size(), 2u);
        EXPECT_EQ(opened.window.cursor().shape(), Qt::ArrowCursor);
    }
    EXPECT_EQ(behind.window.cursor().shape(), Qt::ArrowCursor);
}

TEST(BoardActivity, OtherThreadsRunNoOperationAndNeverPaint) {
    App();
    Recorder recorder;
    const CBoardActivity activity;
    QCoreApplication::postEvent(&recorder, new QEvent(kFirst));
    bool running = true;
    std::thread worker([&] {
        const CBoardActivity theirs;
        running = CBoardActivity::Running();
        PaintWindowNow();
    });
    worker.join();
    EXPECT_FALSE(running);
    EXPECT_TRUE(recorder.received.empty());
    EXPECT_TRUE(CBoardActivity::Running());
}

// A device whose every call takes real time, as the kit's line does.
class SlowDevice final : public SerialDevice {
public:
    void Configure(const SerialLineSettings&) override {}
    void SetTimeouts(const SerialTimeouts&) override {}
    SerialTimeouts GetTimeouts() const override { return {}; }
    size_t Read(uint8_t*, size_t n) override { return Take(n); }
    size_t Write(const uint8_t*, size_t n) override { return Take(n); }
    void Flush() override {}
    size_t QueuedBytes() override { return 0; }
    int calls = 0;

private:
    size_t Take(size_t n) {
        ++calls;
        QThread::msleep(CBoardActivity::kPaintIntervalMs + 5);
        return n;
    }
};

class SlowClock final : public Clock {
public:
    void SleepMs(uint32_t ms) override {
        slept += ms;
        QThread::msleep(ms);
    }
    uint64_t NowMs() const override { return slept; }
    uint64_t slept = 0;
};

TEST(BoardActivity, WaitsOfTheLineAndTheClockPaintInsideAnOperation) {
    App();
    SlowClock slow;
    CPaintingClock clock(slow);
    SlowDevice* slowDevice = nullptr;
    CSerialPort::DeviceOpener opener = PaintWhileWaiting([&slowDevice](int) {
        auto d = std::make_unique<SlowDevice>();
        slowDevice = d.get();
        return d;
    });
    std::unique_ptr<SerialDevice> device = opener(1);
    uint8_t bytes[4] = {};
    struct Case {
        const char* name;
        std::function<void()> wait;
    } cases[] = {
        {"fixed sleep", [&] { clock.SleepMs(2 * CBoardActivity::kPaintIntervalMs + 10); }},
        {"reads",
         [&] {
             for (int i = 0; i < 2; ++i) (void)device->Read(bytes, 4);
         }},
        {"writes",
         [&] {
             for (int i = 0; i < 2; ++i) (void)device->Write(bytes, 4);
         }},
    };
    for (const Case& c : cases) {
        Recorder recorder;
        QCoreApplication::postEvent(&recorder, new QEvent(kFirst));
        const CBoardActivity activity;
        c.wait();
        EXPECT_EQ(recorder.received.size(), 1u) << c.name;
    }
    Recorder recorder;
    QCoreApplication::postEvent(&recorder, new QEvent(kFirst));
    clock.SleepMs(2 * CBoardActivity::kPaintIntervalMs);
    EXPECT_TRUE(recorder.received.empty()) << "painted outside an operation";
    // The sleeps' slices add up to what was asked; the device's calls all went through.
    EXPECT_EQ(slow.slept, 4u * CBoardActivity::kPaintIntervalMs + 10);
    ASSERT_NE(slowDevice, nullptr);
    EXPECT_EQ(slowDevice->calls, 4);
    EXPECT_EQ(PaintWhileWaiting({}), nullptr);
}

TEST(BoardActivity, SleepOnAFakeClockIsTheWholeWaitInSlices) {
    App();
    FakeClock fake;
    CPaintingClock clock(fake);
    const CBoardActivity activity;
    clock.SleepMs(1005);
    EXPECT_EQ(fake.SleptMs(), 1005u);
    EXPECT_EQ(clock.NowMs(), 1005u);
}

TEST(ProgressDialog, ShowsCaptionTextAndBarAndStartsOverPastTheEnd) {
    App();
    QWidget owner;
    owner.show();
    CProgressDialog progress(&owner);
    progress.SetText(QStringLiteral("Block 0 of 40"));
    progress.Create("Flashing Device...");
    ASSERT_NE(progress.Dialog(), nullptr);
    QDialog* dialog = progress.Dialog();
    EXPECT_EQ(dialog->windowTitle(), "Flashing Device...");
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(dialog->isModal());
    EXPECT_EQ(dialog->parentWidget(), &owner);
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowCloseButtonHint);
    auto* bar = dialog->findChild<QProgressBar*>();
    auto* label = dialog->findChild<QLabel*>();
    ASSERT_NE(bar, nullptr);
    ASSERT_NE(label, nullptr);
    progress.SetRange(0, 100);
    progress.SetStep(10);
    progress.SetPos(40);
    EXPECT_EQ(bar->value(), 40);
    EXPECT_EQ(label->text(), "Block 0 of 40");
    progress.SetText(QStringLiteral("Block 16 of 40"));
    EXPECT_EQ(label->text(), "Block 16 of 40");
    guitest::SaveScreenshot(dialog, QStringLiteral("progress-dialog"));
    progress.SetPos(95);
    progress.StepIt();
    EXPECT_EQ(progress.GetPos(), 5);
    EXPECT_EQ(bar->value(), 5);
    progress.Destroy();
    EXPECT_EQ(progress.Dialog(), nullptr);
    progress.SetPos(50);  // a bar that is gone takes the position and shows nothing
    EXPECT_EQ(progress.GetPos(), 50);
}

}  // namespace
