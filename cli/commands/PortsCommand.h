#pragma once
// tr805q-cli ports: the COM numbers in use and what is behind each.
#include "cli/commands/CommandLine.h"
#include "core/ExitCodes.h"
#include "link/PortTable.h"

#include <iosfwd>

// One line per present number, tab-separated: COMn, the device, its stable name (or "-"), and
// what it is: "simulated board", the USB adapter's identity, or "-". Scans for new devices
// first, as the window's port dialog does. Always exits with kCliOk.
int RunPortsCommand(PortTable& table, std::ostream& out);
// `ports`, with the current user's port table; needs no board.
void AddPortsCommand(CLI::App& app, CommandLine& line);
