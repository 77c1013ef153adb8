#include "link/PortTable.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>
#include <system_error>
#include <tuple>
#include <utility>

#include <fcntl.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/serial.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string LinkName(int number) { return "COM" + std::to_string(number); }

// A path in a form that two names of the same device share, also when the device is gone.
fs::path SameDeviceKey(const fs::path& p) {
    std::error_code ec;
    fs::path key = fs::weakly_canonical(p, ec);
    return ec ? p.lexically_normal() : key;
}

// The target of a link, made absolute against the folder that holds the link.
std::optional<fs::path> LinkTarget(const fs::path& link) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(link, ec))) return std::nullopt;
    fs::path target = fs::read_symlink(link, ec);
    if (ec) return std::nullopt;
    if (target.is_relative()) target = link.parent_path() / target;
    return target.lexically_normal();
}

// "ttyUSB12" with prefix "ttyUSB" gives 12; -1 when the rest is not a number.
long DeviceIndex(const std::string& name, const std::string& prefix) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return -1;
    long n = 0;
    for (size_t i = prefix.size(); i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])) || n > 100000) return -1;
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

// The kernel lists a ttyS device for every UART slot it reserves; only those with a UART
// behind them are ports.
bool IsRealUart(const fs::path& ttyClassFolder, const fs::path& device, const std::string& name) {
    std::ifstream typeFile(ttyClassFolder / name / "type");
    int type = 0;
    if (typeFile && typeFile >> type) return type != 0;
#if defined(__linux__) && defined(TIOCGSERIAL)
    int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    serial_struct ss{};
    bool real = ::ioctl(fd, TIOCGSERIAL, &ss) == 0 && ss.type != PORT_UNKNOWN;
    ::close(fd);
    return real;
#else
    (void)device;
    return false;
#endif
}

fs::path UserConfigFolder() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        return fs::path(home) / ".config";
    }
    passwd pw{};
    passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &pw, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr) {
        return fs::path(found->pw_dir) / ".config";
    }
    return fs::temp_directory_path() / ".config";
}

}  // namespace

PortTable::PortTable(fs::path folder) : folder_(std::move(folder)) {}

PortTable PortTable::ForCurrentUser() { return PortTable(UserConfigFolder() / "QVR" / "ports"); }

void PortTable::SetScanFolders(fs::path devFolder, fs::path ttyClassFolder) {
    devFolder_ = std::move(devFolder);
    ttyClassFolder_ = std::move(ttyClassFolder);
}

std::optional<std::string> PortTable::DevicePath(int number) const {
    if (number < 0 || number > kMaxPort) return std::nullopt;
    std::optional<fs::path> target = LinkTarget(folder_ / LinkName(number));
    if (!target) return std::nullopt;
    std::error_code ec;
    if (!fs::exists(*target, ec)) return std::nullopt;  // the adapter is unplugged
    return target->string();
}

int PortTable::Register(const std::string& devicePath) {
    if (devicePath.empty()) return -1;
    std::error_code ec;
    fs::path device = fs::absolute(devicePath, ec);
    if (ec) return -1;
    device = device.lexically_normal();
    const fs::path key = SameDeviceKey(device);

    // A device keeps the number it has, also under another of its names.
    std::vector<int> free;
    for (int n = 0; n <= kMaxPort; ++n) {
        fs::path link = folder_ / LinkName(n);
        if (!fs::exists(fs::symlink_status(link, ec))) {
            if (n >= 1) free.push_back(n);
            continue;
        }
        std::optional<fs::path> target = LinkTarget(link);
        if (target && (*target == device || SameDeviceKey(*target) == key)) return n;
    }

    fs::create_directories(folder_, ec);
    if (ec) return -1;
    for (int n : free) {
        fs::create_symlink(device, folder_ / LinkName(n), ec);
        if (!ec) return n;
        if (ec != std::errc::file_exists) return -1;  // taken meanwhile: try the next one
    }
    return -1;
}

void PortTable::Unregister(int number) {
    if (number < 0 || number > kMaxPort) return;
    std::error_code ec;
    fs::remove(folder_ / LinkName(number), ec);
}

std::vector<int> PortTable::ActivePorts() {
    // Devices in the order numbers are handed out: on-board UARTs first, as on a PC, then
    // USB adapters, each kind by its index.
    static const char* const kKinds[] = {"ttyS", "ttyUSB", "ttyACM"};
    struct Found {
        int kind;
        long index;
        fs::path path;
    };
    std::vector<Found> found;
    std::error_code ec;
    for (fs::directory_iterator it(devFolder_, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        for (int kind = 0; kind < 3; ++kind) {
            long index = DeviceIndex(name, kKinds[kind]);
            if (index < 0) continue;
            if (kind == 0 && !IsRealUart(ttyClassFolder_, it->path(), name)) break;
            found.push_back({kind, index, it->path()});
            break;
        }
    }
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return std::tie(a.kind, a.index) < std::tie(b.kind, b.index);
    });

    // Stable names of USB adapters, so that a number follows its adapter between ports.
    std::map<fs::path, fs::path> stableName;
    std::vector<fs::path> byId;
    for (fs::directory_iterator it(devFolder_ / "serial" / "by-id", ec), end; !ec && it != end;
         it.increment(ec)) {
        byId.push_back(it->path());
    }
    std::sort(byId.begin(), byId.end());
    for (const fs::path& p : byId) {
        fs::path key = SameDeviceKey(p);
        if (!stableName.count(key)) stableName[key] = p;
    }

    for (const Found& f : found) {
        auto stable = stableName.find(SameDeviceKey(f.path));
        Register((stable != stableName.end() ? stable->second : f.path).string());
    }

    std::vector<int> present;
    for (int n = 0; n <= kMaxPort; ++n) {
        if (DevicePath(n)) present.push_back(n);
    }
    return present;
}
