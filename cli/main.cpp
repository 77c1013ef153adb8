#include "cli/Cli.h"
#include "cli/CliSession.h"
#include "settings/SettingsModule.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <iostream>
#include <memory>
#include <string>

namespace {

// The module by its full path beside the program first (the build's lib/ folder, then the
// installed one), then by name. A name alone is looked up with the search path of whoever calls
// dlopen, and under AddressSanitizer that is the sanitizer's runtime, not this program.
void* OpenSettingsModule() {
    char exe[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        std::string dir(exe, static_cast<size_t>(n));
        dir.erase(dir.rfind('/') + 1);
        for (const char* relative : {TR805Q_SETTINGS_BUILD_DIR, TR805Q_SETTINGS_INSTALL_DIR}) {
            const std::string path = dir + relative + "/" + kSettingsModuleFile;
            if (::access(path.c_str(), R_OK) != 0) continue;
            if (void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
        }
    }
    return ::dlopen(kSettingsModuleFile, RTLD_NOW | RTLD_LOCAL);
}

// The port settings the window stores; values it never stored keep their defaults. Read
// through the settings module, loaded here and kept to the end of the process.
ComSettings ReadStoredSettings() {
    void* module = OpenSettingsModule();
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
