#pragma once
// SettingsKey on QSettings("QVR", "TR805Q"): the registry on Windows, an INI file elsewhere.
#include "link/SettingsKey.h"

#include <memory>

class QSettings;

class QtSettingsKey final : public SettingsKey {
public:
    QtSettingsKey();
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
    std::string group_;
    bool open_ = false;
};
