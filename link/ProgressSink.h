#pragma once
// How far a long board operation has come, for a screen that shows it while the operation runs:
// tr805q-cli draws a bar on a terminal, the window a progress dialog. On the kit's line the
// long ones take long (a full trace save about 160 s, a Kernlet of 50 blocks 36 s, the largest
// firmware file 11 s), and without it the program would look hung.
//
// An operation calls Begin once with what it does and how much there is, Advance as it goes
// (on the thread that runs the operation, between its board exchanges), and End when it is
// over, whether it succeeded or failed half way. Nothing the sink does changes what is sent to
// the board. ProgressScope makes the End certain, also when a port failure is raised.
#include <cstdint>
#include <string>

class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    // caption: what is being done ("Saving trace"); total: how many units the whole operation
    // moves at most (an operation may end below it: a trace shorter than the trace memory);
    // unit: what is counted, plural ("entries", "blocks", "records").
    virtual void Begin(const std::string& caption, uint64_t total, const std::string& unit) = 0;
    // done: units finished so far, 0..total, never less than the last call's.
    virtual void Advance(uint64_t done) = 0;
    // The operation is over; the next Begin starts a new one.
    virtual void End() = 0;
};

// Shows nothing: where no screen follows the operation.
class NoProgressSink final : public ProgressSink {
public:
    void Begin(const std::string&, uint64_t, const std::string&) override {}
    void Advance(uint64_t) override {}
    void End() override {}
    static NoProgressSink& Instance() {
        static NoProgressSink none;
        return none;
    }
};

// Begin at construction, End when it goes out of scope.
class ProgressScope {
public:
    ProgressScope(ProgressSink& sink, const std::string& caption, uint64_t total, const std::string& unit)
        : sink_(sink) {
        sink_.Begin(caption, total, unit);
    }
    ~ProgressScope() { sink_.End(); }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;
    void Advance(uint64_t done) { sink_.Advance(done); }

private:
    ProgressSink& sink_;
};
