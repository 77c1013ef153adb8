#pragma once
// One per-user settings key, Software\QVR\TR805Q\<tab>: the registry on Windows, an INI file
// elsewhere. Pages open their key at start and keep it for the run.
#include <cstdint>
#include <string>

enum class [[nodiscard]] SettingsStatus{Ok, Missing, Failed};

class SettingsKey {
public:
    virtual ~SettingsKey() = default;
    // Creates or opens the key; false when it can be neither.
    [[nodiscard]] virtual bool Open(const std::string& tab) = 0;
    virtual bool IsOpen() const = 0;
    virtual SettingsStatus QueryDword(const std::string& name, uint32_t& value) = 0;
    [[nodiscard]] virtual bool SetDword(const std::string& name, uint32_t value) = 0;
    virtual SettingsStatus QueryString(const std::string& name, std::string& value) = 0;
    [[nodiscard]] virtual bool SetString(const std::string& name, const std::string& value) = 0;
    virtual void Close() = 0;
};

// The texts shown when the settings fail.
inline constexpr const char* kMsgCannotCreateKey = "Error - Cannot create registry key";
inline constexpr const char* kMsgCannotCreateEntry = "Error - Cannot create registry entry";
inline constexpr const char* kMsgCannotReadEntry = "Error - Cannot read registry entry";
