#include "tests/support/SimHost.h"

#include "link/ComSettings.h"
#include "sim/SimSerialDevice.h"

SimHost::SimHost(sim::BoardConfig config)
    : simBoard(config), board(clock, prompts, progress) {
    simBoard.SetRequestLog(&requests);
    progressSink.prompts = &prompts;
    board.SetProgressSink(&progressSink);
    board.Link().Port().SetDeviceOpener([this](int) -> std::unique_ptr<SerialDevice> {
        return std::make_unique<sim::SimSerialDevice>(simBoard, clock);
    });
    board.Link().Port().Open(1, 115200, ParityNone, 8, StopOne, FlowNone);
    board.Link().Port().SetTimeouts(kBoardTimeouts);
}

SimHost::~SimHost() { board.Link().Port().Close(); }
