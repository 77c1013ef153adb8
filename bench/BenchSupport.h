#pragma once
// What the pty benchmarks share: quiet stand-ins for the user's screen, a raw pty pair as the
// baseline, and the program's side (a page host) on the pty of a simulated board.
#include "core/PageHost.h"
#include "link/ComSettings.h"
#include "link/MB805QBrd.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>

namespace bench {

// The line's own limit: 115200 baud, ten bits a byte.
inline constexpr double kWireBytesPerSecond = 115200.0 / 10.0;

class QuietPrompts final : public UserPrompts {
public:
    MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                         MsgButtons) override {
        // Completion notes are expected; anything else is worth seeing.
        if (icon == MsgIcon::Error || icon == MsgIcon::Warning) {
            std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
        }
        return MsgAnswer::Ok;
    }
    void PostQuit(int) override {}
};

class NoProgress final : public ProgressDialog {
public:
    void Create(const std::string&) override {}
    void SetRange(int, int) override {}
    void SetStep(int) override {}
    void SetPos(int p) override { pos_ = p; }
    int GetPos() const override { return pos_; }
    void StepIt() override { ++pos_; }
    void Destroy() override {}

private:
    int pos_ = 0;
};

// The program's documented fixed waits (50 ms and longer) pass at once, so that only the line
// is measured; the short polling sleeps of a wait for the board stay real, as do the port's
// time-outs.
class LineClock final : public Clock {
public:
    void SleepMs(uint32_t ms) override {
        if (ms <= 5) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        } else {
            skipped_ += ms;
        }
    }
    uint64_t NowMs() const override {
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count()) +
               skipped_;
    }

private:
    std::atomic<uint64_t> skipped_{0};
};

// The program's board object on a tty device path.
class PtyHost final : public PageHost {
public:
    explicit PtyHost(const std::string& devicePath) : board_(clock_, prompts_, progress_) {
        board_.Link().Port().OpenPath(devicePath, SerialLineSettings{});
        board_.Link().Port().SetTimeouts(kBoardTimeouts);
    }
    ~PtyHost() override { board_.Link().Port().Close(); }
    CMB805QBrd& Board() override { return board_; }
    UserPrompts& Prompts() override { return prompts_; }
    Clock& GetClock() override { return clock_; }
    bool KernletLoaded(uint8_t device) const override { return loaded_[device - 1]; }
    void SetKernletLoaded(uint8_t device, bool loaded) override { loaded_[device - 1] = loaded; }
    uint8_t KernletOptions() const override { return 0; }

private:
    LineClock clock_;
    QuietPrompts prompts_;
    NoProgress progress_;
    CMB805QBrd board_;
    std::array<bool, 3> loaded_{};
};

// A raw pty pair with nothing but the kernel between its ends: what the master receives it
// echoes (round trips) or swallows (copying).
class RawPty {
public:
    explicit RawPty(bool echo) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) throw std::runtime_error("pty");
        slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY);
        termios t{};
        tcgetattr(slave_, &t);
        cfmakeraw(&t);
        tcsetattr(slave_, TCSANOW, &t);
        peer_ = std::thread([this, echo] {
            char buf[4096];
            while (!stop_) {
                pollfd p{master_, POLLIN, 0};
                if (poll(&p, 1, 20) <= 0) continue;
                const ssize_t n = read(master_, buf, sizeof buf);
                if (n <= 0) return;
                for (ssize_t done = 0; echo && done < n;) {
                    const ssize_t w = write(master_, buf + done, static_cast<size_t>(n - done));
                    if (w <= 0) return;
                    done += w;
                }
            }
        });
    }
    ~RawPty() {
        stop_ = true;
        peer_.join();
        close(slave_);
        close(master_);
    }
    int Fd() const { return slave_; }

private:
    int master_ = -1, slave_ = -1;
    std::thread peer_;
    std::atomic<bool> stop_{false};
};

inline void ReadExactly(int fd, char* buf, size_t n) {
    for (size_t got = 0; got < n;) {
        const ssize_t r = read(fd, buf + got, n - got);
        if (r <= 0) return;
        got += static_cast<size_t>(r);
    }
}

// Raw echo round trips per second: four bytes out, four back.
inline double RawEchoRoundTrips(double seconds) {
    RawPty pty(true);
    char buf[4] = {0x7E, 0x05, 0x20, 0x01};
    long n = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() < end) {
        if (write(pty.Fd(), buf, 4) != 4) break;
        ReadExactly(pty.Fd(), buf, 4);
        ++n;
    }
    return n / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Raw copying, bytes per second, in 512-byte writes.
inline double RawCopyRate(size_t bytes) {
    RawPty pty(false);
    char block[512] = {};
    const auto start = std::chrono::steady_clock::now();
    for (size_t done = 0; done < bytes; done += sizeof block) {
        if (write(pty.Fd(), block, sizeof block) != static_cast<ssize_t>(sizeof block)) break;
    }
    tcdrain(pty.Fd());
    return bytes / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

template <typename F>
double Seconds(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace bench
