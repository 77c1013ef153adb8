// The termios port on a real pseudo-terminal pair: few tests, short time-outs.
#include "link/ComInt.h"
#include "link/SerialPort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The master side of a pty; the port under test opens the slave.
struct Pty {
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return;
        char name[128];
        if (::ptsname_r(master, name, sizeof name) == 0) slave = name;
        // Keep the slave's line open between openings of the port, as the simulated board does.
        hold = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    ~Pty() {
        if (hold >= 0) ::close(hold);
        CloseMaster();
    }
    void CloseMaster() {
        if (master >= 0) ::close(master);
        master = -1;
    }
    void Send(const std::vector<uint8_t>& bytes) const {
        ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    std::vector<uint8_t> Receive(size_t n) const {
        std::vector<uint8_t> out;
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (out.size() < n && std::chrono::steady_clock::now() < end) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            uint8_t buf[512];
            ssize_t r = ::read(master, buf, std::min(sizeof buf, n - out.size()));
            if (r > 0) out.insert(out.end(), buf, buf + r);
        }
        return out;
    }
    termios Settings() const {
        termios t{};
        ::tcgetattr(master, &t);  // a pty master reports the slave's settings
        return t;
    }

    int master = -1;
    int hold = -1;
    std::string slave;
};

SerialLineSettings Line(int parity = ParityNone, uint8_t dataBits = 8, int stopBits = StopOne,
                        int flow = FlowNone, uint32_t baud = 115200) {
    return {baud, parity, dataBits, stopBits, flow};
}

std::vector<uint8_t> EveryByte() {
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
    return all;
}

class PosixSerial : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(pty.slave.empty()) << "no pseudo-terminal: " << std::strerror(errno);
        device = OpenPosixSerialDevice(pty.slave);
        device->Configure(Line());
        device->SetTimeouts({20, 1, 500, 1, 500});
    }

    Pty pty;
    std::unique_ptr<SerialDevice> device;
};

TEST_F(PosixSerial, EveryByteValuePassesUnchangedBothWays) {
    // Raw mode: no CR/LF translation, no XON/XOFF or signal characters taken out of the stream.
    pty.Send(EveryByte());
    std::vector<uint8_t> in(256);
    EXPECT_EQ(device->Read(in.data(), in.size()), 256u);
    EXPECT_EQ(in, EveryByte());

    std::vector<uint8_t> out = EveryByte();
    EXPECT_EQ(device->Write(out.data(), out.size()), 256u);
    device->Flush();
    EXPECT_EQ(pty.Receive(256), EveryByte());
}

TEST_F(PosixSerial, QueuedBytesCountsWhatArrived) {
    EXPECT_EQ(device->QueuedBytes(), 0u);
    pty.Send({1, 2, 3, 4, 5});
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (device->QueuedBytes() < 5 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(device->QueuedBytes(), 5u);
}

TEST_F(PosixSerial, ReadAheadBytesStayInTheQueueCountAndInOrder) {
    // One read of one byte takes all five from the driver; the count still says four.
    pty.Send({1, 2, 3, 4, 5});
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (device->QueuedBytes() < 5 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    uint8_t b = 0;
    ASSERT_EQ(device->Read(&b, 1), 1u);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(device->QueuedBytes(), 4u);
    pty.Send({6, 7});
    while (device->QueuedBytes() < 6 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(device->QueuedBytes(), 6u);
    // Held bytes, then silence: the interval (20 ms) ends the read, not the 2 s total.
    device->SetTimeouts({20, 0, 2000, 1, 500});
    uint8_t rest[8] = {};
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(device->Read(rest, 8), 6u);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1000));
    EXPECT_EQ(std::vector<uint8_t>(rest, rest + 6), (std::vector<uint8_t>{2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(device->QueuedBytes(), 0u);
}

TEST_F(PosixSerial, ReadStopsAtTheIntervalAfterTheFirstByteAndAtTheTotalOtherwise) {
    // Silent line: the total time-out, n * 1 + 20 ms.
    device->SetTimeouts({0, 1, 20, 1, 500});
    uint8_t buf[4];
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(device->Read(buf, 1), 0u);
    auto silent = std::chrono::steady_clock::now() - t0;
    // The port counts time in whole milliseconds of its clock, so a wait that starts late in
    // one millisecond may end up to one millisecond before the exact total.
    EXPECT_GE(silent, std::chrono::milliseconds(20));
    EXPECT_LT(silent, std::chrono::milliseconds(400));

    // One byte of four, then silence: the 20 ms interval ends the read long before the 2 s total.
    device->SetTimeouts({20, 0, 2000, 1, 500});
    pty.Send({0x7E});
    t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(device->Read(buf, 4), 1u);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1000));
    EXPECT_EQ(buf[0], 0x7E);
}

TEST_F(PosixSerial, SpecialTimeoutRecordsReturnWithoutWaiting) {
    constexpr uint32_t kInfinite = 0xFFFFFFFF;
    uint8_t buf[4];
    // Interval infinite, no totals: what is there, at once.
    device->SetTimeouts({kInfinite, 0, 0, 1, 500});
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(device->Read(buf, 4), 0u);
    // Interval and per-byte infinite with a constant: as soon as anything is there.
    device->SetTimeouts({kInfinite, kInfinite, 5000, 1, 500});
    pty.Send({0x12});
    EXPECT_EQ(device->Read(buf, 4), 1u);
    EXPECT_EQ(buf[0], 0x12);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1000));
}

// A pty keeps every setting except the character size and the parity-enable bit: it always
// reports 8 bits without parity. Those two are left out of the checks below.
TEST_F(PosixSerial, LineSettingsReachTheTerminal) {
    struct Case {
        const char* name;
        SerialLineSettings line;
        tcflag_t cflagSet, cflagClear, iflagSet, iflagClear;
        speed_t speed;
    };
    const Case cases[] = {
        {"8N1, no flow control", Line(), CREAD | CLOCAL, PARODD | CMSPAR | CSTOPB | CRTSCTS, 0,
         IXON | IXOFF | ICRNL, B115200},
        {"7E2 at 9600", Line(ParityEven, 7, StopTwo, FlowNone, 9600), CSTOPB, PARODD | CMSPAR, 0, 0, B9600},
        {"odd", Line(ParityOdd), PARODD, CMSPAR | CSTOPB, 0, 0, B115200},
        {"mark", Line(ParityMark), PARODD | CMSPAR, 0, 0, 0, B115200},
        {"space", Line(ParitySpace), CMSPAR, PARODD, 0, 0, B115200},
        {"CTS/RTS", Line(ParityNone, 8, StopOne, FlowCtsRts), CRTSCTS, 0, 0, IXON | IXOFF, B115200},
        {"XON/XOFF", Line(ParityNone, 8, StopOne, FlowXonXoff), 0, CRTSCTS, IXON | IXOFF, 0, B115200},
        {"back to none", Line(), 0, CRTSCTS, 0, IXON | IXOFF, B115200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device->Configure(c.line);
        termios t = pty.Settings();
        EXPECT_EQ(t.c_cflag & c.cflagSet, c.cflagSet);
        EXPECT_EQ(t.c_cflag & c.cflagClear, 0u);
        EXPECT_EQ(t.c_iflag & c.iflagSet, c.iflagSet);
        EXPECT_EQ(t.c_iflag & c.iflagClear, 0u);
        EXPECT_EQ(::cfgetospeed(&t), c.speed);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        if (c.line.flowControl == FlowXonXoff) {
            EXPECT_EQ(t.c_cc[VSTART], 0x11);
            EXPECT_EQ(t.c_cc[VSTOP], 0x13);
        }
    }
}

TEST_F(PosixSerial, SettingsTermiosCannotGiveAreRefusedAndChangeNothing) {
    struct Case {
        SerialLineSettings line;
        const char* text;
    };
    const Case cases[] = {
        {Line(ParityNone, 8, StopOne, FlowCtsDtr), "Flow control CTS/DTR is not available on this platform"},
        {Line(ParityNone, 8, StopOne, FlowDsrRts), "Flow control DSR/RTS is not available on this platform"},
        {Line(ParityNone, 8, StopOne, FlowDsrDtr), "Flow control DSR/DTR is not available on this platform"},
        {Line(ParityNone, 8, StopOne, 6), "Flow-control code 6 is not known"},
        {Line(ParityNone, 8, StopOneAndHalf), "One and a half stop bits are not available on this platform"},
        {Line(ParityNone, 9), "9 data bits are not available on a serial port"},
        {Line(5), "Parity code 5 is not known"},
        {Line(ParityNone, 8, StopOne, FlowNone, 12345),
         "The baud rate 12345 is not available on this platform"},
    };
    device->Configure(Line(ParityOdd, 8, StopTwo, FlowCtsRts));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            device->Configure(c.line);
            ADD_FAILURE() << "accepted";
        } catch (const CSerialException& e) {
            EXPECT_EQ(e.GetErrorCode(), static_cast<uint32_t>(EINVAL));
            EXPECT_EQ(e.GetErrorMessage(), std::string(c.text) + " (Invalid argument)");
        }
        termios t = pty.Settings();
        EXPECT_EQ(t.c_cflag & (PARODD | CSTOPB | CRTSCTS), static_cast<tcflag_t>(PARODD | CSTOPB | CRTSCTS));
    }
}

TEST_F(PosixSerial, ClosedLineRaisesAndTheLinkReportsAnError) {
    device.reset();
    CComInt link;
    link.Port().OpenPath(pty.slave, Line());
    ::close(pty.hold);
    pty.hold = -1;
    pty.CloseMaster();
    uint8_t b = 0;
    uint32_t got = 0;
    EXPECT_EQ(link.Read(&b, got, 1, 1), kReadError);
    EXPECT_EQ(link.Read(&b, got, 1, 0), kReadError);
    try {
        link.Port().Write(&b, 1);
        ADD_FAILURE() << "write to a closed line succeeded";
    } catch (const CSerialException& e) {
        EXPECT_EQ(e.GetErrorCode(), static_cast<uint32_t>(EIO));
    }
}

TEST_F(PosixSerial, PortCanBeOpenedAgainAfterClosing) {
    if (::geteuid() != 0) {
        // Nobody else may open a port while we have it (the superuser may).
        EXPECT_THROW(OpenPosixSerialDevice(pty.slave), CSerialException);
    }
    device.reset();
    device = OpenPosixSerialDevice(pty.slave);
    device->Configure(Line());
    pty.Send({0x42});
    uint8_t b = 0;
    EXPECT_EQ(device->Read(&b, 1), 1u);
    EXPECT_EQ(b, 0x42);
}

TEST(PosixSerialOpen, MissingOrNonSerialPathRaisesAndLeavesThePortClosed) {
    CSerialPort port;
    try {
        port.OpenPath("/dev/tr805q-no-such-port", Line());
        ADD_FAILURE() << "opened";
    } catch (const CSerialException& e) {
        EXPECT_EQ(e.GetErrorCode(), static_cast<uint32_t>(ENOENT));
        EXPECT_EQ(e.GetErrorMessage(), "Cannot open /dev/tr805q-no-such-port (No such file or directory)");
    }
    EXPECT_FALSE(port.IsOpen());
    try {
        port.OpenPath("/dev/null", Line());
        ADD_FAILURE() << "opened";
    } catch (const CSerialException& e) {
        EXPECT_EQ(e.GetErrorCode(), static_cast<uint32_t>(ENOTTY));
    }
    EXPECT_FALSE(port.IsOpen());
}

}  // namespace
