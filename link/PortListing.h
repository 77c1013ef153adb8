#pragma once
// What the machine knows about the device behind each COM number, for a list a user can check
// against the adapters on the desk: the kernel's device, its stable name, and for USB adapters
// what the adapter says about itself.
#include "link/PortTable.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The USB device a serial device belongs to. Texts are as the device reports them, cut to
// kMaxAttributeBytes, with anything but printable ASCII shown as '?' (they go to a terminal).
struct UsbIdentity {
    static constexpr size_t kMaxAttributeBytes = 128;

    std::string vendorId;  // "0403"
    std::string productId;  // "6001"
    std::string manufacturer, product, serial;  // empty where the device names none

    bool operator==(const UsbIdentity&) const = default;
};

// Walks up from <ttyClassFolder>/<ttyName>/device to the USB device that holds it (the first
// folder with an idVendor). None for a device that is not on USB, or a name that is not one.
std::optional<UsbIdentity> ReadUsbIdentity(const std::filesystem::path& ttyClassFolder,
                                           const std::string& ttyName);

struct PortListing {
    int number = -1;
    std::string device;  // the device the number names, links followed: "/dev/ttyUSB0"
    std::string stableName;  // its name under <dev>/serial/by-id/, empty when it has none
    bool simulated = false;  // held by a running simulated board
    std::optional<UsbIdentity> usb;
};

// Every present COM number, in numeric order, after the scan that ActivePorts makes.
std::vector<PortListing> ListPorts(PortTable& table);
