#include "tests/support/SimHost.h"

#include "link/ComSettings.h"
#include "link/SerialPort.h"
#include "sim/port/SimSerialDevice.h"

SimLine::SimLine(sim::BoardConfig config) : simBoard(config) {
    simBoard.SetRequestLog(&requests);
}

std::unique_ptr<SerialDevice> SimLine::NewDevice() {
    auto device = std::make_unique<sim::SimSerialDevice>(simBoard, clock);
    device->SetLineRate(lineRate);
    if (wrapDevice) return wrapDevice(std::move(device));
    return device;
}

void SimLine::Connect(CSerialPort& port, int number) {
    port.SetDeviceOpener([this](int) { return NewDevice(); });
    port.Open(number, 115200, ParityNone, 8, StopOne, FlowNone);
    port.SetTimeouts(kBoardTimeouts);
}

SimHost::SimHost(sim::BoardConfig config) : SimLine(config), board(clock, prompts, progress) {
    progressSink.prompts = &prompts;
    board.SetProgressSink(&progressSink);
    Connect(board.Link().Port());
}

SimHost::~SimHost() {
    board.Link().Port().Close();
}
