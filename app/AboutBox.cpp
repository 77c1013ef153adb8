#include "app/AboutBox.h"

#include <cstdio>

namespace {

// Every format here is one of the box's own constant texts.
template <typename... Args>
std::string Format(const char* format, Args... args) {
    char text[128];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

}  // namespace

void CAboutBox::OnInitDialog() {
    caption = kCaption;
    texts[BoardVersion] = Format("GQ0017 Version %d.%d", info_.versionMajor, info_.versionMinor);
    texts[CommandBuffer] = Format("Command Buffer Size: %d commands", info_.commandBufferSize);
    // The sizes are unsigned 32-bit numbers on the wire; %u keeps the large ones positive.
    texts[DataBuffer] = Format("Data Buffer Size: %u words", static_cast<unsigned>(info_.dataBufferSize));
    texts[FileBuffer] = Format("File Buffer Size: %u words", static_cast<unsigned>(info_.fileBufferSize));
    texts[FirmwareVersionText] =
        Format("Firmware Version %d.%d", version_.versionMajor, version_.versionMinor);
    texts[Code] = Format("Code: %04X", static_cast<unsigned>(code_));
    texts[ProgramVersion] = kProgramVersion;
}
