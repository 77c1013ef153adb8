#include "script/UplinkParser.h"

namespace script {

int UplinkDataLength(uint8_t code) {
    switch (code) {
        case kUpClear: return 0;
        case kUpOpenRead: return 2;
        case kUpReadRequest: return 4;
        case kUpOpenWrite: return 5;
        case kUpText:
        case kUpWriteValue:
        case kUpMessageBox:
        case kUpEnd:
        case kUpError:
        case kUpWriteBlock:  // its string and count; the words follow
        case kUpYesNo:
        case kUpEntry:
        case kUpDebug: return 3;
        default: return -1;
    }
}

uint32_t UplinkFrame::Number(size_t at, size_t bytes) const {
    uint32_t v = 0;
    for (size_t i = 0; i < bytes; ++i) v = (v << 8) | Byte(at + i);
    return v;
}

bool UplinkParser::Feed(uint8_t byte) {
    switch (state_) {
        case State::WaitStart:
            if (byte == kStart) state_ = State::ReadCode;
            return false;

        case State::ReadCode: {
            if (byte == kStart) return false;  // a second start: the frame starts here
            const int length = UplinkDataLength(byte);
            if (length < 0) {
                state_ = State::WaitStart;
                return false;
            }
            frame_.code = byte;
            frame_.length = 0;
            expected_ = static_cast<size_t>(length);
            if (expected_ == 0) {
                state_ = State::WaitStart;
                return true;
            }
            state_ = State::ReadData;
            return false;
        }

        case State::ReadData:
            if (frame_.length >= frame_.data.size()) {  // cannot happen: expected_ is capped
                state_ = State::WaitStart;
                return false;
            }
            frame_.data[frame_.length++] = byte;
            // A block's length is known once its count is in: only the count's low byte counts, so
            // a block carries at most 255 words.
            if (frame_.code == kUpWriteBlock && frame_.length == 3) expected_ = 3 + 2 * size_t{byte};
            if (frame_.length < expected_) return false;
            state_ = State::WaitStart;
            return true;
    }
    return false;
}

}  // namespace script
