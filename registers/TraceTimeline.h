#pragma once
// The trace window's timeline: the registers a trace touches as lanes, one per (device,
// register), with the values of their accesses over time. Here is its arithmetic, without a
// widget: the lanes, the mapping between time and pixels, zoom and pan, what falls on each
// pixel column, the ruler's ticks and which entry lies under the cursor. The view paints
// what these functions give it.
//
// A full trace has 0x20000 entries; a paint never visits them all: each lane keeps the times
// of its entries sorted, and a pixel column is found by one binary search, so a paint costs
// at most (occupied columns x log entries) per lane, however far the view is zoomed out.
#include "registers/TraceExport.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

inline constexpr const char* kTimelineNoEntries = "No trace entries";
inline constexpr const char* kTimelineRulerTitle = "Time since first access";
inline constexpr const char* kTimelineWholeTrace = "Whole Trace";
inline constexpr const char* kTimelineFit = "Fit";

// What the timeline shows: "Trace addresses 0x00000 to 0x007FF (2048 entries)".
std::string TimelineRangeText(uint32_t firstAddress, size_t count);

struct TimelineLane {
    uint8_t device = 0;
    uint8_t address = 0;
    std::string name;  // the register's description, or empty
    std::vector<uint32_t> entries;  // indices into the accesses, in time order
    std::vector<uint64_t> times;  // their times, for the searches
    std::vector<uint32_t> readsBefore;  // readsBefore[k]: reads among entries[0..k)
};

class TraceTimeline {
public:
    TraceTimeline() = default;
    TraceTimeline(std::vector<TimedAccess> accesses, const TraceRegisterNames& names);

    const std::vector<TimedAccess>& Accesses() const { return accesses_; }
    // Devices in number order, each with its registers in address order.
    const std::vector<TimelineLane>& Lanes() const { return lanes_; }
    bool Empty() const { return accesses_.empty(); }
    // Times of the first and the last access (0 for an empty trace).
    uint64_t Begin() const { return accesses_.empty() ? 0 : accesses_.front().time; }
    uint64_t End() const { return accesses_.empty() ? 0 : accesses_.back().time; }

private:
    std::vector<TimedAccess> accesses_;
    std::vector<TimelineLane> lanes_;
};

// Time <-> pixel: x = (t - start) / usPerPixel, in microseconds of unwrapped trace time.
struct TimeScale {
    double start = 0;  // the time at the left edge of the lanes (x = 0)
    double usPerPixel = 1;  // microseconds one pixel column spans

    double ToX(double time) const { return (time - start) / usPerPixel; }
    double ToTime(double x) const { return start + x * usPerPixel; }
    // The pixel column a time falls on (may lie outside the lanes).
    int64_t Column(uint64_t time) const;
};

// The closest zoom: 64 pixel columns per microsecond.
inline constexpr double kTimelineMinUsPerPixel = 1.0 / 64;

// The whole capture in width pixels, with a little room at either end: the widest view.
TimeScale FitScale(uint64_t begin, uint64_t end, int width);
// The view kept within the capture: never wider than FitScale, never closer than the closest
// zoom, never scrolled past the room FitScale leaves at either end.
TimeScale ClampScale(TimeScale scale, uint64_t begin, uint64_t end, int width);
// Zoomed in by factor (> 1 closer, < 1 farther) around column anchorX, whose time stays put.
TimeScale ZoomScale(const TimeScale& scale, double anchorX, double factor, uint64_t begin, uint64_t end,
                    int width);
// Dragged by dx pixels: the picture follows the mouse.
TimeScale PanScale(const TimeScale& scale, double dx, uint64_t begin, uint64_t end, int width);

// The accesses of one lane that fall on one pixel column.
struct TimelineColumn {
    int x = 0;  // the column
    uint32_t count = 0;  // accesses on it
    uint32_t reads = 0;  // of them reads (the others are writes)
    uint32_t last = 0;  // index into the accesses of the latest, whose value the lane shows on
};
// The occupied columns of a lane within [0, width), left to right.
std::vector<TimelineColumn> LaneColumns(const TimelineLane& lane, const TimeScale& scale, int width);
// The lane's latest access before the time (its value is in force there), if any.
std::optional<uint32_t> LaneAccessBefore(const TimelineLane& lane, double time);
// The lane's access nearest to column x within tolerance pixels, if any: the entry under the
// cursor. Of several at the same distance, the latest.
std::optional<uint32_t> LaneAccessAt(const TimelineLane& lane, const TimeScale& scale, double x,
                                     double tolerance);

// Lanes stacked under the ruler: lane i spans [top + i * height - offset, ... + height).
struct LaneLayout {
    int top = 0;
    int height = 1;
    int offset = 0;  // pixels the lanes are scrolled up by
};
std::optional<size_t> LaneAt(const LaneLayout& layout, size_t lanes, double y);
// The largest offset that still shows the last lane at the bottom of a view of viewHeight.
int MaxLaneOffset(const LaneLayout& layout, size_t lanes, int viewHeight);

struct RulerTick {
    double x = 0;
    std::string label;  // time since origin
};
// Ticks at round steps (1, 2, 5 times a power of ten microseconds, at least 1 us) no closer
// than minSpacing pixels, labelled with the time since origin in the unit the step suits.
std::vector<RulerTick> RulerTicks(const TimeScale& scale, int width, uint64_t origin, double minSpacing);
// A time span in the unit a step suits: "40 us", "1.25 ms", "3 s".
std::string SpanText(double microseconds, double step);

// What the cursor shows of an access: where the board keeps it, its timestamp and the time
// since the first access, device, register (with its name), direction, value.
std::string CursorText(const TraceTimeline& timeline, uint32_t access);
// The cursor over no access: the time since the first access.
std::string CursorTimeText(const TraceTimeline& timeline, double time);
