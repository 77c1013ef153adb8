#pragma once
// A target device that runs the Kernlet loaded into it, and sample Kernlet files for it.
//
// Once a load completes the device checks each received block by the rule of BlockChecksum
// and shows what a device with a running Kernlet shows: its product ID and Kernlet version,
// the checksums of blocks 1 and 2, a stream of reply words, and a run status that says when
// the Kernlet has started. Without a Kernlet it is a plain TargetDevice. sim/README.md lists
// the registers.
#include "sim/TargetDevice.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// The device's 32-bit checksum of one block, in the two 16-bit halves a Kernlet file carries.
struct KernletChecksum {
    uint16_t high = 0;
    uint16_t low = 0;
    uint32_t Value() const { return (uint32_t{high} << 16) | low; }
    bool operator==(const KernletChecksum&) const = default;
};

// Two running 16-bit sums over the block's words in order: the first starts at the block's
// address and adds each word, the second adds the first after every word. The first sum is
// the low half, the second the high half. Word order, word values and the address all count.
KernletChecksum BlockChecksum(uint16_t address, const uint16_t* words, size_t count);
inline KernletChecksum BlockChecksum(uint16_t address, const std::vector<uint16_t>& words) {
    return BlockChecksum(address, words.data(), words.size());
}

// What the running Kernlet reports, and when it starts.
struct KernletBehaviour {
    uint16_t productId = 0x0805;
    uint16_t version = 0x0103;
    // The run status shows the started bit from this read of it on (1: the first read). 0: the
    // Kernlet never starts.
    uint32_t startsAtStatusRead = 3;
    uint16_t startedBit = 0x2000;  // 0x2000 or 0x4000
};

class KernletDevice : public TargetDevice {
public:
    static constexpr uint8_t kReplyWordRegister = 0x4D;
    static constexpr uint8_t kRunStatusRegister = 0x7E;
    static constexpr uint8_t kBlock2ChecksumHigh = 0xA9;
    static constexpr uint8_t kBlock2ChecksumLow = 0xAA;
    static constexpr uint8_t kBlock1ChecksumHigh = 0xB8;
    static constexpr uint8_t kBlock1ChecksumLow = 0xB9;
    static constexpr uint8_t kProductIdRegister = 0xC5;
    static constexpr uint8_t kVersionRegister = 0xC9;

    explicit KernletDevice(KernletBehaviour behaviour = {});

    uint16_t Read16(uint8_t address) override;
    void Reset() override;
    void KernletLoadStarted() override;
    void KernletLoaded(const KernletImage& image) override;

    KernletBehaviour& Behaviour() { return behaviour_; }
    // The device's checksum of every block of the loaded Kernlet, in load order.
    const std::vector<KernletChecksum>& Checksums() const { return checksums_; }

private:
    // The Kernlet (re)starts: registers and reply words as a fresh start shows them.
    void StartKernlet();

    KernletBehaviour behaviour_;
    std::vector<KernletChecksum> checksums_;
    std::deque<uint16_t> replyWords_;
    uint32_t statusReads_ = 0;
};

// A sample Kernlet file that loads cleanly into a KernletDevice.
struct KernletSampleSpec {
    unsigned blocks = 2;  // data blocks, 0..254 (the block count line holds two digits)
    unsigned wordsPerBlock = 64;  // 1..65535
    uint16_t firstAddress = 0x0100;  // each further block follows the previous one
    uint16_t finalAddress = 0x0100;  // address of the end record
    uint32_t seed = 1;  // for the words' pattern
    // Block (0-based) whose first word is changed after its checksum was written, as a damaged
    // file would have it; none by default.
    std::optional<unsigned> corruptBlock;
};

// The file text in the style of a C header: "#define N_DB" with blocks + 1, per block four
// "#define" lines (address, length in words, checksum high, checksum low) and an array of
// words, eight to a line, then the end record's "#define". Nothing when the sample settings are out of range.
std::optional<std::string> MakeKernletText(const KernletSampleSpec& spec);

// Writes MakeKernletText(spec) to `path`; false with `error` set when it cannot.
bool WriteKernletFile(const std::filesystem::path& path, const KernletSampleSpec& spec,
                      std::string* error = nullptr);

}  // namespace sim
