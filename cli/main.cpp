#include "cli/Cli.h"
#include "cli/CliSession.h"
#include "settings/QtSettingsKey.h"

#include <iostream>

#include <unistd.h>

int main(int argc, char** argv) {
    // The port settings the window stores; values it never stored keep their defaults.
    ComSettings stored;
    {
        QtSettingsKey key;
        if (key.Open(kComSettingsTab)) stored = ReadStoredComSettings(key);
    }
    // Progress bars only on a terminal: a log that collects standard error stays clean.
    return RunCli(argc, argv, stored, std::cout, std::cerr, SimulatedBoardSetup{}, ::isatty(STDERR_FILENO) == 1);
}
