#include "app/FirmwareFile.h"

#include <dirent.h>

#include <memory>

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::array<uint8_t, 3> ParseFirmwareVersion(std::string_view rest) {
    std::array<uint8_t, 3> version{};
    size_t next = 0;
    uint32_t collected = 0;  // the digits so far, kept from growing past 32 bits
    for (char c : rest) {
        if (next == version.size()) break;
        if (c == '.') {
            version[next++] = static_cast<uint8_t>(collected);  // a byte on the board: low 8 bits
            collected = 0;
        } else if (int d = HexDigit(c); d >= 0) {
            collected = ((collected << 4) | static_cast<uint32_t>(d)) & 0x0FFFFFFFu;
        }
    }
    return version;
}

FirmwareFile FindFirmwareFile(const std::vector<std::string>& names) {
    FirmwareFile file;
    for (const std::string& name : names) {
        if (name.compare(0, kFirmwareFilePrefix.size(), kFirmwareFilePrefix) != 0) continue;
        file.found = 1;
        file.fileName = name;
        file.version = ParseFirmwareVersion(std::string_view(name).substr(kFirmwareFilePrefix.size()));
        break;
    }
    return file;
}

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir) return names;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        names.emplace_back(name);
    }
    return names;
}
