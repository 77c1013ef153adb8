#include "registers/ZLINKControl.h"

#include "link/LostBoard.h"
#include "link/Messages.h"

PageResult PageLostBoard(PageHost& host) {
    ReportLostBoard(host.Prompts(), host.Board().Link());
    return PageResult::LostBoard;
}

void ShowError(UserPrompts& prompts, const std::string& text) {
    prompts.MessageBox(text, "Error", MsgIcon::Error);
}

std::string ValidateRegisterTexts(const std::string& address, const std::string* data) {
    if (address.empty()) return kMsgNullAddress;
    if (!IsHexText(address)) return kMsgAddressNotHex;
    if (data) {
        if (data->empty()) return kMsgNullData;
        if (!IsHexText(*data)) return kMsgDataNotHex;
    }
    return {};
}

std::string ValidateTypedRegisterTexts(const std::string& address, const std::string* data, RegWidth width) {
    if (auto error = ValidateRegisterTexts(address, nullptr); !error.empty()) return error;
    if (address.size() > CZLINKControl::kAddressChars) return kMsgAddressTooLong;
    if (!data) return {};
    if (auto error = ValidateRegisterTexts(address, data); !error.empty()) return error;
    if (width == RegWidth::Bits8) {
        if (data->size() > CZLINKControl::kData8Chars) return kMsgData8TooLong;
    } else if (data->size() > CZLINKControl::kDataChars) {
        return kMsgData16TooLong;
    }
    return {};
}

PageResult CZLINKControl::Write() {
    if (auto error = ValidateRegisterTexts(writeAddress, &writeData); !error.empty()) {
        ShowError(host_.Prompts(), error);
        return PageResult::Invalid;
    }
    const auto addr = static_cast<uint8_t>(HexTextToNumber(writeAddress));
    const uint32_t data = HexTextToNumber(writeData);
    CMB805QBrd& board = host_.Board();
    const bool ok = writeWidth == RegWidth::Bits8
                        ? board.WriteReg8(addr, static_cast<uint8_t>(data), Device())
                        : board.WriteReg16(addr, static_cast<uint16_t>(data), Device());
    return ok ? PageResult::Ok : PageLostBoard(host_);
}

PageResult CZLINKControl::Read() {
    if (auto error = ValidateRegisterTexts(readAddress, nullptr); !error.empty()) {
        ShowError(host_.Prompts(), error);
        return PageResult::Invalid;
    }
    const auto addr = static_cast<uint8_t>(HexTextToNumber(readAddress));
    CMB805QBrd& board = host_.Board();
    uint32_t value = 0;
    bool ok;
    if (readWidth == RegWidth::Bits8) {
        uint8_t v = 0;
        ok = board.ReadReg8(addr, v, Device());
        value = v;
    } else {
        uint16_t v = 0;
        ok = board.ReadReg16(addr, v, Device());
        value = v;
    }
    if (!ok) return PageLostBoard(host_);
    readData = RegisterValueText(value, readWidth);
    return PageResult::Ok;
}

PageResult CZLINKControl::GenReset() {
    const uint8_t device = Device();
    CMB805QBrd& board = host_.Board();
    if (!board.ResetDevice(device)) return PageLostBoard(host_);
    if (!host_.KernletLoaded(device)) return PageResult::Ok;

    // The Kernlet restarts after the reset; device 1 takes up to 3 s, the others up to 5 s.
    Clock& clock = host_.GetClock();
    const uint64_t deadline = clock.NowMs() + (device == 1 ? 3000 : 5000);
    for (;;) {
        uint16_t status = 0;
        if (!board.ReadReg16(kKernletStatusRegister, status, device)) {
            return PageLostBoard(host_);
        }
        if (clock.NowMs() >= deadline) {
            ShowError(host_.Prompts(), kMsgKernletNotStarted);
            return PageResult::Failed;
        }
        if (status & 1) return PageResult::Ok;
    }
}
