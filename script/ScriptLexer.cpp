#include "script/ScriptLexer.h"

#include "script/CommandTable.h"

#include <array>
#include <bit>
#include <cstring>

namespace script {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool StartsToken(char c) { return detail::ClassOf(c) & detail::kTokenStart; }

// The first position at or after pos that holds no blank, eight characters at a time: a
// script's lines are indented, most by eight blanks or more.
std::size_t SkipBlanks(std::string_view line, std::size_t pos) {
    constexpr uint64_t kBlanks = 0x2020202020202020ull;
    while (std::endian::native == std::endian::little && pos + 8 <= line.size()) {
        uint64_t w;
        std::memcpy(&w, line.data() + pos, 8);
        const uint64_t other = w ^ kBlanks;
        if (other != 0) return pos + static_cast<std::size_t>(std::countr_zero(other)) / 8;
        pos += 8;
    }
    while (pos < line.size() && line[pos] == ' ') ++pos;
    return pos;
}

}  // namespace

std::string_view ApplyCommentRules(std::string_view line, std::string& scratch) {
    std::size_t at = line.find("//");
    if (at == std::string_view::npos) return line;
    scratch.assign(line.substr(0, at));
    while (at != std::string_view::npos) {
        scratch.push_back(';');
        std::size_t from = at + 2;
        at = line.find("//", from);
        scratch.append(line.substr(from, (at == std::string_view::npos ? line.size() : at) - from));
    }
    return scratch;
}

bool IsCommentLine(std::string_view line) { return !line.empty() && (line[0] == '#' || line[0] == '/'); }

std::size_t LabelLength(std::string_view line) {
    if (line.empty() || !(IsLetter(line[0]) || line[0] == '_')) return 0;
    std::size_t n = 1;
    while (n < line.size() && IsNameChar(line[n])) ++n;
    return n;
}

std::size_t FindKeyword(std::string_view line, std::size_t pos) {
    for (pos = SkipBlanks(line, pos); pos < line.size(); ++pos) {
        if (line[pos] == ';') return std::string_view::npos;
        if (IsLetter(line[pos])) return pos;
    }
    return std::string_view::npos;
}

bool Lexer::ReadNumber(int64_t& number) {
    std::size_t p = pos_;
    int64_t n = 0;
    if (Peek(p) == '$') {
        ++p;
        if (HexDigit(Peek(p)) < 0) return false;
        for (int d; (d = HexDigit(Peek(p))) >= 0; ++p)
            n = n * 16 + d > kNumberCeiling ? kNumberCeiling : n * 16 + d;
    } else {
        if (!IsDigit(Peek(p))) return false;
        for (; IsDigit(Peek(p)); ++p)
            n = n * 10 + (line_[p] - '0') > kNumberCeiling ? kNumberCeiling : n * 10 + (line_[p] - '0');
    }
    pos_ = p;
    number = n;
    return true;
}

std::string_view Lexer::ReadName() {
    std::size_t start = pos_;
    while (pos_ < line_.size() && IsNameChar(line_[pos_])) ++pos_;
    return line_.substr(start, pos_ - start);
}

Token Lexer::Next() {
    while (pos_ < line_.size() && line_[pos_] != ';' && !StartsToken(line_[pos_])) ++pos_;
    Token t;
    if (pos_ >= line_.size() || line_[pos_] == ';') {
        t.type = TokenType::End;
        t.kind = kKindUnrecognised;
        return t;
    }
    const char c = line_[pos_];
    if (IsLetter(c) || c == '_') {
        t.type = TokenType::Name;
        t.kind = kKindVariable;
        t.text = ReadName();
        return t;
    }
    if (IsDigit(c) || c == '$') {
        if (ReadNumber(t.number)) {
            t.type = TokenType::Number;
            t.kind = kKindConstant;
            return t;
        }
        ++pos_;
        t.type = TokenType::Unrecognised;
        t.kind = kKindUnrecognised;
        return t;
    }
    if (c == '#' || c == '*') {
        ++pos_;
        const char n = Peek(pos_);
        if (IsLetter(n) || n == '_') {
            t.type = TokenType::Name;
            t.kind = c == '*' ? kKindPendingLocation : kKindPendingConstant;
            t.text = ReadName();
            return t;
        }
        if (ReadNumber(t.number)) {
            t.type = TokenType::Number;
            t.kind = c == '*' ? kKindLocation : kKindConstant;
            return t;
        }
        t.type = TokenType::Unrecognised;
        t.kind = kKindUnrecognised;
        return t;
    }
    if (c == '"') {
        std::size_t start = ++pos_;
        std::size_t end = line_.find('"', start);
        if (end == std::string_view::npos) {
            t.text = line_.substr(start);
            pos_ = line_.size();
        } else {
            t.text = line_.substr(start, end - start);
            pos_ = end + 1;
        }
        t.type = TokenType::String;
        t.kind = kKindString;
        return t;
    }
    if (c == '[') {
        ++pos_;
        const char n = Peek(pos_);
        if (IsLetter(n) || n == '_') {
            t.type = TokenType::VarIndex;
            t.text = ReadName();
            t.kind = kKindIndexed;
            if (At(pos_, '+') || At(pos_, '-')) {
                const char s = line_[pos_];
                t.kind = s == '+' ? kKindIndexedInc : kKindIndexedDec;
                ++pos_;
                if (At(pos_, s)) ++pos_;
            }
            return t;
        }
        if (ReadNumber(t.number)) {
            t.type = TokenType::ConstIndex;
            return t;
        }
        t.type = TokenType::Unrecognised;
        t.kind = kKindUnrecognised;
        return t;
    }
    if (c == '+' || c == '-') {
        ++pos_;
        // A sign belongs to the value written directly after it.
        t.type = TokenType::Sign;
        t.kind = kKindSigned;
        const char n = Peek(pos_);
        if (IsDigit(n) || n == '$' || n == '#' || n == '*' || IsLetter(n) || n == '_') {
            Token value = Next();
            t.number = value.number;
            t.text = value.text;
        }
        return t;
    }
    // Operator: one character, and a second one only if it is '=', '&', '|' or '^'.
    std::size_t len = IsOperatorSecond(Peek(pos_ + 1)) ? 2 : 1;
    t.text = line_.substr(pos_, len);
    pos_ += len;
    t.condition = ConditionOfOperator(t.text);
    if (t.condition < 0) {
        t.type = TokenType::Unrecognised;
        t.kind = kKindUnrecognised;
        return t;
    }
    t.type = TokenType::Operator;
    return t;
}

}  // namespace script
