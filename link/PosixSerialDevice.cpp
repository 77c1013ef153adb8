// The COM port on a POSIX tty: termios for the line settings, poll for the time-outs.
#include "link/OutputDrain.h"
#include "link/ReadAhead.h"
#include "link/SerialPort.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/serial.h>
#endif

namespace {

// The time-outs a device starts with: those the program sets once a port is open, so that no
// read waits without a limit before anyone set them.
constexpr SerialTimeouts kInitialTimeouts{500, 1, 500, 1, 500};

[[noreturn]] void Raise(int code, std::string detail) {
    throw CSerialException(static_cast<uint32_t>(code), std::move(detail));
}

// Raises with errno of the call that just failed (EIO when it left none).
[[noreturn]] void RaiseErrno(const std::string& what) {
    int code = errno;
    Raise(code != 0 ? code : EIO, what);
}

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

struct BaudRate {
    uint32_t rate;
    speed_t code;
};

constexpr BaudRate kBaudRates[] = {
    {50, B50},           {75, B75},         {110, B110},       {134, B134},     {150, B150},
    {200, B200},         {300, B300},       {600, B600},       {1200, B1200},   {1800, B1800},
    {2400, B2400},       {4800, B4800},     {9600, B9600},     {19200, B19200}, {38400, B38400},
    {57600, B57600},     {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B576000
    {576000, B576000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
#ifdef B1152000
    {1152000, B1152000},
#endif
#ifdef B1500000
    {1500000, B1500000},
#endif
#ifdef B2000000
    {2000000, B2000000},
#endif
#ifdef B2500000
    {2500000, B2500000},
#endif
#ifdef B3000000
    {3000000, B3000000},
#endif
#ifdef B3500000
    {3500000, B3500000},
#endif
#ifdef B4000000
    {4000000, B4000000},
#endif
};

const char* FlowControlName(int code) {
    switch (code) {
        case FlowCtsDtr: return "CTS/DTR";
        case FlowDsrRts: return "DSR/RTS";
        case FlowDsrDtr: return "DSR/DTR";
        default: return nullptr;
    }
}

// Builds the termios record for the settings, raising before anything reaches the device when
// a setting has no termios form.
void ApplySettings(termios& t, const SerialLineSettings& s) {
    const BaudRate* rate = std::find_if(std::begin(kBaudRates), std::end(kBaudRates),
                                        [&](const BaudRate& b) { return b.rate == s.baud; });
    if (rate == std::end(kBaudRates)) {
        Raise(EINVAL, "The baud rate " + std::to_string(s.baud) + " is not available on this platform");
    }

    tcflag_t size = 0;
    switch (s.dataBits) {
        case 5: size = CS5; break;
        case 6: size = CS6; break;
        case 7: size = CS7; break;
        case 8: size = CS8; break;
        default: Raise(EINVAL, std::to_string(s.dataBits) + " data bits are not available on a serial port");
    }

    tcflag_t parity = 0;
    switch (s.parity) {
        case ParityNone: parity = 0; break;
        case ParityEven: parity = PARENB; break;
        case ParityOdd: parity = PARENB | PARODD; break;
        case ParityMark: parity = PARENB | CMSPAR | PARODD; break;
        case ParitySpace: parity = PARENB | CMSPAR; break;
        default: Raise(EINVAL, "Parity code " + std::to_string(s.parity) + " is not known");
    }

    tcflag_t stop = 0;
    switch (s.stopBits) {
        case StopOne: stop = 0; break;
        case StopTwo: stop = CSTOPB; break;
        case StopOneAndHalf: Raise(EINVAL, "One and a half stop bits are not available on this platform");
        default: Raise(EINVAL, "Stop-bits code " + std::to_string(s.stopBits) + " is not known");
    }

    bool ctsRts = false;
    bool xonXoff = false;
    switch (s.flowControl) {
        case FlowNone: break;
        case FlowCtsRts: ctsRts = true; break;
        case FlowXonXoff: xonXoff = true; break;
        case FlowCtsDtr:
        case FlowDsrRts:
        case FlowDsrDtr:
            // termios offers only RTS/CTS hardware handshake; a port that silently ran without
            // the handshake the user chose would lose data.
            Raise(EINVAL, std::string("Flow control ") + FlowControlName(s.flowControl) +
                              " is not available on this platform");
        default: Raise(EINVAL, "Flow-control code " + std::to_string(s.flowControl) + " is not known");
    }

    // Raw bytes: no line editing, no translation, no signals, no echo.
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                        IXOFF | IXANY | INPCK);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD | size | parity | stop;
    if (ctsRts) t.c_cflag |= CRTSCTS;
    if (xonXoff) {
        // The XON/XOFF limits (100 bytes each way) have no termios form; the driver uses its own.
        t.c_iflag |= IXON | IXOFF;
        t.c_cc[VSTART] = 0x11;
        t.c_cc[VSTOP] = 0x13;
    }
    // Reads never wait in the driver; poll does the waiting.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;

    if (cfsetispeed(&t, rate->code) != 0 || cfsetospeed(&t, rate->code) != 0) {
        Raise(EINVAL, "The baud rate " + std::to_string(s.baud) + " is not available on this platform");
    }
}

class PosixSerialDevice final : public SerialDevice, private ReceiveQueue {
public:
    explicit PosixSerialDevice(std::string path)
        : path_(std::move(path)), readAhead_(*this, SystemClock::Instance()) {
        do {
            fd_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        } while (fd_ < 0 && errno == EINTR);
        if (fd_ < 0) RaiseErrno("Cannot open " + path_);
        if (!::isatty(fd_)) {
            int code = errno != 0 ? errno : ENOTTY;
            ::close(fd_);
            fd_ = -1;
            Raise(code, path_ + " is not a serial device");
        }
        // No sharing: nobody else may open the port while we have it. Pseudo-terminals may
        // refuse; the port still works.
        (void)::ioctl(fd_, TIOCEXCL);
        AskForLowLatency();
    }

    ~PosixSerialDevice() override {
        if (fd_ >= 0) {
            // The exclusive mark stays with the tty; lift it so the port can be opened again.
            (void)::ioctl(fd_, TIOCNXCL);
            ::close(fd_);
        }
    }

    PosixSerialDevice(const PosixSerialDevice&) = delete;
    PosixSerialDevice& operator=(const PosixSerialDevice&) = delete;

    void Configure(const SerialLineSettings& settings) override {
        termios t{};
        if (RetryEintr([&] { return ::tcgetattr(fd_, &t); }) != 0) {
            RaiseErrno("Cannot read the line settings of " + path_);
        }
        ApplySettings(t, settings);
        if (RetryEintr([&] { return ::tcsetattr(fd_, TCSANOW, &t); }) != 0) {
            RaiseErrno("Cannot set the line settings of " + path_);
        }
    }

    void SetTimeouts(const SerialTimeouts& timeouts) override { timeouts_ = timeouts; }
    SerialTimeouts GetTimeouts() const override { return timeouts_; }

    // The time-outs are the read-ahead's (see ReadAhead::Read); the protocol's one-byte reads
    // are mostly served from what it holds, without a system call.
    size_t Read(uint8_t* buffer, size_t n) override { return readAhead_.Read(buffer, n, timeouts_); }

    // Writes until every byte has gone or the write total time-out has passed (a minute when
    // the record has no write totals).
    size_t Write(const uint8_t* buffer, size_t n) override {
        if (n == 0) return 0;
        const SerialTimeouts& t = timeouts_;
        const int64_t total = t.writeTotalMultiplier != 0 || t.writeTotalConstant != 0
                                  ? TotalMs(n, t.writeTotalMultiplier, t.writeTotalConstant)
                                  : kEndlessWaitCapMs;
        const int64_t deadline = NowMs() + total;
        size_t written = 0;
        while (written < n) {
            ssize_t r = ::write(fd_, buffer + written, n - written);
            if (r > 0) {
                written += static_cast<size_t>(r);
                continue;
            }
            if (r < 0 && errno == EINTR) continue;
            if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) RaiseErrno("Cannot write to " + path_);
            int64_t wait = deadline - NowMs();
            if (wait <= 0) break;
            short revents = Poll(POLLOUT, wait);
            if ((revents & POLLOUT) == 0 && (revents & (POLLHUP | POLLERR)) != 0) {
                Raise(EIO, "The line of " + path_ + " was closed");
            }
        }
        return written;
    }

    // Waits for the driver's output queue to empty, bounded by the write time-out: tcdrain would
    // wait for ever on a line that flow control holds off.
    void Flush() override {
        const size_t queued = OutQueuedBytes();
        if (queued == 0) return;
        if (!WaitUntilSent([this] { return OutQueuedBytes(); }, SystemClock::Instance(),
                           FlushLimitMs(timeouts_, queued))) {
            Raise(ETIMEDOUT,
                  "The output of " + path_ +
                      " did not leave within the write time-out (is the line held off by flow control?)");
        }
    }

    // What the driver holds and what the read-ahead took from it but has not handed out.
    size_t QueuedBytes() override {
        const size_t count = readAhead_.Queued();
        if (count > 0) return count;
        // An empty queue on a line that hung up will stay empty: say so now rather than let
        // the caller wait for bytes that cannot come.
        short revents = Poll(POLLIN, 0);
        if ((revents & (POLLHUP | POLLERR)) != 0) Raise(EIO, "The line of " + path_ + " was closed");
        return 0;
    }

    size_t OutQueuedBytes() override {
        int count = 0;
        if (RetryEintr([&] { return ::ioctl(fd_, TIOCOUTQ, &count); }) != 0) {
            RaiseErrno("Cannot count the unsent bytes of " + path_);
        }
        return count > 0 ? static_cast<size_t>(count) : 0;
    }

private:
    size_t TakeArrived(uint8_t* buffer, size_t n) override {
        for (;;) {
            const ssize_t r = ::read(fd_, buffer, n);
            if (r > 0) return static_cast<size_t>(r);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) RaiseErrno("Cannot read from " + path_);
            return 0;
        }
    }

    bool WaitForArrival(int64_t ms) override { return (Poll(POLLIN, ms) & (POLLHUP | POLLERR)) == 0; }

    size_t DriverCount() override {
        int count = 0;
        if (RetryEintr([&] { return ::ioctl(fd_, FIONREAD, &count); }) != 0) {
            RaiseErrno("Cannot count the received bytes of " + path_);
        }
        return count > 0 ? static_cast<size_t>(count) : 0;
    }

    [[noreturn]] void RaiseLineClosed() override { Raise(EIO, "The line of " + path_ + " was closed"); }

    template <typename F>
    static int RetryEintr(F call) {
        int r;
        do {
            r = call();
        } while (r < 0 && errno == EINTR);
        return r;
    }

    static int64_t TotalMs(size_t n, uint32_t perByte, uint32_t constant) {
        // Large enough for any count and multiplier without overflow.
        uint64_t total = static_cast<uint64_t>(n) * perByte + constant;
        return static_cast<int64_t>(std::min<uint64_t>(total, INT64_MAX / 4));
    }

    // Waits up to ms for the events; returns what poll reported (0 on time-out or signal).
    short Poll(short events, int64_t ms) {
        pollfd p{fd_, events, 0};
        int r = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(ms, INT_MAX)));
        if (r < 0) {
            if (errno == EINTR) return 0;  // the caller loops and measures again
            RaiseErrno("Cannot wait for " + path_);
        }
        if (r == 0) return 0;
        if ((p.revents & POLLNVAL) != 0) Raise(EBADF, path_ + " is not open");
        return p.revents;
    }

    // The USB-serial bridges hold short replies back for up to 16 ms unless asked for low
    // latency. Drivers that do not know the request (pseudo-terminals) are left as they are.
    void AskForLowLatency() {
#if defined(__linux__) && defined(TIOCGSERIAL) && defined(ASYNC_LOW_LATENCY)
        serial_struct ss{};
        if (::ioctl(fd_, TIOCGSERIAL, &ss) == 0 && (ss.flags & ASYNC_LOW_LATENCY) == 0) {
            ss.flags |= ASYNC_LOW_LATENCY;
            (void)::ioctl(fd_, TIOCSSERIAL, &ss);
        }
#endif
    }

    std::string path_;
    int fd_ = -1;
    SerialTimeouts timeouts_ = kInitialTimeouts;
    ReadAhead readAhead_;
};

}  // namespace

std::unique_ptr<SerialDevice> OpenPosixSerialDevice(const std::string& path) {
    return std::make_unique<PosixSerialDevice>(path);
}
