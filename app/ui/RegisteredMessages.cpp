#include "app/ui/RegisteredMessages.h"

#include "app/MessageNames.h"

#include <array>
#include <mutex>

namespace {

std::array<QEvent::Type, kRegisteredMessageNames.size()> g_types{};
std::once_flag g_registered;

}  // namespace

void RegisterMessages() {
    std::call_once(g_registered, [] {
        for (auto& type : g_types) type = static_cast<QEvent::Type>(QEvent::registerEventType());
    });
}

QEvent::Type RegisteredMessage(std::string_view name) {
    for (size_t i = 0; i < kRegisteredMessageNames.size(); ++i) {
        if (kRegisteredMessageNames[i] == name) return g_types[i] ? g_types[i] : QEvent::None;
    }
    return QEvent::None;
}
