#pragma once
// The settings store on QSettings as a module of its own, which tr805q-cli loads only for a
// command that needs the stored port settings: loading QtCore takes a process longer than
// compiling a long script does, and a compile or a port listing needs no settings.
#include "core/SettingsKey.h"

// Found through the program's library path (beside the program in the build, in the
// program's own library folder when installed).
inline constexpr const char* kSettingsModuleFile = "libtr805q-settings.so";
// extern "C" SettingsKey* tr805q_new_settings_key(): a new QtSettingsKey, owned by the caller.
inline constexpr const char* kSettingsModuleEntry = "tr805q_new_settings_key";
using NewSettingsKeyFn = SettingsKey* (*)();
