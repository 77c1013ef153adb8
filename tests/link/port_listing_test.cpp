#include "link/PortListing.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

namespace fs = std::filesystem;

namespace {

// A fake sysfs: the tty class folder holds one folder per tty whose `device` links into a
// device tree, as the kernel lays them out.
class FakeSysfs {
public:
    explicit FakeSysfs(const fs::path& root) : ttyClass(root / "class" / "tty"), devices(root / "devices") {}

    // A tty whose device folder is `deviceFolder` (relative to the device tree).
    void Tty(const std::string& name, const std::string& deviceFolder) {
        fs::create_directories(devices / deviceFolder);
        fs::create_directories(ttyClass / name);
        fs::create_directory_symlink(devices / deviceFolder, ttyClass / name / "device");
    }
    void Attributes(const std::string& folder, const std::map<std::string, std::string>& values) {
        fs::create_directories(devices / folder);
        for (const auto& [name, value] : values) std::ofstream(devices / folder / name) << value;
    }

    fs::path ttyClass;
    fs::path devices;
};

struct UsbCase {
    std::string what;
    std::string tty;
    std::optional<UsbIdentity> expected;
};

TEST(UsbIdentityTest, FoundByWalkingUpToTheUsbDevice) {
    TempFolder temp;
    FakeSysfs sys(temp.Path() / "sys");
    // An FTDI adapter: tty -> its driver's folder -> interface -> device.
    sys.Tty("ttyUSB0", "pci0/usb1/1-2/1-2:1.0/ttyUSB0");
    sys.Attributes("pci0/usb1", {{"idVendor", "1d6b\n"}, {"idProduct", "0002\n"}});  // root hub
    sys.Attributes("pci0/usb1/1-2", {{"idVendor", "0403\n"},
                                     {"idProduct", "6001\n"},
                                     {"manufacturer", "FTDI\n"},
                                     {"product", "FT232R USB UART\n"},
                                     {"serial", "A1B2C3\n"}});
    // A CDC adapter: the tty's device is the interface; it names no manufacturer or serial.
    sys.Tty("ttyACM0", "pci0/usb1/1-3/1-3:1.0");
    sys.Attributes("pci0/usb1/1-3", {{"idVendor", "2341\n"}, {"idProduct", "0043\n"}, {"product", "Uno\n"}});
    // A product text with terminal controls in it, and one far longer than a USB string.
    sys.Tty("ttyUSB1", "pci0/usb1/1-4/1-4:1.0/ttyUSB1");
    sys.Attributes("pci0/usb1/1-4", {{"idVendor", "067b\n"},
                                     {"idProduct", "2303\n"},
                                     {"manufacturer", "\x1b]0;owned\x07Prolific\n"},
                                     {"product", std::string(5000, 'P')}});
    // An on-board UART: nothing on USB above it.
    sys.Tty("ttyS0", "pnp0/00:01/tty/ttyS0");
    sys.Attributes("pnp0/00:01", {{"id", "PNP0501\n"}});
    // A USB device too far above its tty to be its own.
    sys.Tty("ttyX0", "usb9/a/b/c/d/e/f/g/h/i/ttyX0");
    sys.Attributes("usb9", {{"idVendor", "ffff\n"}});
    fs::create_directories(sys.ttyClass / "tty0");  // a virtual console: no device link

    const std::vector<UsbCase> cases = {
        {"FTDI adapter", "ttyUSB0", UsbIdentity{"0403", "6001", "FTDI", "FT232R USB UART", "A1B2C3"}},
        {"CDC adapter", "ttyACM0", UsbIdentity{"2341", "0043", "", "Uno", ""}},
        {"hostile texts", "ttyUSB1",
         UsbIdentity{"067b", "2303", "?]0;owned?Prolific", std::string(UsbIdentity::kMaxAttributeBytes, 'P'),
                     ""}},
        {"on-board UART", "ttyS0", std::nullopt},
        {"too far up", "ttyX0", std::nullopt},
        {"no device", "tty0", std::nullopt},
        {"unknown tty", "ttyUSB7", std::nullopt},
        {"not a name", "../class/tty/ttyUSB0", std::nullopt},
        {"empty name", "", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ReadUsbIdentity(sys.ttyClass, c.tty), c.expected);
    }
}

}  // namespace
