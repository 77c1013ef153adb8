#include "sim/port/InProcessBoard.h"

#include "sim/port/SimSerialDevice.h"

#include <memory>

namespace sim {

InProcessBoard::InProcessBoard(const BoardConfig& config, uint32_t lineRate)
    : board_(config), lineRate_(lineRate) {}

void InProcessBoard::ServeOn(CSerialPort& port) {
    port.SetDeviceOpener([this](int) -> std::unique_ptr<SerialDevice> {
        auto device = std::make_unique<SimSerialDevice>(board_, clock_);
        device->SetLineRate(lineRate_);
        return device;
    });
}

Clock& InProcessBoard::HostClock(InProcessBoard* simulated) {
    return simulated ? static_cast<Clock&>(simulated->clock()) : SystemClock::Instance();
}

}  // namespace sim
