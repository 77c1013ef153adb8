#pragma once
// COM port numbers on POSIX: a folder of links COM<n> -> device, the way a Windows machine
// keeps an adapter's number. Numbers run from 0 to 99.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class PortTable {
public:
    static constexpr int kMaxPort = 99;

    // A number a running program holds for a device that lives only as long as the program
    // (the simulated board's pseudo-terminal). Beside the link lies an owner record,
    // `.COM<n>.owner`, locked (flock) for as long as the holder runs: the system drops the lock
    // when the program ends in any way, so a link whose record nobody holds is stale and goes.
    // Destroying the holder removes the link and the record.
    class OwnedNumber {
    public:
        OwnedNumber() = default;
        ~OwnedNumber() { Release(); }
        OwnedNumber(OwnedNumber&& other) noexcept;
        OwnedNumber& operator=(OwnedNumber&& other) noexcept;
        OwnedNumber(const OwnedNumber&) = delete;
        OwnedNumber& operator=(const OwnedNumber&) = delete;

        // The COM number held, -1 when none.
        int Number() const { return number_; }
        explicit operator bool() const { return number_ >= 0; }
        // Removes the link, then the record, then lets the lock go. Safe to call twice.
        void Release();

    private:
        friend class PortTable;
        OwnedNumber(std::filesystem::path folder, int number, int lockFd)
            : folder_(std::move(folder)), number_(number), lockFd_(lockFd) {}

        std::filesystem::path folder_;
        int number_ = -1;
        int lockFd_ = -1;
    };

    explicit PortTable(std::filesystem::path folder);
    // The table in the user's configuration folder ($XDG_CONFIG_HOME or ~/.config, then QVR/ports).
    static PortTable ForCurrentUser();

    const std::filesystem::path& Folder() const { return folder_; }
    // The device a number stands for, if the link exists and its device is present. A link
    // whose owner record nobody holds any more is removed here, with its record: its device
    // was its program's and may be another's now.
    std::optional<std::string> DevicePath(int number) const;
    // Gives a device the lowest free number from 1 up, or returns the number it already has.
    // Returns -1 when all numbers are taken or the folder cannot be written.
    int Register(const std::string& devicePath);
    void Unregister(int number);
    // Gives a device of this program's own the lowest free number from 1 up, with an owner
    // record (see OwnedNumber). Empty when all numbers are taken or the folder cannot be written.
    [[nodiscard]] OwnedNumber RegisterOwned(const std::string& devicePath);
    // True while a running program holds the number's owner record.
    bool HasLiveOwner(int number) const;
    // The device of a number as DevicePath gives it; when the number names no present device,
    // the machine is scanned for new serial devices first (as ActivePorts does), so that an
    // adapter plugged in before any port list was shown is found by its number.
    std::optional<std::string> FindDevice(int number);
    // Numbers of present devices, in numeric order, after giving numbers to serial devices
    // found on the machine that have none yet.
    std::vector<int> ActivePorts();

    // Where ActivePorts looks for devices: the device folder (with its serial/by-id/ names)
    // and the kernel's tty class folder that tells which ttyS devices are real UARTs.
    // /dev and /sys/class/tty unless set otherwise (tests use folders of fake devices).
    void SetScanFolders(std::filesystem::path devFolder, std::filesystem::path ttyClassFolder);
    const std::filesystem::path& DevFolder() const { return devFolder_; }
    const std::filesystem::path& TtyClassFolder() const { return ttyClassFolder_; }

private:
    std::filesystem::path folder_;
    std::filesystem::path devFolder_ = "/dev";
    std::filesystem::path ttyClassFolder_ = "/sys/class/tty";
};

// A port as a user names it: a COM number, plain or after "COM" ("3", "COM3", "com3"), gives
// the number; anything else (a device path) gives nothing.
std::optional<int> ParseComPortName(std::string_view text);
