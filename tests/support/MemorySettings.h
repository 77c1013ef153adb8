#pragma once
// The per-user settings in memory: the one settings store of the tests, with failures on demand.
// It keeps the contract of the real store (settings_contract_test runs the same cases against
// both), so what a page does with it is what it does with the user's settings.
#include "core/SettingsKey.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

// The whole per-user store: tab -> value name -> value.
struct MemoryStore {
    using Value = std::variant<uint32_t, std::string>;
    std::map<std::string, std::map<std::string, Value>> tabs;
    bool failOpen = false;
    std::set<std::string> failQuery;  // value names whose query fails
    std::set<std::string> failSet;  // value names that cannot be written
    std::vector<std::string> writes;  // "name=value" in the order they were written
    std::vector<std::string> openedTabs;  // every key opened (or tried), in order

    // A stored value of the kind asked for; nothing when there is none of that kind.
    std::optional<uint32_t> Dword(const std::string& tab, const std::string& name) const;
    std::optional<std::string> String(const std::string& tab, const std::string& name) const;
};

class MemorySettingsKey final : public SettingsKey {
public:
    explicit MemorySettingsKey(MemoryStore& store) : store_(store) {}
    bool Open(const std::string& tab) override;
    bool IsOpen() const override { return open_; }
    SettingsStatus QueryDword(const std::string& name, uint32_t& value) override;
    bool SetDword(const std::string& name, uint32_t value) override;
    SettingsStatus QueryString(const std::string& name, std::string& value) override;
    bool SetString(const std::string& name, const std::string& value) override;
    void Close() override { open_ = false; }

private:
    MemoryStore& store_;
    std::string tab_;
    bool open_ = false;
};
