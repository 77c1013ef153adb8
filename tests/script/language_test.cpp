// The language as the compiler reads it: keywords, labels, comments and parameter forms.
#include "script/CommandTable.h"
#include "script/ScriptLexer.h"
#include "tests/script/ScriptTestSupport.h"

#include <cctype>
#include <string>
#include <vector>

using namespace script;
using scripttest::CompilerTest;

namespace {

TEST(CommandTable, EveryEntryCanBeReachedInSearchOrder) {
    // A name that an earlier entry begins would never be matched by prefix.
    for (int i = 0; i < kUnrecognisedEntry; ++i) {
        std::string_view name = kCommandTable[i].name;
        std::size_t length = 0;
        EXPECT_EQ(MatchKeyword(name, length), i) << name;
        EXPECT_EQ(length, name.size());
    }
    EXPECT_EQ(std::string_view(kCommandTable[kUnrecognisedEntry].name), "");
    EXPECT_EQ(kCommandTable[kUnrecognisedEntry].opcode, 0x64);
}

// The whole table searched in order, as the language defines the match.
int MatchBySearchingEveryEntry(std::string_view text, std::size_t& length) {
    for (int i = 0; i < kCommandCount; ++i) {
        std::string_view name = kCommandTable[i].name;
        if (name.size() > text.size()) continue;
        bool equal = true;
        for (std::size_t k = 0; k < name.size(); ++k)
            equal = equal && std::tolower(static_cast<unsigned char>(text[k])) == name[k];
        if (equal) {
            length = name.size();
            return i;
        }
    }
    return -1;
}

TEST(CommandTable, MatchAgreesWithSearchingTheWholeTable) {
    std::vector<std::string> texts = {"", "a", "x", "ad", "AD", "Add", "ifx", "elseIF 1", "_if", "9add",
                                      "stoptimers", "settime", "portw1", "bufcfg",
                                      // Bytes beside A-Z, and bytes above 127 whose low seven bits are
                                      // a capital, are no letters; a name's ninth and later characters.
                                      "c@py", "c[py", "c`py", "c{py", "c\xCFpy", "\xC3ls", "dialogyesnO",
                                      "dialogyesn\xCF", "dialogentrx", "DIALOGENTRY", "waitupLINK",
                                      "waituplin"};
    for (int i = 0; i < kUnrecognisedEntry; ++i) {
        const std::string name = kCommandTable[i].name;
        std::string upper = name;
        for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        texts.insert(texts.end(),
                     {name, upper, name + "x", name + " 1", name.substr(0, name.size() - 1), name.substr(1)});
    }
    for (const std::string& t : texts) {
        std::size_t want = 0, got = 0;
        const int expected = MatchBySearchingEveryEntry(t, want);
        EXPECT_EQ(MatchKeyword(t, got), expected) << t;
        EXPECT_EQ(got, want) << t;
    }
}

TEST(CommandTable, JumpIfFalseIsTheOppositeConditionsJumpIfTrue) {
    const int opposite[kConditionCount] = {1, 0, 5, 4, 3, 2, 9, 10, 11, 6, 7, 8};
    for (int c = 0; c < kConditionCount; ++c) EXPECT_EQ(kJumpIfFalse[c], kJumpIfTrue[opposite[c]]) << c;
}

TEST(CommandTable, Operators) {
    struct Case {
        const char* text;
        int condition;
    };
    const Case cases[] = {{"=", 0},  {"==", 0}, {"!", 1},   {"!=", 1},  {">", 2},   {"<", 3},
                          {">=", 4}, {"<=", 5}, {"&", 6},   {"&&", 6},  {"|", 7},   {"||", 7},
                          {"^", 8},  {"!&", 9}, {"!|", 10}, {"!^", 11}, {"=&", -1}, {"^^", -1}};
    for (const Case& c : cases) EXPECT_EQ(ConditionOfOperator(c.text), c.condition) << c.text;
}

// Each case is one line after the declarations "x word" and "y word" (lines 1 and 2).
struct KeywordCase {
    const char* line;
    const char* command;  // table name of the record made, nullptr for no record
    const char* errors;
};

class Keywords : public CompilerTest, public testing::WithParamInterface<KeywordCase> {};

TEST_P(Keywords, MatchByPrefixIgnoringCase) {
    const KeywordCase& c = GetParam();
    const auto errors = Compile(std::string("x word\ny word\n") + c.line + "\n");
    EXPECT_EQ(scripttest::Join(errors), c.errors);
    if (!c.command) {
        EXPECT_TRUE(compiler.Records().empty());
        return;
    }
    ASSERT_EQ(compiler.Records().size(), 1u);
    EXPECT_STREQ(kCommandTable[Rec(0).tableIndex].name, c.command);
}

INSTANTIATE_TEST_SUITE_P(
    Language, Keywords,
    testing::Values(
        // `reading x` is `read` whose first parameter is the name `ing`.
        KeywordCase{"  reading x", "read", "Line 3: Error read requires 3 parameters\r\n"},
        KeywordCase{"  add 5 x", "add", ""}, KeywordCase{"  Add 5 x", "add", ""},
        KeywordCase{"  ADD 5 x", "add", ""}, KeywordCase{"\taDd 5 x", "add", ""},
        KeywordCase{"  filercs *1 x", "filercs", ""}, KeywordCase{"  filerc x", "filerc", ""},
        KeywordCase{"  filer x", "filer", ""}, KeywordCase{"  portr x", "portr", ""},
        KeywordCase{"  port x", "port", ""}, KeywordCase{"  settimer 5", "settimer", ""},
        KeywordCase{"  settime 5", "settime", ""}, KeywordCase{"  stoptimer", "stoptimer", ""},
        KeywordCase{"  stop", "stop", ""}, KeywordCase{"  dialogyesno \"q\" x", "dialogyesno", ""},
        KeywordCase{"  dialog \"q\"", "dialog", ""},
        // Blanks, digits and punctuation before the keyword are skipped.
        KeywordCase{"  12, cls", "cls", ""},
        KeywordCase{"  frobnicate", "", "Line 3: Error unrecognised command\r\n"},
        // A keyword in column 1 is a label; the rest of the line has no keyword...
        KeywordCase{"cls", nullptr, ""},
        // ... or the next word is taken as one.
        KeywordCase{"add 5 x", "", "Line 3: Error unrecognised command\r\n"},
        KeywordCase{"lbl cls", "cls", ""}, KeywordCase{"_l1 cls", "cls", ""},
        KeywordCase{"  ; cls", nullptr, ""}, KeywordCase{"  12 ; cls", nullptr, ""}));

TEST_F(CompilerTest, ColumnOneKeywordBecomesALabel) {
    EXPECT_TRUE(Compile("cls\n  jmp cls\n").empty());
    ASSERT_NE(Label("cls"), nullptr);
    EXPECT_EQ(Label("cls")->kind, kKindLabel);
    EXPECT_EQ(Label("cls")->commandIndex, 0);
    EXPECT_EQ(Slot(0, 0).kind, kKindLabel);
    EXPECT_EQ(Slot(0, 0).value, 0);
}

struct CommentCase {
    const char* source;
    std::size_t records;
    const char* firstString;  // nullptr: no string expected
};

class Comments : public CompilerTest, public testing::WithParamInterface<CommentCase> {};

TEST_P(Comments, EndOrRemoveTheStatement) {
    const CommentCase& c = GetParam();
    EXPECT_TRUE(Compile(c.source).empty()) << c.source;
    EXPECT_EQ(compiler.Records().size(), c.records);
    if (c.firstString) {
        ASSERT_FALSE(compiler.Strings().empty());
        EXPECT_EQ(compiler.Strings()[0], c.firstString);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Language, Comments,
    testing::Values(CommentCase{"# cls\n", 0, nullptr}, CommentCase{"/ cls\n", 0, nullptr},
                    CommentCase{"// cls\n", 0, nullptr}, CommentCase{"  cls // cls\n", 1, nullptr},
                    CommentCase{"  cls ; copy 1\n", 1, nullptr}, CommentCase{"  disp \"a;b\"\n", 1, "a;b"},
                    // "//" becomes ";" even between quotes.
                    CommentCase{"  disp \"http://x\"\n", 1, "http:;x"},
                    CommentCase{"  disp \"open\n", 1, "open"},
                    CommentCase{"  disp \"crlf\"\r\n  cls\r\n", 2, "crlf"},
                    CommentCase{"  disp \"open\r\n", 1, "open"}));

TEST_F(CompilerTest, ANulEndsTheLine) {
    const char text[] = "  disp \"nul\0  cls\"\n  cls\n";
    EXPECT_TRUE(Compile(std::string_view(text, sizeof text - 1)).empty());
    EXPECT_EQ(compiler.Records().size(), 2u);
    ASSERT_EQ(compiler.Strings().size(), 1u);
    EXPECT_EQ(compiler.Strings()[0], "nul");
}

TEST_F(CompilerTest, StringsAreCutTo63Characters) {
    const std::string text(70, 'a');
    EXPECT_TRUE(Compile("  disp \"" + text + "\"\n  disp \"b\"\n").empty());
    ASSERT_EQ(compiler.Strings().size(), 2u);
    EXPECT_EQ(compiler.Strings()[0], text.substr(0, 63));
    EXPECT_EQ(Slot(1, 0).value, 1);
}

// One parameter form in `copy FORM x`, after declarations that put i at 0, x at 1, buf at 2.
struct FormCase {
    const char* form;
    int32_t kind;
    int32_t value;
    int32_t ref;
};

class ParameterForms : public CompilerTest, public testing::WithParamInterface<FormCase> {};

TEST_P(ParameterForms, GiveKindValueAndRef) {
    const FormCase& c = GetParam();
    Compile(std::string("x word\ni word\nc const 7\nbuf buffer 8\nlbl  cls\n  copy ") + c.form + " x\n");
    ASSERT_EQ(compiler.Records().size(), 2u);
    EXPECT_EQ(Slot(1, 0).kind, c.kind) << c.form;
    EXPECT_EQ(Slot(1, 0).value, c.value) << c.form;
    EXPECT_EQ(Slot(1, 0).ref, c.ref) << c.form;
}

INSTANTIATE_TEST_SUITE_P(
    Language, ParameterForms,
    testing::Values(FormCase{"12", 1, 12, 0}, FormCase{"$1F", 1, 31, 0}, FormCase{"$1f", 1, 31, 0},
                    FormCase{"#12", 1, 12, 0}, FormCase{"#$1F", 1, 31, 0}, FormCase{"*12", 0, 12, 0},
                    FormCase{"*$1F", 0, 31, 0}, FormCase{"x", 2, 1, 0}, FormCase{"#x", 1, 1, 0},
                    FormCase{"*x", 0, 1, 0}, FormCase{"c", 1, 7, 0}, FormCase{"*c", 0, 7, 0},
                    FormCase{"#lbl", 1, 0, 0}, FormCase{"lbl", 7, 0, 0}, FormCase{"buf", 2, 2, 0},
                    FormCase{"buf[3]", 2, 5, 3}, FormCase{"buf[$A]", 2, 12, 10}, FormCase{"buf[i]", 3, 2, 0},
                    FormCase{"buf[x]", 3, 2, 1}, FormCase{"buf[i+]", 4, 2, 0}, FormCase{"buf[i++]", 4, 2, 0},
                    FormCase{"buf[i-]", 5, 2, 0}, FormCase{"buf[i--]", 5, 2, 0},
                    FormCase{"(buf [x])", 3, 2, 1}, FormCase{"$FFFF", 1, 0xFFFF, 0},
                    FormCase{"$10000", 11, 0, 0x10}, FormCase{"$123456", 11, 0x3456, 0x120},
                    FormCase{"70000", 11, 70000 & 0xFFFF, 0x10}, FormCase{"*70000", 11, 70000 & 0xFFFF, 0x10},
                    FormCase{"\"s\"", 6, 0, 0}, FormCase{"-5", 10, 5, 0}, FormCase{"+x", 10, 0, 0},
                    FormCase{"nothere", 2, -1, 0}, FormCase{"buf[nothere]", 3, 2, -1}, FormCase{"#", 9, 0, 0},
                    FormCase{"$", 9, 0, 0}, FormCase{"[3]", 9, 0, 0},
                    FormCase{"99999999999", 11, 0xFFFF, 0xFF0}));

TEST_F(CompilerTest, HexIsWrittenWithDollarOnly) {
    // 0x12 reads as the number 0 followed by the name x12.
    Compile("  copy 0x12\n");
    EXPECT_EQ(Slot(0, 0).kind, kKindConstant);
    EXPECT_EQ(Slot(0, 0).value, 0);
    EXPECT_EQ(NameOf(0, 1), "x12");
    EXPECT_EQ(Rec(0).tokenCount, 5);
}

TEST_F(CompilerTest, OperatorsSetTheConditionAndTurnJmpcConditional) {
    Compile("a jmpc 1 >= 2 a\nb jsrc 1 !^ 2 b\nc jmpc 1 2 c\nd jsrc 1 2 d\n");
    EXPECT_EQ(Rec(0).opcode, 0x19);
    EXPECT_EQ(Rec(0).condition, 4);
    EXPECT_EQ(Rec(1).opcode, 0x33);
    EXPECT_EQ(Rec(1).condition, 11);
    EXPECT_EQ(Rec(2).opcode, 0x14);
    EXPECT_EQ(Rec(3).opcode, 0x21);
    for (int r = 0; r < 4; ++r) EXPECT_EQ(Rec(r).tokenCount, 7) << r;
}

TEST_F(CompilerTest, AtMostSixParameterPositionsAreRead) {
    const auto errors = Compile("  copy 1 2 3 4 5 6 7 \"never\"\n");
    EXPECT_EQ(Rec(0).tokenCount, 13);
    EXPECT_TRUE(compiler.Strings().empty());
    EXPECT_EQ(scripttest::Join(errors), "Line 1: Error copy requires 2 parameters\r\n");
}

}  // namespace

namespace {

TEST_F(CompilerTest, PrefixMatchLeavesTheRestAsParameters) {
    Compile("  reading x\n");
    EXPECT_STREQ(kCommandTable[Rec(0).tableIndex].name, "read");
    EXPECT_EQ(Rec(0).opcode, 0x01);
    EXPECT_EQ(NameOf(0, 0), "ing");
    EXPECT_EQ(NameOf(0, 1), "x");
}

}  // namespace

// The keyword is the first letter after the label, past blanks in runs of any length (they are
// skipped eight at a time), unless a ';' comes first; other characters are passed over one by one.
TEST(Lexer, KeywordIsFoundPastBlankRunsOfAnyLength) {
    auto plain = [](std::string_view line, std::size_t pos) {
        for (; pos < line.size(); ++pos) {
            if (line[pos] == ';') return std::string_view::npos;
            if (IsLetter(line[pos])) return pos;
        }
        return std::string_view::npos;
    };
    for (std::size_t blanks = 0; blanks <= 20; ++blanks)
        for (const char* tail : {"cls", ";cls", "\tcls", "12 cls", "", " ", "$cls", "_x cls"}) {
            const std::string line = "lbl" + std::string(blanks, ' ') + tail;
            for (std::size_t from : {std::size_t{0}, std::size_t{3}}) {
                EXPECT_EQ(FindKeyword(line, from), plain(line, from)) << '"' << line << "\" from " << from;
                // The same line inside a longer text: nothing after the line is read.
                const std::string text = line + "copy";
                EXPECT_EQ(FindKeyword(std::string_view(text).substr(0, line.size()), from),
                          plain(line, from));
            }
        }
}

// Names of every length are told apart by every character, and found again: short names by
// their first eight characters and length, longer ones by the rest as well.
TEST_F(CompilerTest, NamesOfEveryLengthAreToldApartAndFoundAgain) {
    std::string text;
    for (std::size_t length = 1; length <= kMaxParamNameLength; ++length) {
        const std::string a(length, 'a');
        const std::string b = a.substr(0, length - 1) + 'b';
        text += a + " word 1\n" + b + " word 2\n";
        text += "  copy " + a + " " + b + "\n";
    }
    ASSERT_TRUE(Compile(text).empty());
    for (std::size_t length = 1; length <= kMaxParamNameLength; ++length) {
        const std::string a(length, 'a');
        const std::string b = a.substr(0, length - 1) + 'b';
        const std::size_t r = length - 1;
        ASSERT_NE(Label(a), nullptr);
        ASSERT_NE(Label(b), nullptr);
        EXPECT_EQ(Slot(r, 0).value, Label(a)->location) << length;
        EXPECT_EQ(Slot(r, 1).value, Label(b)->location) << length;
        EXPECT_NE(Label(a)->location, Label(b)->location) << length;
    }
}
