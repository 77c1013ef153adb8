#include "sim/FirmwareImage.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace sim {
namespace {

constexpr char kMagic[8] = {'M', 'B', '8', '0', '5', 'Q', 'F', 'W'};

void PutU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    out[at] = static_cast<uint8_t>(v >> 24);
    out[at + 1] = static_cast<uint8_t>(v >> 16);
    out[at + 2] = static_cast<uint8_t>(v >> 8);
    out[at + 3] = static_cast<uint8_t>(v);
}

uint32_t GetU32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

}  // namespace

std::vector<uint8_t> MakeFirmwareImage(const FirmwareIdentity& id, size_t size) {
    std::vector<uint8_t> image(size < kFirmwareHeaderSize ? kFirmwareHeaderSize : size);
    std::memcpy(image.data(), kMagic, sizeof kMagic);
    image[8] = id.kind;
    image[9] = id.major;
    image[10] = id.minor;
    image[11] = 0;
    PutU32(image, 12, id.code);
    PutU32(image, 16, id.word);
    // A pattern that is not all one value, so that a block sent with the wrong bytes shows.
    for (size_t i = kFirmwareHeaderSize; i < image.size(); ++i) {
        image[i] = static_cast<uint8_t>((i * 7 + 3) & 0xFF);
    }
    return image;
}

std::optional<FirmwareIdentity> ReadFirmwareImage(const uint8_t* data, size_t size) {
    if (data == nullptr || size < kFirmwareHeaderSize) return std::nullopt;
    if (std::memcmp(data, kMagic, sizeof kMagic) != 0) return std::nullopt;
    FirmwareIdentity id;
    id.kind = data[8];
    id.major = data[9];
    id.minor = data[10];
    id.code = GetU32(data + 12);
    id.word = GetU32(data + 16);
    return id;
}

std::string FirmwareFileName(uint8_t kind, uint8_t major, uint8_t minor) {
    char version[32];
    std::snprintf(version, sizeof version, "%X.%02X.%X.bin", kind, major, minor);
    return std::string(kFirmwareFilePrefix) + version;
}

std::optional<std::filesystem::path> WriteFirmwareFile(const std::filesystem::path& folder,
                                                       const FirmwareIdentity& id, size_t size,
                                                       std::string* error) {
    const std::filesystem::path path = folder / FirmwareFileName(id.kind, id.major, id.minor);
    const std::vector<uint8_t> image = MakeFirmwareImage(id, size);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out)
        out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    if (out) out.close();
    if (!out) {
        const int err = errno;
        if (error) *error = "cannot write " + path.string() + ": " + std::strerror(err ? err : EIO);
        return std::nullopt;
    }
    return path;
}

}  // namespace sim
