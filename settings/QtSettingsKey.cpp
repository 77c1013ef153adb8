#include "settings/QtSettingsKey.h"

#include "core/UserPrompts.h"

#include <QSettings>
#include <QString>

#include <cstdio>

QtSettingsKey::QtSettingsKey() = default;
QtSettingsKey::QtSettingsKey(UserPrompts* prompts) : prompts_(prompts) {}
QtSettingsKey::~QtSettingsKey() { Close(); }

bool QtSettingsKey::Open(const std::string& tab) {
    settings_ = std::make_unique<QSettings>(QStringLiteral("QVR"), QStringLiteral("TR805Q"));
    group_ = tab;
    open_ = settings_->status() == QSettings::NoError;
    return open_;
}

SettingsStatus QtSettingsKey::QueryDword(const std::string& name, uint32_t& value) {
    if (!open_) return SettingsStatus::Failed;
    const QString key = QString::fromStdString(group_ + "/" + name);
    if (!settings_->contains(key)) return SettingsStatus::Missing;
    bool ok = false;
    const qulonglong v = settings_->value(key).toULongLong(&ok);
    if (!ok || v > 0xFFFFFFFFull) {
        damaged_[name] = ok ? kDamagedOutOfRange : kDamagedNotANumber;
        return SettingsStatus::Missing;
    }
    damaged_.erase(name);
    value = static_cast<uint32_t>(v);
    return SettingsStatus::Ok;
}

bool QtSettingsKey::SetDword(const std::string& name, uint32_t value) {
    if (!open_) return false;
    settings_->setValue(QString::fromStdString(group_ + "/" + name), static_cast<qulonglong>(value));
    settings_->sync();
    const bool stored = settings_->status() == QSettings::NoError;
    // A failed write is the caller's to report ("Cannot create registry entry").
    const auto damaged = damaged_.find(name);
    if (damaged != damaged_.end()) {
        const char* what = damaged->second;
        damaged_.erase(damaged);
        if (stored && prompts_) {
            const std::string file = settings_->fileName().toStdString();
            char text[1024];
            std::snprintf(text, sizeof text, kFmtDamagedSetting, name.c_str(), file.c_str(), what, value);
            prompts_->MessageBox(text, kCaptionDamagedSetting, MsgIcon::Warning);
        }
    }
    return stored;
}

SettingsStatus QtSettingsKey::QueryString(const std::string& name, std::string& value) {
    if (!open_) return SettingsStatus::Failed;
    const QString key = QString::fromStdString(group_ + "/" + name);
    if (!settings_->contains(key)) return SettingsStatus::Missing;
    value = settings_->value(key).toString().toStdString();
    return SettingsStatus::Ok;
}

bool QtSettingsKey::SetString(const std::string& name, const std::string& value) {
    if (!open_) return false;
    settings_->setValue(QString::fromStdString(group_ + "/" + name), QString::fromStdString(value));
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}

void QtSettingsKey::Close() {
    if (settings_) settings_->sync();
    settings_.reset();
    damaged_.clear();
    open_ = false;
}
