#include "cli/Cli.h"
#include "settings/QtSettingsKey.h"

#include <iostream>

int main(int argc, char** argv) {
    // The port settings the window stores; values it never stored keep their defaults.
    ComSettings stored;
    {
        QtSettingsKey key;
        if (key.Open(kComSettingsTab)) stored = ReadStoredComSettings(key);
    }
    return RunCli(argc, argv, stored, std::cout, std::cerr);
}
