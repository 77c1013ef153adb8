#include "settings/QtSettingsKey.h"

#include <QSettings>
#include <QString>

QtSettingsKey::QtSettingsKey() = default;
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
    if (!ok || v > 0xFFFFFFFFull) return SettingsStatus::Failed;
    value = static_cast<uint32_t>(v);
    return SettingsStatus::Ok;
}

bool QtSettingsKey::SetDword(const std::string& name, uint32_t value) {
    if (!open_) return false;
    settings_->setValue(QString::fromStdString(group_ + "/" + name), static_cast<qulonglong>(value));
    settings_->sync();
    return settings_->status() == QSettings::NoError;
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
    open_ = false;
}
