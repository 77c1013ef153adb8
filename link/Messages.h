#pragma once
// The texts the board link and protocol show, word for word, and the texts every page uses
// when the board is lost. Callers show them; the link itself shows only the firmware
// replacement's messages.

#include "core/Texts.h"

// Board firmware replacement.
inline constexpr const char* kCaptionFlashing = "Flashing Device...";
// What the firmware download counts as it goes (ProgressSink).
inline constexpr const char* kProgressUnitFirmwareBlocks = "blocks";
inline constexpr const char* kMsgUsbCommandWriteFail = "Error - USB Command Write fail";
// Formats: the request byte in decimal, then in hexadecimal.
inline constexpr const char kFmtWrongRequestCode[] = "Error - Wrong request code: %d, 0x%02X";
inline constexpr const char kFmtWrongRequestCodeLast[] = "Error - Wrong request code: %d, 0x%02X 20";
inline constexpr const char* kMsgFileReadFail = "Error - File Read Fail";
inline constexpr const char* kMsgUsbDataWriteFail = "Error - USB Data Write fail";
inline constexpr const char* kMsgUnableToLoadFirmware = "Unable to load the firmware...";
// The program's own: the block count travels in one byte, so larger files cannot be sent.
inline constexpr const char kFmtFirmwareTooLarge[] =
    "Error - The firmware file is too large (%llu bytes); at most %llu bytes can be sent";
// The program's own: the board stopped asking for firmware blocks.
inline constexpr const char kFmtNoBlockRequest[] =
    "Error - The board did not ask for firmware block %u of %u within %u seconds";

#include "link/SerialPort.h"

// The port's own words for a failure, or "Command failed." when it has none.
inline std::string PortFailureText(const CSerialException& e) {
    std::string why = e.GetErrorMessage();
    return why.empty() ? std::string(kMsgCommandFailed) : why;
}
