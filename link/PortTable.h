#pragma once
// COM port numbers on POSIX: a folder of links COM<n> -> device, the way a Windows machine
// keeps an adapter's number. Numbers run from 0 to 99.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class PortTable {
public:
    static constexpr int kMaxPort = 99;

    explicit PortTable(std::filesystem::path folder);
    // The table in the user's configuration folder ($XDG_CONFIG_HOME or ~/.config, then QVR/ports).
    static PortTable ForCurrentUser();

    const std::filesystem::path& Folder() const { return folder_; }
    // The device a number stands for, if the link exists and its device is present.
    std::optional<std::string> DevicePath(int number) const;
    // Gives a device the lowest free number from 1 up, or returns the number it already has.
    // Returns -1 when all numbers are taken or the folder cannot be written.
    int Register(const std::string& devicePath);
    void Unregister(int number);
    // Numbers of present devices, in numeric order, after giving numbers to serial devices
    // found on the machine that have none yet.
    std::vector<int> ActivePorts();

    // Where ActivePorts looks for devices: the device folder (with its serial/by-id/ names)
    // and the kernel's tty class folder that tells which ttyS devices are real UARTs.
    // /dev and /sys/class/tty unless set otherwise (tests use folders of fake devices).
    void SetScanFolders(std::filesystem::path devFolder, std::filesystem::path ttyClassFolder);

private:
    std::filesystem::path folder_;
    std::filesystem::path devFolder_ = "/dev";
    std::filesystem::path ttyClassFolder_ = "/sys/class/tty";
};
