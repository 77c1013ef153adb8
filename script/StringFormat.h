#pragma once
// Formatting of script strings with the value the board sends. "%%" stands for one '%'
// (pairs counted from the left). A string may hold one type specifier: its first other '%' up
// to the first letter after it. The program formats that one specifier itself; the string is
// never handed to printf as a format, and every other lone '%' in it is printed as it stands.
#include <cstdint>
#include <string>
#include <string_view>

namespace script {

// The text written to a file or the results list: the string with its specifier replaced by
// the value. %x %X %u %c with the value; %d as a signed 16-bit number; %f as that number in
// floating point; %q as that number / 32767 (printed as %f); %b in binary. Flags, width and
// precision between '%' and the letter work as in printf. False, with
// "Error: Invalid type specifier in string '...'" in out, for any other specifier.
bool FormatValueForFile(std::string_view text, uint16_t value, std::string& out);

// Only the value's text, as the entry dialog proposes it: no specifier, %c and %u in decimal;
// %x and %X as "$" and hex digits; %f as "$" and upper-case hex; %q as the fraction; %b as
// "0b" and binary digits. False with the error text for %d, any other letter, or none.
bool FormatValueForDisplay(std::string_view text, uint16_t value, std::string& out);

// Binary digits of value, most significant first: width digits (1..16; 0 or above 16 means
// 16), more if the highest set bit of the low 16 bits needs them.
std::string BinaryDigits(uint16_t value, int width);

}  // namespace script
