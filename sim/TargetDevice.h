#pragma once
// One target device on the simulated Z-LINK bus: 256 16-bit registers. The board calls it for
// every bus access it performs; a device that does more than keep values (one that runs a
// Kernlet, say) derives from it and overrides what it needs.
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

// One block of a Kernlet as the board received it: a start address and its words.
struct KernletBlock {
    uint16_t address = 0;
    uint16_t lengthWords = 0;  // as announced in the block header
    std::vector<uint16_t> words;  // as received, high byte first on the wire
};

// A Kernlet received through the paced transfer, up to and including its end record.
struct KernletImage {
    std::vector<KernletBlock> blocks;
    uint16_t finalAddress = 0;  // address of the end record
    bool truncated = false;  // more words came than the board keeps (see sim/README.md)
};

class TargetDevice {
public:
    static constexpr uint8_t kStatusRegister = 0xC6;  // bit 0: the loaded Kernlet runs

    TargetDevice();
    virtual ~TargetDevice() = default;
    TargetDevice(const TargetDevice&) = delete;
    TargetDevice& operator=(const TargetDevice&) = delete;

    // Bus accesses. An 8-bit access moves the low byte of the register; an 8-bit write keeps
    // the high byte.
    virtual uint16_t Read16(uint8_t address);
    virtual void Write16(uint8_t address, uint16_t value);
    virtual uint8_t Read8(uint8_t address);
    virtual void Write8(uint8_t address, uint8_t value);

    // General reset: every register back to its reset value. A loaded Kernlet survives a
    // reset and starts again at once, which sets bit 0 of the status register.
    virtual void Reset();

    // A Kernlet load into this device began (the previous Kernlet is gone) or completed.
    virtual void KernletLoadStarted();
    virtual void KernletLoaded(const KernletImage& image);

    // The Kernlet this device holds, if a load completed since the last load began.
    const std::optional<KernletImage>& Kernlet() const { return kernlet_; }

    // Register memory without a bus access (not traced, no side effects).
    uint16_t Peek(uint8_t address) const { return registers_[address]; }
    void Poke(uint8_t address, uint16_t value) { registers_[address] = value; }

protected:
    std::array<uint16_t, 256> registers_{};
    std::optional<KernletImage> kernlet_;
};

}  // namespace sim
