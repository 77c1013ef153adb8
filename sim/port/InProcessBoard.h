#pragma once
// The simulated board inside the program, behind a board link's port: the in-process board of
// `tr805q-cli --simulate` and of the Python module's simulated kit. Its waits run on a fake
// clock of its own, so whoever drives it waits no real time.
#include "core/Clock.h"
#include "link/SerialPort.h"
#include "sim/Board.h"

#include <cstdint>

namespace sim {

class InProcessBoard {
public:
    // lineRate: each byte takes the wire time of a line of that baud rate (0: none).
    explicit InProcessBoard(const BoardConfig& config, uint32_t lineRate = 0);
    InProcessBoard(const InProcessBoard&) = delete;
    InProcessBoard& operator=(const InProcessBoard&) = delete;

    Board& board() { return board_; }
    FakeClock& clock() { return clock_; }
    // Every open of `port` from now on opens this board, whatever number it names.
    void ServeOn(CSerialPort& port);

    // The clock a host waits on: the simulated board's, or the system's for a real port.
    static Clock& HostClock(InProcessBoard* simulated);

private:
    FakeClock clock_;
    Board board_;
    uint32_t lineRate_;
};

}  // namespace sim
