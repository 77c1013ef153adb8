#include "link/MB805QBrd.h"

#include "core/ExitCodes.h"
#include "core/TextFormat.h"
#include "link/Messages.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

constexpr uint8_t kFrameStart = 0x7E;

// Request codes.
constexpr uint8_t kCmdResetDevice = 0x01;
constexpr uint8_t kCmdWriteReg8 = 0x02;
constexpr uint8_t kCmdWriteReg16 = 0x03;
constexpr uint8_t kCmdReadReg8 = 0x04;
constexpr uint8_t kCmdReadReg16 = 0x05;
constexpr uint8_t kCmdBoardInfo = 0x0F;
constexpr uint8_t kCmdBeginKernletLoad = 0x15;
constexpr uint8_t kCmdScriptStatus = 0x19;
constexpr uint8_t kCmdReadTrace = 0x1A;
constexpr uint8_t kCmdBeginFirmwareDownload = 0x39;
constexpr uint8_t kCmdStartFirmwareLoader = 0x40;
constexpr uint8_t kCmdFirmwareVersion = 0x41;
constexpr uint8_t kCmdFirmwareCode = 0x43;

// Reply codes.
constexpr uint8_t kReplyReg8 = 0x13;
constexpr uint8_t kReplyReg16 = 0x14;
constexpr uint8_t kReplyBoardInfo = 0x0F;
constexpr uint8_t kReplyScriptStatusSet = 0x16;
constexpr uint8_t kReplyScriptStatusClear = 0x15;
constexpr uint8_t kReplyTraceRecord = 0x17;
constexpr uint8_t kReplyTraceEnd = 0x15;
constexpr uint8_t kReplyFirmwareVersion = 0x42;
constexpr uint8_t kReplyFirmwareCode = 0x44;

// The loader's bytes during a firmware download.
constexpr uint8_t kBlockRequest = 0x12;
constexpr uint8_t kFirmwareAccepted = 0x10;
constexpr size_t kBlockSize = 512;
// The block count travels in one byte: 255 blocks, the last of them partly filled, so files
// of up to 255 * 512 - 1 bytes.
constexpr uint64_t kMaxBlocks = 255;
constexpr uint64_t kMaxFirmwareBytes = kMaxBlocks * kBlockSize - 1;

// How long the download waits for the board to ask for the next block before it gives the
// board up: generous, since writing a block into the board's flash takes a while, but not
// forever. A read that fails at once (a broken line) counts as half a second, the link's
// read time-out.
constexpr uint64_t kBlockRequestWaitMs = 30000;
constexpr uint32_t kBlockRequestMaxReads = 60;

constexpr uint32_t kWaitBeforeDownloadMs = 100;
constexpr uint32_t kWaitAfterLoadMs = 300;

// A board that never stops sending would keep the drain going forever; after this many stale
// bytes the request goes out anyway (and its reply check decides).
constexpr uint32_t kMaxDrainBytes = 1u << 16;

// Drains, then sends the whole request in one write.
bool Send(CComInt& link, const uint8_t* frame, uint32_t length) {
    link.DiscardReceived(kMaxDrainBytes);
    return link.Write(frame, length, 0) == kWriteOk;
}

// One waiting read of one byte; replies are read byte by byte.
bool ReadByte(CComInt& link, uint8_t& byte) {
    uint32_t got = 0;
    return link.Read(&byte, got, 1, 1) == kReadAll && got == 1;
}

bool Expect(CComInt& link, uint8_t wanted) {
    uint8_t byte = 0;
    return ReadByte(link, byte) && byte == wanted;
}

// Reads a number of `bytes` bytes, high byte first.
template <typename T>
bool ReadNumber(CComInt& link, T& value, int bytes = sizeof(T)) {
    T v = 0;
    for (int i = 0; i < bytes; ++i) {
        uint8_t byte = 0;
        if (!ReadByte(link, byte)) return false;
        v = static_cast<T>((v << 8) | byte);
    }
    value = v;
    return true;
}

// A request answered by the single byte 0x7E.
bool RequestAck(CComInt& link, const uint8_t* frame, uint32_t length) {
    return Send(link, frame, length) && Expect(link, kFrameStart);
}

// A request answered by 0x7E and the reply code; the data follows.
bool RequestReply(CComInt& link, const uint8_t* frame, uint32_t length, uint8_t replyCode) {
    return RequestAck(link, frame, length) && Expect(link, replyCode);
}

std::string WrongRequestText(bool last, uint8_t request) {
    const int code = request;
    return last ? FormatText(kFmtWrongRequestCodeLast, code, unsigned{request})
                : FormatText(kFmtWrongRequestCode, code, unsigned{request});
}

}  // namespace

CMB805QBrd::CMB805QBrd(Clock& clock, UserPrompts& prompts, ProgressDialog& progress)
    : clock_(clock), prompts_(prompts), progress_(progress) {}

bool CMB805QBrd::ResetDevice(uint8_t device) {
    const uint8_t frame[] = {kFrameStart, kCmdResetDevice, device};
    return RequestAck(link_, frame, sizeof frame);
}

bool CMB805QBrd::WriteReg8(uint8_t addr, uint8_t value, uint8_t device) {
    const uint8_t frame[] = {kFrameStart, kCmdWriteReg8, addr, value, device};
    return RequestAck(link_, frame, sizeof frame);
}

bool CMB805QBrd::WriteReg16(uint8_t addr, uint16_t value, uint8_t device) {
    const uint8_t frame[] = {
        kFrameStart, kCmdWriteReg16, addr, static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value),
        device};
    return RequestAck(link_, frame, sizeof frame);
}

bool CMB805QBrd::ReadReg8(uint8_t addr, uint8_t& value, uint8_t device) {
    const uint8_t frame[] = {kFrameStart, kCmdReadReg8, addr, device};
    return RequestReply(link_, frame, sizeof frame, kReplyReg8) && ReadNumber(link_, value);
}

bool CMB805QBrd::ReadReg16(uint8_t addr, uint16_t& value, uint8_t device) {
    const uint8_t frame[] = {kFrameStart, kCmdReadReg16, addr, device};
    return RequestReply(link_, frame, sizeof frame, kReplyReg16) && ReadNumber(link_, value);
}

bool CMB805QBrd::GetBoardInfo(BoardInfo& info) {
    const uint8_t frame[] = {kFrameStart, kCmdBoardInfo};
    if (!RequestReply(link_, frame, sizeof frame, kReplyBoardInfo)) return false;
    BoardInfo r;
    if (!ReadNumber(link_, r.boardType) || !ReadNumber(link_, r.versionMajor) ||
        !ReadNumber(link_, r.versionMinor) || !ReadNumber(link_, r.commandBufferSize) ||
        !ReadNumber(link_, r.dataBufferSize) || !ReadNumber(link_, r.fileBufferSize) ||
        !ReadNumber(link_, r.kernletOptions)) {
        return false;
    }
    info = r;
    return true;
}

bool CMB805QBrd::BeginKernletLoad(uint8_t device) {
    const uint8_t frame[] = {kFrameStart, kCmdBeginKernletLoad, device};
    return RequestAck(link_, frame, sizeof frame);
}

bool CMB805QBrd::GetScriptStatus(uint8_t& status) {
    const uint8_t frame[] = {kFrameStart, kCmdScriptStatus};
    uint8_t code = 0;
    if (!RequestAck(link_, frame, sizeof frame) || !ReadByte(link_, code)) return false;
    if (code == kReplyScriptStatusSet) {
        status = 1;
        return true;
    }
    if (code == kReplyScriptStatusClear) {
        status = 0;
        return true;
    }
    return false;
}

bool CMB805QBrd::ReadTrace(uint32_t start, uint16_t maxCount, TraceRecord* records, uint32_t& count) {
    count = 0;
    if (records == nullptr && maxCount != 0) return false;
    const uint8_t frame[] = {kFrameStart,
                             kCmdReadTrace,
                             static_cast<uint8_t>(start >> 24),
                             static_cast<uint8_t>(start >> 16),
                             static_cast<uint8_t>(start >> 8),
                             static_cast<uint8_t>(start),
                             static_cast<uint8_t>(maxCount >> 8),
                             static_cast<uint8_t>(maxCount)};
    if (!Send(link_, frame, sizeof frame)) return false;
    // The board sends at most maxCount records; the check comes before reading so that a
    // request for none never writes into the caller's array.
    while (count < maxCount) {
        uint8_t code = 0;
        if (!Expect(link_, kFrameStart) || !ReadByte(link_, code)) return false;
        if (code == kReplyTraceEnd) return true;
        if (code != kReplyTraceRecord) return false;
        TraceRecord r;
        if (!ReadNumber(link_, r.device) || !ReadNumber(link_, r.direction) ||
            !ReadNumber(link_, r.address) || !ReadNumber(link_, r.data) ||
            !ReadNumber(link_, r.bytesPerAccess) || !ReadNumber(link_, r.accessCount) ||
            !ReadNumber(link_, r.accessNumber) || !ReadNumber(link_, r.timestamp)) {
            return false;
        }
        records[count++] = r;
    }
    return true;
}

bool CMB805QBrd::BeginFirmwareDownload(uint8_t blocks) {
    const uint8_t frame[] = {kFrameStart, kCmdBeginFirmwareDownload, blocks};
    return Send(link_, frame, sizeof frame);
}

bool CMB805QBrd::StartFirmwareLoader() {
    // The last two bytes carry no meaning for the loader; they are sent as zero.
    const uint8_t frame[] = {kFrameStart, kCmdStartFirmwareLoader, 0x5D, 0x2E, 0x91, 0xC3, 0x48, 0x00, 0x00};
    return Send(link_, frame, sizeof frame);
}

bool CMB805QBrd::GetFirmwareVersion(FirmwareVersion& version) {
    const uint8_t frame[] = {kFrameStart, kCmdFirmwareVersion, 0x00};
    uint8_t skipped = 0;
    if (!RequestReply(link_, frame, sizeof frame, kReplyFirmwareVersion) || !ReadByte(link_, skipped)) {
        return false;
    }
    FirmwareVersion r;
    if (!ReadNumber(link_, r.firmwareKind) || !ReadNumber(link_, r.versionMajor) ||
        !ReadNumber(link_, r.versionMinor) || !ReadNumber(link_, r.firmwareWord)) {
        return false;
    }
    version = r;
    return true;
}

bool CMB805QBrd::GetFirmwareCode(FirmwareCode& code) {
    const uint8_t frame[] = {kFrameStart, kCmdFirmwareCode, 0x00};
    uint8_t skipped = 0;
    if (!RequestReply(link_, frame, sizeof frame, kReplyFirmwareCode) || !ReadByte(link_, skipped)) {
        return false;
    }
    return ReadNumber(link_, code);
}

bool CMB805QBrd::LoadFirmware(const std::string& fileName) {
    const std::string path = (std::filesystem::path(programDir_) / fileName).string();
    progress_.Create(kCaptionFlashing);
    progress_.SetRange(0, 100);
    progress_.SetStep(10);
    progress_.SetPos(0);
    if (!DownloadFirmware(path)) {
        // The bar has nothing more to show: it goes before the message, and does not stay on
        // screen for the rest of the run.
        progress_.Destroy();
        prompts_.MessageBox(kMsgUnableToLoadFirmware, kCaptionError, MsgIcon::Error);
        return false;
    }
    progress_.SetPos(100);
    progress_.Destroy();
    clock_.SleepMs(kWaitAfterLoadMs);
    return true;
}

// Waits for the loader's request for the next block. Unanswered reads are repeated, but only
// for so long: a board that is gone must not hold the program forever.
bool CMB805QBrd::WaitForBlockRequest(uint32_t block, uint32_t blocks, uint8_t& request) {
    const uint64_t start = clock_.NowMs();
    for (uint32_t failed = 0;; ++failed) {
        if (ReadByte(link_, request)) return true;
        if (failed + 1 >= kBlockRequestMaxReads || clock_.NowMs() - start >= kBlockRequestWaitMs) {
            FailDownload(FormatText(kFmtNoBlockRequest, block, blocks,
                                    static_cast<unsigned>(kBlockRequestWaitMs / 1000)));
            return false;
        }
    }
}

void CMB805QBrd::FailDownload(const std::string& text) {
    prompts_.MessageBox(text, kCaptionError, MsgIcon::Error);
    prompts_.PostQuit(kExitBoardFailure);
}

bool CMB805QBrd::DownloadFirmware(const std::string& path) {
    progress_.SetStep(5);
    progress_.SetPos(0);
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::error_code ec;
    const uint64_t size = std::filesystem::file_size(path, ec);
    if (ec) return false;

    // Blocks of 512 bytes, plus one: a file of exactly k blocks still sends a last block with
    // no file data in it, which the loader expects.
    const uint64_t blocks = size / kBlockSize + 1;
    // The count travels in one byte: a larger file would be announced with a wrong count and
    // leave the board with a cut-off firmware. Refuse it before the board hears of it.
    if (blocks > kMaxBlocks) {
        const std::string text = FormatText(kFmtFirmwareTooLarge, static_cast<unsigned long long>(size),
                                            static_cast<unsigned long long>(kMaxFirmwareBytes));
        prompts_.MessageBox(text, kCaptionError, MsgIcon::Error);
        return false;
    }
    const uint64_t stride = blocks / 20;
    ProgressScope shown(*sink_, kCaptionFlashing, blocks, kProgressUnitFirmwareBlocks);
    clock_.SleepMs(kWaitBeforeDownloadMs);

    if (!BeginFirmwareDownload(static_cast<uint8_t>(blocks))) {
        prompts_.MessageBox(kMsgUsbCommandWriteFail, kCaptionError, MsgIcon::Error);
        return false;
    }

    uint8_t buffer[kBlockSize] = {};
    uint8_t request = 0;
    uint64_t sinceStep = 0;
    for (uint64_t block = 1; block < blocks; ++block) {
        if (!WaitForBlockRequest(static_cast<uint32_t>(block), static_cast<uint32_t>(blocks), request)) {
            return false;
        }
        if (request != kBlockRequest) {
            FailDownload(WrongRequestText(false, request));
            return false;
        }
        if (!file.read(reinterpret_cast<char*>(buffer), kBlockSize)) {
            FailDownload(kMsgFileReadFail);
            return false;
        }
        if (link_.Write(buffer, kBlockSize, 0) != kWriteOk) {
            FailDownload(kMsgUsbDataWriteFail);
            return false;
        }
        shown.Advance(block);
        // The bar moves by 5 every twentieth of the blocks (every block for short files).
        if (++sinceStep >= stride) {
            sinceStep = 0;
            if (progress_.GetPos() < 100) progress_.StepIt();
        }
    }

    if (!WaitForBlockRequest(static_cast<uint32_t>(blocks), static_cast<uint32_t>(blocks), request)) {
        return false;
    }
    if (request != kBlockRequest) {
        FailDownload(WrongRequestText(true, request));
        return false;
    }
    // The last block carries the rest of the file in front; behind it stays what the buffer
    // held from the block before, as the loader has always received it.
    const uint64_t rest = size - kBlockSize * (blocks - 1);
    if (rest > 0 && !file.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(rest))) {
        return false;
    }
    if (link_.Write(buffer, kBlockSize, 0) != kWriteOk) return false;
    shown.Advance(blocks);

    uint8_t answer = 0;
    return ReadByte(link_, answer) && answer == kFirmwareAccepted;
}
