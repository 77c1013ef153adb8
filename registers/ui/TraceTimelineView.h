#pragma once
// The trace window's timeline, painted: a ruler of the time since the first access, one lane
// per (device, register) with the register's values between its accesses, writes marked in
// orange in the upper half of a lane and reads in blue in the lower half. The mouse wheel zooms
// around the pointer (with Shift it scrolls the lanes), dragging pans, a double click shows the
// whole capture again, and the cursor line names the entry under the pointer. A scroll bar at
// the right edge shows where the lanes stand when they do not all fit. The arithmetic
// is TraceTimeline's; this class only paints and forwards the mouse.
#include "registers/TraceTimeline.h"

#include <QWidget>

#include <optional>

class QScrollBar;

class CTraceTimelineView final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kLabelWidth = 170;  // the lanes' names, left of the lanes
    static constexpr int kRulerHeight = 24;
    static constexpr int kLaneHeight = 26;
    static constexpr double kHitPixels = 4;  // how near the pointer an entry is "under" it

    explicit CTraceTimelineView(QWidget* parent = nullptr);

    // A new capture, shown whole.
    void SetTimeline(TraceTimeline timeline);
    const TraceTimeline& Timeline() const { return timeline_; }
    // The whole capture in the width.
    void Fit();

Q_SIGNALS:
    // What the cursor shows: the entry under the pointer, or the time there; empty when the
    // pointer has left the lanes.
    void cursorTextChanged(const QString& text);

protected:
    void paintEvent(QPaintEvent*) override;
    void wheelEvent(QWheelEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;
    void leaveEvent(QEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    int LanesWidth() const;
    void UpdateLaneScroll();
    LaneLayout Layout() const;
    void SetScale(const TimeScale& scale);
    void SetLaneOffset(int offset);
    void MoveCursor(const QPointF& at);
    void PaintRuler(class QPainter& p);
    void PaintLane(class QPainter& p, size_t index, int top);

    TraceTimeline timeline_;
    TimeScale scale_;
    bool fitted_ = true;  // follows the width until the user zooms or pans
    int laneOffset_ = 0;
    std::optional<QPointF> cursor_;
    std::optional<uint32_t> hit_;
    std::optional<QPointF> dragFrom_;
    QScrollBar* laneScroll_ = nullptr;  // shown while the lanes do not fit
};
