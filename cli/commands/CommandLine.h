#pragma once
// What a tr805q-cli command line comes to: the options every command shares, and the one
// command it chose, which runs on the board's session or without a board. Each command file
// adds its words to the parser and, when they are given, sets what runs.
#include "cli/CliSession.h"

#include <functional>
#include <iosfwd>

namespace CLI {
class App;
}

struct CliOptions {
    ConnectOptions connect;
    int device = 1;  // the target device on the Z-LINK bus, 1..3
    bool simulate = false;
    bool quiet = false;  // no progress on standard error
    SimulatedBoardSetup board;  // the board of --simulate
};

struct CommandLine {
    CommandLine(std::ostream& outStream, std::ostream& errStream) : out(outStream), err(errStream) {}

    std::ostream& out;
    std::ostream& err;
    CliOptions options;
    std::function<int(CliSession&)> onBoard;  // a command that needs the board
    std::function<int()> offline;  // a command that needs none
};
