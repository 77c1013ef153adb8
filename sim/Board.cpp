#include "sim/Board.h"

#include "sim/FirmwareImage.h"
#include "sim/KernletDevice.h"
#include "sim/ScriptCodes.h"
#include "sim/ScriptEngine.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace sim {
namespace {

constexpr uint8_t kFrameStart = 0x7E;
constexpr uint8_t kBadFrameStart = 0x7F;  // what a reply starts with under Faults::wrongFirstByte
constexpr uint8_t kWrongCodeFlip = 0x80;  // flipped in reply codes under Faults::wrongReplyCode
constexpr uint8_t kPaceSend = 0x12;  // "send the next chunk / block"
constexpr uint8_t kPaceRefuse = 0x11;  // "not now"
constexpr uint8_t kTransferDone = 0x10;  // a Kernlet or firmware transfer completed
constexpr uint8_t kLoaderMagic[5] = {0x5D, 0x2E, 0x91, 0xC3, 0x48};
// What Faults::staleBytes sends, over and over: the head of a register answer, so that a PC
// that forgot to drain takes it for a real one.
constexpr uint8_t kStalePattern[4] = {0x7E, 0x14, 0xA5, 0x5A};

enum Command : uint8_t {
    kReset = 0x01,
    kWrite8 = 0x02,
    kWrite16 = 0x03,
    kRead8 = 0x04,
    kRead16 = 0x05,
    kBoardInfo = 0x0F,
    kKernletLoad = 0x15,
    kScriptStatus = 0x19,
    kTraceRead = 0x1A,
    kFirmwareDownload = 0x39,
    kStartLoader = 0x40,
    kFirmwareVersion = 0x41,
    kFirmwareCode = 0x43,
};

enum ReplyCode : uint8_t {
    kReplyRead8 = 0x13,
    kReplyRead16 = 0x14,
    kReplyBoardInfo = 0x0F,
    kReplyStatusSet = 0x16,
    kReplyStatusClear = 0x15,
    kReplyTraceRecord = 0x17,
    kReplyTraceEnd = 0x15,
    kReplyVersion = 0x42,
    kReplyCode = 0x44,
};

// The byte each of these replies skips before its data; we send the number of data bytes
// that follow.
constexpr uint8_t kVersionSkipped = 7;
constexpr uint8_t kCodeSkipped = 4;

// Argument bytes that follow the command byte of a request, judged from the bytes received so
// far (0x7E and the command byte first); nothing for a command the board does not know. The
// file blocks of a running script say their length in their first two argument bytes.
std::optional<size_t> ArgumentCount(const std::vector<uint8_t>& frame) {
    namespace sc = scriptcode;
    switch (frame[1]) {
        case kReset: return 1;
        case kWrite8: return 3;
        case kWrite16: return 4;
        case kRead8: return 2;
        case kRead16: return 2;
        case kBoardInfo: return 0;
        case kKernletLoad: return 1;
        case kScriptStatus: return 0;
        case kTraceRead: return 6;
        case kFirmwareDownload: return 1;
        case kStartLoader: return 7;
        case kFirmwareVersion: return 1;
        case kFirmwareCode: return 1;
        case sc::kFirstRecord: return sc::kRecordBytes;
        case sc::kNextRecord: return sc::kRecordBytes;
        case sc::kInitialiser: return sc::kInitialiserBytes;
        case sc::kStart: return 0;
        case sc::kAbort: return 0;
        case sc::kReply: return sc::kReplyBytes;
        case sc::kFileOpened: return sc::kFileOpenedBytes;
        case sc::kBlockWritten: return 0;
        case sc::kFileBlock:
        case sc::kFileLastBlock:
            if (frame.size() < 4) return 2;
            return 2 + ((size_t{frame[2]} << 8) | frame[3]);
        default: return std::nullopt;
    }
}

std::string HexLine(const std::vector<uint8_t>& bytes) {
    std::string line;
    char hex[4];
    for (uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        if (!line.empty()) line += ' ';
        line += hex;
    }
    return line;
}

bool ValidDevice(int device) { return device >= 1 && device <= Board::kDevices; }

// The words of a Kernlet arrive as one byte stream cut into chunks anywhere: block headers
// (address, length in words, each high byte first), the block's words, and an end record
// (address, then a length of 0).
class KernletStream {
public:
    // The board keeps at most this many words of one load; more are counted, not kept.
    static constexpr size_t kMaxKeptWords = 1u << 20;

    void Feed(uint8_t b) {
        switch (state_) {
            case State::Header:
                header_[fill_++] = b;
                if (fill_ == 4) {
                    fill_ = 0;
                    const uint16_t address = static_cast<uint16_t>((header_[0] << 8) | header_[1]);
                    const uint16_t length = static_cast<uint16_t>((header_[2] << 8) | header_[3]);
                    if (length == 0) {
                        image_.finalAddress = address;
                        state_ = State::Done;
                    } else {
                        block_ = KernletBlock{address, length, {}};
                        bytesLeft_ = uint32_t{length} * 2;
                        state_ = State::Data;
                    }
                }
                break;
            case State::Data:
                if (bytesLeft_ % 2 == 0) {
                    high_ = b;
                } else if (keptWords_ < kMaxKeptWords) {
                    block_.words.push_back(static_cast<uint16_t>((high_ << 8) | b));
                    ++keptWords_;
                } else {
                    image_.truncated = true;
                }
                if (--bytesLeft_ == 0) {
                    image_.blocks.push_back(std::move(block_));
                    block_ = {};
                    state_ = State::Header;
                }
                break;
            case State::Done: break;  // bytes after the end record in the same chunk are ignored
        }
    }
    bool Complete() const { return state_ == State::Done; }
    const KernletImage& Image() const { return image_; }

private:
    enum class State { Header, Data, Done };
    State state_ = State::Header;
    std::array<uint8_t, 4> header_{};
    size_t fill_ = 0;
    KernletBlock block_;
    uint32_t bytesLeft_ = 0;
    uint8_t high_ = 0;
    size_t keptWords_ = 0;
    KernletImage image_;
};

}  // namespace

// The board itself is the script interpreter's way to the uplink, the bus and the clock.
struct Board::Impl final : ScriptBoard {
    // Where the byte from the PC goes.
    enum class Rx {
        Idle,  // outside a request: wait for 0x7E, ignore anything else
        Command,  // after 0x7E: the command byte
        Arguments,  // the command's argument bytes
        PacedCount,  // Kernlet transfer: the count byte of the next chunk
        PacedData,  // Kernlet transfer: the chunk's bytes
        FirmwareBlock,  // firmware download: the 512 bytes of the current block
        MaybeRequest,  // paced transfer: a 7E where a chunk or block begins, held until the
        // bytes tell a request from a chunk
    };
    enum class Transfer { None, Kernlet, Firmware };

    static ScriptLimits LimitsFor(const BoardConfig& c) {
        ScriptLimits limits;
        // The closing record comes on top of a full command buffer.
        limits.maxRecords = size_t{c.commandBufferSize} + 1;
        limits.dataWords = std::min<size_t>(c.dataBufferSize, 0x10000);
        limits.fileBufferWords = std::min<size_t>(c.fileBufferSize, 0x10000);
        return limits;
    }

    explicit Impl(BoardConfig c) : config(c), script(*this, LimitsFor(c)) {
        // Devices run the Kernlets loaded into them; without one they are plain register files.
        for (auto& d : devices) d = std::make_unique<KernletDevice>();
        FillTrace(std::min(c.fillTrace, kTraceEntries));
    }

    // Register accesses as a session on the kit leaves them: mostly device 1, reads and writes,
    // a handful of registers, 8- and 16-bit, some tens of microseconds apart. The same every
    // time (a fixed pseudo-random sequence), so runs can be compared.
    void FillTrace(size_t entries) {
        static constexpr uint8_t kAddresses[] = {0x20, 0x21, 0x22, 0x23, 0x30, 0x31, 0x4D, 0x7E,
                                                 0xA9, 0xAA, 0xB8, 0xB9, 0xC5, 0xC6, 0xC9};
        uint32_t x = 0x2545F491;
        auto next = [&x] {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            return x;
        };
        trace.reserve(entries);
        for (size_t i = 0; i < entries; ++i) {
            const uint32_t r = next();
            const uint8_t device = (r & 7) < 5 ? 1 : (r & 7) == 5 ? 2 : 3;
            const bool read = ((r >> 3) & 1) != 0;
            const uint8_t address = kAddresses[(r >> 4) % sizeof kAddresses];
            const uint8_t bytes = ((r >> 8) & 3) == 0 ? 1 : 2;
            const uint16_t data = static_cast<uint16_t>(next() & (bytes == 1 ? 0xFF : 0xFFFF));
            now += 20 + (r >> 16) % 180;
            Record(device, read, address, data, bytes);
        }
        if (entries > 0) now += 1000;
    }

    BoardConfig config;
    ScriptEngine script;
    Faults faults;
    std::array<std::unique_ptr<TargetDevice>, kDevices> devices;
    uint8_t scriptStatus = 0;

    std::deque<uint8_t> out;
    bool lineClosed = false;
    uint64_t received = 0;
    uint64_t now = 0;
    uint64_t lastActivity = 0;  // last byte from the PC or pacing byte of the board

    Rx rx = Rx::Idle;
    std::vector<uint8_t> frame;  // the request being received, 0x7E and command included
    size_t argumentsNeeded = 0;
    bool loader = false;

    Transfer transfer = Transfer::None;
    int transferDevice = 0;
    long chunkIndex = 0;
    size_t chunkLeft = 0;
    int refusalsLeft = 0;
    std::optional<uint64_t> nextPacingAt;  // set while the board is refusing
    KernletStream kernlet;
    // What came since a 7E where a chunk or block could begin. The PC writes a request whole
    // and then waits for the answer, while a chunk's count byte is followed by its data: a
    // request that ends where the PC's write ends is a request (the PC gave the transfer up),
    // anything longer is data.
    std::vector<uint8_t> held;
    size_t firmwareBlocks = 0;
    std::vector<uint8_t> firmwareImage;
    std::vector<uint8_t> lastFirmwareImage;

    std::vector<TraceEntry> trace;  // ring; grows to kTraceEntries, then wraps
    size_t traceHead = 0;  // where the next entry goes

    std::vector<std::string>* logVector = nullptr;
    std::function<void(const std::string&)> logger;

    // --- output ---

    void Emit(uint8_t b) {
        if (lineClosed || out.size() >= kMaxOutput) return;
        out.push_back(b);
    }
    void ReplyStart() { Emit(faults.wrongFirstByte ? kBadFrameStart : kFrameStart); }
    void ReplyCode(uint8_t code) {
        Emit(faults.wrongReplyCode ? static_cast<uint8_t>(code ^ kWrongCodeFlip) : code);
    }
    void Emit16(uint16_t v) {
        Emit(static_cast<uint8_t>(v >> 8));
        Emit(static_cast<uint8_t>(v));
    }
    void Emit32(uint32_t v) {
        Emit16(static_cast<uint16_t>(v >> 16));
        Emit16(static_cast<uint16_t>(v));
    }
    // A request/reply exchange is over: under the stale-bytes fault the board now sends the
    // late bytes that the PC must throw away before its next request.
    void EndExchange() {
        for (int i = 0; i < faults.staleBytes; ++i) Emit(kStalePattern[i % sizeof kStalePattern]);
    }

    // --- requests ---

    void Log(const std::vector<uint8_t>& bytes) {
        if (!logVector && !logger) return;
        const std::string line = HexLine(bytes);
        if (logVector) logVector->push_back(line);
        if (logger) logger(line);
    }

    void ByteIn(uint8_t b) {
        // A PC that sends while the board is refusing has given the transfer up: this byte
        // begins a request.
        if (nextPacingAt && (rx == Rx::PacedCount || rx == Rx::FirmwareBlock)) Abandon();
        switch (rx) {
            case Rx::Idle:
                if (b == kFrameStart) {
                    frame.assign(1, b);
                    rx = Rx::Command;
                }
                break;
            case Rx::Command: {
                if (b == kFrameStart) break;  // a second 0x7E starts the request again
                frame.push_back(b);
                const std::optional<size_t> count = ArgumentCount(frame);
                if (!count) {
                    // Unknown command: drop it and wait for the next 0x7E.
                    Log(frame);
                    frame.clear();
                    rx = Rx::Idle;
                    break;
                }
                argumentsNeeded = *count;
                rx = Rx::Arguments;
                if (argumentsNeeded == 0) Complete();
                break;
            }
            case Rx::Arguments:
                frame.push_back(b);
                argumentsNeeded = ArgumentCount(frame).value_or(0);
                if (frame.size() >= 2 + argumentsNeeded) Complete();
                break;
            case Rx::PacedCount:
                if (b == kFrameStart) {
                    Hold(b);
                    break;
                }
                PacedCountByte(b);
                break;
            case Rx::PacedData:
                kernlet.Feed(b);
                if (--chunkLeft == 0) ChunkDone();
                break;
            case Rx::FirmwareBlock:
                if (b == kFrameStart && firmwareImage.size() % kFirmwareBlockSize == 0) {
                    Hold(b);
                    break;
                }
                FirmwareByte(b);
                break;
            case Rx::MaybeRequest:
                held.push_back(b);
                if (!HeldCanBeRequest()) ReplayHeldAsData();
                break;
        }
    }

    void PacedCountByte(uint8_t b) {
        chunkLeft = b;
        rx = Rx::PacedData;
        if (chunkLeft == 0) ChunkDone();
    }

    void FirmwareByte(uint8_t b) {
        firmwareImage.push_back(b);
        if (firmwareImage.size() % kFirmwareBlockSize == 0) ChunkDone();
    }

    void Hold(uint8_t b) {
        held.assign(1, b);
        rx = Rx::MaybeRequest;
    }

    // The bytes held so far still read as the start of a request, or a whole one, and are no
    // more than the chunk or block they would otherwise be.
    bool HeldCanBeRequest() const {
        const size_t asData = transfer == Transfer::Kernlet ? 1 + size_t{kFrameStart} : kFirmwareBlockSize;
        if (held.size() >= asData) return false;
        if (held.size() < 2) return true;
        if (held[1] == kFrameStart) return false;
        const std::optional<size_t> count = ArgumentCount(held);
        return count && held.size() <= 2 + *count;
    }

    bool HeldIsWholeRequest() const {
        if (held.size() < 2) return false;
        const std::optional<size_t> count = ArgumentCount(held);
        return count && held.size() == 2 + *count;
    }

    void ReplayHeldAsData() {
        const std::vector<uint8_t> bytes = std::move(held);
        held.clear();
        if (transfer == Transfer::Kernlet) {
            PacedCountByte(bytes[0]);
            for (size_t i = 1; i < bytes.size(); ++i) ByteIn(bytes[i]);
        } else {
            rx = Rx::FirmwareBlock;
            FirmwareByte(bytes[0]);
            for (size_t i = 1; i < bytes.size(); ++i) ByteIn(bytes[i]);
        }
    }

    // The PC's write has ended. A whole request held at this point is the PC's next request
    // after a transfer it gave up.
    void EndOfInput() {
        if (rx != Rx::MaybeRequest || !HeldIsWholeRequest()) return;
        std::vector<uint8_t> request = std::move(held);
        held.clear();
        Abandon();
        frame = std::move(request);
        Complete();
    }

    void Complete() {
        const std::vector<uint8_t> request = std::move(frame);
        frame.clear();
        rx = Rx::Idle;
        Log(request);
        if (faults.noReply) return;
        Execute(request);
    }

    void Execute(const std::vector<uint8_t>& r) {
        const uint8_t command = r[1];
        if (loader) {
            // The loader knows only its own two requests; others are taken whole and ignored.
            if (command == kFirmwareDownload) BeginFirmwareDownload(r[2]);
            if (command == kStartLoader) StartLoader(r);
            return;
        }
        switch (command) {
            case kReset:
                if (ValidDevice(r[2])) Dev(r[2]).Reset();
                ReplyStart();
                EndExchange();
                break;
            case kWrite8:
                Write8(r[4], r[2], r[3]);
                ReplyStart();
                EndExchange();
                break;
            case kWrite16:
                Write16(r[5], r[2], static_cast<uint16_t>((r[3] << 8) | r[4]));
                ReplyStart();
                EndExchange();
                break;
            case kRead8: {
                const uint8_t v = Read8(r[3], r[2]);
                ReplyStart();
                ReplyCode(kReplyRead8);
                Emit(v);
                EndExchange();
                break;
            }
            case kRead16: {
                const uint16_t v = Read16(r[3], r[2]);
                ReplyStart();
                ReplyCode(kReplyRead16);
                Emit16(v);
                EndExchange();
                break;
            }
            case kBoardInfo:
                ReplyStart();
                ReplyCode(kReplyBoardInfo);
                Emit(config.boardType);
                Emit(config.versionMajor);
                Emit(config.versionMinor);
                Emit16(config.commandBufferSize);
                Emit32(config.dataBufferSize);
                Emit32(config.fileBufferSize);
                Emit(config.kernletOptions);
                EndExchange();
                break;
            case kKernletLoad:
                // The acknowledgement is followed at once by the first pacing byte, so no
                // stale bytes may come between them.
                ReplyStart();
                BeginKernletLoad(r[2]);
                break;
            case kScriptStatus:
                ReplyStart();
                ReplyCode(scriptStatus ? kReplyStatusSet : kReplyStatusClear);
                EndExchange();
                break;
            case kTraceRead:
                SendTrace((uint32_t{r[2]} << 24) | (uint32_t{r[3]} << 16) | (uint32_t{r[4]} << 8) | r[5],
                          static_cast<uint16_t>((r[6] << 8) | r[7]));
                EndExchange();
                break;
            case kFirmwareDownload: break;  // only the loader takes firmware
            case kStartLoader: StartLoader(r); break;
            case kFirmwareVersion:
                ReplyStart();
                ReplyCode(kReplyVersion);
                Emit(kVersionSkipped);
                Emit(config.firmwareKind);
                Emit(config.firmwareMajor);
                Emit(config.firmwareMinor);
                Emit32(config.firmwareWord);
                EndExchange();
                break;
            case kFirmwareCode:
                ReplyStart();
                ReplyCode(kReplyCode);
                Emit(kCodeSkipped);
                Emit32(config.firmwareCode);
                EndExchange();
                break;
            case scriptcode::kFirstRecord:
            case scriptcode::kNextRecord:
            case scriptcode::kInitialiser:
            case scriptcode::kStart:
            case scriptcode::kAbort:
            case scriptcode::kReply:
            case scriptcode::kFileOpened:
            case scriptcode::kFileBlock:
            case scriptcode::kFileLastBlock:
            case scriptcode::kBlockWritten:
                // Script frames have no reply of their own (nor stale bytes after them): what the
                // board says comes as uplink frames, and one answer byte after a download.
                script.Frame(command, r.data() + 2, r.size() - 2, now);
                break;
            default: break;
        }
    }

    // --- devices and trace ---

    TargetDevice& Dev(int device) { return *devices[static_cast<size_t>(device - 1)]; }

    void Record(uint8_t device, bool read, uint8_t address, uint16_t data, uint8_t bytes, uint8_t count = 1,
                uint8_t number = 1) {
        TraceEntry e;
        e.device = device;
        e.direction = read ? 1 : 0;
        e.address = address;
        e.data = data;
        e.bytesPerAccess = bytes;
        e.accessCount = count;
        e.accessNumber = number;
        e.timestamp = static_cast<uint32_t>(now);
        if (trace.size() < kTraceEntries) {
            trace.push_back(e);
            traceHead = trace.size() % kTraceEntries;
        } else {
            trace[traceHead] = e;
            traceHead = (traceHead + 1) % kTraceEntries;
        }
    }

    TraceEntry TraceAt(size_t index) const {
        const size_t size = trace.size();
        return trace[(traceHead + size - 1 - index) % size];
    }

    // A device number outside 1..3 reaches no device: writes go nowhere and reads see an
    // idle bus (all ones). The access is still made and traced.
    void Write8(uint8_t device, uint8_t address, uint8_t value) {
        if (ValidDevice(device)) Dev(device).Write8(address, value);
        Record(device, false, address, value, 1);
    }
    void Write16(uint8_t device, uint8_t address, uint16_t value) {
        if (ValidDevice(device)) Dev(device).Write16(address, value);
        Record(device, false, address, value, 2);
    }
    uint8_t Read8(uint8_t device, uint8_t address) {
        const uint8_t v = ValidDevice(device) ? Dev(device).Read8(address) : 0xFF;
        Record(device, true, address, v, 1);
        return v;
    }
    uint16_t Read16(uint8_t device, uint8_t address) {
        const uint16_t v = ValidDevice(device) ? Dev(device).Read16(address) : 0xFFFF;
        Record(device, true, address, v, 2);
        return v;
    }

    // --- the script interpreter's access to the board ---

    void Uplink(const uint8_t* bytes, size_t n) override {
        for (size_t i = 0; i < n; ++i) Emit(bytes[i]);
    }
    size_t UplinkQueued() const override { return out.size(); }
    void AnswerDownload() override { ReplyStart(); }
    uint16_t BusRead(uint8_t device, uint8_t address, uint8_t count, uint8_t number, bool traced) override {
        const uint16_t v = ValidDevice(device) ? Dev(device).Read16(address) : 0xFFFF;
        if (traced) Record(device, true, address, v, 2, count, number);
        return v;
    }
    void BusWrite(uint8_t device, uint8_t address, uint16_t value, uint8_t count, uint8_t number,
                  bool traced) override {
        if (ValidDevice(device)) Dev(device).Write16(address, value);
        if (traced) Record(device, false, address, value, 2, count, number);
    }
    void MoveTimeTo(uint64_t microseconds) override { now = std::max(now, microseconds); }
    void SetScriptStatus(uint8_t status) override { scriptStatus = status ? 1 : 0; }

    void SendTrace(uint32_t start, uint16_t maxCount) {
        uint32_t sent = 0;
        for (uint64_t i = start; i < trace.size() && sent < maxCount; ++i, ++sent) {
            const TraceEntry e = TraceAt(static_cast<size_t>(i));
            ReplyStart();
            ReplyCode(kReplyTraceRecord);
            Emit(e.device);
            Emit(e.direction);
            Emit(e.address);
            Emit16(e.data);
            Emit(e.bytesPerAccess);
            Emit(e.accessCount);
            Emit(e.accessNumber);
            Emit32(e.timestamp);
        }
        // The end marker comes only when the board ran out of records before the count
        // asked for (or none were asked for); a full answer ends with its last record.
        if (sent < maxCount || maxCount == 0) {
            ReplyStart();
            ReplyCode(kReplyTraceEnd);
        }
    }

    // --- paced transfers ---

    void BeginKernletLoad(uint8_t device) {
        if (ValidDevice(device)) Dev(device).KernletLoadStarted();
        transfer = Transfer::Kernlet;
        transferDevice = device;
        kernlet = KernletStream{};
        chunkIndex = 0;
        Offer();
    }

    void StartLoader(const std::vector<uint8_t>& r) {
        for (size_t i = 0; i < sizeof kLoaderMagic; ++i) {
            if (r[2 + i] != kLoaderMagic[i]) return;  // not the magic: ignored
        }
        loader = true;
    }

    void BeginFirmwareDownload(uint8_t blocks) {
        firmwareBlocks = blocks;
        firmwareImage.clear();
        if (blocks == 0) {
            FinishFirmware();
            return;
        }
        transfer = Transfer::Firmware;
        chunkIndex = 0;
        Offer();
    }

    void PacingByte(uint8_t b) {
        Emit(b);
        lastActivity = now;
    }

    // The board is ready for chunk (or block) chunkIndex.
    void Offer() {
        rx = transfer == Transfer::Kernlet ? Rx::PacedCount : Rx::FirmwareBlock;
        const bool refuse =
            faults.refusals > 0 && (faults.refusalChunk < 0 || faults.refusalChunk == chunkIndex);
        if (refuse) {
            refusalsLeft = faults.refusals - 1;
            PacingByte(kPaceRefuse);
            nextPacingAt = now + kRefusalGapMicroseconds;
        } else {
            PacingByte(kPaceSend);
            nextPacingAt.reset();
        }
    }

    void ChunkDone() {
        if (transfer == Transfer::Kernlet) {
            if (kernlet.Complete()) {
                PacingByte(kTransferDone);
                if (ValidDevice(transferDevice)) Dev(transferDevice).KernletLoaded(kernlet.Image());
                EndTransfer();
                return;
            }
        } else if (firmwareImage.size() == firmwareBlocks * kFirmwareBlockSize) {
            FinishFirmware();
            return;
        }
        ++chunkIndex;
        Offer();
    }

    void FinishFirmware() {
        PacingByte(kTransferDone);
        lastFirmwareImage = std::move(firmwareImage);
        firmwareImage.clear();
        if (auto id = ReadFirmwareImage(lastFirmwareImage.data(), lastFirmwareImage.size())) {
            config.firmwareKind = id->kind;
            config.firmwareMajor = id->major;
            config.firmwareMinor = id->minor;
            config.firmwareCode = id->code;
            config.firmwareWord = id->word;
        }
        loader = false;  // the board starts the firmware it now holds
        EndTransfer();
    }

    void EndTransfer() {
        transfer = Transfer::None;
        nextPacingAt.reset();
        rx = Rx::Idle;
    }

    // The PC went silent or walked away: forget what was in progress. A Kernlet load stays
    // incomplete (the device holds no Kernlet); the loader stays the loader.
    void Abandon() {
        EndTransfer();
        frame.clear();
        held.clear();
        firmwareImage.clear();
    }

    void RunTimers() {
        while (nextPacingAt && *nextPacingAt <= now) {
            if (refusalsLeft > 0) {
                --refusalsLeft;
                PacingByte(kPaceRefuse);
                nextPacingAt = *nextPacingAt + kRefusalGapMicroseconds;
            } else {
                PacingByte(kPaceSend);
                nextPacingAt.reset();
            }
        }
        if (rx != Rx::Idle && now - lastActivity >= kAbandonMicroseconds) Abandon();
    }

    bool CloseDue() const {
        return faults.closeAfterBytes >= 0 && received >= static_cast<uint64_t>(faults.closeAfterBytes);
    }
    // Closed by the fault, also before the first byte when the count is 0.
    bool Closed() const { return lineClosed || CloseDue(); }

    void CloseLine() {
        lineClosed = true;
        out.clear();
        nextPacingAt.reset();
    }
};

Board::Board(BoardConfig config) : impl_(std::make_unique<Impl>(config)) {}
Board::~Board() = default;

size_t Board::Receive(const uint8_t* data, size_t n) {
    Impl& s = *impl_;
    for (size_t i = 0; i < n; ++i) {
        if (!s.lineClosed && s.CloseDue()) s.CloseLine();
        if (s.lineClosed) return i;
        ++s.received;
        s.lastActivity = s.now;
        s.ByteIn(data[i]);
        // The byte that reaches the count closes the line at once: an answer it completes is lost.
        if (s.CloseDue()) s.CloseLine();
    }
    if (!s.lineClosed) s.EndOfInput();
    return n;
}

size_t Board::Available() const { return impl_->Closed() ? 0 : impl_->out.size(); }

size_t Board::Take(uint8_t* out, size_t max) {
    Impl& s = *impl_;
    if (s.Closed()) return 0;
    size_t n = 0;
    while (n < max && !s.out.empty()) {
        out[n++] = s.out.front();
        s.out.pop_front();
    }
    return n;
}

bool Board::LineClosed() const { return impl_->Closed(); }

void Board::AdvanceTime(uint64_t microseconds) {
    Impl& s = *impl_;
    const uint64_t until = s.now + microseconds;
    // A running script executes the instructions that fall into this time, each at its own time.
    s.script.Run(s.now, until);
    s.now = until;
    s.RunTimers();
}

uint64_t Board::NowMicroseconds() const { return impl_->now; }

std::optional<uint64_t> Board::NextEventMicroseconds() const {
    if (impl_->Closed()) return std::nullopt;
    const std::optional<uint64_t> pacing = impl_->nextPacingAt;
    const std::optional<uint64_t> script = impl_->script.NextEvent(impl_->now);
    if (pacing && script) return std::min(*pacing, *script);
    return pacing ? pacing : script;
}

Faults& Board::faults() { return impl_->faults; }
const BoardConfig& Board::config() const { return impl_->config; }

uint16_t Board::Register(int device, uint8_t address) const {
    return ValidDevice(device) ? impl_->devices[static_cast<size_t>(device - 1)]->Peek(address) : 0;
}

void Board::SetRegister(int device, uint8_t address, uint16_t value) {
    if (ValidDevice(device)) impl_->Dev(device).Poke(address, value);
}

TargetDevice& Board::Device(int device) { return impl_->Dev(ValidDevice(device) ? device : 1); }

void Board::SetDevice(int device, std::unique_ptr<TargetDevice> model) {
    if (ValidDevice(device) && model) impl_->devices[static_cast<size_t>(device - 1)] = std::move(model);
}

void Board::SetScriptStatus(uint8_t status) { impl_->scriptStatus = status ? 1 : 0; }
uint8_t Board::ScriptStatus() const { return impl_->scriptStatus; }
bool Board::ScriptRunning() const { return impl_->script.Running(); }

size_t Board::TraceSize() const { return impl_->trace.size(); }

TraceEntry Board::TraceAt(size_t index) const {
    return index < impl_->trace.size() ? impl_->TraceAt(index) : TraceEntry{};
}

void Board::ClearTrace() {
    impl_->trace.clear();
    impl_->traceHead = 0;
}

bool Board::InLoader() const { return impl_->loader; }
const std::vector<uint8_t>& Board::LastFirmwareImage() const { return impl_->lastFirmwareImage; }

void Board::SetRequestLog(std::vector<std::string>* log) { impl_->logVector = log; }
void Board::SetRequestLogger(std::function<void(const std::string&)> logger) {
    impl_->logger = std::move(logger);
}

}  // namespace sim
