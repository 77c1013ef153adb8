#include "link/PortListing.h"

#include <algorithm>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// How far up from a tty's device the USB device may be: interface, then device, with room for
// hubs' and drivers' folders in between. Beyond that the tty is not on USB.
constexpr int kMaxLevelsUp = 8;

// One sysfs attribute: a short text, read no further than the limit.
std::string ReadAttribute(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return {};
    char buffer[UsbIdentity::kMaxAttributeBytes];
    in.read(buffer, sizeof buffer);
    std::string text(buffer, static_cast<size_t>(in.gcount()));
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\0')) {
        text.pop_back();
    }
    for (char& c : text) {
        if (c < 0x20 || c > 0x7E) c = '?';
    }
    return text;
}

fs::path Resolved(const fs::path& p) {
    std::error_code ec;
    fs::path r = fs::weakly_canonical(p, ec);
    return ec ? p.lexically_normal() : r;
}

}  // namespace

std::optional<UsbIdentity> ReadUsbIdentity(const fs::path& ttyClassFolder, const std::string& ttyName) {
    if (ttyName.empty() || ttyName == "." || ttyName == ".." || ttyName.find('/') != std::string::npos) {
        return std::nullopt;
    }
    std::error_code ec;
    fs::path folder = fs::canonical(ttyClassFolder / ttyName / "device", ec);
    if (ec) return std::nullopt;
    for (int level = 0; level <= kMaxLevelsUp; ++level) {
        if (fs::is_regular_file(folder / "idVendor", ec)) {
            UsbIdentity id;
            id.vendorId = ReadAttribute(folder / "idVendor");
            id.productId = ReadAttribute(folder / "idProduct");
            id.manufacturer = ReadAttribute(folder / "manufacturer");
            id.product = ReadAttribute(folder / "product");
            id.serial = ReadAttribute(folder / "serial");
            return id;
        }
        if (!folder.has_relative_path()) break;  // the root: nothing above
        folder = folder.parent_path();
    }
    return std::nullopt;
}

std::vector<PortListing> ListPorts(PortTable& table) {
    const fs::path byIdFolder = table.DevFolder() / "serial" / "by-id";
    std::vector<std::pair<fs::path, fs::path>> byId;  // (resolved device, stable name)
    std::error_code ec;
    for (fs::directory_iterator it(byIdFolder, ec), end; !ec && it != end; it.increment(ec)) {
        byId.emplace_back(Resolved(it->path()), it->path());
    }
    std::sort(byId.begin(), byId.end());

    std::vector<PortListing> ports;
    for (int n : table.ActivePorts()) {
        const std::optional<std::string> named = table.DevicePath(n);
        if (!named) continue;  // gone since the scan
        PortListing port;
        port.number = n;
        const fs::path device = Resolved(*named);
        port.device = device.string();
        if (fs::path(*named).parent_path() == byIdFolder) {
            port.stableName = *named;
        } else {
            for (const auto& [resolved, name] : byId) {
                if (resolved == device) {
                    port.stableName = name.string();
                    break;
                }
            }
        }
        port.simulated = table.HasLiveOwner(n);
        if (!port.simulated) port.usb = ReadUsbIdentity(table.TtyClassFolder(), device.filename().string());
        ports.push_back(std::move(port));
    }
    return ports;
}
