#include "script/ScriptDialogs.h"

#include <cctype>

namespace script {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

EntryCheck Verdict(EntryVerdict v, std::string_view message) {
    EntryCheck c;
    c.verdict = v;
    c.message = std::string(message);
    return c;
}

EntryCheck Accept(int64_t value) {
    EntryCheck c;
    c.value = static_cast<uint16_t>(value & 0xFFFF);
    return c;
}

// The decimal number as the C library's atoi reads it (blanks, an optional '-', digits up to the
// first other character), but without overflow: a magnitude beyond any 16-bit value stops
// growing, so it stays out of range.
int64_t DecimalValue(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && text[i] == '-') {
        negative = true;
        ++i;
    }
    int64_t v = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (v < 1'000'000) v = v * 10 + (text[i] - '0');
        ++i;
    }
    return negative ? -v : v;
}

}  // namespace

EntryCheck CheckEntryText(const std::string& text) {
    std::string hex;
    bool isHex = false;
    if (text.rfind("0x", 0) == 0) {
        hex = text.substr(2);
        isHex = true;
    } else if (text.rfind("$", 0) == 0) {
        hex = text.substr(1);
        isHex = true;
    }

    if (!isHex) {
        for (char c : text) {
            if (!(std::isdigit(static_cast<unsigned char>(c)) || c == ' ' || c == '-')) {
                return Verdict(EntryVerdict::AskAgain, kMsgValueNotNumber);
            }
        }
        const int64_t v = DecimalValue(text);
        if (v < kEntryMinimum || v > kEntryMaximum) {
            return Verdict(EntryVerdict::AskAgain, kMsgValueOutOfRange);
        }
        return Accept(v);
    }

    // Blanks around the digits do not count.
    size_t first = 0;
    while (first < hex.size() && IsBlank(hex[first])) ++first;
    size_t last = hex.size();
    while (last > first && IsBlank(hex[last - 1])) --last;
    hex = hex.substr(first, last - first);
    int64_t v = 0;
    for (char c : hex) {
        const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                      : (c >= 'A' && c <= 'F')                    ? c - 'A' + 10
                      : (c >= 'a' && c <= 'f')                    ? c - 'a' + 10
                                                                  : -1;
        if (d < 0) return Verdict(EntryVerdict::Abort, kMsgValueNotNumber);
        if (v <= kEntryMaximum) v = v * 16 + d;  // beyond 16 bits it only has to stay too big
    }
    if (v > kEntryMaximum) return Verdict(EntryVerdict::AskAgain, kMsgValueOutOfRange);
    return Accept(v);
}

}  // namespace script
