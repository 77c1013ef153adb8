#include "link/PortTable.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <map>
#include <system_error>
#include <tuple>
#include <utility>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/serial.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string LinkName(int number) { return "COM" + std::to_string(number); }

// The owner record of a number: beside the link, hidden from a plain listing.
std::string RecordName(int number) { return "." + LinkName(number) + ".owner"; }

// The record is the file the path names now, not one removed (and perhaps made again) while
// we were locking it.
bool IsFileAt(int fd, const fs::path& path) {
    struct stat held {};
    struct stat named {};
    return ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

bool TryLock(int fd) {
    int r;
    do {
        r = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    return r == 0;
}

// No record (a link made by hand or by a scan), a record held by a running program, or a
// record nobody holds any more.
enum class Owner { None, Live, Dead };

// What the owner record of a number says; a dead owner's link and record are removed.
// Only a record we can lock ourselves proves its holder gone: one that cannot be opened or
// locked, or that changes under us, counts as held.
Owner CheckOwner(const fs::path& folder, int number) {
    const fs::path record = folder / RecordName(number);
    const int fd = ::open(record.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT ? Owner::None : Owner::Live;
    Owner owner = Owner::Live;
    if (TryLock(fd) && IsFileAt(fd, record)) {
        // Nobody holds it: its program ended without removing its link. The link goes first,
        // so that there is never a link without its record (which would look made by hand).
        owner = Owner::Dead;
        std::error_code ec;
        fs::remove(folder / LinkName(number), ec);
        if (!ec) fs::remove(record, ec);
    }
    ::close(fd);
    return owner;
}

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

PortTable::OwnedNumber::OwnedNumber(OwnedNumber&& other) noexcept
    : folder_(std::move(other.folder_)),
      number_(std::exchange(other.number_, -1)),
      lockFd_(std::exchange(other.lockFd_, -1)) {}

PortTable::OwnedNumber& PortTable::OwnedNumber::operator=(OwnedNumber&& other) noexcept {
    if (this != &other) {
        Release();
        folder_ = std::move(other.folder_);
        number_ = std::exchange(other.number_, -1);
        lockFd_ = std::exchange(other.lockFd_, -1);
    }
    return *this;
}

void PortTable::OwnedNumber::Release() {
    if (number_ >= 0) {
        // The link before the record, as CheckOwner removes them.
        std::error_code ec;
        fs::remove(folder_ / LinkName(number_), ec);
        fs::remove(folder_ / RecordName(number_), ec);
    }
    if (lockFd_ >= 0) ::close(lockFd_);
    number_ = -1;
    lockFd_ = -1;
}

PortTable::OwnedNumber PortTable::RegisterOwned(const std::string& devicePath) {
    if (devicePath.empty()) return {};
    std::error_code ec;
    fs::path device = fs::absolute(devicePath, ec);
    if (ec) return {};
    device = device.lexically_normal();
    fs::create_directories(folder_, ec);
    if (ec) return {};

    for (int n = 1; n <= kMaxPort; ++n) {
        // A few tries per number: a record removed under us is made again.
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (CheckOwner(folder_, n) == Owner::Live) break;  // a live one's, or one made now
            const fs::path link = folder_ / LinkName(n);
            if (fs::exists(fs::symlink_status(link, ec))) break;
            // The record comes before the link: a link of ours is never without it.
            const fs::path record = folder_ / RecordName(n);
            const int fd = ::open(record.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (fd < 0) return {};
            if (!TryLock(fd)) {  // another program is taking this number now
                ::close(fd);
                break;
            }
            if (!IsFileAt(fd, record)) {  // found dead and removed between our open and lock
                ::close(fd);
                continue;
            }
            fs::create_symlink(device, link, ec);
            if (!ec) return OwnedNumber(folder_, n, fd);
            const bool taken = ec == std::errc::file_exists;
            fs::remove(record, ec);
            ::close(fd);
            if (!taken) return {};
            break;  // linked by someone else meanwhile: try the next number
        }
    }
    return {};
}

bool PortTable::HasLiveOwner(int number) const {
    if (number < 0 || number > kMaxPort) return false;
    return CheckOwner(folder_, number) == Owner::Live;
}

std::optional<std::string> PortTable::FindDevice(int number) {
    if (std::optional<std::string> path = DevicePath(number)) return path;
    if (number < 0 || number > kMaxPort) return std::nullopt;
    ActivePorts();
    return DevicePath(number);
}

std::optional<std::string> PortTable::DevicePath(int number) const {
    if (number < 0 || number > kMaxPort) return std::nullopt;
    // The pseudo-terminal of a program that is gone may belong to another terminal by now.
    if (CheckOwner(folder_, number) == Owner::Dead) return std::nullopt;
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
        // A record held without a link is a program making its link now; a dead one's link
        // and record go, so that a link made here is never taken for that program's.
        const bool held = CheckOwner(folder_, n) == Owner::Live;
        fs::path link = folder_ / LinkName(n);
        if (!fs::exists(fs::symlink_status(link, ec))) {
            if (n >= 1 && !held) free.push_back(n);
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

std::optional<int> ParseComPortName(std::string_view text) {
    if (text.size() > 3 && (text.substr(0, 3) == "COM" || text.substr(0, 3) == "com")) text.remove_prefix(3);
    if (text.empty()) return std::nullopt;
    int number = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return number;
}
