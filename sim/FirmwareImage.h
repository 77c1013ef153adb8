#pragma once
// Board firmware images for the simulated board. An image starts with a 20-byte header that
// names the version it carries; after a download the board reports that version, so a
// replaced firmware matches the file it came from:
//
//   offset  size  content
//   0       8     "MB805QFW" (ASCII, no terminator)
//   8       1     firmware kind   (first number of the version)
//   9       1     major version
//   10      1     minor version
//   11      1     0 (reserved)
//   12      4     firmware code, high byte first (answer to the code request)
//   16      4     firmware word, high byte first (last field of the version answer)
//   20      ...   filler, any bytes
//
// An image without this header is accepted by the loader but leaves the version unchanged.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace sim {

struct FirmwareIdentity {
    uint8_t kind = 2;
    uint8_t major = 1;
    uint8_t minor = 0;
    uint32_t code = 0x805;
    uint32_t word = 0;
};

inline constexpr size_t kFirmwareHeaderSize = 20;
inline constexpr char kFirmwareFilePrefix[] = "HK8051B-SCRIPT_F";

// An image of `size` bytes (at least the header) carrying `id`; the filler is a fixed pattern.
std::vector<uint8_t> MakeFirmwareImage(const FirmwareIdentity& id, size_t size = 4096);

// The identity an image carries, or nothing when it lacks the header.
std::optional<FirmwareIdentity> ReadFirmwareImage(const uint8_t* data, size_t size);

// The name the program looks for beside itself: the prefix, then kind, major and minor in
// hexadecimal, each ended by a dot: (2, 10, 1) -> "HK8051B-SCRIPT_F2.0A.1.bin".
std::string FirmwareFileName(uint8_t kind, uint8_t major, uint8_t minor);

// Writes MakeFirmwareImage(id, size) into `folder` under FirmwareFileName; returns the path,
// or nothing with `error` set when the file cannot be written.
std::optional<std::filesystem::path> WriteFirmwareFile(const std::filesystem::path& folder,
                                                       const FirmwareIdentity& id, size_t size,
                                                       std::string* error = nullptr);

}  // namespace sim
