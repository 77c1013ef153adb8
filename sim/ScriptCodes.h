#pragma once
// The simulated board's own numbers for scripts: the frames the PC sends to download, start,
// abort and serve a script, the uplink frames the board sends back, the opcodes and parameter
// kinds of a downloaded command record, and the run-time error codes. Written from the
// documented frames and command table; the board shares no table with the program's compiler,
// so a number wrong on one side shows up as a failing run. sim/SCRIPTS.md gives the meaning.
#include <cstdint>

namespace sim::scriptcode {

// --- frames from the PC (after 0x7E) ---
constexpr uint8_t kFirstRecord = 0x08;  // 7 words: a new image with its first record
constexpr uint8_t kNextRecord = 0x09;  // 7 words: append a record (also the closing record)
constexpr uint8_t kInitialiser = 0x12;  // 2 words: data location, value
constexpr uint8_t kStart = 0x0A;
constexpr uint8_t kAbort = 0x0B;
constexpr uint8_t kReply = 0x13;  // 3 words: answer, 0, 0
constexpr uint8_t kFileOpened = 0x14;  // 2 words: item count, high word first
constexpr uint8_t kFileBlock = 0x0C;  // word: byte count, then the values
constexpr uint8_t kFileLastBlock = 0x0D;  // as 0x0C: the file ended before the request was served
constexpr uint8_t kBlockWritten = 0x21;  // acknowledgement of an uplink block write

constexpr std::size_t kRecordBytes = 14;  // opcode and three descriptor/value pairs
constexpr std::size_t kInitialiserBytes = 4;
constexpr std::size_t kReplyBytes = 6;
constexpr std::size_t kFileOpenedBytes = 4;

// --- uplink frames (after 0x7E): the code byte ---
constexpr uint8_t kUpOpenRead = 5;  // name string, format string
constexpr uint8_t kUpOpenWrite = 6;  // name string, rate (3 bytes), channels
constexpr uint8_t kUpClear = 7;
constexpr uint8_t kUpText = 8;  // string, value
constexpr uint8_t kUpFileWrite = 9;  // string, value
constexpr uint8_t kUpMessage = 10;  // string, value; paused until 0x13
constexpr uint8_t kUpReadRequest = 11;  // count (4 bytes)
constexpr uint8_t kUpEnd = 12;  // reason, record
constexpr uint8_t kUpError = 13;  // error code, record
constexpr uint8_t kUpBlockWrite = 24;  // string, count (2 bytes), count words
constexpr uint8_t kUpYesNo = 25;  // string, value; paused until 0x13
constexpr uint8_t kUpEntry = 26;  // string, value; paused until 0x13

constexpr uint8_t kEndFinished = 0;
constexpr uint8_t kEndAborted = 1;

// The longest block an uplink block write carries: its length counts only the low byte of
// the word count.
constexpr std::size_t kMaxBlockWords = 255;

// --- run-time error codes (the uplink error frame) ---
constexpr uint8_t kErrPcOutOfRange = 1;
constexpr uint8_t kErrInvalidOpcode = 2;
constexpr uint8_t kErrDataIndex = 3;
constexpr uint8_t kErrStackOverflow = 4;
constexpr uint8_t kErrStackUnderflow = 5;
constexpr uint8_t kErrFileBufferOverflow = 7;
constexpr uint8_t kErrInvalidJump = 9;
constexpr uint8_t kErrReadPastEnd = 10;
constexpr uint8_t kErrStaticAllocation = 13;
constexpr uint8_t kErrStaticSpec = 14;
constexpr uint8_t kErrStaticWritePastEnd = 15;
constexpr uint8_t kErrStaticReadPastEnd = 16;
constexpr uint8_t kErrStaticNotReading = 17;
constexpr uint8_t kErrStaticNotWriting = 18;
constexpr uint8_t kErrUplinkTooSmall = 19;

// --- parameter kinds (low four bits of a descriptor) ---
constexpr int kLocation = 0;
constexpr int kConstant = 1;
constexpr int kVariable = 2;
constexpr int kIndexed = 3;
constexpr int kIndexedInc = 4;
constexpr int kIndexedDec = 5;
constexpr int kString = 6;
constexpr int kLabel = 7;
constexpr int kNone = 9;  // the end of the parameters: this slot and the later ones are absent
constexpr int kLongConstant = 11;

// --- opcodes ---
enum Opcode : uint16_t {
    kOpRead = 0x01,
    kOpWrite = 0x02,
    kOpFopenr = 0x03,
    kOpFopenw = 0x04,
    kOpFiler = 0x05,
    kOpFilew = 0x06,
    kOpDisp = 0x07,
    kOpDialog = 0x08,
    kOpCls = 0x09,
    kOpCopy = 0x0A,
    kOpAdd = 0x0B,
    kOpSub = 0x0C,
    kOpAnd = 0x0D,
    kOpOr = 0x0E,
    kOpXor = 0x0F,
    kOpLsr = 0x10,
    kOpLsl = 0x11,
    kOpAsr = 0x12,
    kOpAsl = 0x13,
    kOpJmp = 0x14,
    kOpJumpFirst = 0x15,  // 0x15..0x20: jump if condition 0..11 holds
    kOpJumpLast = 0x20,
    kOpJsr = 0x21,
    kOpCallFirst = 0x22,  // 0x22..0x29: call if condition 0..7 holds
    kOpCallMid = 0x29,
    kOpCallHighFirst = 0x30,  // 0x30..0x33: call if condition 8..11 holds
    kOpCallLast = 0x33,
    kOpReturn = 0x34,
    kOpStop = 0x35,
    kOpDjnz = 0x36,
    kOpDevice = 0x37,
    kOpDelay = 0x38,
    kOpRegister = 0x39,
    kOpPortr = 0x40,
    kOpPortw = 0x41,
    kOpPort = 0x42,
    kOpPortc = 0x43,
    kOpOnes = 0x44,
    kOpWaitfile = 0x45,
    kOpMicrodelay = 0x46,
    kOpSetvect = 0x47,
    kOpIntson = 0x48,
    kOpIntsoff = 0x49,
    kOpRfi = 0x4A,
    kOpLogon = 0x4C,
    kOpLogoff = 0x4D,
    kOpFilerc = 0x4E,
    kOpFilercs = 0x4F,
    kOpBufcfg = 0x50,
    kOpBufopenr = 0x51,
    kOpBufopenw = 0x52,
    kOpBufread = 0x53,
    kOpBufwrite = 0x54,
    kOpBuftofile = 0x55,
    kOpFiletobuf = 0x56,
    kOpDialogYesNo = 0x57,
    kOpDialogEntry = 0x58,
    kOpGetdevice = 0x59,
    kOpGetport = 0x5A,
    kOpGettime = 0x5B,
    kOpSettime = 0x5C,
    kOpWaituplink = 0x5D,
    kOpSettimer = 0x5E,
    kOpStarttimer = 0x5F,
    kOpStoptimer = 0x60,
};

}  // namespace sim::scriptcode
