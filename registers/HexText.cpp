#include "registers/HexText.h"

#include "core/TextFormat.h"

#include <cctype>
#include <cstdio>

bool IsHexText(const std::string& text) {
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    }
    return true;
}

uint32_t HexTextToNumber(const std::string& text) {
    uint32_t value = 0;
    for (char c : text) {
        uint32_t digit = static_cast<uint32_t>(static_cast<unsigned char>(c) - '0');
        if (digit > 9) digit -= 7;
        value = (value << 4) | (digit & 0xF);
    }
    return value;
}

std::string PadHexText(const std::string& text, RegWidth width) {
    const size_t digits = width == RegWidth::Bits16 ? 4 : 2;
    if (text.size() >= digits) return text;
    return std::string(digits - text.size(), '0') + text;
}

std::string RegisterValueText(uint32_t value, RegWidth width) {
    return PadHexText(FormatText("%X", static_cast<unsigned>(value)), width);
}

std::string EntryText(const std::string& typed, size_t maxLength) {
    std::string out;
    for (char c : typed) {
        if (out.size() == maxLength) break;
        out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}
