// The entry point of the settings module (see SettingsModule.h).
#include "settings/QtSettingsKey.h"
#include "settings/SettingsModule.h"

extern "C" __attribute__((visibility("default"))) SettingsKey* tr805q_new_settings_key() {
    return new QtSettingsKey();
}
