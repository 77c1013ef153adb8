#include "sim/TargetDevice.h"

namespace sim {

TargetDevice::TargetDevice() { Reset(); }

uint16_t TargetDevice::Read16(uint8_t address) { return registers_[address]; }

void TargetDevice::Write16(uint8_t address, uint16_t value) { registers_[address] = value; }

uint8_t TargetDevice::Read8(uint8_t address) { return static_cast<uint8_t>(Read16(address) & 0xFF); }

void TargetDevice::Write8(uint8_t address, uint8_t value) {
    Write16(address, static_cast<uint16_t>((registers_[address] & 0xFF00) | value));
}

void TargetDevice::Reset() {
    registers_.fill(0);
    registers_[kStatusRegister] = kernlet_ ? 0x0001 : 0x0000;
}

void TargetDevice::KernletLoadStarted() {
    kernlet_.reset();
    registers_[kStatusRegister] = 0;
}

void TargetDevice::KernletLoaded(const KernletImage& image) {
    kernlet_ = image;
    registers_[kStatusRegister] = 0x0001;
}

}  // namespace sim
