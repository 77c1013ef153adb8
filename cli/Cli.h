#pragma once
// tr805q-cli: the program's board operations from a shell.
#include "core/ExitCodes.h"
#include "link/ComSettings.h"

#include <functional>
#include <iosfwd>

class CliSession;
struct SimulatedBoardSetup;

// Reads the port settings the window keeps; asked only by a command that opens the board's port.
using StoredSettingsReader = std::function<ComSettings()>;

// Runs one command line; stored holds the port settings the window keeps.
int RunCli(int argc, const char* const* argv, const ComSettings& stored, std::ostream& out,
           std::ostream& err);
int RunCli(int argc, const char* const* argv, const StoredSettingsReader& stored, std::ostream& out,
           std::ostream& err);
// The same, with the board that --simulate serves set up as given (the command line's
// --fill-trace and --line-rate on top). errIsTerminal: err is a terminal, so long operations
// draw their progress on it unless --quiet is given.
int RunCli(int argc, const char* const* argv, const ComSettings& stored, std::ostream& out, std::ostream& err,
           const SimulatedBoardSetup& simulated, bool errIsTerminal = false);
int RunCli(int argc, const char* const* argv, const StoredSettingsReader& stored, std::ostream& out,
           std::ostream& err, const SimulatedBoardSetup& simulated, bool errIsTerminal = false);
// The same on a session made beforehand (a test's simulated board, kept from one command line
// to the next): a command that needs the board connects it with --port and --baud, as main's
// session is connected. The options that choose and set up the board (--simulate, --line-rate,
// --fill-trace, --quiet) are checked as always, but the session stands for them. The session's
// messages go to the stream it was made with.
int RunCli(int argc, const char* const* argv, CliSession& session, std::ostream& out, std::ostream& err);
