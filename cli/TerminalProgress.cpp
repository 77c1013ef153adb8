#include "cli/TerminalProgress.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace {

struct Fill {
    int percent;
    int filled;  // characters of the bar
};

Fill FillOf(uint64_t done, uint64_t total) {
    if (total == 0) return {100, TerminalProgress::kBarWidth};
    const uint64_t d = std::min(done, total);
    return {static_cast<int>(d * 100 / total), static_cast<int>(d * TerminalProgress::kBarWidth / total)};
}

}  // namespace

std::string TerminalProgress::Line(const std::string& caption, uint64_t done, uint64_t total,
                                   const std::string& unit) {
    const Fill f = FillOf(done, total);
    std::string bar(static_cast<size_t>(f.filled), '#');
    bar.append(static_cast<size_t>(kBarWidth - f.filled), '.');
    char numbers[80];
    std::snprintf(numbers, sizeof numbers, "] %3d%% %llu/%llu ", f.percent,
                  static_cast<unsigned long long>(done), static_cast<unsigned long long>(total));
    return caption + " [" + bar + numbers + unit;
}

void TerminalProgress::Begin(const std::string& caption, uint64_t total, const std::string& unit) {
    if (active_) End();
    active_ = true;
    caption_ = caption;
    unit_ = unit;
    total_ = total;
    done_ = 0;
    drawnPercent_ = drawnFilled_ = -1;
    Draw();
}

void TerminalProgress::Advance(uint64_t done) {
    if (!active_) return;
    done_ = std::max(done_, done);
    const Fill f = FillOf(done_, total_);
    if (!lineOpen_ || f.percent != drawnPercent_ || f.filled != drawnFilled_ ||
        (done_ == total_ && drawnDone_ != done_)) {
        Draw();
    }
}

void TerminalProgress::End() {
    if (!active_) return;
    active_ = false;
    if (!on_) return;
    // The last count shows in full, also when its step was not drawn.
    if (lineOpen_ && drawnDone_ != done_) Draw();
    BreakLine();
}

void TerminalProgress::BreakLine() {
    if (!lineOpen_) return;
    out_ << '\n' << std::flush;
    lineOpen_ = false;
}

void TerminalProgress::Draw() {
    if (!on_) return;
    const Fill f = FillOf(done_, total_);
    // The line only grows (the count never falls), so redrawing over it leaves nothing behind.
    out_ << '\r' << Line(caption_, done_, total_, unit_) << std::flush;
    lineOpen_ = true;
    drawnPercent_ = f.percent;
    drawnFilled_ = f.filled;
    drawnDone_ = done_;
}
