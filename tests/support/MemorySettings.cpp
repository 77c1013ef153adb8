#include "tests/support/MemorySettings.h"

namespace {

template <typename T>
std::optional<T> Stored(const MemoryStore& store, const std::string& tab, const std::string& name) {
    const auto t = store.tabs.find(tab);
    if (t == store.tabs.end()) return std::nullopt;
    const auto v = t->second.find(name);
    if (v == t->second.end() || !std::holds_alternative<T>(v->second)) return std::nullopt;
    return std::get<T>(v->second);
}

// A value of the other kind under the name is a failed query, as a registry value of the
// wrong type is.
template <typename T>
SettingsStatus Query(MemoryStore& store, bool open, const std::string& tab, const std::string& name,
                     T& value) {
    if (!open || store.failQuery.count(name)) return SettingsStatus::Failed;
    auto& values = store.tabs[tab];
    const auto v = values.find(name);
    if (v == values.end()) return SettingsStatus::Missing;
    if (!std::holds_alternative<T>(v->second)) return SettingsStatus::Failed;
    value = std::get<T>(v->second);
    return SettingsStatus::Ok;
}

}  // namespace

std::optional<uint32_t> MemoryStore::Dword(const std::string& tab, const std::string& name) const {
    return Stored<uint32_t>(*this, tab, name);
}

std::optional<std::string> MemoryStore::String(const std::string& tab, const std::string& name) const {
    return Stored<std::string>(*this, tab, name);
}

bool MemorySettingsKey::Open(const std::string& tab) {
    store_.openedTabs.push_back(tab);
    if (store_.failOpen) return false;
    tab_ = tab;
    store_.tabs[tab];
    open_ = true;
    return true;
}

SettingsStatus MemorySettingsKey::QueryDword(const std::string& name, uint32_t& value) {
    return Query(store_, open_, tab_, name, value);
}

bool MemorySettingsKey::SetDword(const std::string& name, uint32_t value) {
    if (!open_ || store_.failSet.count(name)) return false;
    store_.tabs[tab_][name] = value;
    store_.writes.push_back(name + "=" + std::to_string(value));
    return true;
}

SettingsStatus MemorySettingsKey::QueryString(const std::string& name, std::string& value) {
    return Query(store_, open_, tab_, name, value);
}

bool MemorySettingsKey::SetString(const std::string& name, const std::string& value) {
    if (!open_ || store_.failSet.count(name)) return false;
    store_.tabs[tab_][name] = value;
    store_.writes.push_back(name + "=" + value);
    return true;
}
