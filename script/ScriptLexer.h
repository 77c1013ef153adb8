#pragma once
// Reading one script line: the comment rules, the label at its start, the keyword, and the
// tokens after it. Works on a view of the line and never reads outside it.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace script {

namespace detail {

// Character classes, looked up rather than computed: every character of a script passes here.
enum : uint8_t { kLetter = 1, kDigit = 2, kNameChar = 4, kTokenStart = 8 };

constexpr std::array<uint8_t, 256> MakeClasses() {
    std::array<uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c) {
        uint8_t k = 0;
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) k |= kLetter | kNameChar | kTokenStart;
        if (c >= '0' && c <= '9') k |= kDigit | kNameChar | kTokenStart;
        if (c == '_') k |= kNameChar | kTokenStart;
        // Characters that begin a token; everything else (blanks, commas, parentheses, ']',
        // ...) separates tokens.
        for (char s : {'$', '#', '*', '"', '[', '+', '-', '=', '!', '>', '<', '&', '|', '^'})
            if (c == s) k |= kTokenStart;
        t[static_cast<std::size_t>(c)] = k;
    }
    return t;
}

inline constexpr std::array<uint8_t, 256> kClasses = MakeClasses();

inline uint8_t ClassOf(char c) { return kClasses[static_cast<unsigned char>(c)]; }

}  // namespace detail

inline bool IsLetter(char c) { return detail::ClassOf(c) & detail::kLetter; }
inline bool IsDigit(char c) { return detail::ClassOf(c) & detail::kDigit; }
inline bool IsNameChar(char c) { return detail::ClassOf(c) & detail::kNameChar; }

// Every "//" becomes ";" (also inside quotes). Returns line itself when it holds none,
// otherwise a view of scratch.
std::string_view ApplyCommentRules(std::string_view line, std::string& scratch);
// A line whose first character is '#' or '/' holds nothing.
bool IsCommentLine(std::string_view line);
// Length of the label at the start of line (0 when the line does not start with a letter or
// '_').
std::size_t LabelLength(std::string_view line);
// Position of the keyword: the first letter at or after pos, or npos when a ';' or the end of
// the line comes first.
std::size_t FindKeyword(std::string_view line, std::size_t pos);

enum class TokenType {
    End,  // ';' or the end of the line
    Number,  // kind 0 (after *) or 1; number may exceed 0xFFFF
    Name,  // kind 2, 0x1000 (*name) or 0x1001 (#name)
    ConstIndex,  // [n]
    VarIndex,  // [i], [i+], [i-]: kind 3, 4 or 5
    String,  // text between quotes, not yet cut to 63 characters
    Operator,  // condition code in condition
    Sign,  // a value written with + or -: kind 10
    Unrecognised,  // a token that starts like one of the above but is not one
};

struct Token {
    TokenType type = TokenType::End;
    int32_t kind = 0;
    int64_t number = 0;  // Number, ConstIndex, and a signed number
    std::string_view text;  // name, index name or string text
    int condition = 0;
};

// Largest number a script may write; larger ones are held at this value.
constexpr int64_t kNumberCeiling = 0x7FFFFFFF;

class Lexer {
public:
    Lexer(std::string_view line, std::size_t pos) : line_(line), pos_(pos) {}
    Token Next();

private:
    bool At(std::size_t i, char c) const { return i < line_.size() && line_[i] == c; }
    char Peek(std::size_t i) const { return i < line_.size() ? line_[i] : '\0'; }
    // Reads a decimal run or '$' and hex digits at pos_; false (nothing consumed) if none.
    bool ReadNumber(int64_t& number);
    std::string_view ReadName();

    std::string_view line_;
    std::size_t pos_;
};

}  // namespace script
