#pragma once
// The board's uplink frames while a script runs: 0x7E, a code byte, then a fixed number of data
// bytes for the code. An explicit state machine fed one byte at a time: it never looks past the
// byte it is given, drops frames with a code it does not know, and starts again when a second
// 0x7E stands where the code belongs.
#include <array>
#include <cstddef>
#include <cstdint>

namespace script {

enum UplinkCode : uint8_t {
    kUpOpenRead = 5,
    kUpOpenWrite = 6,
    kUpClear = 7,
    kUpText = 8,
    kUpWriteValue = 9,
    kUpMessageBox = 10,
    kUpReadRequest = 11,
    kUpEnd = 12,
    kUpError = 13,
    kUpWriteBlock = 24,
    kUpYesNo = 25,
    kUpEntry = 26,
    kUpDebug = 27,
};

// Data bytes of a code, or -1 for a code the PC does not know. Code 24's length depends on its
// count (see UplinkParser).
int UplinkDataLength(uint8_t code);

// One complete frame. Data beyond `length` is not part of it.
struct UplinkFrame {
    // Code 24: string, count (2 bytes), then at most 255 words.
    static constexpr size_t kMaxData = 3 + 2 * 255;

    uint8_t code = 0;
    size_t length = 0;
    std::array<uint8_t, kMaxData> data{};

    uint8_t Byte(size_t i) const { return i < length ? data[i] : 0; }
    // Big-endian number of `bytes` bytes from data[at].
    uint32_t Number(size_t at, size_t bytes) const;
    // The string number and 16-bit value that most frames carry.
    uint8_t StringIndex() const { return Byte(0); }
    uint16_t Value() const { return static_cast<uint16_t>(Number(1, 2)); }
    // Code 24: the words of the block.
    size_t BlockWords() const { return length >= 3 ? (length - 3) / 2 : 0; }
    uint16_t BlockWord(size_t i) const { return static_cast<uint16_t>(Number(3 + 2 * i, 2)); }
};

class UplinkParser {
public:
    enum class State { WaitStart, ReadCode, ReadData };
    static constexpr uint8_t kStart = 0x7E;

    // Takes one byte; true when it completed a frame, which Frame() then holds until the next
    // call.
    bool Feed(uint8_t byte);
    const UplinkFrame& Frame() const { return frame_; }
    State CurrentState() const { return state_; }
    void Reset() { state_ = State::WaitStart; }

private:
    State state_ = State::WaitStart;
    size_t expected_ = 0;
    UplinkFrame frame_;
};

}  // namespace script
