#pragma once
// "About TR8051B": what the board reported about itself when the program connected.
#include "core/Version.h"
#include "link/MB805QBrd.h"

#include <array>
#include <string>

class CAboutBox {
public:
    static constexpr const char* kCaption = "About TR8051B";
    static constexpr const char* kProgramVersion = kProgramVersionText;
    // The texts, in the order the box shows them from the top; the board lines (BoardVersion
    // to Code) in the order of link/BoardInfoText.h.
    enum Text {
        ProgramVersion,
        BoardVersion,
        CommandBuffer,
        DataBuffer,
        FileBuffer,
        FirmwareVersionText,
        Code,
        kTextCount
    };

    CAboutBox(const BoardInfo& info, const FirmwareVersion& version, FirmwareCode code)
        : info_(info), version_(version), code_(code) {}

    // Formats the texts from the records copied when the box was made.
    void OnInitDialog();

    std::string caption;
    std::array<std::string, kTextCount> texts;

private:
    BoardInfo info_;
    FirmwareVersion version_;
    FirmwareCode code_;
};
