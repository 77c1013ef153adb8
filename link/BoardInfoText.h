#pragma once
// The lines that say what the board reports about itself, from the top, as "About TR8051B"
// shows them and `tr805q-cli info` prints them: one place for both.
#include "link/MB805QBrd.h"

#include <array>
#include <string>

inline constexpr const char* kBoardVersionFormat = "GQ0017 Version %d.%d";
inline constexpr const char* kCommandBufferFormat = "Command Buffer Size: %d commands";
// The sizes are unsigned 32-bit numbers on the wire; %u keeps the large ones positive.
inline constexpr const char* kDataBufferFormat = "Data Buffer Size: %u words";
inline constexpr const char* kFileBufferFormat = "File Buffer Size: %u words";
inline constexpr const char* kFirmwareVersionFormat = "Firmware Version %d.%d";
inline constexpr const char* kFirmwareCodeFormat = "Code: %04X";

enum BoardInfoLine {
    kBoardVersionLine,
    kCommandBufferLine,
    kDataBufferLine,
    kFileBufferLine,
    kFirmwareVersionLine,
    kFirmwareCodeLine,
    kBoardInfoLineCount
};

std::array<std::string, kBoardInfoLineCount> BoardInfoLines(const BoardInfo& info,
                                                            const FirmwareVersion& version,
                                                            FirmwareCode code);
