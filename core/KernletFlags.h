#pragma once
// The "Kernlet running" flag of each target device 1..3 that a page host keeps for its pages
// (PageHost::KernletLoaded). A device number outside 1..3 has no flag: it reads as not loaded
// and setting it does nothing.
#include <array>
#include <cstdint>

class KernletFlags {
public:
    bool Loaded(uint8_t device) const { return device >= 1 && device <= 3 && loaded_[device - 1]; }
    void Set(uint8_t device, bool loaded) {
        if (device >= 1 && device <= 3) loaded_[device - 1] = loaded;
    }

private:
    std::array<bool, 3> loaded_{};
};
