#include "link/BoardPort.h"

#include "core/TextFormat.h"
#include "link/ComSettings.h"
#include "link/PortFailure.h"
#include "link/PortTable.h"

BoardPortName BoardPortName::Parse(const std::string& text) {
    if (const std::optional<int> n = ParseComPortName(text)) return Number(*n);
    return {std::nullopt, text};
}

std::optional<BoardPortFailure> OpenBoardPort(CSerialPort& port, const BoardPortName& name,
                                              const SerialLineSettings& line) {
    BoardPortFailure failure;
    try {
        if (name.number) {
            port.Open(*name.number, line.baud, line.parity, line.dataBits, line.stopBits, line.flowControl);
        } else {
            port.OpenPath(name.path, line);
        }
        if (port.IsOpen()) {
            port.SetTimeouts(kBoardTimeouts);
            return std::nullopt;
        }
    } catch (const CSerialException& e) {
        port.Close();
        failure.reason = PortOpenFailureReason(e);
        failure.code = static_cast<int>(e.GetErrorCode());
    }
    failure.text = name.number ? FormatText(kMsgUnableToOpenPort, *name.number)
                               : "Unable to open " + name.path + ".\nCheck board connection to COM port.";
    return failure;
}
