#include "script/CommandTable.h"

namespace script {

// Search order matters: a longer name that begins with a shorter one stands before it
// (filercs/filerc/filer, jmpc/jmp, portr/port, elseif/else, settimer/settime, stoptimer/stop).
const CommandEntry kCommandTable[kCommandCount] = {
    {"read", 0x01, 3, 3, {0x1, 0xC, 0x3F}},
    {"write", 0x02, 3, 3, {0xE, 0x1, 0x3F}},
    {"fopenr", 0x03, 3, 2, {0x40, 0x40, 0x803C}},
    {"fopenw", 0x04, 3, 1, {0x40, 0x883F, 0x803F}},
    {"filercs", 0x4F, 2, 2, {0x1, 0x3F, 0}},
    {"filerc", 0x4E, 1, 1, {0x3D, 0, 0}},
    {"filer", 0x05, 1, 1, {0x3D, 0, 0}},
    {"filew", 0x06, 2, 1, {0x40, 0x803F, 0}},
    {"disp", 0x07, 2, 1, {0x40, 0x803F, 0}},
    {"dialogyesno", 0x57, 2, 2, {0x40, 0x3C, 0}},
    {"dialogentry", 0x58, 2, 2, {0x40, 0x3C, 0}},
    {"dialog", 0x08, 2, 1, {0x40, 0x803F, 0}},
    {"cls", 0x09, 0, 0, {0, 0, 0}},
    {"word", 0x1004, 1, 1, {0, 0, 0}},
    {"const", 0x1007, 1, 1, {0, 0, 0}},
    {"buffer", 0x1005, 1, 1, {0, 0, 0}},
    {"copy", 0x0A, 2, 2, {0x3F, 0x3D, 0}},
    {"add", 0x0B, 2, 2, {0x3F, 0x3C, 0}},
    {"sub", 0x0C, 2, 2, {0x3F, 0x3C, 0}},
    {"and", 0x0D, 2, 2, {0x3F, 0x3C, 0}},
    {"or", 0x0E, 2, 2, {0x3F, 0x3C, 0}},
    {"xor", 0x0F, 2, 2, {0x3F, 0x3C, 0}},
    {"jmpc", 0x14, 3, 3, {0x3F, 0x3F, 0x80}},
    {"jsrc", 0x21, 3, 3, {0x3F, 0x3F, 0x80}},
    {"jmp", 0x14, 1, 1, {0x80, 0, 0}},
    {"jsr", 0x21, 1, 1, {0x80, 0, 0}},
    {"return", 0x34, 0, 0, {0, 0, 0}},
    {"djnz", 0x36, 2, 2, {0, 0, 0}},
    {"if", 0x1000, 2, 2, {0x3F, 0x3F, 0x80}},
    {"endif", 0x1001, 0, 0, {0, 0, 0}},
    {"while", 0x1002, 2, 2, {0x3F, 0x3F, 0x80}},
    {"endwhile", 0x1003, 0, 0, {0, 0, 0}},
    {"elseif", 0x1009, 2, 2, {0x3F, 0x3F, 0x80}},
    {"else", 0x1008, 0, 0, {0, 0, 0}},
    {"device", 0x37, 1, 1, {0x3F, 0, 0}},
    {"delay", 0x38, 1, 1, {0x3F, 0, 0}},
    {"microdelay", 0x46, 1, 1, {0x3F, 0, 0}},
    {"register", 0x39, 3, 3, {0x3E, 0x2, 0x3F}},
    {"lsr", 0x10, 2, 2, {0x3F, 0x3C, 0}},
    {"lsl", 0x11, 2, 2, {0x3F, 0x3C, 0}},
    {"asr", 0x12, 2, 2, {0x3F, 0x3C, 0}},
    {"asl", 0x13, 2, 2, {0x3F, 0x3C, 0}},
    {"portr", 0x40, 1, 1, {0x3F, 0, 0}},
    {"portw", 0x41, 1, 1, {0x3F, 0, 0}},
    {"portc", 0x43, 1, 1, {0x3F, 0, 0}},
    {"port", 0x42, 1, 1, {0x3F, 0, 0}},
    {"ones", 0x44, 2, 2, {0x3F, 0x3C, 0}},
    {"waitfile", 0x45, 1, 1, {0x3F, 0, 0}},
    {"setvect", 0x47, 2, 2, {0x3E, 0x80, 0}},
    {"intson", 0x48, 0, 0, {0, 0, 0}},
    {"intsoff", 0x49, 0, 0, {0, 0, 0}},
    {"rfi", 0x4A, 0, 0, {0, 0, 0}},
    {"logon", 0x4C, 0, 0, {0, 0, 0}},
    {"logoff", 0x4D, 0, 0, {0, 0, 0}},
    {"bufcfg", 0x50, 2, 1, {0x83F, 0x883F, 0}},
    {"bufopenr", 0x51, 2, 1, {0x3F, 0x803C, 0}},
    {"bufopenw", 0x52, 2, 1, {0x3F, 0x803C, 0}},
    {"bufread", 0x53, 3, 2, {0x3F, 0x3D, 0x803F}},
    {"bufwrite", 0x54, 3, 2, {0x3F, 0x3D, 0x803F}},
    {"buftofile", 0x55, 2, 2, {0x3F, 0x40, 0}},
    {"filetobuf", 0x56, 1, 1, {0x3F, 0, 0}},
    {"getdevice", 0x59, 1, 1, {0x3D, 0, 0}},
    {"getport", 0x5A, 1, 1, {0x3D, 0, 0}},
    {"settimer", 0x5E, 1, 1, {0x3F, 0, 0}},
    {"starttimer", 0x5F, 0, 0, {0, 0, 0}},
    {"stoptimer", 0x60, 0, 0, {0, 0, 0}},
    {"gettime", 0x5B, 1, 1, {0x3D, 0, 0}},
    {"settime", 0x5C, 1, 1, {0x3F, 0, 0}},
    {"waituplink", 0x5D, 1, 1, {0x3F, 0, 0}},
    {"stop", 0x35, 0, 0, {0, 0, 0}},
    {"", 0x64, 0, 0, {0, 0, 0}},
};

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

struct OperatorEntry {
    std::string_view text;
    int condition;
};

constexpr OperatorEntry kOperators[] = {
    {"=", 0}, {"==", 0}, {"!", 1}, {"!=", 1}, {">", 2}, {"<", 3},  {">=", 4},  {"<=", 5},
    {"&", 6}, {"&&", 6}, {"|", 7}, {"||", 7}, {"^", 8}, {"!&", 9}, {"!|", 10}, {"!^", 11},
};

}  // namespace

namespace {

// For each pair of lower-case first letters, the entries beginning with them, in table
// order. Every name has at least two letters, so a keyword can only match an entry that shares
// its first two: searching that bucket, then the empty last entry, finds what a search of the
// whole table would.
struct KeywordBuckets {
    KeywordBuckets() {
        for (int i = 0; i < kUnrecognisedEntry; ++i) {
            const int b = Bucket(kCommandTable[i].name[0], kCommandTable[i].name[1]);
            entries[b][counts[b]++] = static_cast<int8_t>(i);
            names[i] = kCommandTable[i].name;
        }
    }
    static int Bucket(char a, char b) { return (a - 'a') * 26 + (b - 'a'); }
    int8_t entries[26 * 26][8] = {};
    uint8_t counts[26 * 26] = {};
    std::string_view names[kCommandCount];
};

const KeywordBuckets& Buckets() {
    static const KeywordBuckets buckets;
    return buckets;
}

}  // namespace

int MatchKeyword(std::string_view text, std::size_t& length) {
    length = 0;
    if (text.size() < 2) return kUnrecognisedEntry;
    const char a = Lower(text[0]);
    const char b = Lower(text[1]);
    if (a < 'a' || a > 'z' || b < 'a' || b > 'z') return kUnrecognisedEntry;
    const KeywordBuckets& buckets = Buckets();
    const int bucket = KeywordBuckets::Bucket(a, b);
    for (int k = 0; k < buckets.counts[bucket]; ++k) {
        const int i = buckets.entries[bucket][k];
        const std::string_view name = buckets.names[i];
        if (name.size() > text.size()) continue;
        bool equal = true;
        for (std::size_t c = 2; c < name.size() && equal; ++c) equal = Lower(text[c]) == name[c];
        if (equal) {
            length = name.size();
            return i;
        }
    }
    return kUnrecognisedEntry;
}

int FindCommand(std::string_view name) {
    for (int i = 0; i < kCommandCount; ++i)
        if (name == kCommandTable[i].name) return i;
    return -1;
}

int ConditionOfOperator(std::string_view op) {
    for (const OperatorEntry& e : kOperators)
        if (e.text == op) return e.condition;
    return -1;
}

bool IsOperatorStart(char c) {
    return c == '=' || c == '!' || c == '>' || c == '<' || c == '&' || c == '|' || c == '^';
}

bool IsOperatorSecond(char c) { return c == '=' || c == '&' || c == '|' || c == '^'; }

const int32_t kJumpIfTrue[kConditionCount] = {0x15, 0x16, 0x17, 0x18, 0x19, 0x1A,
                                              0x1B, 0x1C, 0x1D, 0x1E, 0x1F, 0x20};
// The jump-if-true opcode of the opposite condition.
const int32_t kJumpIfFalse[kConditionCount] = {0x16, 0x15, 0x1A, 0x19, 0x18, 0x17,
                                               0x1E, 0x1F, 0x20, 0x1B, 0x1C, 0x1D};
const int32_t kCallIfTrue[kConditionCount] = {0x22, 0x23, 0x24, 0x25, 0x26, 0x27,
                                              0x28, 0x29, 0x30, 0x31, 0x32, 0x33};

}  // namespace script
