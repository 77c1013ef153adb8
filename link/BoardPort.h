#pragma once
// The board's port as a user names it, and opening it for the board link: the one way the
// shell's program and the Python module open a port, with the window's failure text.
#include "link/SerialPort.h"

#include <optional>
#include <string>

struct BoardPortName {
    std::optional<int> number;  // a COM number, through the port table
    std::string path;  // otherwise a device path

    static BoardPortName Number(int n) { return {n, {}}; }
    // "3", "COM3" and "com3" name a number; anything else is a device path.
    static BoardPortName Parse(const std::string& text);
};

struct BoardPortFailure {
    // "Unable to open port COM3.\nCheck board connection to COM port.", or the same of a path.
    std::string text;
    // The port's own words and what to do about them; empty when the port raised nothing.
    std::string reason;
    int code = 0;  // the system's error number, when the port raised one
};

// Opens the port (a failure leaves it closed) and sets the board link's time-outs.
[[nodiscard]] std::optional<BoardPortFailure> OpenBoardPort(CSerialPort& port, const BoardPortName& name,
                                                            const SerialLineSettings& line);
