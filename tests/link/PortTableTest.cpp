#include "link/PortTable.h"
#include "tests/link/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;

namespace {

class PortTableTest : public ::testing::Test {
protected:
    // A fake device: any file will do for the table, which only links and looks.
    std::string Device(const std::string& name) {
        fs::create_directories(dev);
        std::ofstream(dev / name) << "";
        return (dev / name).string();
    }
    void TtyType(const std::string& name, int type) {
        fs::create_directories(sys / name);
        std::ofstream(sys / name / "type") << type << "\n";
    }
    void StableName(const std::string& id, const std::string& device) {
        fs::create_directories(dev / "serial" / "by-id");
        fs::create_symlink("../../" + device, dev / "serial" / "by-id" / id);
    }
    std::string Target(int n) { return fs::read_symlink(table.Folder() / ("COM" + std::to_string(n))).string(); }

    TempFolder temp;
    fs::path dev = temp.path / "dev";
    fs::path sys = temp.path / "sys";
    PortTable table{temp.path / "config" / "ports"};
};

TEST_F(PortTableTest, NumbersAreTheLowestFreeFromOneAndStayWithTheirDevice) {
    std::string a = Device("ttyUSB0"), b = Device("ttyUSB1"), c = Device("ttyACM0"),
                d = Device("ttyACM1");
    EXPECT_EQ(table.Register(a), 1);
    EXPECT_EQ(table.Register(b), 2);
    EXPECT_EQ(table.Register(c), 3);
    EXPECT_EQ(table.Register(a), 1) << "a device keeps its number";
    table.Unregister(2);
    EXPECT_EQ(table.Register(d), 2) << "a freed number is given again";
    EXPECT_EQ(table.DevicePath(1), a);
    EXPECT_EQ(table.DevicePath(2), d);
    EXPECT_EQ(table.DevicePath(0), std::nullopt);
}

TEST_F(PortTableTest, AnotherNameOfTheSameDeviceKeepsItsNumber) {
    std::string a = Device("ttyUSB0");
    StableName("usb-FTDI_Cable_A1-if00-port0", "ttyUSB0");
    EXPECT_EQ(table.Register(a), 1);
    EXPECT_EQ(table.Register((dev / "serial/by-id/usb-FTDI_Cable_A1-if00-port0").string()), 1);
    EXPECT_EQ(table.Register((dev / "serial/../ttyUSB0").string()), 1);
}

TEST_F(PortTableTest, UnpluggedDeviceIsNotPresentButKeepsItsNumber) {
    std::string a = Device("ttyUSB0"), b = Device("ttyUSB1");
    EXPECT_EQ(table.Register(a), 1);
    fs::remove(a);
    EXPECT_EQ(table.DevicePath(1), std::nullopt);
    EXPECT_EQ(table.Register(b), 2);
    Device("ttyUSB0");
    EXPECT_EQ(table.Register(a), 1);
    EXPECT_EQ(table.DevicePath(1), a);
}

TEST_F(PortTableTest, FullTableAndUnwritableFolderGiveNoNumber) {
    for (int n = 1; n <= PortTable::kMaxPort; ++n) {
        EXPECT_EQ(table.Register(Device("ttyUSB" + std::to_string(n))), n);
    }
    EXPECT_EQ(table.Register(Device("ttyUSB100")), -1);

    std::ofstream(temp.path / "plainfile") << "x";
    PortTable blocked(temp.path / "plainfile" / "ports");
    EXPECT_EQ(blocked.Register(Device("ttyACM0")), -1);
    EXPECT_EQ(blocked.Register(""), -1);
}

TEST_F(PortTableTest, ActivePortsLinksNewDevicesAndListsPresentNumbersInOrder) {
    table.SetScanFolders(dev, sys);
    Device("ttyUSB10");
    Device("ttyUSB2");
    Device("ttyUSB0");
    Device("ttyACM0");
    Device("ttyS0");
    TtyType("ttyS0", 4);   // a real UART
    Device("ttyS1");
    TtyType("ttyS1", 0);   // a slot with no UART behind it
    Device("ttyS2");       // no type known, and not a tty: not a port
    Device("ttyUSBx");
    Device("tty0");
    StableName("usb-Prolific_B2-if00-port0", "ttyUSB2");

    EXPECT_EQ(table.ActivePorts(), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(table.DevicePath(1), (dev / "ttyS0").string());
    EXPECT_EQ(table.DevicePath(2), (dev / "ttyUSB0").string());
    EXPECT_EQ(Target(3), (dev / "serial/by-id/usb-Prolific_B2-if00-port0").string())
        << "the stable name is linked, so the number follows the adapter";
    EXPECT_EQ(table.DevicePath(4), (dev / "ttyUSB10").string());
    EXPECT_EQ(table.DevicePath(5), (dev / "ttyACM0").string());

    // Unplug ttyUSB0, plug a new adapter: the old number stays reserved.
    fs::remove(dev / "ttyUSB0");
    Device("ttyUSB5");
    EXPECT_EQ(table.ActivePorts(), (std::vector<int>{1, 3, 4, 5, 6}));
    EXPECT_EQ(table.DevicePath(6), (dev / "ttyUSB5").string());
}

TEST_F(PortTableTest, OnlyNumbersZeroToNinetyNineAreListed) {
    table.SetScanFolders(temp.path / "nodev", sys);
    std::string a = Device("ttyUSB0"), b = Device("ttyUSB1"), c = Device("ttyUSB2");
    fs::create_directories(table.Folder());
    fs::create_symlink(a, table.Folder() / "COM12");
    fs::create_symlink(b, table.Folder() / "COM100");
    fs::create_symlink(c, table.Folder() / "COM0");
    fs::create_symlink(temp.path / "gone", table.Folder() / "COM3");
    EXPECT_EQ(table.ActivePorts(), (std::vector<int>{0, 12}));
    EXPECT_EQ(table.DevicePath(100), std::nullopt);
    EXPECT_EQ(table.DevicePath(-1), std::nullopt);
    EXPECT_EQ(table.Register(a), 12);
}

TEST(PortTableForUser, LivesInTheUsersConfigurationFolder) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", "/tmp/tr805q-xdg", 1);
    EXPECT_EQ(PortTable::ForCurrentUser().Folder(), fs::path("/tmp/tr805q-xdg/QVR/ports"));
    if (old) ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1); else ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
