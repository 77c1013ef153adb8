#include "sim/KernletDevice.h"

#include <cstdio>
#include <fstream>

namespace sim {

KernletChecksum BlockChecksum(uint16_t address, const uint16_t* words, size_t count) {
    uint16_t first = address;
    uint16_t second = 0;
    for (size_t i = 0; i < count; ++i) {
        first = static_cast<uint16_t>(first + words[i]);
        second = static_cast<uint16_t>(second + first);
    }
    return KernletChecksum{second, first};
}

KernletDevice::KernletDevice(KernletBehaviour behaviour) : behaviour_(behaviour) {}

uint16_t KernletDevice::Read16(uint8_t address) {
    if (!kernlet_) return TargetDevice::Read16(address);
    if (address == kReplyWordRegister) {
        // Each read takes the next word the Kernlet has to tell; with nothing left it reads 0.
        if (replyWords_.empty()) return 0;
        const uint16_t word = replyWords_.front();
        replyWords_.pop_front();
        return word;
    }
    if (address == kRunStatusRegister && behaviour_.startsAtStatusRead != 0) {
        if (statusReads_ < behaviour_.startsAtStatusRead) ++statusReads_;
        if (statusReads_ >= behaviour_.startsAtStatusRead) registers_[address] |= behaviour_.startedBit;
    }
    return TargetDevice::Read16(address);
}

void KernletDevice::Reset() {
    TargetDevice::Reset();
    if (kernlet_) StartKernlet();
}

void KernletDevice::KernletLoadStarted() {
    TargetDevice::KernletLoadStarted();
    checksums_.clear();
    replyWords_.clear();
    statusReads_ = 0;
}

void KernletDevice::KernletLoaded(const KernletImage& image) {
    TargetDevice::KernletLoaded(image);
    checksums_.clear();
    for (const KernletBlock& block : image.blocks)
        checksums_.push_back(BlockChecksum(block.address, block.words));
    StartKernlet();
}

void KernletDevice::StartKernlet() {
    // A block the Kernlet does not have shows a checksum of 0.
    const KernletChecksum none;
    const KernletChecksum& block1 = checksums_.size() > 0 ? checksums_[0] : none;
    const KernletChecksum& block2 = checksums_.size() > 1 ? checksums_[1] : none;
    registers_[kProductIdRegister] = behaviour_.productId;
    registers_[kVersionRegister] = behaviour_.version;
    registers_[kBlock1ChecksumHigh] = block1.high;
    registers_[kBlock1ChecksumLow] = block1.low;
    registers_[kBlock2ChecksumHigh] = block2.high;
    registers_[kBlock2ChecksumLow] = block2.low;
    registers_[kRunStatusRegister] = 0;
    statusReads_ = 0;
    // The Kernlet first tells the checksum of every block, high half first, then its product
    // ID and version.
    replyWords_.clear();
    for (const KernletChecksum& c : checksums_) {
        replyWords_.push_back(c.high);
        replyWords_.push_back(c.low);
    }
    replyWords_.push_back(behaviour_.productId);
    replyWords_.push_back(behaviour_.version);
}

namespace {

constexpr unsigned kMaxSampleBlocks = 254;  // the block count, blocks + 1, has two hex digits
constexpr unsigned kWordsPerLine = 8;

// A fixed pattern of words that differs from block to block and seed to seed.
class WordPattern {
public:
    explicit WordPattern(uint32_t seed) : state_(seed * 2654435761u + 0x9E3779B9u) {}
    uint16_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<uint16_t>(state_ >> 8);
    }

private:
    uint32_t state_;
};

std::string Hex4(uint16_t v) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", v);
    return text;
}

}  // namespace

std::optional<std::string> MakeKernletText(const KernletSampleSpec& spec) {
    if (spec.blocks > kMaxSampleBlocks || spec.wordsPerBlock == 0 || spec.wordsPerBlock > 0xFFFF)
        return std::nullopt;
    if (spec.corruptBlock && *spec.corruptBlock >= spec.blocks) return std::nullopt;

    std::string text;
    text += "/* Kernlet sample image for the simulated MB805Q board.\n";
    text += "   Made by mb805q-sim --make-kernlet; the checksums follow the simulated device's rule. */\n\n";
    char line[96];
    std::snprintf(line, sizeof line, "#define N_DB 0x%02X\n\n", spec.blocks + 1);
    text += line;

    WordPattern pattern(spec.seed);
    uint16_t address = spec.firstAddress;
    for (unsigned b = 0; b < spec.blocks; ++b) {
        std::vector<uint16_t> words(spec.wordsPerBlock);
        for (uint16_t& w : words) w = pattern.Next();
        const KernletChecksum sum = BlockChecksum(address, words);
        if (spec.corruptBlock == b) words[0] ^= 0x8000;

        const unsigned n = b + 1;
        std::snprintf(line, sizeof line, "#define DB%u_ADDRESS %s\n", n, Hex4(address).c_str());
        text += line;
        std::snprintf(line, sizeof line, "#define DB%u_LENGTH %s\n", n,
                      Hex4(static_cast<uint16_t>(words.size())).c_str());
        text += line;
        std::snprintf(line, sizeof line, "#define DB%u_CHECKSUM_H %s\n", n, Hex4(sum.high).c_str());
        text += line;
        std::snprintf(line, sizeof line, "#define DB%u_CHECKSUM_L %s\n", n, Hex4(sum.low).c_str());
        text += line;
        std::snprintf(line, sizeof line, "const unsigned short DB%u[] = {\n", n);
        text += line;
        // The block's last word ends its line: the reader sees the block complete there.
        for (size_t i = 0; i < words.size(); ++i) {
            text += (i % kWordsPerLine == 0) ? "    " : " ";
            text += Hex4(words[i]);
            const bool last = i + 1 == words.size();
            if (last)
                text += "};\n\n";
            else if (i % kWordsPerLine == kWordsPerLine - 1)
                text += ",\n";
            else
                text += ",";
        }
        address = static_cast<uint16_t>(address + words.size());
    }
    std::snprintf(line, sizeof line, "#define KERNLET_START %s\n", Hex4(spec.finalAddress).c_str());
    text += line;
    return text;
}

bool WriteKernletFile(const std::filesystem::path& path, const KernletSampleSpec& spec, std::string* error) {
    const std::optional<std::string> text = MakeKernletText(spec);
    if (!text) {
        if (error) *error = "the sample Kernlet takes 0 to 254 blocks of 1 to 65535 words";
        return false;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << *text;
    out.close();
    if (!out) {
        if (error) *error = "cannot write " + path.string();
        return false;
    }
    return true;
}

}  // namespace sim
