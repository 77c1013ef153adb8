#pragma once
// tr805q-cli's progress of a long board operation, drawn on standard error as flashing tools
// draw it:
//
//     Saving trace [######..............]  31% 40960/131072 entries
//
// redrawn in place with a carriage return at each step and ended with a line feed. Off when
// standard error is not a terminal (logs stay clean) or with --quiet: then nothing is written.
#include "core/ProgressSink.h"

#include <cstdint>
#include <iosfwd>
#include <string>

class TerminalProgress final : public ProgressSink {
public:
    static constexpr int kBarWidth = 20;

    TerminalProgress(std::ostream& out, bool on) : out_(out), on_(on) {}

    void Begin(const std::string& caption, uint64_t total, const std::string& unit) override;
    void Advance(uint64_t done) override;
    void End() override;

    // A message is about to be printed on the same stream: the bar's line is ended first, so
    // the message starts on a line of its own; the next step draws the bar again beneath it.
    void BreakLine();

    // One state of the bar, without the carriage return.
    static std::string Line(const std::string& caption, uint64_t done, uint64_t total,
                            const std::string& unit);

private:
    void Draw();

    std::ostream& out_;
    const bool on_;
    bool active_ = false;  // between Begin and End
    bool lineOpen_ = false;  // the bar's line is on the terminal, not yet ended
    std::string caption_, unit_;
    uint64_t total_ = 0, done_ = 0;
    // What the bar showed when last drawn: a step that changes neither the percentage nor the
    // bar is not drawn (a script download counts thousands of records).
    int drawnPercent_ = -1, drawnFilled_ = -1;
    uint64_t drawnDone_ = 0;
};
