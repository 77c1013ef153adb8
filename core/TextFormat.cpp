#include "core/TextFormat.h"

#include <cstdarg>
#include <cstdio>

std::string FormatText(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::string result;
    if (n >= 0 && static_cast<size_t>(n) < sizeof text) {
        result.assign(text, static_cast<size_t>(n));
    } else if (n >= 0) {
        // Longer than the usual line: format again into a buffer of the exact size.
        result.resize(static_cast<size_t>(n));
        std::vsnprintf(result.data(), result.size() + 1, format, again);
    }
    va_end(again);
    return result;
}
