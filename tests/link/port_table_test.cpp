#include "link/PortTable.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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
    std::string Target(int n) {
        return fs::read_symlink(table.Folder() / ("COM" + std::to_string(n))).string();
    }

    TempFolder temp;
    fs::path dev = temp.Path() / "dev";
    fs::path sys = temp.Path() / "sys";
    PortTable table{temp.Path() / "config" / "ports"};
};

TEST_F(PortTableTest, NumbersAreTheLowestFreeFromOneAndStayWithTheirDevice) {
    std::string a = Device("ttyUSB0"), b = Device("ttyUSB1"), c = Device("ttyACM0"), d = Device("ttyACM1");
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

    std::ofstream(temp.Path() / "plainfile") << "x";
    PortTable blocked(temp.Path() / "plainfile" / "ports");
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
    TtyType("ttyS0", 4);  // a real UART
    Device("ttyS1");
    TtyType("ttyS1", 0);  // a slot with no UART behind it
    Device("ttyS2");  // no type known, and not a tty: not a port
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
    table.SetScanFolders(temp.Path() / "nodev", sys);
    std::string a = Device("ttyUSB0"), b = Device("ttyUSB1"), c = Device("ttyUSB2");
    fs::create_directories(table.Folder());
    fs::create_symlink(a, table.Folder() / "COM12");
    fs::create_symlink(b, table.Folder() / "COM100");
    fs::create_symlink(c, table.Folder() / "COM0");
    fs::create_symlink(temp.Path() / "gone", table.Folder() / "COM3");
    EXPECT_EQ(table.ActivePorts(), (std::vector<int>{0, 12}));
    EXPECT_EQ(table.DevicePath(100), std::nullopt);
    EXPECT_EQ(table.DevicePath(-1), std::nullopt);
    EXPECT_EQ(table.Register(a), 12);
}

// Owner records: a link made by a running program lasts only as long as that program.
class PortTableOwnerTest : public PortTableTest {
protected:
    fs::path Link(int n) { return table.Folder() / ("COM" + std::to_string(n)); }
    fs::path Record(int n) { return table.Folder() / (".COM" + std::to_string(n) + ".owner"); }
    // What a program that was killed leaves behind: its link and a record nobody holds.
    void DeadOwner(int n, const std::string& device) {
        fs::create_directories(table.Folder());
        std::ofstream(Record(n)) << "";
        fs::create_symlink(device, Link(n));
    }
    bool Gone(int n) { return !fs::exists(fs::symlink_status(Link(n))) && !fs::exists(Record(n)); }
};

TEST_F(PortTableOwnerTest, LinkOfADeadOwnerIsRemovedWhereverTheNumberIsLookedUp) {
    table.SetScanFolders(dev, sys);
    const std::string pty = Device("pts3");
    const std::string usb = Device("ttyUSB0");
    using Lookup = std::function<void(PortTable&)>;
    const std::vector<std::pair<std::string, Lookup>> lookups = {
        {"DevicePath", [](PortTable& t) { EXPECT_EQ(t.DevicePath(1), std::nullopt); }},
        {"HasLiveOwner", [](PortTable& t) { EXPECT_FALSE(t.HasLiveOwner(1)); }},
        {"ActivePorts", [](PortTable& t) { EXPECT_EQ(t.ActivePorts(), (std::vector<int>{1})); }},
        {"FindDevice", [&](PortTable& t) { EXPECT_EQ(t.FindDevice(1), usb); }},
    };
    for (const auto& [name, lookup] : lookups) {
        SCOPED_TRACE(name);
        fs::remove_all(table.Folder());
        DeadOwner(1, pty);
        lookup(table);
        EXPECT_FALSE(fs::exists(Record(1)));
        if (name == "ActivePorts" || name == "FindDevice") {
            // The number is free again: the scan gives it to the adapter.
            EXPECT_EQ(Target(1), usb);
        } else {
            EXPECT_TRUE(Gone(1));
        }
    }
}

TEST_F(PortTableOwnerTest, HeldNumberIsPresentUntilItsHolderGoes) {
    table.SetScanFolders(temp.Path() / "nodev", sys);
    const std::string pty = Device("pts3");
    {
        PortTable::OwnedNumber held = table.RegisterOwned(pty);
        ASSERT_TRUE(held);
        EXPECT_EQ(held.Number(), 1);
        EXPECT_TRUE(fs::exists(Record(1)));
        // The record's lock is held through another open file: a second look in this same
        // process cannot take it, as no other program can.
        EXPECT_EQ(table.DevicePath(1), pty);
        EXPECT_TRUE(table.HasLiveOwner(1));
        EXPECT_EQ(table.ActivePorts(), (std::vector<int>{1}));
        EXPECT_EQ(table.Register(Device("ttyUSB0")), 2);

        PortTable::OwnedNumber moved = std::move(held);
        EXPECT_FALSE(held);
        EXPECT_EQ(moved.Number(), 1);
        EXPECT_EQ(table.DevicePath(1), pty);
    }
    EXPECT_TRUE(Gone(1)) << "the holder removes its link and record";
    EXPECT_EQ(table.DevicePath(2), (dev / "ttyUSB0").string());
}

TEST_F(PortTableOwnerTest, NumbersOfDeadOwnersAreGivenAgainAndLiveOnesSkipped) {
    const std::string a = Device("pts3"), b = Device("pts4"), c = Device("pts5");
    DeadOwner(1, a);  // the same pty number comes back to the next simulator
    PortTable::OwnedNumber first = table.RegisterOwned(a);
    EXPECT_EQ(first.Number(), 1);
    EXPECT_TRUE(table.HasLiveOwner(1));
    PortTable::OwnedNumber second = table.RegisterOwned(b);
    EXPECT_EQ(second.Number(), 2) << "a device of its own is not shared with a live holder";
    fs::create_symlink(c, Link(3));  // made by hand
    PortTable::OwnedNumber third = table.RegisterOwned(c);
    EXPECT_EQ(third.Number(), 4);
    first.Release();
    first.Release();
    EXPECT_TRUE(Gone(1));
    EXPECT_EQ(table.DevicePath(3), c);

    std::ofstream(temp.Path() / "plainfile") << "x";
    PortTable blocked(temp.Path() / "plainfile" / "ports");
    EXPECT_FALSE(blocked.RegisterOwned(a));
    EXPECT_FALSE(table.RegisterOwned(""));
}

// A link of a dead simulator must not linger, and a record left without its link must not
// make a later link (an adapter's) look like a dead simulator's.
TEST_F(PortTableOwnerTest, PlainLinksAreNeverTakenForDeadOnes) {
    const std::string usb = Device("ttyUSB0"), pty = Device("pts3");
    fs::create_directories(table.Folder());
    std::ofstream(Record(1)) << "";  // the holder was killed between its link and its record
    EXPECT_EQ(table.Register(usb), 1);
    EXPECT_EQ(table.DevicePath(1), usb);
    EXPECT_EQ(table.DevicePath(1), usb);

    // A record held by a program that is just making its link keeps its number taken.
    const int fd = ::open(Record(2).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(table.Register(pty), 3);
    ::close(fd);

    fs::create_symlink(pty, Link(5));  // made by hand: no record, never removed
    table.SetScanFolders(dev, sys);
    EXPECT_EQ(table.ActivePorts(), (std::vector<int>{1, 3, 5}));
    EXPECT_EQ(table.DevicePath(5), pty);
    EXPECT_FALSE(table.HasLiveOwner(5));
}

// Opening a port by number finds an adapter that no port list has shown yet.
TEST_F(PortTableTest, FindDeviceScansForNumbersNotGivenYet) {
    table.SetScanFolders(dev, sys);
    const std::string a = Device("ttyUSB0");
    EXPECT_EQ(table.DevicePath(1), std::nullopt);
    EXPECT_EQ(table.FindDevice(1), a);
    EXPECT_EQ(Target(1), a);
    EXPECT_EQ(table.FindDevice(2), std::nullopt);
    const std::string b = Device("ttyACM0");
    EXPECT_EQ(table.FindDevice(2), b);
    fs::remove(a);
    EXPECT_EQ(table.FindDevice(1), std::nullopt) << "an unplugged adapter keeps its number";
    EXPECT_EQ(table.FindDevice(3), std::nullopt);
    EXPECT_EQ(table.FindDevice(-1), std::nullopt);
}

TEST(PortTableForUser, LivesInTheUsersConfigurationFolder) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", "/tmp/tr805q-xdg", 1);
    EXPECT_EQ(PortTable::ForCurrentUser().Folder(), fs::path("/tmp/tr805q-xdg/QVR/ports"));
    if (old)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace

TEST(ComPortName, NumbersPlainOrAfterComAndEverythingElseIsAPath) {
    const struct {
        const char* text;
        std::optional<int> number;
    } cases[] = {
        {"3", 3},
        {"COM3", 3},
        {"com12", 12},
        {"0", 0},
        {"COM", std::nullopt},
        {"", std::nullopt},
        {"/dev/ttyUSB0", std::nullopt},
        {"COM3x", std::nullopt},
        {"Com3", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseComPortName(c.text), c.number) << c.text;
}
