#include "link/BoardInfoText.h"

#include "core/TextFormat.h"

std::array<std::string, kBoardInfoLineCount> BoardInfoLines(const BoardInfo& info,
                                                            const FirmwareVersion& version,
                                                            FirmwareCode code) {
    std::array<std::string, kBoardInfoLineCount> lines;
    lines[kBoardVersionLine] =
        FormatText(kBoardVersionFormat, int{info.versionMajor}, int{info.versionMinor});
    lines[kCommandBufferLine] = FormatText(kCommandBufferFormat, int{info.commandBufferSize});
    lines[kDataBufferLine] = FormatText(kDataBufferFormat, unsigned{info.dataBufferSize});
    lines[kFileBufferLine] = FormatText(kFileBufferFormat, unsigned{info.fileBufferSize});
    lines[kFirmwareVersionLine] =
        FormatText(kFirmwareVersionFormat, int{version.versionMajor}, int{version.versionMinor});
    lines[kFirmwareCodeLine] = FormatText(kFirmwareCodeFormat, unsigned{code});
    return lines;
}
