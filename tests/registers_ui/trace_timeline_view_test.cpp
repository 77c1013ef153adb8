// The trace timeline on screen: a known trace painted (writes and reads where and in the
// colour they belong), the cursor naming the entry under the pointer, wheel zoom around the
// pointer, dragging; and the timeline inside the trace window, with register names taken from
// the table pages of the same window.
#include "registers/ui/RegisterTableView.h"
#include "registers/ui/TraceTimelineView.h"
#include "registers/ui/TraceView.h"
#include "tests/registers_ui/UiTestSupport.h"
#include "tests/support/GuiSupport.h"
#include "tests/support/SimHost.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>

namespace {

using guitest::Child;

TraceRecord Rec(uint8_t device, bool read, uint8_t address, uint16_t data, uint32_t timestamp) {
    TraceRecord r;
    r.device = device;
    r.direction = read ? 1 : 0;
    r.address = address;
    r.data = data;
    r.bytesPerAccess = 2;
    r.accessNumber = 1;
    r.accessCount = 1;
    r.timestamp = timestamp;
    return r;
}

// Three lanes over 1 ms: register 0x20 of device 1 written four times, 0x21 read three
// times, 0x05 of device 2 written and read.
std::vector<TraceRecord> KnownTrace() {
    std::vector<TraceRecord> oldestFirst = {
        Rec(1, false, 0x20, 0x1234, 10000), Rec(1, true, 0x21, 0x00FF, 10100),
        Rec(2, false, 0x05, 0x0A0A, 10200), Rec(1, false, 0x20, 0x0001, 10400),
        Rec(1, true, 0x21, 0x00FE, 10500),  Rec(2, true, 0x05, 0x0A0B, 10600),
        Rec(1, false, 0x20, 0xBEEF, 10800), Rec(1, true, 0x21, 0x0001, 10900),
        Rec(1, false, 0x20, 0x0002, 11000),
    };
    return {oldestFirst.rbegin(), oldestFirst.rend()};
}

bool Near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) < 24 && std::abs(a.green() - b.green()) < 24 &&
           std::abs(a.blue() - b.blue()) < 24;
}

class TimelineView : public ::testing::Test {
protected:
    QApplication& app_ = TestApp();
    CTraceTimelineView view;
    QString cursor;

    void SetUp() override {
        QObject::connect(&view, &CTraceTimelineView::cursorTextChanged,
                         [this](const QString& t) { cursor = t; });
        view.resize(900, CTraceTimelineView::kRulerHeight + 4 * CTraceTimelineView::kLaneHeight);
        view.SetTimeline(TraceTimeline(InTimeOrder(KnownTrace()), {{{1, 0x20}, "Gain"}}));
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    // Where an access of the known trace is drawn with the view fitted.
    QPoint At(uint32_t timestamp, int lane, bool lowerHalf) const {
        const TimeScale s = FitScale(10000, 11000, view.width() - CTraceTimelineView::kLabelWidth);
        const int top = CTraceTimelineView::kRulerHeight + lane * CTraceTimelineView::kLaneHeight;
        return {CTraceTimelineView::kLabelWidth + static_cast<int>(std::floor(s.ToX(timestamp))),
                top + (lowerHalf ? CTraceTimelineView::kLaneHeight - 6 : 5)};
    }
};

TEST_F(TimelineView, WritesAndReadsAreMarkedWhereTheyHappened) {
    const QImage image = view.grab().toImage();
    SaveScreenshot(&view, QStringLiteral("trace-timeline"));
    const QColor write(0xD9, 0x6A, 0x0B), read(0x1F, 0x6F, 0xD1);
    // Lane 0: dev1 0x20 (writes), lane 1: dev1 0x21 (reads), lane 2: dev2 0x05.
    for (uint32_t t : {10000u, 10400u, 10800u, 11000u}) {
        EXPECT_TRUE(Near(image.pixelColor(At(t, 0, false)), write)) << t;
        EXPECT_FALSE(Near(image.pixelColor(At(t, 0, true)), read)) << t;
    }
    for (uint32_t t : {10100u, 10500u, 10900u}) {
        EXPECT_TRUE(Near(image.pixelColor(At(t, 1, true)), read)) << t;
        EXPECT_FALSE(Near(image.pixelColor(At(t, 1, false)), write)) << t;
    }
    EXPECT_TRUE(Near(image.pixelColor(At(10200, 2, false)), write));
    EXPECT_TRUE(Near(image.pixelColor(At(10600, 2, true)), read));
    // Nothing is marked between the accesses.
    EXPECT_FALSE(Near(image.pixelColor(At(10600, 0, false)), write));
    EXPECT_FALSE(Near(image.pixelColor(At(10300, 1, true)), read));
}

TEST_F(TimelineView, TheCursorNamesTheEntryUnderThePointerThroughZoomAndDrag) {
    const QPoint onWrite = At(10400, 0, false);
    QTest::mouseMove(&view, onWrite);
    EXPECT_EQ(cursor.toStdString(),
              "Trace Address 0x00005  Timestamp 0000010400 us  +400 us  Device 1  Address 0x20 "
              "Gain  Write 0x0001  Access 1 of 1");
    QTest::mouseMove(&view, At(10500, 1, true) + QPoint(2, 0));
    EXPECT_EQ(cursor.toStdString(),
              "Trace Address 0x00004  Timestamp 0000010500 us  +500 us  Device 1  Address 0x21  "
              "Read 0x00FE  Access 1 of 1");
    // Between accesses: the time under the pointer.
    const auto cursorTime = [&] {
        return cursor.startsWith(QLatin1Char('+')) ? cursor.mid(1).section(QLatin1Char(' '), 0, 0).toDouble()
                                                   : -1.0;
    };
    QTest::mouseMove(&view, At(10700, 1, true));
    EXPECT_NEAR(cursorTime(), 700, 2) << cursor.toStdString();

    // Zooming in around the pointer keeps the entry under it.
    const auto wheel = [&](QPoint at, int delta, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWheelEvent e(QPointF(at), view.mapToGlobal(QPointF(at)), QPoint(), QPoint(0, delta), Qt::NoButton,
                      modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view, &e);
    };
    QTest::mouseMove(&view, onWrite);
    for (int i = 0; i < 10; ++i) wheel(onWrite, 120);
    QTest::mouseMove(&view, onWrite + QPoint(1, 0));
    EXPECT_TRUE(cursor.contains(QStringLiteral("Write 0x0001"))) << cursor.toStdString();
    SaveScreenshot(&view, QStringLiteral("trace-timeline-zoomed"));
    // Ten steps in, 400 us are far wider than the view: the neighbours are out of sight.
    QTest::mouseMove(&view, onWrite + QPoint(60, 0));
    EXPECT_EQ(cursor.left(1), QStringLiteral("+"));

    // Dragging: the picture follows the mouse, so the time under the pointer goes with it.
    const QPoint from(880, onWrite.y() + 30), to(180, onWrite.y() + 30);  // lane 1, no access there
    QTest::mouseMove(&view, from);
    const double grabbed = cursorTime();
    ASSERT_GT(grabbed, 400);
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, from);
    for (int dx = 20; dx <= from.x() - to.x(); dx += 20) {
        const QPointF at(from.x() - dx, from.y());
        QMouseEvent move(QEvent::MouseMove, at, view.mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&view, &move);
    }
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, to);
    EXPECT_NEAR(cursorTime(), grabbed, 0.5) << cursor.toStdString();

    // A double click shows the whole capture again.
    QTest::mouseDClick(&view, Qt::LeftButton, Qt::NoModifier, onWrite);
    QTest::mouseMove(&view, onWrite);
    EXPECT_TRUE(cursor.contains(QStringLiteral("Write 0x0001"))) << cursor.toStdString();
    // Leaving the lanes clears the cursor.
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&view, &leave);
    EXPECT_TRUE(cursor.isEmpty());
}

TEST_F(TimelineView, LanesThatDoNotFitScroll) {
    auto* bar = view.findChild<QScrollBar*>(QStringLiteral("timelineLaneScroll"));
    ASSERT_NE(bar, nullptr);
    EXPECT_FALSE(bar->isVisible());  // three lanes fit
    std::vector<TraceRecord> many;
    for (int i = 0; i < 20; ++i)
        many.push_back(Rec(1, false, static_cast<uint8_t>(i), static_cast<uint16_t>(i), 100 + 10 * i));
    view.SetTimeline(TraceTimeline(InTimeOrder({many.rbegin(), many.rend()}), {}));
    ASSERT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->maximum(),
              20 * CTraceTimelineView::kLaneHeight - (view.height() - CTraceTimelineView::kRulerHeight));
    // Shift and the wheel scroll by a lane a step; the bar scrolls the lanes too.
    const QPoint at(400, 60);
    QWheelEvent e(QPointF(at), view.mapToGlobal(QPointF(at)), QPoint(), QPoint(0, -240), Qt::NoButton,
                  Qt::ShiftModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &e);
    EXPECT_EQ(bar->value(), 2 * CTraceTimelineView::kLaneHeight);
    bar->setValue(bar->maximum());
    // The last lane (register 0x13, at 290 us) is now at the bottom, under the pointer there.
    const TimeScale s = FitScale(100, 290, view.width() - CTraceTimelineView::kLabelWidth - bar->width());
    QTest::mouseMove(
        &view, QPoint(CTraceTimelineView::kLabelWidth + static_cast<int>(s.ToX(290)), view.height() - 5));
    EXPECT_TRUE(cursor.contains(QStringLiteral("Address 0x13"))) << cursor.toStdString();
}

TEST(TimelineInTheTraceWindow, ShowsTheListsEntriesOrTheWholeTraceNamedByTheTables) {
    QApplication& app = TestApp();
    (void)app;
    SimHost host;
    // A window with a register table page whose row 1 names register 0x20 of device 1.
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* table = new CRegisterTableView(host, TablePageKind::Ext1, &window);
    layout->addWidget(table);
    table->Page().Row(1).description = "Gain";
    table->Page().Row(1).address = "20";
    for (int i = 0; i < 2100; ++i) {
        ASSERT_TRUE(
            host.board.WriteReg16(static_cast<uint8_t>(0x20 + i % 3), static_cast<uint16_t>(i * 37), 1));
        host.simBoard.AdvanceTime(150 + (i % 7) * 40);
    }
    CMTraceView view(host, table);
    view.show();
    auto* timeline = view.findChild<CTraceTimelineView*>(QStringLiteral("traceTimeline"));
    auto* range = view.findChild<QLabel*>(QStringLiteral("timelineRange"));
    auto* whole = view.findChild<QPushButton*>(QStringLiteral("timelineWholeTrace"));
    ASSERT_TRUE(timeline && range && whole);
    EXPECT_EQ(range->text(), QStringLiteral("Trace addresses 0x00000 to 0x007FF (2048 entries)"));
    ASSERT_EQ(timeline->Timeline().Lanes().size(), 3u);
    EXPECT_EQ(timeline->Timeline().Lanes()[0].name, "Gain");
    EXPECT_EQ(timeline->Timeline().Accesses().front().traceAddress, 0x7FFu);
    view.resize(980, 720);
    // The pointer on the first lane's latest access: the line under the lanes names it, and
    // a long line does not widen the window.
    QApplication::processEvents();
    const int before = view.width();
    const TimeScale fit = FitScale(timeline->Timeline().Begin(), timeline->Timeline().End(),
                                   timeline->width() - CTraceTimelineView::kLabelWidth);
    const TimedAccess& last = timeline->Timeline().Accesses()[timeline->Timeline().Lanes()[0].entries.back()];
    QTest::mouseMove(timeline, QPoint(CTraceTimelineView::kLabelWidth +
                                          static_cast<int>(fit.ToX(static_cast<double>(last.time))),
                                      CTraceTimelineView::kRulerHeight + 8));
    auto* cursorLine = view.findChild<QLabel*>(QStringLiteral("timelineCursor"));
    ASSERT_NE(cursorLine, nullptr);
    EXPECT_TRUE(cursorLine->text().startsWith(QStringLiteral("Trace Address 0x00")))
        << cursorLine->text().toStdString();
    EXPECT_TRUE(cursorLine->text().contains(QStringLiteral("Address 0x20 Gain  Write")))
        << cursorLine->text().toStdString();
    QApplication::processEvents();
    EXPECT_EQ(view.width(), before);
    SaveScreenshot(&view, QStringLiteral("trace-window-timeline"));

    Child<QPushButton>(&view, "forwardButton")->click();
    EXPECT_EQ(range->text(), QStringLiteral("Trace addresses 0x00800 to 0x00833 (52 entries)"));
    whole->click();
    EXPECT_EQ(range->text(), QStringLiteral("Trace addresses 0x00000 to 0x00833 (2100 entries)"));
    EXPECT_EQ(timeline->Timeline().Accesses().size(), 2100u);

    // "Export..." asks for the file type.
    Child<QPushButton>(&view, "traceExport")->click();
    ASSERT_EQ(host.prompts.fileDialogs.size(), 1u);
    EXPECT_EQ(host.prompts.fileDialogs[0].title, "Export Trace");
    EXPECT_EQ(Child<QPushButton>(&view, "traceExport")->text(), QStringLiteral("Export..."));
}

}  // namespace
