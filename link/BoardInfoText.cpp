#include "link/BoardInfoText.h"

#include <cstdarg>
#include <cstdio>

namespace {

// Every format here is one of the constant texts above.
__attribute__((format(printf, 1, 2))) std::string FormatLine(const char* format, ...) {
    char text[128];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return n < 0 ? std::string() : std::string(text);
}

}  // namespace

std::array<std::string, kBoardInfoLineCount> BoardInfoLines(const BoardInfo& info,
                                                            const FirmwareVersion& version,
                                                            FirmwareCode code) {
    std::array<std::string, kBoardInfoLineCount> lines;
    lines[kBoardVersionLine] =
        FormatLine(kBoardVersionFormat, int{info.versionMajor}, int{info.versionMinor});
    lines[kCommandBufferLine] = FormatLine(kCommandBufferFormat, int{info.commandBufferSize});
    lines[kDataBufferLine] = FormatLine(kDataBufferFormat, unsigned{info.dataBufferSize});
    lines[kFileBufferLine] = FormatLine(kFileBufferFormat, unsigned{info.fileBufferSize});
    lines[kFirmwareVersionLine] =
        FormatLine(kFirmwareVersionFormat, int{version.versionMajor}, int{version.versionMinor});
    lines[kFirmwareCodeLine] = FormatLine(kFirmwareCodeFormat, unsigned{code});
    return lines;
}
