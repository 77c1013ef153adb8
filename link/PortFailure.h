#pragma once
// Why a port did not open, in words a bench user can act on.
#include "link/SerialPort.h"

#include <string>

// The port's own words ("Cannot open /dev/ttyUSB0 (Permission denied)"), followed for the
// everyday causes (no rights, another program holds the port, the adapter is gone) by what to
// do about it. "Command failed." when the port gave no words at all.
std::string PortOpenFailureReason(const CSerialException& e);
