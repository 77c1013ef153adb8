#include "tests/support/SimHost.h"

#include "link/ComSettings.h"
#include "sim/port/SimSerialDevice.h"

SimLine::SimLine(sim::BoardConfig config) : simBoard(config) { simBoard.SetRequestLog(&requests); }

std::unique_ptr<SerialDevice> SimLine::NewDevice() {
    auto device = std::make_unique<sim::SimSerialDevice>(simBoard, clock);
    device->SetLineRate(lineRate);
    if (wrapDevice) return wrapDevice(std::move(device));
    return device;
}

void OpenBoardPort(CSerialPort& port, CSerialPort::DeviceOpener opener, int number) {
    port.SetDeviceOpener(std::move(opener));
    port.Open(number, 115200, ParityNone, 8, StopOne, FlowNone);
    port.SetTimeouts(kBoardTimeouts);
}

void SimLine::Connect(CSerialPort& port, int number) {
    OpenBoardPort(
        port, [this](int) { return NewDevice(); }, number);
}

SimHost::SimHost(sim::BoardConfig config) : SimLine(config), board(clock, prompts, progress) {
    progressSink.prompts = &prompts;
    board.SetProgressSink(&progressSink);
    Connect(board.Link().Port());
}

SimHost::~SimHost() { board.Link().Port().Close(); }
