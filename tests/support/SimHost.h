#pragma once
// A page's surroundings for tests: the board object connected to the simulated board in this
// process, a fake clock, and recorders for what the user would see.
#include "link/PageHost.h"
#include "sim/Board.h"
#include "tests/support/Recorders.h"

#include <array>

class SimHost : public PageHost {
public:
    explicit SimHost(sim::BoardConfig config = {});
    ~SimHost() override;

    CMB805QBrd& Board() override { return board; }
    UserPrompts& Prompts() override { return prompts; }
    Clock& GetClock() override { return clock; }
    bool KernletLoaded(uint8_t device) const override { return kernlet[device - 1]; }
    void SetKernletLoaded(uint8_t device, bool loaded) override { kernlet[device - 1] = loaded; }
    uint8_t KernletOptions() const override { return kernletOptions; }
    ProgressSink& Progress() override { return progressSink; }

    // Requests the simulated board received, as upper-case hex lines.
    const std::vector<std::string>& Requests() const { return requests; }

    FakeClock clock;
    RecordingPrompts prompts;
    RecordingProgress progress;
    RecordingProgressSink progressSink;  // the pages' and the firmware download's
    sim::Board simBoard;
    CMB805QBrd board;
    std::array<bool, 3> kernlet{};
    uint8_t kernletOptions = 0;
    std::vector<std::string> requests;
};
