#pragma once
// The registered messages as Qt event types: each name gets its type once, when the program
// starts, and keeps it for the run. Pages that post or handle one ask for its type by name.
#include <QEvent>

#include <string_view>

// Registers every name of kRegisteredMessageNames; later calls change nothing.
void RegisterMessages();
// The event type of a registered name; QEvent::None for a name that is not one of them or
// before RegisterMessages.
QEvent::Type RegisteredMessage(std::string_view name);
