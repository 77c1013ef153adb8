#include "link/ui/PaintingLine.h"

#include "link/ui/BoardActivity.h"

#include <algorithm>

void CPaintingClock::SleepMs(uint32_t ms) {
    if (!CBoardActivity::Running()) {
        base_.SleepMs(ms);
        return;
    }
    // The slices add up to the whole wait: the board gets at least the time it was promised.
    while (ms > 0) {
        const uint32_t slice = std::min(ms, kSliceMs);
        base_.SleepMs(slice);
        ms -= slice;
        KeepWindowPainted();
    }
}

void CPaintingSerialDevice::Configure(const SerialLineSettings& settings) {
    KeepWindowPainted();
    device_->Configure(settings);
}

void CPaintingSerialDevice::SetTimeouts(const SerialTimeouts& timeouts) { device_->SetTimeouts(timeouts); }

size_t CPaintingSerialDevice::Read(uint8_t* buffer, size_t n) {
    KeepWindowPainted();
    return device_->Read(buffer, n);
}

size_t CPaintingSerialDevice::Write(const uint8_t* buffer, size_t n) {
    KeepWindowPainted();
    return device_->Write(buffer, n);
}

void CPaintingSerialDevice::Flush() {
    KeepWindowPainted();
    device_->Flush();
}

size_t CPaintingSerialDevice::QueuedBytes() {
    KeepWindowPainted();
    return device_->QueuedBytes();
}

CSerialPort::DeviceOpener PaintWhileWaiting(CSerialPort::DeviceOpener opener) {
    if (!opener) return opener;
    return [opener = std::move(opener)](int number) -> std::unique_ptr<SerialDevice> {
        std::unique_ptr<SerialDevice> device = opener(number);
        if (!device) return device;
        return std::make_unique<CPaintingSerialDevice>(std::move(device));
    };
}
