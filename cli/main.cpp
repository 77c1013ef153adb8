#include "cli/Cli.h"
#include "cli/CliSession.h"
#include "settings/SettingsModule.h"

#include <dlfcn.h>
#include <unistd.h>

#include <iostream>
#include <memory>

namespace {

// The port settings the window stores; values it never stored keep their defaults. Read
// through the settings module, loaded here and kept to the end of the process.
ComSettings ReadStoredSettings() {
    void* module = ::dlopen(kSettingsModuleFile, RTLD_NOW | RTLD_LOCAL);
    auto make = module ? reinterpret_cast<NewSettingsKeyFn>(::dlsym(module, kSettingsModuleEntry)) : nullptr;
    if (!make) {
        const char* why = ::dlerror();
        std::cerr << "tr805q-cli: the stored settings cannot be read (" << (why ? why : kSettingsModuleFile)
                  << "); the defaults are used\n";
        return ComSettings{};
    }
    std::unique_ptr<SettingsKey> key(make());
    ComSettings stored;
    if (key->Open(kComSettingsTab)) stored = ReadStoredComSettings(*key);
    return stored;
}

}  // namespace

int main(int argc, char** argv) {
    // Progress bars only on a terminal: a log that collects standard error stays clean.
    return RunCli(argc, argv, ReadStoredSettings, std::cout, std::cerr, SimulatedBoardSetup{},
                  ::isatty(STDERR_FILENO) == 1);
}
