// Run-time text: a script string with the value the board sends.
#include "script/StringFormat.h"
#include "tests/script/ScriptTestSupport.h"

#include <string>

using namespace script;
using scripttest::CompilerTest;

namespace {

struct FormatCase {
    const char* text;
    uint16_t value;
    const char* expected;
    bool ok;
};

class ForFile : public testing::TestWithParam<FormatCase> {};

TEST_P(ForFile, FillsTheOneSpecifier) {
    const FormatCase& c = GetParam();
    std::string out = "stale";
    EXPECT_EQ(FormatValueForFile(c.text, c.value, out), c.ok) << c.text;
    EXPECT_EQ(out, c.expected) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    StringFormat, ForFile,
    testing::Values(
        FormatCase{"no specifier", 5, "no specifier", true}, FormatCase{"", 5, "", true},
        FormatCase{"v=%x;", 0xAB, "v=ab;", true}, FormatCase{"%X", 0xAB, "AB", true},
        FormatCase{"%04x", 0xAB, "00ab", true}, FormatCase{"%#x", 0xAB, "0xab", true},
        FormatCase{"%u", 65535, "65535", true}, FormatCase{"%-5u|", 7, "7    |", true},
        FormatCase{"%c!", 65, "A!", true}, FormatCase{"[%3c]", 66, "[  B]", true},
        FormatCase{"%c", 0x141, "A", true}, FormatCase{"a%cb", 0, "ab", true},
        // %d: signed 16 bits.
        FormatCase{"%d", 0xFFFF, "-1", true}, FormatCase{"%d", 0x7FFF, "32767", true},
        FormatCase{"%d", 0x8000, "-32768", true}, FormatCase{"%5d", 3, "    3", true},
        FormatCase{"%+d", 3, "+3", true},
        // %f: the signed number as floating point.
        FormatCase{"%f", 0xFFFE, "-2.000000", true}, FormatCase{"%.2f", 3, "3.00", true},
        // %q: signed / 32767, printed as %f with the same flags.
        FormatCase{"%q", 16384, "0.500015", true}, FormatCase{"%.3q V", 16384, "0.500 V", true},
        FormatCase{"%q", 0x8001, "-1.000000", true}, FormatCase{"%q", 32767, "1.000000", true},
        // %b: width between % and b, 1..16, else 16; widened to the highest set bit.
        FormatCase{"%b", 5, "0000000000000101", true}, FormatCase{"%4b", 5, "0101", true},
        FormatCase{"%2b", 5, "101", true}, FormatCase{"%1b", 0, "0", true}, FormatCase{"%1b", 1, "1", true},
        FormatCase{"%0b", 5, "0000000000000101", true}, FormatCase{"%16b", 0x8000, "1000000000000000", true},
        FormatCase{"%17b", 3, "0000000000000011", true}, FormatCase{"%3b", 0xFFFF, "1111111111111111", true},
        FormatCase{"x=%3b!", 2, "x=010!", true},
        // "%%" is one '%' wherever it stands, and never starts the specifier.
        FormatCase{"Level %u%%", 5, "Level 5%", true}, FormatCase{"100%% done", 5, "100% done", true},
        FormatCase{"%%", 5, "%", true}, FormatCase{"a%%b%%", 5, "a%b%", true},
        FormatCase{"%%%d", 0xFFFF, "%-1", true}, FormatCase{"%%d", 5, "%d", true},
        FormatCase{"%%%%x", 5, "%%x", true}, FormatCase{"%%5%%", 5, "%5%", true},
        FormatCase{"%%%", 5, "Error: Invalid type specifier in string '%%%'", false},
        FormatCase{"%%%s", 5, "Error: Invalid type specifier in string '%%%s'", false},
        // The string is never a printf format: any other % stands as written.
        FormatCase{"%d%% of %s", 0xFFFF, "-1% of %s", true}, FormatCase{"%x%%%n", 1, "1%%n", true},
        FormatCase{"%x %n %s", 1, "1 %n %s", true},
        FormatCase{"%s", 1, "Error: Invalid type specifier in string '%s'", false},
        FormatCase{"%n", 1, "Error: Invalid type specifier in string '%n'", false},
        FormatCase{"%lu", 1, "Error: Invalid type specifier in string '%lu'", false},
        FormatCase{"%*d", 1, "Error: Invalid type specifier in string '%*d'", false},
        FormatCase{"100% %d", 1, "Error: Invalid type specifier in string '100% %d'", false},
        FormatCase{"%99999d", 1, "Error: Invalid type specifier in string '%99999d'", false},
        FormatCase{"50%", 1, "Error: Invalid type specifier in string '50%'", false},
        FormatCase{"50% 9", 1, "Error: Invalid type specifier in string '50% 9'", false}));

class ForDisplay : public testing::TestWithParam<FormatCase> {};

TEST_P(ForDisplay, GivesOnlyTheValue) {
    const FormatCase& c = GetParam();
    std::string out = "stale";
    EXPECT_EQ(FormatValueForDisplay(c.text, c.value, out), c.ok) << c.text;
    EXPECT_EQ(out, c.expected) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    StringFormat, ForDisplay,
    testing::Values(FormatCase{"Enter value", 7, "7", true}, FormatCase{"Enter value", 0xFFFF, "65535", true},
                    FormatCase{"v=%x", 0xAB, "$ab", true}, FormatCase{"v=%X", 0xAB, "$AB", true},
                    FormatCase{"%04x", 0xAB, "$ab", true}, FormatCase{"%f", 0xAB, "$AB", true},
                    FormatCase{"%c", 65, "65", true}, FormatCase{"%u", 65, "65", true},
                    FormatCase{"%q", 16384, "0.500015", true}, FormatCase{"%q", 0xC000, "-0.500015", true},
                    FormatCase{"%b", 5, "0b0000000000000101", true}, FormatCase{"%3b", 5, "0b101", true},
                    FormatCase{"%2b", 5, "0b101", true}, FormatCase{"%20b", 5, "0b0000000000000101", true},
                    FormatCase{"100%% done", 7, "7", true}, FormatCase{"Level %u%%", 5, "5", true},
                    FormatCase{"%%d", 5, "5", true}, FormatCase{"%%%x", 0xAB, "$ab", true},
                    FormatCase{"%%%b%%", 5, "0b0000000000000101", true},
                    FormatCase{"%%%d", 5, "Error: Invalid type specifier in string '%%%d'", false},
                    FormatCase{"%%%", 5, "Error: Invalid type specifier in string '%%%'", false},
                    FormatCase{"%d", 5, "Error: Invalid type specifier in string '%d'", false},
                    FormatCase{"%z", 5, "Error: Invalid type specifier in string '%z'", false},
                    FormatCase{"50%", 5, "Error: Invalid type specifier in string '50%'", false},
                    FormatCase{"%s", 5, "Error: Invalid type specifier in string '%s'", false}));

TEST_F(CompilerTest, FormattingGoesByStringNumber) {
    Compile("  disp \"a=%d\"\n  disp \"plain\"\n");
    std::string out;
    EXPECT_TRUE(compiler.FormatForFile(0, 0xFFFF, 1, out));
    EXPECT_EQ(out, "a=-1");
    EXPECT_TRUE(compiler.FormatForFile(0, 0xFFFF, 0, out));
    EXPECT_EQ(out, "a=%d");
    EXPECT_TRUE(compiler.FormatForFile(1, 3, 1, out));
    EXPECT_EQ(out, "plain");
    EXPECT_FALSE(compiler.FormatForFile(2, 3, 1, out));
    EXPECT_EQ(out, "Error: Attempt to reference non-existent string");
    EXPECT_FALSE(compiler.FormatForFile(-1, 3, 0, out));
    EXPECT_EQ(out, "Error: Attempt to reference non-existent string");
    EXPECT_TRUE(compiler.FormatForDisplay(1, 3, out));
    EXPECT_EQ(out, "3");
    EXPECT_FALSE(compiler.FormatForDisplay(0, 3, out));
    EXPECT_EQ(out, "Error: Invalid type specifier in string 'a=%d'");
    EXPECT_FALSE(compiler.FormatForDisplay(7, 3, out));
    EXPECT_EQ(out, "Error: Attempt to reference non-existent string");
    compiler.Release();
    EXPECT_FALSE(compiler.FormatForFile(0, 3, 0, out));
    EXPECT_EQ(out, "Error: Attempt to reference non-existent string");
}

}  // namespace
