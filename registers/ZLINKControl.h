#pragma once
// The "Z-LINK Control" page: write one register, read one back, general reset of a device.
#include "core/PageHost.h"
#include "link/MB805QBrd.h"
#include "registers/HexText.h"

#include <string>

// How a page operation ended; the window only needs the messages, tr805q-cli the distinction.
enum class PageResult {
    Ok,
    Invalid,  // a field failed validation; nothing was sent
    LostBoard,  // the board did not answer; the program is asked to quit
    Failed,  // the board answered but the operation did not succeed (message shown)
};

inline constexpr const char* kMsgNullAddress = "Error - A null register address is not valid";
inline constexpr const char* kMsgAddressNotHex = "Error - Register address must be hexadecimal";
inline constexpr const char* kMsgNullData = "Error - Null register data is not valid";
inline constexpr const char* kMsgDataNotHex = "Error - Register data must be hexadecimal";
inline constexpr const char* kMsgAddressTooLong = "Error - Register address has at most 2 hexadecimal digits";
inline constexpr const char* kMsgData16TooLong = "Error - Register data has at most 4 hexadecimal digits";
inline constexpr const char* kMsgData8TooLong = "Error - Register data has at most 2 hexadecimal digits";
inline constexpr const char* kMsgKernletNotStarted = "Error - Kernlet not started";

// Register 0xC6 shows in bit 0 that a Kernlet has started after a reset.
inline constexpr uint8_t kKernletStatusRegister = 0xC6;

// Reports the lost board (see link/LostBoard.h) for a page and gives the page's result.
PageResult PageLostBoard(PageHost& host);
// Shows a validation or operation error with caption "Error".
void ShowError(UserPrompts& prompts, const std::string& text);
// The address and data checks shared by every register page, in their order: address empty,
// address not hex, then (when data is given) data empty, data not hex. Empty result: valid.
std::string ValidateRegisterTexts(const std::string& address, const std::string* data);
// Texts typed where no field holds them to its length (tr805q-cli), already in upper case: the
// checks above, each field's in turn followed by its length as the page's fields take it (2
// address digits; 4 data digits, 2 for an 8-bit access), so that no digit is ever dropped.
std::string ValidateTypedRegisterTexts(const std::string& address, const std::string* data, RegWidth width);

class CZLINKControl {
public:
    static constexpr size_t kAddressChars = 2;
    static constexpr size_t kDataChars = 4;
    static constexpr size_t kData8Chars = 2;  // the digits an 8-bit access has room for

    explicit CZLINKControl(PageHost& host) : host_(host) {}

    // Fields, as the screen holds them.
    std::string writeAddress, writeData, readAddress, readData;
    RegWidth writeWidth = RegWidth::Bits16;
    RegWidth readWidth = RegWidth::Bits16;
    bool device1 = true, device2 = false;  // neither: device 3

    uint8_t Device() const { return device1 ? 1 : device2 ? 2 : 3; }

    PageResult Write();
    PageResult Read();
    PageResult GenReset();

private:
    PageHost& host_;
};
