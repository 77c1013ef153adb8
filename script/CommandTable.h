#pragma once
// The script language's fixed vocabulary: the command table searched in order by prefix,
// the parameter kinds, the comparison operators and the conditional-jump opcodes. Constant
// data shared by the compiler; the run host sees none of it except through the image.
#include <cstdint>
#include <string_view>

namespace script {

// Parameter kinds. The number is the bit position in a command's masks and travels in the
// low four bits of a parameter descriptor.
enum Kind : int32_t {
    kKindLocation = 0,
    kKindConstant = 1,
    kKindVariable = 2,
    kKindIndexed = 3,
    kKindIndexedInc = 4,
    kKindIndexedDec = 5,
    kKindString = 6,
    kKindLabel = 7,
    kKindInitWord = 8,  // label table only: an extra value of a multi-value `word`
    kKindUnrecognised = 9,  // unrecognised token, or the end of the line
    kKindSigned = 10,  // a value written with + or -: rejected, values are unsigned
    kKindLongConstant = 11,
    // A name written after * or #, until name resolution turns it into kind 0 or 1.
    kKindPendingLocation = 0x1000,
    kKindPendingConstant = 0x1001,
};

// Mask bit: the parameter may be omitted.
constexpr uint32_t kMaskOptional = 0x8000;

// Opcodes with a meaning to the compiler itself.
constexpr int32_t kOpJump = 0x14;  // jmp, and jmpc before an operator turns it conditional
constexpr int32_t kOpCall = 0x21;  // jsr, and jsrc likewise
constexpr int32_t kOpStop = 0x35;
constexpr int32_t kOpUnrecognised = 0x64;
constexpr int32_t kOpIf = 0x1000;
constexpr int32_t kOpEndif = 0x1001;
constexpr int32_t kOpWhile = 0x1002;
constexpr int32_t kOpEndwhile = 0x1003;
constexpr int32_t kOpWord = 0x1004;
constexpr int32_t kOpBuffer = 0x1005;
constexpr int32_t kOpEnd = 0x1006;  // end of records; also what an unused record holds
constexpr int32_t kOpConst = 0x1007;
constexpr int32_t kOpElse = 0x1008;
constexpr int32_t kOpElseif = 0x1009;

struct CommandEntry {
    const char* name;  // lower case; empty for the last entry, which matches anything
    int32_t opcode;
    int32_t maxParams;
    int32_t minParams;  // only for the wording of the parameter-count error
    uint32_t masks[3];
};

constexpr int kCommandCount = 71;
extern const CommandEntry kCommandTable[kCommandCount];
constexpr int kUnrecognisedEntry = kCommandCount - 1;

// Matches the keyword at the start of text against the table in order, ignoring case; the
// first entry whose whole name begins the text wins. Returns the entry index (the last,
// empty entry when nothing else matches) and sets length to the matched name's length.
int MatchKeyword(std::string_view text, std::size_t& length);

// Index of the entry with exactly this name, or -1.
int FindCommand(std::string_view name);

// Comparison operators: condition codes 0..11.
constexpr int kConditionCount = 12;
// The condition code of an operator token of one or two characters, or -1.
int ConditionOfOperator(std::string_view op);
// Characters that start an operator, and those that may follow as its second character.
bool IsOperatorStart(char c);
bool IsOperatorSecond(char c);

extern const int32_t kJumpIfTrue[kConditionCount];  // jmpc, and the bottom of a while loop
extern const int32_t kJumpIfFalse[kConditionCount];  // if, elseif, the top of a while loop
extern const int32_t kCallIfTrue[kConditionCount];  // jsrc

}  // namespace script
