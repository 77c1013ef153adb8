#include "script/CommandTable.h"

#include <cstring>

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
// whole table would. Each entry's name is kept as two words of its characters with a mask of
// its length, so that a keyword is compared in two steps (every line of a script passes here).
struct KeywordBuckets {
    struct Candidate {
        uint64_t low = 0, high = 0;  // the name's characters 0..7 and 8..15, zeros after it
        uint64_t lowMask = 0, highMask = 0;  // 0xFF for each character the name has
        uint8_t length = 0;
        int8_t entry = 0;
    };
    KeywordBuckets() {
        for (int i = 0; i < kUnrecognisedEntry; ++i) {
            const std::string_view name = kCommandTable[i].name;
            const int b = Bucket(name[0], name[1]);
            Candidate& c = candidates[b][counts[b]++];
            for (std::size_t k = 0; k < name.size(); ++k) {
                const uint64_t ch = static_cast<unsigned char>(name[k]);
                (k < 8 ? c.low : c.high) |= ch << (8 * (k % 8));
                (k < 8 ? c.lowMask : c.highMask) |= uint64_t{0xFF} << (8 * (k % 8));
            }
            c.length = static_cast<uint8_t>(name.size());
            c.entry = static_cast<int8_t>(i);
        }
    }
    static int Bucket(char a, char b) { return (a - 'a') * 26 + (b - 'a'); }
    Candidate candidates[26 * 26][8] = {};
    uint8_t counts[26 * 26] = {};
};
static_assert(kCommandCount <= 127);

// Made before main, after the table it reads (constant data of this file).
const KeywordBuckets kBuckets;

// Characters 8 * word .. 8 * word + 7 of text (zeros past its end), A-Z made lower case and
// every other byte as it is.
uint64_t LoweredWord(std::string_view text, std::size_t word) {
    const std::size_t from = 8 * word;
    uint64_t w = 0;
    if (text.size() >= from + 8) {
        std::memcpy(&w, text.data() + from, 8);
    } else {
        for (std::size_t k = from; k < text.size(); ++k)
            w |= uint64_t{static_cast<unsigned char>(text[k])} << (8 * (k - from));
    }
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    const uint64_t seven = w & (0x7F * kOnes);
    const uint64_t aboveZ = seven + (0x7F - 'Z') * kOnes;  // top bit set where above 'Z'
    const uint64_t fromA = seven + (0x7F - 'A' + 1) * kOnes;  // top bit set where 'A' or above
    const uint64_t upper = fromA & ~aboveZ & ~w & (0x80 * kOnes);
    return w | (upper >> 2);
}

}  // namespace

int MatchKeyword(std::string_view text, std::size_t& length) {
    length = 0;
    if (text.size() < 2) return kUnrecognisedEntry;
    const char a = Lower(text[0]);
    const char b = Lower(text[1]);
    if (a < 'a' || a > 'z' || b < 'a' || b > 'z') return kUnrecognisedEntry;
    const int bucket = KeywordBuckets::Bucket(a, b);
    const uint8_t count = kBuckets.counts[bucket];
    if (count == 0) return kUnrecognisedEntry;
    const uint64_t low = LoweredWord(text, 0);
    uint64_t high = 0;
    bool highRead = false;
    for (int k = 0; k < count; ++k) {
        const KeywordBuckets::Candidate& c = kBuckets.candidates[bucket][k];
        if ((low & c.lowMask) != c.low) continue;
        if (c.highMask != 0) {
            if (!highRead) {
                high = LoweredWord(text, 1);
                highRead = true;
            }
            if ((high & c.highMask) != c.high) continue;
        }
        length = c.length;
        return c.entry;
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
