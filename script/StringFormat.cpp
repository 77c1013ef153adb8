#include "script/StringFormat.h"

#include "script/CompileMessages.h"
#include "script/ScriptLexer.h"

#include <bit>
#include <cstdio>
#include <optional>

namespace script {

namespace {

// Largest width or precision a specifier may ask for.
constexpr int kMaxFieldWidth = 1023;

struct Specifier {
    std::size_t percent = 0;  // position of the '%'
    std::size_t letter = 0;  // position of the type letter
    std::string flags;  // of "-+ #0"
    int width = -1;  // -1: none
    int precision = -1;  // -1: none
    bool wellFormed = false;  // flags, width and precision only between '%' and the letter
};

// The first '%' that is not one of a "%%" pair (pairs counted from the left), or npos.
std::size_t FindLonePercent(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        if (i + 1 < text.size() && text[i + 1] == '%')
            ++i;
        else
            return i;
    }
    return std::string_view::npos;
}

// Literal text as printed: each "%%" pair is one '%'; any other '%' stands as written.
void AppendLiteral(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') ++i;
    }
}

// Finds the specifier: the first '%' that does not pair with the next one; nothing when there
// is none. letter == npos when no letter follows the '%'.
std::optional<Specifier> FindSpecifier(std::string_view text) {
    const std::size_t percent = FindLonePercent(text);
    if (percent == std::string_view::npos) return std::nullopt;
    Specifier s;
    s.percent = percent;
    s.letter = std::string_view::npos;
    for (std::size_t i = percent + 1; i < text.size(); ++i) {
        if (IsLetter(text[i])) {
            s.letter = i;
            break;
        }
    }
    if (s.letter == std::string_view::npos) return s;
    std::string_view middle = text.substr(percent + 1, s.letter - percent - 1);
    std::size_t i = 0;
    while (i < middle.size() && std::string_view("-+ #0").find(middle[i]) != std::string_view::npos)
        s.flags += middle[i++];
    auto readNumber = [&](int& into) {
        if (i >= middle.size() || !IsDigit(middle[i])) return true;
        into = 0;
        for (; i < middle.size() && IsDigit(middle[i]); ++i) {
            into = into * 10 + (middle[i] - '0');
            if (into > kMaxFieldWidth) return false;
        }
        return true;
    };
    bool ok = readNumber(s.width);
    if (ok && i < middle.size() && middle[i] == '.') {
        ++i;
        s.precision = 0;
        ok = readNumber(s.precision);
    }
    s.wellFormed = ok && i == middle.size();
    return s;
}

bool BadSpecifier(std::string_view text, std::string& out) {
    out = FormatMessage(kMsgBadTypeSpecifier, text);
    return false;
}

// printf of one number with a format we build ourselves from the checked specifier.
// Flags a conversion has no use for are left out, as printf gives them no meaning there.
template <typename T>
std::string PrintOne(const Specifier& s, char conversion, T v) {
    std::string_view usable = conversion == 'c'                          ? "-"
                              : conversion == 'd'                        ? "-+ 0"
                              : conversion == 'u'                        ? "-0"
                              : (conversion == 'x' || conversion == 'X') ? "-#0"
                                                                         : "-+ #0";
    std::string format = "%";
    for (char f : s.flags)
        if (usable.find(f) != std::string_view::npos) format += f;
    if (s.width >= 0) format += std::to_string(s.width);
    if (s.precision >= 0 && conversion != 'c') format += "." + std::to_string(s.precision);
    format += conversion;
    // The format is built here, from the flags, width and precision this conversion allows and
    // the value's own type, never taken from the script as it stands.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    const int n = std::snprintf(nullptr, 0, format.c_str(), v);
    if (n <= 0) return std::string();
    std::string out(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(out.data(), out.size(), format.c_str(), v);
#pragma GCC diagnostic pop
    out.resize(static_cast<std::size_t>(n));
    return out;
}

double Fraction(uint16_t value) { return static_cast<int16_t>(value) / 32767.0; }

}  // namespace

std::string BinaryDigits(uint16_t value, int width) {
    if (width <= 0 || width > 16) width = 16;
    width = std::max(width, static_cast<int>(std::bit_width(value)));
    std::string digits;
    for (int bit = width - 1; bit >= 0; --bit) digits += ((value >> bit) & 1) ? '1' : '0';
    return digits;
}

bool FormatValueForFile(std::string_view text, uint16_t value, std::string& out) {
    const std::optional<Specifier> spec = FindSpecifier(text);
    if (!spec) {
        out.clear();
        AppendLiteral(out, text);
        return true;
    }
    if (spec->letter == std::string_view::npos || !spec->wellFormed) return BadSpecifier(text, out);
    std::string formatted;
    const char letter = text[spec->letter];
    switch (letter) {
        case 'x':
        case 'X':
        case 'u': formatted = PrintOne(*spec, letter, static_cast<unsigned>(value)); break;
        case 'c':
            formatted = PrintOne(*spec, 'c', static_cast<int>(value));
            // A NUL character would end the text for everyone who shows it.
            std::erase(formatted, '\0');
            break;
        case 'd': formatted = PrintOne(*spec, 'd', static_cast<int>(static_cast<int16_t>(value))); break;
        case 'f': formatted = PrintOne(*spec, 'f', static_cast<double>(static_cast<int16_t>(value))); break;
        case 'q': formatted = PrintOne(*spec, 'f', Fraction(value)); break;
        case 'b': formatted = BinaryDigits(value, spec->width); break;
        default: return BadSpecifier(text, out);
    }
    out.clear();
    AppendLiteral(out, text.substr(0, spec->percent));
    out += formatted;
    AppendLiteral(out, text.substr(spec->letter + 1));
    return true;
}

bool FormatValueForDisplay(std::string_view text, uint16_t value, std::string& out) {
    const std::optional<Specifier> spec = FindSpecifier(text);
    if (!spec) {
        out = std::to_string(value);
        return true;
    }
    if (spec->letter == std::string_view::npos) return BadSpecifier(text, out);
    char hex[8];
    switch (text[spec->letter]) {
        case 'x':
            std::snprintf(hex, sizeof hex, "$%x", static_cast<unsigned>(value));
            out = hex;
            return true;
        case 'X':
        case 'f':
            std::snprintf(hex, sizeof hex, "$%X", static_cast<unsigned>(value));
            out = hex;
            return true;
        case 'c':
        case 'u': out = std::to_string(value); return true;
        case 'q': {
            Specifier plain;
            out = PrintOne(plain, 'f', Fraction(value));
            return true;
        }
        case 'b': out = "0b" + BinaryDigits(value, spec->wellFormed ? spec->width : -1); return true;
        default: return BadSpecifier(text, out);
    }
}

}  // namespace script
