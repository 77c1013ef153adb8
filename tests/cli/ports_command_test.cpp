// tr805q-cli ports over a fake machine: a port table, a device folder and a tty class folder.
#include "cli/Cli.h"
#include "cli/commands/PortsCommand.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class PortsCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        dev = root / "dev";
        sys = root / "sys";
        table = PortTable(root / "ports");
        table.SetScanFolders(dev, sys);
        fs::create_directories(dev / "serial" / "by-id");
        fs::create_directories(sys);
    }

    void Device(const std::string& name) { std::ofstream(dev / name) << ""; }
    void StableName(const std::string& id, const std::string& device) {
        fs::create_symlink("../../" + device, dev / "serial" / "by-id" / id);
    }
    // A USB serial device: its tty folder links into a device tree with the adapter's texts.
    void OnUsb(const std::string& tty, const std::string& usbFolder,
               const std::map<std::string, std::string>& attributes) {
        const fs::path device = root / "devices" / usbFolder / (usbFolder + ":1.0") / tty;
        fs::create_directories(device);
        for (const auto& [name, value] : attributes)
            std::ofstream(root / "devices" / usbFolder / name) << value << '\n';
        fs::create_directories(sys / tty);
        fs::create_directory_symlink(device, sys / tty / "device");
    }
    std::string Run() {
        std::ostringstream out;
        EXPECT_EQ(RunPortsCommand(table, out), kCliOk);
        return out.str();
    }

    TempFolder folder{"tr805q-ports"};
    const fs::path& root = folder.Path();
    fs::path dev, sys;
    PortTable table{""};
};

TEST_F(PortsCommandTest, NoPortsIsSaidPlainly) {
    EXPECT_EQ(Run(), "No active ports found\n");
    Device("ttyS0");  // a UART slot with nothing behind it is no port
    fs::create_directories(sys / "ttyS0");
    std::ofstream(sys / "ttyS0" / "type") << "0\n";
    EXPECT_EQ(Run(), "No active ports found\n");
}

TEST_F(PortsCommandTest, OneLinePerNumberWithDeviceStableNameAndWhatItIs) {
    Device("ttyS0");
    fs::create_directories(sys / "ttyS0");
    std::ofstream(sys / "ttyS0" / "type") << "4\n";
    Device("ttyUSB0");
    StableName("usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0", "ttyUSB0");
    OnUsb("ttyUSB0", "1-2",
          {{"idVendor", "0403"},
           {"idProduct", "6001"},
           {"manufacturer", "FTDI"},
           {"product", "FT232R USB UART"},
           {"serial", "A1B2C3"}});
    Device("ttyACM0");  // linked by hand under its plain name: its stable name is still found
    StableName("usb-Arduino_Uno_95-if00", "ttyACM0");
    fs::create_directories(table.Folder());
    fs::create_symlink(dev / "ttyACM0", table.Folder() / "COM4");
    OnUsb("ttyACM0", "1-3", {{"idVendor", "2341"}, {"idProduct", "0043"}, {"product", "Uno"}});
    Device("pts4");
    PortTable::OwnedNumber simulated = table.RegisterOwned((dev / "pts4").string());
    ASSERT_EQ(simulated.Number(), 1);
    Device("pts9");  // linked by hand, and another link whose device is unplugged
    fs::create_symlink(dev / "pts9", table.Folder() / "COM7");
    fs::create_symlink(dev / "ttyUSB5", table.Folder() / "COM8");

    const std::string d = dev.string();
    EXPECT_EQ(Run(),  // the kernel's device, not the link to its stable name
              "COM1\t" + d +
                  "/pts4\t-\tsimulated board\n"
                  "COM2\t" +
                  d +
                  "/ttyS0\t-\t-\n"
                  "COM3\t" +
                  d + "/ttyUSB0\t" + d +
                  "/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0\t"
                  "USB 0403:6001 FTDI FT232R USB UART, serial A1B2C3\n"
                  "COM4\t" +
                  d + "/ttyACM0\t" + d +
                  "/serial/by-id/usb-Arduino_Uno_95-if00\tUSB 2341:0043 Uno\n"
                  "COM7\t" +
                  d + "/pts9\t-\t-\n");

    // The simulator ends: its line goes with it.
    simulated.Release();
    EXPECT_EQ(Run().rfind("COM2\t", 0), 0u);
}

TEST(PortsCommandLine, IsACommandOfItsOwnThatNeedsNoBoard) {
    // An empty table in a folder of our own; the machine's real devices may still be listed.
    const TempFolder folder("tr805q-ports-cli");
    const fs::path& home = folder.Path();
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    std::vector<const char*> args = {"tr805q-cli", "--port", "/nonexistent", "ports"};
    std::ostringstream out, err;
    const int code = RunCli(static_cast<int>(args.size()), args.data(), ComSettings{}, out, err);
    if (old)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(code, kCliOk) << err.str();
    EXPECT_EQ(err.str(), "");
    EXPECT_TRUE(out.str() == "No active ports found\n" || out.str().rfind("COM", 0) == 0) << out.str();
}

}  // namespace
