#include "loading/Checksums.h"

#include "core/TextFormat.h"
#include "loading/KernletTexts.h"

std::string CChecksums::Digits(uint32_t checksum) {
    return FormatText("%08X", static_cast<unsigned>(checksum));
}

std::string CChecksums::Block1Text() const { return FormatText(kFmtChecksumsBlock1, Digits(block1).c_str()); }
std::string CChecksums::Block2Text() const { return FormatText(kFmtChecksumsBlock2, Digits(block2).c_str()); }
