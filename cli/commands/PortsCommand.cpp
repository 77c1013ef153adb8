#include "cli/commands/PortsCommand.h"

#include "link/PortListing.h"

#include <CLI/CLI.hpp>

#include <ostream>
#include <string>

namespace {

std::string Describe(const PortListing& port) {
    if (port.simulated) return "simulated board";
    if (!port.usb) return "-";
    const UsbIdentity& usb = *port.usb;
    std::string text = "USB " + usb.vendorId + ":" + usb.productId;
    if (!usb.manufacturer.empty()) text += " " + usb.manufacturer;
    if (!usb.product.empty()) text += " " + usb.product;
    if (!usb.serial.empty()) text += ", serial " + usb.serial;
    return text;
}

}  // namespace

int RunPortsCommand(PortTable& table, std::ostream& out) {
    const std::vector<PortListing> ports = ListPorts(table);
    if (ports.empty()) {
        out << "No active ports found\n";
        return kCliOk;
    }
    for (const PortListing& port : ports) {
        out << "COM" << port.number << '\t' << port.device << '\t'
            << (port.stableName.empty() ? "-" : port.stableName) << '\t' << Describe(port) << '\n';
    }
    return kCliOk;
}

void AddPortsCommand(CLI::App& app, CommandLine& line) {
    auto* ports = app.add_subcommand(
        "ports", "List the COM ports: device, stable name, USB adapter or simulated board");
    ports->callback([&line] {
        line.offline = [&line] {
            PortTable table = PortTable::ForCurrentUser();
            return RunPortsCommand(table, line.out);
        };
    });
}
