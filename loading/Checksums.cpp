#include "loading/Checksums.h"

#include "loading/KernletTexts.h"

#include <cctype>
#include <cstdio>

std::string CChecksums::Digits(uint32_t checksum) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(checksum));
    std::string digits = std::string(8 - std::string(hex).size(), '0') + hex;
    for (char& c : digits) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return digits;
}

namespace {

std::string BlockText(const char* format, uint32_t checksum) {
    char text[64];
    std::snprintf(text, sizeof text, format, CChecksums::Digits(checksum).c_str());
    return text;
}

}  // namespace

std::string CChecksums::Block1Text() const { return BlockText(kFmtChecksumsBlock1, block1); }
std::string CChecksums::Block2Text() const { return BlockText(kFmtChecksumsBlock2, block2); }
