#pragma once
// Serves one simulated board on a pseudo-terminal, so that the program (or any terminal tool)
// can open the slave side as if it were the board's serial port. One thread moves bytes in
// both directions and lets the board's time follow real time. No globals: several servers may
// run in one process (mb805q-sim has one, `tr805q --simulate` another). With a line rate the
// bytes move at the wire speed of a serial line of that baud rate, as on the kit.
#include "link/PortTable.h"
#include "sim/Board.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace sim {

class PtyServer {
public:
    explicit PtyServer(std::unique_ptr<Board> board = std::make_unique<Board>());
    ~PtyServer();  // stops serving
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Opens a pseudo-terminal, registers its slave in `table` as the lowest free COM number
    // (no registration without a table), held with an owner record for as long as this
    // process lives (PortTable::RegisterOwned), and starts serving. False, with `error` set and
    // nothing left open, when a step fails. A server starts once.
    bool Start(std::optional<PortTable> table = std::nullopt, std::string* error = nullptr);
    // Before Start: every byte the board sends and takes goes at the wire time of a serial line
    // of `baud` (10 bits a byte, both directions on one wire time); 0, the default: at once.
    void SetLineRate(uint32_t baud) { lineRate_ = baud; }
    uint32_t LineRate() const { return lineRate_; }
    // Stops the thread, closes the pty and removes the port-table link. Safe to call twice.
    void Stop();

    bool Running() const { return running_; }
    // The COM number the pty took, -1 when not registered.
    int PortNumber() const { return portNumber_; }
    // The slave's device path ("/dev/pts/3"), empty before Start.
    const std::string& DevicePath() const { return devicePath_; }
    // The board closed the line (Faults::closeAfterBytes): the pty is closed, the thread has
    // ended; Stop still removes the port-table link.
    bool LineClosed() const { return lineClosed_; }

    // Runs fn with the board while the serving thread keeps off it.
    void WithBoard(const std::function<void(Board&)>& fn);

private:
    void Serve();
    void ClosePty();
    void TakeCloseEvents();

    std::unique_ptr<Board> board_;
    std::mutex boardMutex_;
    PortTable::OwnedNumber owned_;
    int portNumber_ = -1;
    std::string devicePath_;
    int master_ = -1;
    int slave_ = -1;  // kept open so that the master never sees a hang-up between opens
    int closeWatch_ = -1;  // inotify: the program's opens and closes of the slave
    int wakeRead_ = -1;  // a pipe that wakes the thread for Stop
    int wakeWrite_ = -1;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> running_{false};
    std::atomic<bool> lineClosed_{false};
    bool started_ = false;
    uint32_t lineRate_ = 0;
};

}  // namespace sim
