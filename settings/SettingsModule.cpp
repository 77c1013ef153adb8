// The entry point of the settings module (see SettingsModule.h).
#include "settings/SettingsModule.h"
#include "settings/QtSettingsKey.h"

extern "C" __attribute__((visibility("default"))) SettingsKey* tr805q_new_settings_key() {
    return new QtSettingsKey();
}
