#include "sim/port/PtyServer.h"

#include "sim/LinePacer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace sim {
namespace {

// The longest the thread sleeps when nothing happens; the board's own time-outs need no
// finer steps than this.
constexpr int kIdlePollMs = 20;
// Board output held for the pty at most; beyond it the board keeps the bytes itself.
constexpr size_t kMaxPending = 64 * 1024;
// On a paced line the bytes move in pieces of this much wire time: fine enough for the board's
// pacing, coarse enough not to wake for every byte.
constexpr uint64_t kPaceQuantumMicroseconds = 2000;

uint64_t MicrosecondsSince(std::chrono::steady_clock::time_point start) {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start)
            .count());
}

std::string SystemError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

PtyServer::PtyServer(std::unique_ptr<Board> board)
    : board_(board ? std::move(board) : std::make_unique<Board>()) {}

PtyServer::~PtyServer() { Stop(); }

bool PtyServer::Start(std::optional<PortTable> table, std::string* error) {
    auto fail = [&](const std::string& text) {
        if (error) *error = text;
        ClosePty();
        CloseFd(wakeRead_);
        CloseFd(wakeWrite_);
        devicePath_.clear();
        return false;
    };
    if (started_) return fail("the simulated board is already being served");

    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) return fail(SystemError("posix_openpt"));
    if (::grantpt(master_) != 0) return fail(SystemError("grantpt"));
    if (::unlockpt(master_) != 0) return fail(SystemError("unlockpt"));
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) != 0) return fail(SystemError("ptsname_r"));
    devicePath_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) return fail(SystemError(("open " + devicePath_).c_str()));
    // The program takes its port for itself (TIOCEXCL) and gives it back when it closes it; one
    // that is killed cannot, and every later open by an ordinary user would fail as busy. The
    // kernel reports each close of the slave to a watch on its path: then the flag is lifted.
    closeWatch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (closeWatch_ < 0) return fail(SystemError("inotify_init1"));
    if (::inotify_add_watch(closeWatch_, name, IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        return fail(SystemError(("inotify_add_watch " + devicePath_).c_str()));
    }
    termios tio{};
    if (::tcgetattr(slave_, &tio) != 0) return fail(SystemError("tcgetattr"));
    ::cfmakeraw(&tio);
    if (::tcsetattr(slave_, TCSANOW, &tio) != 0) return fail(SystemError("tcsetattr"));
    const int flags = ::fcntl(master_, F_GETFL);
    if (flags < 0 || ::fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) return fail(SystemError("fcntl"));
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) return fail(SystemError("pipe2"));
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];

    if (table) {
        // Held, not just linked: should this process die without Stop, the link goes with it
        // instead of offering the next terminal that takes this pty number as the board.
        owned_ = table->RegisterOwned(devicePath_);
        if (!owned_) {
            return fail("cannot register " + devicePath_ + " as a COM port in " + table->Folder().string());
        }
        portNumber_ = owned_.Number();
    }

    started_ = true;
    stop_ = false;
    running_ = true;
    thread_ = std::thread(&PtyServer::Serve, this);
    return true;
}

void PtyServer::Stop() {
    if (thread_.joinable()) {
        stop_ = true;
        const uint8_t wake = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(wakeWrite_, &wake, 1);
        thread_.join();
    }
    running_ = false;
    ClosePty();
    CloseFd(wakeRead_);
    CloseFd(wakeWrite_);
    owned_.Release();
    portNumber_ = -1;
}

void PtyServer::ClosePty() {
    CloseFd(closeWatch_);
    CloseFd(master_);
    CloseFd(slave_);
}

void PtyServer::TakeCloseEvents() {
    // Events are read in the order they happened. The flag is lifted when the last of them is
    // a close: an open after it is a new program whose own flag must stay.
    alignas(inotify_event) char events[4096];
    bool lift = false;
    for (;;) {
        const ssize_t n = ::read(closeWatch_, events, sizeof events);
        if (n <= 0) break;  // EAGAIN: all taken
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            inotify_event event;
            std::memcpy(&event, events + at, sizeof event);
            if (event.mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE | IN_Q_OVERFLOW)) lift = true;
            if (event.mask & IN_OPEN) lift = false;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
        }
    }
    if (lift) ::ioctl(slave_, TIOCNXCL);
}

void PtyServer::WithBoard(const std::function<void(Board&)>& fn) {
    std::lock_guard lock(boardMutex_);
    fn(*board_);
}

void PtyServer::Serve() {
    using Steady = std::chrono::steady_clock;
    const auto origin = Steady::now();
    auto last = origin;
    std::vector<uint8_t> pending;  // board output the pty has not taken yet
    uint8_t buffer[4096];
    LinePacer line(lineRate_);
    // Bytes moved at a time on a paced line; all there are otherwise.
    const size_t piece = line.Paced()
                             ? static_cast<size_t>(std::min<uint64_t>(
                                   sizeof buffer, LinePacer::BytesIn(kPaceQuantumMicroseconds, lineRate_)))
                             : sizeof buffer;

    while (!stop_) {
        int timeout = kIdlePollMs;
        {
            std::lock_guard lock(boardMutex_);
            if (const auto next = board_->NextEventMicroseconds()) {
                const uint64_t now = board_->NowMicroseconds();
                const uint64_t micros = *next > now ? *next - now : 0;
                timeout = static_cast<int>(std::min<uint64_t>(kIdlePollMs, (micros + 999) / 1000));
            }
        }
        // While the line is busy with bytes already moved, nothing more goes either way: the
        // thread sleeps until it is free.
        const uint64_t busy = line.Busy(MicrosecondsSince(origin));
        if (busy > 0) timeout = static_cast<int>(std::min<uint64_t>(timeout, (busy + 999) / 1000));
        const short masterEvents =
            busy > 0 ? 0 : static_cast<short>(POLLIN | (pending.empty() ? 0 : POLLOUT));
        pollfd fds[3] = {{master_, masterEvents, 0}, {wakeRead_, POLLIN, 0}, {closeWatch_, POLLIN, 0}};
        const int ready = ::poll(fds, 3, timeout);
        if (ready < 0 && errno != EINTR) break;
        if (stop_) break;
        if (ready > 0 && (fds[2].revents & POLLIN)) TakeCloseEvents();

        std::lock_guard lock(boardMutex_);
        const auto now = Steady::now();
        const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(now - last).count();
        if (elapsed > 0) {
            board_->AdvanceTime(static_cast<uint64_t>(elapsed));
            last = now;
        }
        if (ready > 0 && (fds[0].revents & (POLLERR | POLLNVAL))) break;
        if (ready > 0 && (fds[0].revents & POLLIN)) {
            const ssize_t n = ::read(master_, buffer, piece);
            if (n > 0) {
                line.Move(static_cast<uint64_t>(n), MicrosecondsSince(origin));
                board_->Receive(buffer, static_cast<size_t>(n));
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                break;  // the pty failed under us; nothing more can be served
            }
        }
        if (board_->LineClosed()) {
            // The fault closes the line: the program's port fails from now on.
            lineClosed_ = true;
            ClosePty();
            break;
        }
        while (pending.size() < kMaxPending) {
            const size_t k = board_->Take(buffer, sizeof buffer);
            if (k == 0) break;
            pending.insert(pending.end(), buffer, buffer + k);
        }
        if (!pending.empty() && line.Busy(MicrosecondsSince(origin)) == 0) {
            const ssize_t n = ::write(master_, pending.data(), std::min(pending.size(), piece));
            if (n > 0) {
                line.Move(static_cast<uint64_t>(n), MicrosecondsSince(origin));
                pending.erase(pending.begin(), pending.begin() + n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                break;
            }
        }
    }
    running_ = false;
}

}  // namespace sim
