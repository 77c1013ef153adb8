#include "registers/ui/TraceTimelineView.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const QColor kWriteColour(0xD9, 0x6A, 0x0B);
const QColor kReadColour(0x1F, 0x6F, 0xD1);
const QColor kBandColour(0x70, 0x70, 0x70);
const QColor kCursorColour(0xC0, 0x10, 0x40);

// A wheel step zooms by this factor.
constexpr double kZoomStep = 1.25;

QString LaneTitle(const TimelineLane& lane) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "dev%d 0x%02X", lane.device, lane.address);
    return QString::fromLatin1(buffer);
}

}  // namespace

CTraceTimelineView::CTraceTimelineView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("traceTimeline"));
    setMouseTracking(true);
    setMinimumSize(kLabelWidth + 200, kRulerHeight + 3 * kLaneHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAttribute(Qt::WA_OpaquePaintEvent);
    laneScroll_ = new QScrollBar(Qt::Vertical, this);
    laneScroll_->setObjectName(QStringLiteral("timelineLaneScroll"));
    laneScroll_->setSingleStep(kLaneHeight);
    laneScroll_->hide();
    connect(laneScroll_, &QScrollBar::valueChanged, this, [this](int v) {
        if (v != laneOffset_) SetLaneOffset(v);
    });
}

void CTraceTimelineView::UpdateLaneScroll() {
    const int most = MaxLaneOffset(Layout(), timeline_.Lanes().size(), height());
    const bool show = most > 0;
    const int w = laneScroll_->sizeHint().width();
    laneScroll_->setGeometry(width() - w, kRulerHeight, w, height() - kRulerHeight);
    laneScroll_->setRange(0, most);
    laneScroll_->setPageStep(std::max(kLaneHeight, height() - kRulerHeight));
    laneScroll_->setValue(laneOffset_);
    if (laneScroll_->isVisibleTo(this) != show) {
        laneScroll_->setVisible(show);
        // The lanes give up the bar's width while it shows.
        if (fitted_) {
            scale_ = FitScale(timeline_.Begin(), timeline_.End(), LanesWidth());
        } else {
            scale_ = ClampScale(scale_, timeline_.Begin(), timeline_.End(), LanesWidth());
        }
    }
}

void CTraceTimelineView::SetTimeline(TraceTimeline timeline) {
    timeline_ = std::move(timeline);
    laneOffset_ = 0;
    hit_.reset();
    fitted_ = true;
    UpdateLaneScroll();
    Fit();
    if (cursor_) MoveCursor(*cursor_);
}

int CTraceTimelineView::LanesWidth() const {
    const int bar = laneScroll_ && laneScroll_->isVisibleTo(this) ? laneScroll_->width() : 0;
    return std::max(1, width() - kLabelWidth - bar);
}

LaneLayout CTraceTimelineView::Layout() const { return {kRulerHeight, kLaneHeight, laneOffset_}; }

void CTraceTimelineView::Fit() {
    scale_ = FitScale(timeline_.Begin(), timeline_.End(), LanesWidth());
    fitted_ = true;
    update();
}

void CTraceTimelineView::SetScale(const TimeScale& scale) {
    scale_ = scale;
    fitted_ = false;
    if (cursor_) MoveCursor(*cursor_);
    update();
}

void CTraceTimelineView::SetLaneOffset(int offset) {
    laneOffset_ = std::clamp(offset, 0, MaxLaneOffset(Layout(), timeline_.Lanes().size(), height()));
    laneScroll_->setValue(laneOffset_);
    update();
}

void CTraceTimelineView::resizeEvent(QResizeEvent*) {
    UpdateLaneScroll();
    if (fitted_) {
        Fit();
    } else {
        scale_ = ClampScale(scale_, timeline_.Begin(), timeline_.End(), LanesWidth());
    }
    SetLaneOffset(laneOffset_);
}

void CTraceTimelineView::wheelEvent(QWheelEvent* e) {
    const QPoint angle = e->angleDelta();
    if (e->modifiers() & Qt::ShiftModifier) {
        // Shift turns the wheel into a vertical scroll of the lanes (Qt may hand it as x).
        const int steps = angle.y() != 0 ? angle.y() : angle.x();
        SetLaneOffset(laneOffset_ - steps * kLaneHeight / 120);
    } else if (angle.y() != 0) {
        const double x = e->position().x() - kLabelWidth;
        SetScale(ZoomScale(scale_, x, std::pow(kZoomStep, angle.y() / 120.0), timeline_.Begin(),
                           timeline_.End(), LanesWidth()));
    } else if (angle.x() != 0) {
        SetScale(PanScale(scale_, angle.x() / 4.0, timeline_.Begin(), timeline_.End(), LanesWidth()));
    }
    e->accept();
}

void CTraceTimelineView::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        dragFrom_ = e->position();
        setCursor(Qt::ClosedHandCursor);
    }
}

void CTraceTimelineView::mouseMoveEvent(QMouseEvent* e) {
    if (dragFrom_ && (e->buttons() & Qt::LeftButton)) {
        const QPointF d = e->position() - *dragFrom_;
        dragFrom_ = e->position();
        SetLaneOffset(laneOffset_ - static_cast<int>(std::lround(d.y())));
        SetScale(PanScale(scale_, d.x(), timeline_.Begin(), timeline_.End(), LanesWidth()));
    }
    MoveCursor(e->position());
}

void CTraceTimelineView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        dragFrom_.reset();
        unsetCursor();
    }
}

void CTraceTimelineView::mouseDoubleClickEvent(QMouseEvent*) { Fit(); }

void CTraceTimelineView::leaveEvent(QEvent*) {
    cursor_.reset();
    hit_.reset();
    Q_EMIT cursorTextChanged(QString());
    update();
}

void CTraceTimelineView::MoveCursor(const QPointF& at) {
    cursor_ = at;
    hit_.reset();
    const double x = at.x() - kLabelWidth;
    QString text;
    if (x >= 0 && !timeline_.Empty()) {
        const std::optional<size_t> lane = LaneAt(Layout(), timeline_.Lanes().size(), at.y());
        if (lane) hit_ = LaneAccessAt(timeline_.Lanes()[*lane], scale_, x, kHitPixels);
        text = QString::fromStdString(hit_ ? CursorText(timeline_, *hit_)
                                           : CursorTimeText(timeline_, scale_.ToTime(x)));
    }
    Q_EMIT cursorTextChanged(text);
    update();
}

void CTraceTimelineView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    if (timeline_.Empty()) {
        p.setPen(palette().color(QPalette::Disabled, QPalette::Text));
        p.drawText(rect(), Qt::AlignCenter, QString::fromLatin1(kTimelineNoEntries));
        return;
    }
    const std::vector<TimelineLane>& lanes = timeline_.Lanes();
    p.save();
    p.setClipRect(0, kRulerHeight, width(), height() - kRulerHeight);
    for (size_t i = 0; i < lanes.size(); ++i) {
        const int top = kRulerHeight + static_cast<int>(i) * kLaneHeight - laneOffset_;
        if (top + kLaneHeight <= kRulerHeight) continue;
        if (top >= height()) break;
        PaintLane(p, i, top);
    }
    p.restore();
    PaintRuler(p);

    // The label column's edge, and the cursor over the lanes.
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(kLabelWidth - 1, 0, kLabelWidth - 1, height());
    if (cursor_ && cursor_->x() >= kLabelWidth) {
        p.setPen(QPen(kCursorColour, 1));
        const qreal x = std::floor(cursor_->x()) + 0.5;
        p.drawLine(QPointF(x, kRulerHeight), QPointF(x, height()));
    }
}

void CTraceTimelineView::PaintRuler(QPainter& p) {
    p.fillRect(0, 0, width(), kRulerHeight, palette().window());
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(0, kRulerHeight - 1, width(), kRulerHeight - 1);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(QRect(6, 0, kLabelWidth - 12, kRulerHeight), Qt::AlignVCenter | Qt::AlignLeft,
               QString::fromLatin1(kTimelineRulerTitle));
    const QFontMetrics fm = p.fontMetrics();
    const double spacing = fm.horizontalAdvance(QStringLiteral("-0000.000 ms")) + 16;
    p.save();
    p.setClipRect(kLabelWidth, 0, LanesWidth(), kRulerHeight);
    for (const RulerTick& t : RulerTicks(scale_, LanesWidth(), timeline_.Begin(), spacing)) {
        const qreal x = kLabelWidth + std::floor(t.x) + 0.5;
        p.setPen(palette().color(QPalette::Mid));
        p.drawLine(QPointF(x, kRulerHeight - 7), QPointF(x, kRulerHeight - 1));
        // A label cut by the right edge is left out, its tick stays.
        const QString label = QString::fromStdString(t.label);
        if (x + 3 + fm.horizontalAdvance(label) > width()) continue;
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(QPointF(x + 3, kRulerHeight - 8), label);
    }
    p.restore();
}

void CTraceTimelineView::PaintLane(QPainter& p, size_t index, int top) {
    const TimelineLane& lane = timeline_.Lanes()[index];
    const std::vector<TimedAccess>& accesses = timeline_.Accesses();
    const int w = LanesWidth();
    const QRect row(0, top, width(), kLaneHeight);
    p.fillRect(row, index % 2 ? palette().alternateBase() : palette().base());

    // The lane's name.
    const QFontMetrics fm = p.fontMetrics();
    p.setPen(palette().color(QPalette::Text));
    const QString title = LaneTitle(lane);
    const int titleWidth = fm.horizontalAdvance(title);
    const QRect label(6, top, kLabelWidth - 12, kLaneHeight);
    p.drawText(label, Qt::AlignVCenter | Qt::AlignLeft, title);
    if (!lane.name.empty()) {
        p.setPen(palette().color(QPalette::Disabled, QPalette::Text));
        const QRect nameRect = label.adjusted(titleWidth + 6, 0, 0, 0);
        p.drawText(nameRect, Qt::AlignVCenter | Qt::AlignLeft,
                   fm.elidedText(QString::fromStdString(lane.name), Qt::ElideRight, nameRect.width()));
    }

    p.save();
    p.setClipRect(kLabelWidth, top, w, kLaneHeight);
    p.translate(kLabelWidth, 0);
    const std::vector<TimelineColumn> columns = LaneColumns(lane, scale_, w);
    const std::optional<uint32_t> before = LaneAccessBefore(lane, scale_.start);
    const int bandTop = top + 4, bandBottom = top + kLaneHeight - 5;
    const int middle = top + kLaneHeight / 2;

    // The value band: from the lane's first access on, the value of the latest one, written
    // where there is room for it.
    const int known = before ? 0 : columns.empty() ? w : columns.front().x;
    if (known < w) {
        p.setPen(kBandColour);
        p.drawLine(QPointF(known, bandTop + 0.5), QPointF(w, bandTop + 0.5));
        p.drawLine(QPointF(known, bandBottom + 0.5), QPointF(w, bandBottom + 0.5));
    }
    const int digitsWidth = fm.horizontalAdvance(QStringLiteral("0000"));
    const auto valueText = [&](uint32_t access) {
        const TraceRecord& r = accesses[access].record;
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, r.bytesPerAccess == 1 ? "%02X" : "%04X",
                      r.bytesPerAccess == 1 ? r.data & 0xFF : r.data);
        return QString::fromLatin1(buffer);
    };
    p.setPen(palette().color(QPalette::Text));
    const auto segment = [&](int from, int to, uint32_t access) {
        if (to - from < digitsWidth + 8) return;
        p.drawText(QRect(from + 6, bandTop, to - from - 8, bandBottom - bandTop + 1),
                   Qt::AlignVCenter | Qt::AlignLeft, valueText(access));
    };
    if (before) segment(0, columns.empty() ? w : columns.front().x, *before);
    for (size_t i = 0; i < columns.size(); ++i) {
        segment(columns[i].x, i + 1 < columns.size() ? columns[i + 1].x : w, columns[i].last);
    }

    // The accesses: writes above the middle, reads below it; wider marks when zoomed in far
    // enough that a microsecond spans several columns.
    const double markWidth = std::clamp(1.0 / scale_.usPerPixel, 2.0, 3.0);
    QVector<QRectF> writes, reads;
    writes.reserve(static_cast<qsizetype>(columns.size()));
    reads.reserve(static_cast<qsizetype>(columns.size()));
    // Marks that touch are drawn as one: zoomed out, a busy lane is a few long bars.
    const auto mark = [&](QVector<QRectF>& marks, double x, double y, double h) {
        if (!marks.isEmpty() && marks.back().right() >= x) {
            marks.back().setRight(x + markWidth);
        } else {
            marks.append(QRectF(x, y, markWidth, h));
        }
    };
    for (const TimelineColumn& c : columns) {
        if (c.count > c.reads) mark(writes, c.x, top + 2, middle - top - 2);
        if (c.reads > 0) mark(reads, c.x, middle, top + kLaneHeight - 2 - middle);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(kWriteColour);
    p.drawRects(writes);
    p.setBrush(kReadColour);
    p.drawRects(reads);

    // The entry under the cursor.
    if (hit_) {
        const TraceRecord& r = accesses[*hit_].record;
        if (r.device == lane.device && r.address == lane.address) {
            const double x = scale_.ToX(static_cast<double>(accesses[*hit_].time));
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(kCursorColour, 2));
            p.drawEllipse(QPointF(std::floor(x) + markWidth / 2, middle), 4, 4);
        }
    }
    p.restore();
}
