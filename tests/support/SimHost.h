#pragma once
// The board the tests stand on: the simulated board in this process, behind the program's own
// serial port, link and board object, on a fake clock; and a page's surroundings around it.
//
// SimLine is the board and the way to it. Everything that opens a port in a test opens it
// through SimLine: a board object of its own (SimHost), the window's sheet (whose board object
// the sheet owns), or a test that puts a tap or a fault between the port and the board.
#include "core/Clock.h"
#include "core/PageHost.h"
#include "link/MB805QBrd.h"
#include "link/SerialDevice.h"
#include "link/SerialPort.h"
#include "sim/Board.h"
#include "tests/support/Recorders.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Opens `port` on the devices `opener` makes, as the program opens the board's port: 115200 8N1,
// the board's timeouts. Every board a test puts behind a port is opened this way.
void OpenBoardPort(CSerialPort& port, CSerialPort::DeviceOpener opener, int number = 1);

class SimLine {
public:
    explicit SimLine(sim::BoardConfig config = {});

    // A device on the board, as the port's opener hands it out: the line takes real time per
    // byte at `lineRate`, and `wrapDevice`, when set, stands between the port and the board.
    std::unique_ptr<SerialDevice> NewDevice();
    // Opens `port` on the board as the program opens the board's port: 115200 8N1, the board's
    // timeouts. Called again, it reopens the port, so a changed lineRate or wrapDevice holds.
    void Connect(CSerialPort& port, int number = 1);

    FakeClock clock;
    sim::Board simBoard;
    // Requests the simulated board received, as upper-case hex lines.
    std::vector<std::string> requests;
    uint32_t lineRate = 0;  // baud of the line in real time; 0: instant
    std::function<std::unique_ptr<SerialDevice>(std::unique_ptr<SerialDevice>)> wrapDevice;
};

// A page's surroundings: the board object connected to the simulated board, and recorders for
// what the user would see.
class SimHost : public PageHost, public SimLine {
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

    const std::vector<std::string>& Requests() const { return requests; }
    // Opens the board object's port again (after a change of lineRate or wrapDevice).
    void Reconnect() { Connect(board.Link().Port()); }

    RecordingPrompts prompts;
    RecordingProgress progress;
    RecordingProgressSink progressSink;  // the pages' and the firmware download's
    CMB805QBrd board;
    std::array<bool, 3> kernlet{};
    uint8_t kernletOptions = 0;
};
