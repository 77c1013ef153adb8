// Every compile error, its text and its order.
#include "tests/script/ScriptTestSupport.h"

#include <string>

using scripttest::CompilerTest;

namespace {

struct ErrorCase {
    std::string source;
    std::string errors;  // all texts in order, each with its CR LF
};

class Errors : public CompilerTest, public testing::WithParamInterface<ErrorCase> {};

TEST_P(Errors, AreReportedInOrder) {
    const ErrorCase& c = GetParam();
    EXPECT_EQ(scripttest::Join(Compile(c.source)), c.errors) << c.source;
}

// Builds "big buffer n", then an index variable that is not a single word (so it stays after
// the buffer) and a use of it as an index.
std::string IndexAt(int location) {
    return "big buffer " + std::to_string(location) + "\ni word 0 0\nb buffer 4\n  copy 1 b[i]\n";
}

// A script of n records.
std::string Records(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += "  cls\n";
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Compiler, Errors,
    testing::Values(
        // Parameter kinds against the masks.
        ErrorCase{"x word\n  copy 5 x\n", ""},
        ErrorCase{"x word\n  copy x 5\n", "Line 2: Error Parameter type not allowed in copy command\r\n"},
        ErrorCase{"x word\n  copy x \"s\"\n", "Line 2: Error Parameter type not allowed in copy command\r\n"},
        ErrorCase{"x word\n  add -5 x\n", "Line 2: Error in parameter.  NB - constants are unsigned\r\n"},
        // A lone sign adds a position: the count differs and the sign is named.
        ErrorCase{"x word\n  add - 5 x\n", "Line 2: Error in parameter.  NB - constants are unsigned\r\n"},
        ErrorCase{"  bufcfg $10000\n", ""}, ErrorCase{"  bufcfg $10000 $20000\n", ""},
        ErrorCase{"x word\n  add $10000 x\n", "Line 2: Error Parameter type not allowed in add command\r\n"},
        ErrorCase{"x word\n  djnz x x\n",
                  "Line 2: Error Parameter type not allowed in djnz command\r\n"
                  "Line 2: Error Parameter type not allowed in djnz command\r\n"},
        ErrorCase{"  djnz 1 2\n",
                  "Line 1: Error Parameter type not allowed in djnz command\r\n"
                  "Line 1: Error Parameter type not allowed in djnz command\r\n"},
        ErrorCase{"  djnz\n", "Line 1: Error djnz requires 2 parameters\r\n"},
        ErrorCase{"l  jmp l\n  jmp 5\n", "Line 2: Error Parameter type not allowed in jmp command\r\n"},
        ErrorCase{"  copy #\n", "Line 1: Error copy requires 2 parameters\r\n"},
        ErrorCase{"x word\n  copy # x\n", "Line 2: Error Parameter type not allowed in copy command\r\n"},
        // Parameter counts: exact, between, optional ones missing.
        ErrorCase{"  copy 5\n", "Line 1: Error copy requires 2 parameters\r\n"},
        ErrorCase{"  cls 1\n", "Line 1: Error cls requires 0 parameters\r\n"},
        ErrorCase{"  fopenr \"a\"\n", "Line 1: Error fopenr requires between 2 and 3 parameters\r\n"},
        ErrorCase{"  fopenr \"a\" \"b\"\n", ""}, ErrorCase{"  fopenw \"a\"\n", ""},
        ErrorCase{"  fopenw\n", "Line 1: Error fopenw requires between 1 and 3 parameters\r\n"},
        ErrorCase{"  disp \"a\" 1 2\n", "Line 1: Error disp requires between 1 and 2 parameters\r\n"},
        // Names.
        ErrorCase{"  copy 5 y\n", "Line 1: Error unresolved label(y)\r\n"},
        ErrorCase{"  copy *y #z\n",
                  "Line 1: Error unresolved label(y)\r\n"
                  "Line 1: Error unresolved label(z)\r\n"},
        ErrorCase{"\n\n  jmp nowhere\n", "Line 3: Error unresolved label(nowhere)\r\n"},
        ErrorCase{"b buffer 4\n  copy 1 b[j]\n", "Line 2: Error unresolved label(j)\r\n"},
        ErrorCase{"j word\n  copy 1 b[j]\n", "Line 2: Error unresolved label(b)\r\n"},
        ErrorCase{"  copy 1 b[j]\n",
                  "Line 1: Error unresolved label(b)\r\nLine 1: Error unresolved label(j)\r\n"},
        // Names are case-sensitive.
        ErrorCase{"X word\n  copy 1 x\n", "Line 2: Error unresolved label(x)\r\n"},
        ErrorCase{"x word\nx word\n", "Line 2: Error duplicate label(x)\r\n"},
        ErrorCase{"x word\ny word\nx cls\nx const 1\n",
                  "Line 3: Error duplicate label(x)\r\nLine 4: Error duplicate label(x)\r\n"},
        ErrorCase{"x word -1\n", "Line 1: Error variables are unsigned\r\n"},
        ErrorCase{"x word 1 2 -3\n", "Line 1: Error variables are unsigned\r\n"},
        ErrorCase{"x buffer +4\n", "Line 1: Error variables are unsigned\r\n"},
        ErrorCase{"x const -4\n", "Line 1: Error variables are unsigned\r\n"},
        // Index variables must lie below 4096.
        ErrorCase{IndexAt(4095), ""},
        ErrorCase{IndexAt(4096),
                  "Line 4: Error array index stored at bad location.  Allocate array indices "
                  "first\r\n"},
        ErrorCase{IndexAt(5000),
                  "Line 4: Error array index stored at bad location.  Allocate array indices "
                  "first\r\n"},
        // Commands and blocks.
        ErrorCase{"  frobnicate 1\n", "Line 1: Error unrecognised command\r\n"},
        ErrorCase{"  if 1\n  cls\n", "Line 1: Error if/while without matching endif/endwhile\r\n"},
        ErrorCase{"  while 1\n", "Line 1: Error if/while without matching endif/endwhile\r\n"},
        ErrorCase{"  endif\n", "Line 1: Error endif/endwhile without matching if/while\r\n"},
        ErrorCase{"  while 1\n  endif\n  endwhile\n  endwhile\n",
                  "Line 2: Error endif/endwhile without matching if/while\r\n"
                  "Line 4: Error endif/endwhile without matching if/while\r\n"},
        // The label table comes first, then each record in order.
        ErrorCase{"  frobnicate\nx word\nx word\n  copy 1 y\n",
                  "Line 3: Error duplicate label(x)\r\nLine 1: Error unrecognised command\r\n"
                  "Line 4: Error unresolved label(y)\r\n"},
        // Our own findings, between the label table and the records.
        ErrorCase{"  word 5\n", "Line 1: Error word without a label\r\n"},
        ErrorCase{"  copy 1 2\n  buffer 5\n  const 1\n",
                  "Line 2: Error buffer without a label\r\nLine 3: Error const without a label\r\n"
                  "Line 1: Error Parameter type not allowed in copy command\r\n"},
        // A label-only line before the declaration does not lend it its name.
        ErrorCase{"x\n  word 5\n  copy 1 x\n",
                  "Line 2: Error word without a label\r\n"
                  "Line 3: Error Parameter type not allowed in copy command\r\n"},
        ErrorCase{std::string(35, 'a') + " cls\n", ""},
        ErrorCase{std::string(36, 'a') + " cls\n", "Line 1: Error label longer than 35 characters\r\n"},
        ErrorCase{std::string(31, 'n') + " word\n  copy 1 " + std::string(31, 'n') + "\n", ""},
        ErrorCase{std::string(32, 'n') + " word\n  copy 1 " + std::string(32, 'n') + "\n",
                  "Line 2: Error name longer than 31 characters\r\n"},
        ErrorCase{"  copy 1 " + std::string(40, 'n') + "\n",
                  "Line 1: Error name longer than 31 characters\r\n"},
        ErrorCase{"b buffer 1\n  copy 1 b[" + std::string(32, 'i') + "]\n",
                  "Line 2: Error name longer than 31 characters\r\n"},
        ErrorCase{"  cls\n  disp \"" + std::string(1100, 'a') + "\"\n",
                  "Line 2: Error line longer than 1023 characters\r\n"},
        ErrorCase{std::string(1023, ';') + "\n", ""},
        ErrorCase{"  else\n", "Line 1: Error else/elseif without matching if\r\n"},
        ErrorCase{"  elseif 1\n  cls\n", "Line 1: Error else/elseif without matching if\r\n"},
        ErrorCase{"  if 1\n  else\n  else\n  endif\n", "Line 3: Error else/elseif without matching if\r\n"},
        ErrorCase{"  if 1\n  else\n", "Line 1: Error if/while without matching endif/endwhile\r\n"},
        ErrorCase{"  while 1\n  else\n  endwhile\n", "Line 2: Error else/elseif without matching if\r\n"},
        // The board holds 4096 records: a larger image is reported last, and only alone.
        ErrorCase{Records(4096), ""}, ErrorCase{Records(4097), "Error Script too large\r\n"},
        // An elseif takes two records; a matched endif none.
        ErrorCase{"x word\n  if x\n" + Records(4093) + "  elseif x\n  endif\n", ""},
        ErrorCase{"x word\n  if x\n" + Records(4094) + "  elseif x\n  endif\n", "Error Script too large\r\n"},
        ErrorCase{Records(4097) + "  frobnicate\n", "Line 4098: Error unrecognised command\r\n"},
        ErrorCase{"x word\nx word\n" + Records(5000), "Line 2: Error duplicate label(x)\r\n"},
        // Conditions are checked like the parameters of any command.
        ErrorCase{"  if y > 1\n  endif\n", "Line 1: Error unresolved label(y)\r\n"},
        ErrorCase{"x word\n  while x = y\n  endwhile\n", "Line 2: Error unresolved label(y)\r\n"},
        ErrorCase{"x word\n  if x\n  elseif y\n  endif\n", "Line 3: Error unresolved label(y)\r\n"},
        ErrorCase{"x word\n  if x > -1\n  endif\n",
                  "Line 2: Error in parameter.  NB - constants are unsigned\r\n"},
        ErrorCase{"x word\n  if x 1 2\n  endif\n", "Line 2: Error if requires 2 parameters\r\n"},
        ErrorCase{"x word\n  if x =& 2\n  endif\n", "Line 2: Error if requires 2 parameters\r\n"},
        ErrorCase{"  if\n  endif\n", "Line 1: Error if requires 2 parameters\r\n"},
        ErrorCase{"x word\n  if x > \"s\"\n  endif\n",
                  "Line 2: Error Parameter type not allowed in if command\r\n"},
        ErrorCase{"  jmpc 1 > 2 nowhere\n", "Line 1: Error unresolved label(nowhere)\r\n"},
        ErrorCase{"l  jsrc 1 > 2 l\n", ""},
        // Without an operator jmpc and jsrc compare for equality on the board, as `if a b` does.
        ErrorCase{"l  jmpc 1 2 l\n", ""},
        ErrorCase{"l  jmpc 1 2\n", "Line 1: Error jmpc requires 3 parameters\r\n"},
        ErrorCase{"x word\nl  jsrc x $ l\n", "Line 2: Error Parameter type not allowed in jsrc command\r\n"},
        // A second operand that is no value is not the end of the condition.
        ErrorCase{"x word\n  if x = $\n  endif\n",
                  "Line 2: Error Parameter type not allowed in if command\r\n"},
        ErrorCase{"x word\n  while x > #\n  endwhile\n",
                  "Line 2: Error Parameter type not allowed in while command\r\n"},
        ErrorCase{"x word\n  if x\n  elseif x < [\n  endif\n",
                  "Line 3: Error Parameter type not allowed in elseif command\r\n"},
        ErrorCase{"x word\n  if x $\n  endif\n",
                  "Line 2: Error Parameter type not allowed in if command\r\n"},
        ErrorCase{"x word\n  if x =\n  endif\n", "Line 2: Error if requires 2 parameters\r\n"},
        ErrorCase{"x word\n  while x !=\n  endwhile\n", "Line 2: Error while requires 2 parameters\r\n"},
        // A named constant stands for its value as if written there: beyond 16 bits only a
        // parameter that takes long values takes it.
        ErrorCase{"k const $12345\nx word\n  add k x\n",
                  "Line 3: Error Parameter type not allowed in add command\r\n"},
        ErrorCase{"x word\n  add #k x\nk const 70000\n",
                  "Line 2: Error Parameter type not allowed in add command\r\n"},
        ErrorCase{"k const $FFFF\nx word\n  add k x\n", ""},
        ErrorCase{"k const $FFFE\nx word\n  add k[2] x\n",
                  "Line 3: Error Parameter type not allowed in add command\r\n"},
        ErrorCase{"k const $12345\n  bufcfg k\n", ""},
        ErrorCase{"x word\n  if x = k\n  endif\nk const $10000\n",
                  "Line 2: Error Parameter type not allowed in if command\r\n"},
        // Initial values are 16-bit words.
        ErrorCase{"w word $FFFF\n", ""},
        ErrorCase{"w word $10000\n", "Line 1: Error value wider than 16 bits\r\n"},
        ErrorCase{"w word 1 2 70000\n", "Line 1: Error value wider than 16 bits\r\n"},
        ErrorCase{"w word $10000\nw word\n",
                  "Line 2: Error duplicate label(w)\r\nLine 1: Error value wider than 16 bits\r\n"},
        // Data locations are 16-bit: every word of a variable or buffer lies at or below $FFFF.
        ErrorCase{"x word\nbig buffer $FFFF\n", ""},
        ErrorCase{"x word\nbig buffer $10000\n", "Line 2: Error data location past $FFFF\r\n"},
        ErrorCase{"big buffer $FFFF\nw word 1 2\n", "Line 2: Error data location past $FFFF\r\n"},
        ErrorCase{"big buffer $10000\nb buffer 1\n", "Line 2: Error data location past $FFFF\r\n"},
        ErrorCase{"big buffer $10000\nw word 1\n", "Line 1: Error data location past $FFFF\r\n"},
        ErrorCase{"big buffer $8000\nmore buffer $8000\nb buffer 0\n  copy 1 b\n",
                  "Line 3: Error data location past $FFFF\r\n"
                  "Line 4: Error data location past $FFFF\r\n"},
        ErrorCase{"b buffer 4\nx word\n  copy 1 b[$FFFF]\n", "Line 3: Error data location past $FFFF\r\n"},
        ErrorCase{"b buffer 4\nx word\n  copy 1 b[$FFFE]\n", ""}));

}  // namespace

namespace {

// The label table checked as the language describes it: every entry against every later one.
std::vector<std::string> LabelFindingsByComparingAllPairs(const script::CScriptCompiler& c) {
    std::vector<std::string> findings;
    const auto& labels = c.Labels();
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const auto& e = labels[i];
        if (e.kind == script::kKindSigned) {
            findings.push_back("Line " + std::to_string(e.line) + ": Error variables are unsigned\r\n");
            continue;
        }
        if (e.kind == script::kKindInitWord) continue;
        for (std::size_t j = i + 1; j < labels.size(); ++j) {
            if (c.Name(labels[j].name) == c.Name(e.name)) {
                findings.push_back("Line " + std::to_string(labels[j].line) + ": Error duplicate label(" +
                                   std::string(c.Name(e.name)) + ")\r\n");
                break;
            }
        }
    }
    return findings;
}

TEST_F(CompilerTest, DuplicateLabelsAsByComparingEveryPair) {
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    const char* forms[] = {" word",    " cls",       " const 1",  " word 1 2",
                           " word -1", " word 3 -2", " buffer 2", ""};
    for (int round = 0; round < 20; ++round) {
        std::string text;
        const int lines = 50 + static_cast<int>(next(200));
        for (int i = 0; i < lines; ++i)
            text += "n" + std::to_string(next(30)) + forms[next(std::size(forms))] + "\n";
        const auto errors = Compile(text);
        EXPECT_EQ(errors, LabelFindingsByComparingAllPairs(compiler)) << text;
    }
}

}  // namespace
