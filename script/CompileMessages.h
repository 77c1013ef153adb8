#pragma once
// Every text the compiler, its string formatting and `tr805q-cli compile` show, in one place.
#include <string>
#include <string_view>
#include <type_traits>

namespace script {

inline constexpr std::string_view kMsgVariablesUnsigned = "Line %d: Error variables are unsigned\r\n";
inline constexpr std::string_view kMsgDuplicateLabel = "Line %d: Error duplicate label(%s)\r\n";
inline constexpr std::string_view kMsgUnrecognisedCommand = "Line %d: Error unrecognised command\r\n";
inline constexpr std::string_view kMsgOpenWithoutClose =
    "Line %d: Error if/while without matching endif/endwhile\r\n";
inline constexpr std::string_view kMsgCloseWithoutOpen =
    "Line %d: Error endif/endwhile without matching if/while\r\n";
inline constexpr std::string_view kMsgConstantsUnsigned =
    "Line %d: Error in parameter.  NB - constants are unsigned\r\n";
inline constexpr std::string_view kMsgRequiresParams = "Line %d: Error %s requires %d parameters\r\n";
inline constexpr std::string_view kMsgRequiresBetween =
    "Line %d: Error %s requires between %d and %d parameters\r\n";
inline constexpr std::string_view kMsgUnresolvedLabel = "Line %d: Error unresolved label(%s)\r\n";
inline constexpr std::string_view kMsgBadIndexLocation =
    "Line %d: Error array index stored at bad location.  Allocate array indices first\r\n";
inline constexpr std::string_view kMsgTypeNotAllowed =
    "Line %d: Error Parameter type not allowed in %s command\r\n";

// Our own findings, for what the language leaves without an error of its own.
inline constexpr std::string_view kMsgLineTooLong = "Line %d: Error line longer than 1023 characters\r\n";
inline constexpr std::string_view kMsgLabelTooLong = "Line %d: Error label longer than %d characters\r\n";
inline constexpr std::string_view kMsgNameTooLong = "Line %d: Error name longer than %d characters\r\n";
inline constexpr std::string_view kMsgDeclarationWithoutLabel = "Line %d: Error %s without a label\r\n";
inline constexpr std::string_view kMsgElseWithoutIf = "Line %d: Error else/elseif without matching if\r\n";
inline constexpr std::string_view kMsgValueTooWide = "Line %d: Error value wider than 16 bits\r\n";
inline constexpr std::string_view kMsgLocationPastEnd = "Line %d: Error data location past $FFFF\r\n";

// Run-time text formatting.
inline constexpr std::string_view kMsgNoSuchString = "Error: Attempt to reference non-existent string";
inline constexpr std::string_view kMsgBadTypeSpecifier = "Error: Invalid type specifier in string '%s'";

// The listing "debug_file.txt", printf-style: %Nd, %Nx and %Ns right-aligned in N characters.
inline constexpr std::string_view kListingTitleCommands = "Command table\n";
inline constexpr std::string_view kListingRecordLine =
    "Line %5d Location %3x Command=%2x Param1=%2x %4x[%3x] Param2=%2x %4x[%3x] Param3=%2x "
    "%4x[%3x] RefLabels=%s[%s],%s[%s],%s[%s]\n";
inline constexpr std::string_view kListingTitleStrings = "\nString table\n";
inline constexpr std::string_view kListingStringLine = "%4x %s\n";
inline constexpr std::string_view kListingTitleLabels = "\nLabel table\n";
inline constexpr std::string_view kListingLabelStart = "Line %5d Label no %4d %20s ";
inline constexpr std::string_view kListingLabelCommand = "Command,                   Location=%d\n";
inline constexpr std::string_view kListingLabelConstant = "Constant, value=%d\n";
inline constexpr std::string_view kListingLabelVariable = "Variable, value=%4d,      Location=%d\n";
inline constexpr std::string_view kListingLabelInitWord = "Initbuf,  value=%4d,      Location=%d\n";

// More command records than the board holds: given only when there is no other error.
inline constexpr std::string_view kMsgScriptTooLarge = "Error Script too large\r\n";

// The command line and the script page.
inline constexpr std::string_view kMsgUnableToOpenFile = "Error - Unable to open file";

namespace detail {
inline std::string ToText(std::string_view s) { return std::string(s); }
inline std::string ToText(const char* s) { return std::string(s); }
inline std::string ToText(const std::string& s) { return s; }
template <typename T, typename = std::enable_if_t<std::is_integral_v<T>>>
std::string ToText(T v) {
    return std::to_string(v);
}
}  // namespace detail

// Fills the %d and %s of one of the texts above, in order. Arguments are copied in as text:
// names from a script never act as a format.
template <typename... Args>
std::string FormatMessage(std::string_view format, const Args&... args) {
    const std::string texts[] = {std::string(), detail::ToText(args)...};
    std::string out;
    out.reserve(format.size() + 32);
    std::size_t next = 1;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && (format[i + 1] == 'd' || format[i + 1] == 's') &&
            next < std::size(texts)) {
            out += texts[next++];
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

}  // namespace script
