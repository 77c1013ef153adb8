#pragma once
// Hexadecimal register texts as the pages show and take them: upper-case digits only.
#include <cstdint>
#include <string>

enum class RegWidth { Bits8, Bits16 };

// True when every character is 0-9 or A-F; the empty text passes, so callers check emptiness first.
bool IsHexText(const std::string& text);
// Folds the digits left to right into 32 bits; the caller has checked IsHexText.
uint32_t HexTextToNumber(const std::string& text);
// Zero-pads on the left to 4 digits (16-bit) or 2 (8-bit); longer texts stay as they are.
std::string PadHexText(const std::string& text, RegWidth width);
// A value as the data field shows it: upper-case hex, padded to the width.
std::string RegisterValueText(uint32_t value, RegWidth width);
// What an entry field makes of typed text: letters in upper case, at most maxLength characters.
std::string EntryText(const std::string& typed, size_t maxLength);
