#pragma once
// SettingsKey on QSettings("QVR", "TR805Q"): the registry on Windows, an INI file elsewhere.
//
// The INI file is text anyone can edit. A number value that does not read as one (Port=abc) is
// taken as missing, so that the caller uses and stores its default, as on a first start; with
// prompts given, the key then says so once, naming the file and the value, where the caller
// writes the default. Without it a damaged value would only show "Cannot read registry entry"
// and hold the user in the port dialog.
#include "core/SettingsKey.h"

#include <map>
#include <memory>

class QSettings;
class UserPrompts;

// The value's name, the file, what is wrong with the value, and the default stored instead.
inline constexpr const char kFmtDamagedSetting[] = "Error - The setting %s in %s %s; the default %u is used";
inline constexpr const char* kDamagedNotANumber = "is not a number";
inline constexpr const char* kDamagedOutOfRange = "is out of range";
inline constexpr const char* kCaptionDamagedSetting = "Warning";

class QtSettingsKey final : public SettingsKey {
public:
    QtSettingsKey();
    explicit QtSettingsKey(UserPrompts* prompts);
    ~QtSettingsKey() override;
    bool Open(const std::string& tab) override;
    bool IsOpen() const override { return open_; }
    SettingsStatus QueryDword(const std::string& name, uint32_t& value) override;
    bool SetDword(const std::string& name, uint32_t value) override;
    SettingsStatus QueryString(const std::string& name, std::string& value) override;
    bool SetString(const std::string& name, const std::string& value) override;
    void Close() override;

private:
    std::unique_ptr<QSettings> settings_;
    UserPrompts* prompts_ = nullptr;
    // Damaged values read as missing, by name, with what is wrong, until the default is stored.
    std::map<std::string, const char*> damaged_;
    std::string group_;
    bool open_ = false;
};
