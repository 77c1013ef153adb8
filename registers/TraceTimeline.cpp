#include "registers/TraceTimeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace {

// Room FitScale leaves at either end, as a share of the width.
constexpr double kFitMargin = 0.03;
// A capture shorter than this is shown as if it lasted this long, centred.
constexpr double kShortestSpan = 10.0;

}  // namespace

TraceTimeline::TraceTimeline(std::vector<TimedAccess> accesses, const TraceRegisterNames& names)
    : accesses_(std::move(accesses)) {
    std::map<RegisterKey, size_t> laneOf;
    for (const TimedAccess& a : accesses_) laneOf.emplace(RegisterKey{a.record.device, a.record.address}, 0);
    lanes_.reserve(laneOf.size());
    for (auto& [key, index] : laneOf) {
        index = lanes_.size();
        TimelineLane lane;
        lane.device = key.first;
        lane.address = key.second;
        const auto name = names.find(key);
        if (name != names.end()) lane.name = name->second;
        lane.readsBefore.push_back(0);
        lanes_.push_back(std::move(lane));
    }
    for (size_t i = 0; i < accesses_.size(); ++i) {
        const TraceRecord& r = accesses_[i].record;
        TimelineLane& lane = lanes_[laneOf[{r.device, r.address}]];
        lane.entries.push_back(static_cast<uint32_t>(i));
        lane.times.push_back(accesses_[i].time);
        lane.readsBefore.push_back(lane.readsBefore.back() + (r.direction ? 1 : 0));
    }
}

int64_t TimeScale::Column(uint64_t time) const {
    // Far outside the view the exact column does not matter, only its side.
    const double x = std::floor(ToX(static_cast<double>(time)));
    constexpr double kFar = 4.0e18;
    return static_cast<int64_t>(std::clamp(x, -kFar, kFar));
}

TimeScale FitScale(uint64_t begin, uint64_t end, int width) {
    const double w = std::max(width, 1);
    const double actual = static_cast<double>(end - begin);
    const double span = std::max(actual, kShortestSpan);
    TimeScale s;
    s.usPerPixel = span / (w * (1 - 2 * kFitMargin));
    s.start = static_cast<double>(begin) - (span - actual) / 2 - kFitMargin * w * s.usPerPixel;
    return s;
}

TimeScale ClampScale(TimeScale scale, uint64_t begin, uint64_t end, int width) {
    const double w = std::max(width, 1);
    const TimeScale fit = FitScale(begin, end, width);
    const double widest = std::max(fit.usPerPixel, kTimelineMinUsPerPixel);
    if (!(scale.usPerPixel >= kTimelineMinUsPerPixel)) scale.usPerPixel = kTimelineMinUsPerPixel;
    scale.usPerPixel = std::min(scale.usPerPixel, widest);
    const double lo = fit.start;
    const double hi = fit.start + w * fit.usPerPixel - w * scale.usPerPixel;
    scale.start = hi < lo ? lo : std::clamp(scale.start, lo, hi);
    return scale;
}

TimeScale ZoomScale(const TimeScale& scale, double anchorX, double factor, uint64_t begin, uint64_t end,
                    int width) {
    if (!(factor > 0)) return ClampScale(scale, begin, end, width);
    const double anchor = scale.ToTime(anchorX);
    TimeScale zoomed = ClampScale({scale.start, scale.usPerPixel / factor}, begin, end, width);
    zoomed.start = anchor - anchorX * zoomed.usPerPixel;
    return ClampScale(zoomed, begin, end, width);
}

TimeScale PanScale(const TimeScale& scale, double dx, uint64_t begin, uint64_t end, int width) {
    return ClampScale({scale.start - dx * scale.usPerPixel, scale.usPerPixel}, begin, end, width);
}

std::vector<TimelineColumn> LaneColumns(const TimelineLane& lane, const TimeScale& scale, int width) {
    std::vector<TimelineColumn> columns;
    const auto& times = lane.times;
    auto it =
        std::partition_point(times.begin(), times.end(), [&](uint64_t t) { return scale.Column(t) < 0; });
    while (it != times.end()) {
        const int64_t x = scale.Column(*it);
        if (x >= width) break;
        const auto next =
            std::partition_point(it, times.end(), [&](uint64_t t) { return scale.Column(t) <= x; });
        const auto i = static_cast<size_t>(it - times.begin());
        const auto j = static_cast<size_t>(next - times.begin());
        columns.push_back({static_cast<int>(x), static_cast<uint32_t>(j - i),
                           lane.readsBefore[j] - lane.readsBefore[i], lane.entries[j - 1]});
        it = next;
    }
    return columns;
}

std::optional<uint32_t> LaneAccessBefore(const TimelineLane& lane, double time) {
    const auto it = std::partition_point(lane.times.begin(), lane.times.end(),
                                         [&](uint64_t t) { return static_cast<double>(t) < time; });
    if (it == lane.times.begin()) return std::nullopt;
    return lane.entries[static_cast<size_t>(it - lane.times.begin()) - 1];
}

std::optional<uint32_t> LaneAccessAt(const TimelineLane& lane, const TimeScale& scale, double x,
                                     double tolerance) {
    const auto& times = lane.times;
    const double at = scale.ToTime(x);
    const auto right = std::partition_point(times.begin(), times.end(),
                                            [&](uint64_t t) { return static_cast<double>(t) < at; });
    std::optional<size_t> best;
    double bestDistance = tolerance;
    if (right != times.begin()) {
        // The last entry before the cursor is the latest of its microsecond.
        const double d = x - scale.ToX(static_cast<double>(*(right - 1)));
        if (d <= bestDistance) {
            best = static_cast<size_t>(right - times.begin()) - 1;
            bestDistance = d;
        }
    }
    if (right != times.end()) {
        const double d = scale.ToX(static_cast<double>(*right)) - x;
        if (d <= bestDistance) {
            // The latest of the entries at that time.
            const auto last = std::upper_bound(right, times.end(), *right);
            best = static_cast<size_t>(last - times.begin()) - 1;
        }
    }
    if (!best) return std::nullopt;
    return lane.entries[*best];
}

std::optional<size_t> LaneAt(const LaneLayout& layout, size_t lanes, double y) {
    if (y < layout.top || layout.height <= 0) return std::nullopt;
    const double i = std::floor((y - layout.top + layout.offset) / layout.height);
    if (i < 0 || i >= static_cast<double>(lanes)) return std::nullopt;
    return static_cast<size_t>(i);
}

int MaxLaneOffset(const LaneLayout& layout, size_t lanes, int viewHeight) {
    const long long total = static_cast<long long>(lanes) * layout.height;
    return static_cast<int>(std::max<long long>(0, total - (viewHeight - layout.top)));
}

std::string SpanText(double microseconds, double step) {
    const char* unit = "us";
    double value = microseconds;
    int decimals = 0;
    const int magnitude = step > 0 ? static_cast<int>(std::floor(std::log10(step) + 1e-9)) : 0;
    if (step >= 100000) {
        unit = "s";
        value /= 1e6;
        decimals = std::max(0, 6 - magnitude);
    } else if (step >= 100) {
        unit = "ms";
        value /= 1e3;
        decimals = std::max(0, 3 - magnitude);
    }
    // A value that rounds to zero is written "0", never "-0".
    if (std::fabs(value) < 0.5 * std::pow(10.0, -decimals)) value = 0;
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.*f %s", decimals, value, unit);
    return buffer;
}

std::vector<RulerTick> RulerTicks(const TimeScale& scale, int width, uint64_t origin, double minSpacing) {
    std::vector<RulerTick> ticks;
    if (width <= 0 || !(scale.usPerPixel > 0) || !(minSpacing > 0)) return ticks;
    const double raw = minSpacing * scale.usPerPixel;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    double step = 10 * magnitude;
    for (double m : {1.0, 2.0, 5.0}) {
        if (m * magnitude >= raw) {
            step = m * magnitude;
            break;
        }
    }
    step = std::max(step, 1.0);
    const double o = static_cast<double>(origin);
    const double first = std::ceil((scale.start - o) / step) * step;
    const auto most = static_cast<size_t>(width / minSpacing) + 2;
    for (double v = first; ticks.size() < most; v += step) {
        const double x = scale.ToX(o + v);
        if (x >= width) break;
        ticks.push_back({x, SpanText(v, step)});
    }
    return ticks;
}

std::string CursorText(const TraceTimeline& timeline, uint32_t access) {
    const TimedAccess& a = timeline.Accesses().at(access);
    const TraceRecord& r = a.record;
    std::string name;
    for (const TimelineLane& lane : timeline.Lanes()) {
        if (lane.device == r.device && lane.address == r.address && !lane.name.empty())
            name = " " + lane.name;
    }
    char buffer[160];
    std::snprintf(buffer, sizeof buffer,
                  "Trace Address 0x%05X  Timestamp %010u us  +%llu us  Device %d  Address 0x%02X",
                  a.traceAddress, static_cast<unsigned>(r.timestamp),
                  static_cast<unsigned long long>(a.time - timeline.Begin()), r.device, r.address);
    std::string text = buffer + name;
    std::snprintf(buffer, sizeof buffer, "  %s 0x%04X  Access %d of %d", r.direction ? "Read" : "Write",
                  r.data, r.accessNumber, r.accessCount);
    return text + buffer;
}

std::string CursorTimeText(const TraceTimeline& timeline, double time) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%+.1f us", time - static_cast<double>(timeline.Begin()));
    return buffer;
}

std::string TimelineRangeText(uint32_t firstAddress, size_t count) {
    if (count == 0) return kTimelineNoEntries;
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "Trace addresses 0x%05X to 0x%05X (%zu %s)", firstAddress,
                  static_cast<unsigned>(firstAddress + count - 1), count, count == 1 ? "entry" : "entries");
    return buffer;
}
