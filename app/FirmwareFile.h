#pragma once
// The board firmware file beside the program: its name starts with "HK8051B-SCRIPT_F" and goes
// on with the firmware's version as dotted hexadecimal numbers.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::string_view kFirmwareFilePrefix = "HK8051B-SCRIPT_F";

struct FirmwareFile {
    uint8_t found = 0;
    std::array<uint8_t, 3> version{};
    std::string fileName;
};

// The version in what follows the prefix: hexadecimal digits collected up to each '.', three
// numbers at most; other characters are skipped, and digits that no dot ends are not taken.
std::array<uint8_t, 3> ParseFirmwareVersion(std::string_view rest);

// The first name, in the order given, that starts with the prefix.
FirmwareFile FindFirmwareFile(const std::vector<std::string>& names);

// The names in a folder in the order the file system lists them, without "." and "..";
// empty when the folder cannot be read.
std::vector<std::string> ListFolder(const std::string& folder);
