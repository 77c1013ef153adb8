#include "link/PortTable.h"
#include "link/SerialPort.h"
#include "tests/link/ScriptedLine.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

struct MessageCase {
    uint32_t code;
    const char* detail;
    size_t size;
    bool result;
    const char* text;
};

TEST(SerialException, ErrorMessageComesFromTheSystemWithOurDetail) {
    const MessageCase cases[] = {
        {ENOENT, "", 4096, true, "No such file or directory"},
        {ENOENT, "", 5, true, "No s"},
        {ENOENT, "", 1, true, ""},
        {ENOENT, "", 0, false, ""},
        {EINVAL, "Flow control CTS/DTR is not available on this platform", 4096, true,
         "Flow control CTS/DTR is not available on this platform (Invalid argument)"},
        {0, "The COM port is not open", 4096, true, "The COM port is not open"},
        {0, "", 4096, false, ""},
        {987654, "", 4096, false, ""},  // a code the system has no text for
    };
    for (const MessageCase& c : cases) {
        SCOPED_TRACE(std::string(c.detail) + " / " + std::to_string(c.code));
        CSerialException e(c.code, c.detail);
        EXPECT_EQ(e.GetErrorCode(), c.code);
        char buffer[4096];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(e.GetErrorMessage(c.size == 0 ? nullptr : buffer, c.size), c.result);
        if (c.size > 0) {
            EXPECT_STREQ(buffer, c.text);
        }
        if (c.size == 4096) {
            EXPECT_EQ(e.GetErrorMessage(), c.text);
        }
    }
}

class SerialPortTest : public ::testing::Test {
protected:
    FakeClock clock;
    ScriptedLine line{clock};
    CSerialPort port;
};

TEST_F(SerialPortTest, FailedOpenLeavesThePortClosed) {
    port.SetDeviceOpener([](int n) -> std::unique_ptr<SerialDevice> {
        throw CSerialException(ENOENT, "COM" + std::to_string(n) + " is not present");
    });
    try {
        port.Open(7, 115200, ParityNone, 8, StopOne, FlowNone);
        ADD_FAILURE() << "opened";
    } catch (const CSerialException& e) {
        EXPECT_EQ(e.GetErrorCode(), static_cast<uint32_t>(ENOENT));
        EXPECT_EQ(e.GetErrorMessage(), "COM7 is not present (No such file or directory)");
    }
    EXPECT_FALSE(port.IsOpen());

    // Opening again while open replaces the device; failing then leaves the port closed too.
    OpenScripted(port, line);
    EXPECT_TRUE(port.IsOpen());
    port.SetDeviceOpener([](int) -> std::unique_ptr<SerialDevice> { throw CSerialException(EBUSY); });
    EXPECT_THROW(port.Open(1, 115200, ParityNone, 8, StopOne, FlowNone), CSerialException);
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(SerialPortTest, ClosedPortRaisesAndCloseIsHarmlessTwice) {
    OpenScripted(port, line);
    port.Close();
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    uint8_t b = 0;
    EXPECT_THROW(port.Read(&b, 1), CSerialException);
    EXPECT_THROW(port.Write(&b, 1), CSerialException);
    EXPECT_THROW(port.Flush(), CSerialException);
    EXPECT_THROW(port.GetStatus(), CSerialException);
    EXPECT_THROW(port.SetTimeouts({}), CSerialException);
}

TEST_F(SerialPortTest, PassesOperationsToItsDevice) {
    OpenScripted(port, line);
    port.SetTimeouts({1, 2, 3, 4, 5});
    SerialTimeouts t = port.GetTimeouts();
    EXPECT_EQ(t.readInterval, 1u);
    EXPECT_EQ(t.writeTotalConstant, 5u);
    line.Queue({1, 2, 3});
    EXPECT_EQ(port.GetStatus().inQueue, 3u);
    uint8_t buf[2];
    EXPECT_EQ(port.Read(buf, 2), 2u);
    EXPECT_EQ(port.Write(buf, 2), 2u);
    port.Flush();
    EXPECT_EQ(line.written, (Bytes{1, 2}));
    EXPECT_EQ(line.flushes, 1);
}

// Without an opener of its own, a port number is looked up in the user's port table.
TEST(SerialPortNumbers, NumberIsOpenedThroughTheUsersPortTable) {
    TempFolder config;
    const char* old = std::getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);

    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    char slave[128];
    ASSERT_EQ(::ptsname_r(master, slave, sizeof slave), 0);
    int n = PortTable::ForCurrentUser().Register(slave);
    EXPECT_EQ(n, 1);

    CSerialPort port;
    port.Open(n, 115200, ParityNone, 8, StopOne, FlowNone);
    EXPECT_TRUE(port.IsOpen());
    port.Close();
    // A number with no link sends the port to look for new serial devices first, and this
    // machine's may take the low numbers; none takes the last one.
    try {
        port.Open(PortTable::kMaxPort, 115200, ParityNone, 8, StopOne, FlowNone);
        ADD_FAILURE() << "opened a number with no device";
    } catch (const CSerialException& e) {
        EXPECT_EQ(e.GetErrorCode(), static_cast<uint32_t>(ENOENT));
    }
    EXPECT_FALSE(port.IsOpen());
    EXPECT_THROW(port.Open(100, 115200, ParityNone, 8, StopOne, FlowNone), CSerialException);
    EXPECT_FALSE(port.IsOpen());

    ::close(master);
    if (old)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
