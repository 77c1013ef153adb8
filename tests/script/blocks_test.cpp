// Blocks become jumps: if/elseif/else/endif and while/endwhile, with their targets.
#include "script/CommandTable.h"
#include "tests/script/ScriptTestSupport.h"

#include <string>
#include <vector>

using namespace script;
using scripttest::CompilerTest;

namespace {

// A record's opcode and where it jumps: slot 2 for conditional jumps, slot 0 for jmp, -1 for
// records that do not jump.
struct Jump {
    int32_t opcode;
    int32_t target;
    bool operator==(const Jump&) const = default;
};

void PrintTo(const Jump& j, std::ostream* os) {
    *os << "{0x" << std::hex << j.opcode << std::dec << ", " << j.target << "}";
}

struct BlockCase {
    const char* name;
    std::string source;  // after "x word" and "y word" (lines 1 and 2)
    std::vector<Jump> records;
};

class Blocks : public CompilerTest, public testing::WithParamInterface<BlockCase> {};

TEST_P(Blocks, BecomeJumps) {
    const BlockCase& c = GetParam();
    EXPECT_TRUE(Compile("x word\ny word\n" + c.source).empty());
    std::vector<Jump> got;
    for (const CommandRecord& r : compiler.Records()) {
        const bool conditional = (r.opcode >= 0x15 && r.opcode <= 0x20);
        got.push_back({r.opcode, conditional ? r.slots[2].value : r.opcode == 0x14 ? r.slots[0].value : -1});
        if (conditional) {
            EXPECT_EQ(r.slots[2].kind, kKindLabel);
        }
    }
    EXPECT_EQ(got, c.records) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Compiler, Blocks,
    testing::Values(
        // The endif makes no record; if jumps past the block when its condition fails.
        BlockCase{"if", "  if x = y\n  cls\n  endif\n  stop\n", {{0x16, 2}, {0x09, -1}, {0x35, -1}}},
        // Two records for if/else: jump-if-false to the else part, jmp past it.
        BlockCase{"if-else",
                  "  if x > y\n  add 1 x\n  else\n  add 1 y\n  endif\n  stop\n",
                  {{0x1A, 3}, {0x0B, -1}, {0x14, 4}, {0x0B, -1}, {0x35, -1}}},
        // Each elseif jumps past the block after its part and becomes an if of its own.
        BlockCase{
            "if-elseif-else",
            "  if x > 1\n  cls\n  elseif x < 1\n  cls\n  else\n  cls\n  endif\n  stop\n",
            {{0x1A, 3}, {0x09, -1}, {0x14, 7}, {0x19, 6}, {0x09, -1}, {0x14, 7}, {0x09, -1}, {0x35, -1}}},
        BlockCase{"elseif chain",
                  "  if x = 1\n  elseif x = 2\n  elseif x = 3\n  endif\n  stop\n",
                  {{0x16, 2}, {0x14, 5}, {0x16, 4}, {0x14, 5}, {0x16, 5}, {0x35, -1}}},
        // while: jump-if-false at the top past the loop, jump-if-true at the bottom back in.
        BlockCase{"while",
                  "  while x < 3\n  add 1 x\n  endwhile\n  stop\n",
                  {{0x19, 3}, {0x0B, -1}, {0x18, 1}, {0x35, -1}}},
        BlockCase{"if in while",
                  "  while x\n  if y\n  cls\n  endif\n  endwhile\n  stop\n",
                  {{0x15, 4}, {0x15, 3}, {0x09, -1}, {0x16, 1}, {0x35, -1}}},
        BlockCase{"while in if",
                  "  if x\n  while y\n  cls\n  endwhile\n  else\n  cls\n  endif\n",
                  {{0x15, 5}, {0x15, 4}, {0x09, -1}, {0x16, 2}, {0x14, 6}, {0x09, -1}}},
        BlockCase{"nested endifs together",
                  "  if x\n  if y\n  cls\n  endif\n  endif\n  stop\n",
                  {{0x15, 3}, {0x15, 3}, {0x09, -1}, {0x35, -1}}},
        BlockCase{
            "nested in else",
            "  if x\n  cls\n  else\n  if y\n  cls\n  else\n  stop\n  endif\n  endif\n  cls\n",
            {{0x15, 3}, {0x09, -1}, {0x14, 7}, {0x15, 6}, {0x09, -1}, {0x14, 7}, {0x35, -1}, {0x09, -1}}},
        BlockCase{"sequence",
                  "  if x\n  endif\n  if y\n  endif\n  while x\n  endwhile\n",
                  {{0x15, 1}, {0x15, 2}, {0x15, 4}, {0x16, 3}}},
        // An else left over inside an inner block serves the block around it: blocks are
        // taken one at a time, innermost first, and an unused else stays for the next.
        BlockCase{"second else",
                  "  if x\n  if y\n  cls\n  else\n  cls\n  else\n  cls\n  endif\n  cls\n"
                  "  endif\n  stop\n",
                  {{0x15, 6},
                   {0x15, 4},
                   {0x09, -1},
                   {0x14, 7},
                   {0x09, -1},
                   {0x14, 8},
                   {0x09, -1},
                   {0x09, -1},
                   {0x35, -1}}}),
    [](const testing::TestParamInfo<BlockCase>& p) {
        std::string n;
        for (char ch : std::string(p.param.name))
            n += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        return n;
    });

TEST_F(CompilerTest, SingleOperandMeansNotZero) {
    EXPECT_TRUE(Compile("x word\ny word\n  if x\n  endif\n  if x y\n  endif\n").empty());
    // if x: x != 0
    EXPECT_EQ(Rec(0).condition, 1);
    EXPECT_EQ(Rec(0).opcode, 0x15);
    EXPECT_EQ(Slot(0, 1).kind, kKindConstant);
    EXPECT_EQ(Slot(0, 1).value, 0);
    EXPECT_EQ(Rec(0).tokenCount, 4);
    // if x y: x = y
    EXPECT_EQ(Rec(1).condition, 0);
    EXPECT_EQ(Rec(1).opcode, 0x16);
    EXPECT_EQ(Slot(1, 1).kind, kKindVariable);
    EXPECT_EQ(Slot(1, 1).value, 0);  // y, the last single variable, lies at 0
    EXPECT_EQ(Slot(1, 0).value, 1);
}

TEST_F(CompilerTest, EveryConditionGetsItsJumpIfFalse) {
    const char* ops[kConditionCount] = {"=", "!=", ">", "<", ">=", "<=", "&", "|", "^", "!&", "!|", "!^"};
    for (int c = 0; c < kConditionCount; ++c) {
        EXPECT_TRUE(Compile(std::string("x word\n  if x ") + ops[c] + " 1\n  endif\n").empty());
        EXPECT_EQ(Rec(0).opcode, kJumpIfFalse[c]) << ops[c];
        EXPECT_TRUE(Compile(std::string("x word\n  while x ") + ops[c] + " 1\n  endwhile\n").empty());
        EXPECT_EQ(Rec(0).opcode, kJumpIfFalse[c]) << ops[c];
        EXPECT_EQ(Rec(1).opcode, kJumpIfTrue[c]) << ops[c];
    }
}

TEST_F(CompilerTest, LoopBottomKeepsItsOwnLine) {
    EXPECT_TRUE(Compile("x word\n  while x < 3\n  add 1 x\n  endwhile\n").empty());
    EXPECT_EQ(Rec(0).line, 2);
    EXPECT_EQ(Rec(2).line, 4);
    EXPECT_EQ(Slot(2, 0).value, Slot(0, 0).value);
    EXPECT_EQ(Rec(2).condition, 3);
}

TEST_F(CompilerTest, ElseifConditionKeepsItsLine) {
    EXPECT_TRUE(Compile("x word\n  if x = 1\n  elseif x = 2\n  endif\n").empty());
    EXPECT_EQ(Rec(1).line, 3);  // the jmp
    EXPECT_EQ(Rec(2).line, 3);  // the new if
    EXPECT_EQ(Slot(2, 1).value, 2);
}

TEST_F(CompilerTest, LabelOnEndifNamesTheNextCommand) {
    EXPECT_TRUE(Compile("x word\n  if x\n  cls\nthere endif\n  stop\nafter cls\n  jmp there\n"
                        "  jmp after\n")
                    .empty());
    EXPECT_EQ(Label("there")->commandIndex, 2);
    EXPECT_EQ(Rec(2).opcode, 0x35);
    EXPECT_EQ(Label("after")->commandIndex, 3);
    EXPECT_EQ(Slot(4, 0).value, 2);
    EXPECT_EQ(Slot(5, 0).value, 3);
}

TEST_F(CompilerTest, LabelAfterTheLastLineNamesTheEnd) {
    EXPECT_TRUE(Compile("  jmp end\n  if 1\n  endif\nend\n").empty());
    EXPECT_EQ(Label("end")->commandIndex, 2);
    EXPECT_EQ(compiler.Records().size(), 2u);
}

// Every elseif takes two records: a script made of them needs more records than lines.
TEST_F(CompilerTest, ManyElseifsOutgrowTheLineCount) {
    const int n = 3000;
    std::string text = "x word\n  if x = 0\n";
    for (int i = 1; i <= n; ++i) text += "  elseif x = " + std::to_string(i) + "\n";
    text += "  endif\n  stop\n";
    // More records than the board holds, and nothing else wrong.
    EXPECT_EQ(Compile(text), std::vector<std::string>{"Error Script too large\r\n"});
    ASSERT_EQ(compiler.Records().size(), static_cast<std::size_t>(2 * n + 2));
    const int32_t end = 2 * n + 1;  // the stop
    for (int i = 1; i <= n; ++i) {
        EXPECT_EQ(Rec(2 * i - 1).opcode, 0x14);
        EXPECT_EQ(Slot(2 * i - 1, 0).value, end);
        EXPECT_EQ(Slot(2 * i, 1).value, i);
    }
    EXPECT_EQ(Slot(2 * n, 2).value, end);
    EXPECT_EQ(Rec(end).opcode, 0x35);
}

TEST_F(CompilerTest, DeepNestingIsRewrittenWithoutRescanning) {
    const int depth = 2000;
    std::string text = "x word\n";
    for (int i = 0; i < depth; ++i) text += "  if x\n  while x\n";
    text += "  cls\n";
    for (int i = 0; i < depth; ++i) text += "  endwhile\n  endif\n";
    EXPECT_EQ(Compile(text), std::vector<std::string>{"Error Script too large\r\n"});
    // Records: depth x (if, while), cls, depth x endwhile.
    ASSERT_EQ(compiler.Records().size(), static_cast<std::size_t>(3 * depth + 1));
    // The outermost if jumps to the end; the outermost loop's bottom sits last.
    EXPECT_EQ(Slot(0, 2).value, 3 * depth + 1);
    EXPECT_EQ(Slot(3 * depth, 2).value, 2);
}

}  // namespace
