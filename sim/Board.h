#pragma once
// The simulated MB805Q board with its three target devices: a byte-level state machine.
// Bytes from the PC go in through Receive; the board's bytes come out through Take. No
// threads inside; time moves only through AdvanceTime. sim/README.md documents what the board
// answers to every request.
#include "sim/TargetDevice.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sim {

struct BoardConfig {
    // What the board reports about itself (see sim/README.md for the meaning of each value).
    uint8_t boardType = 1;
    uint8_t versionMajor = 2;
    uint8_t versionMinor = 4;
    uint16_t commandBufferSize = 4096;
    uint32_t dataBufferSize = 8192;
    uint32_t fileBufferSize = 4096;
    uint8_t kernletOptions = 0;
    uint8_t firmwareKind = 2;
    uint8_t firmwareMajor = 1;
    uint8_t firmwareMinor = 0;
    uint32_t firmwareWord = 0;
    uint32_t firmwareCode = 0x805;
    // Trace entries the board starts with, as if it had made that many register accesses
    // before: for demonstrations and timings of the trace. At most kTraceEntries (the trace
    // memory's size; more are not kept). The board's time starts after the last of them.
    size_t fillTrace = 0;
};

// Faults a test or `mb805q-sim` option can switch on. Each applies to the board's replies to
// requests (not to pacing bytes unless said).
struct Faults {
    bool noReply = false;  // the board ignores every request: it neither acts nor answers
    bool wrongFirstByte = false;  // replies start with 0x7F instead of 0x7E
    bool wrongReplyCode = false;  // data replies carry their reply code with bit 7 flipped
        // (0x14 -> 0x94), never a valid code for the request
    int staleBytes = 0;  // after each request/reply exchange the board sends this many
        // more bytes, as the late end of an abandoned answer would
        // arrive: they wait in the PC's queue before its next request
    int refusals = 0;  // pacing bytes (Kernlet chunks and firmware blocks): this many
        // 0x11 answers, 1 ms apart, before the 0x12
    long refusalChunk = -1;  // -1: refuse before every chunk; k: only before chunk k
        // (0-based, counted within one paced transfer)
    long closeAfterBytes = -1;  // close the line after this many received bytes, counted from
        // the board's start (-1: never)
};

// One entry of the trace memory, with the fields and widths of a trace record on the wire.
struct TraceEntry {
    uint8_t device = 0;
    uint8_t direction = 0;  // 1: read access, 0: write access
    uint8_t address = 0;
    uint16_t data = 0;
    uint8_t bytesPerAccess = 0;  // 1 for an 8-bit access, 2 for a 16-bit access
    uint8_t accessCount = 1;  // accesses in the transaction
    uint8_t accessNumber = 1;  // this access's number within the transaction, from 1
    uint32_t timestamp = 0;  // board time in microseconds (wraps after about 71 minutes)
};

class Board {
public:
    static constexpr int kDevices = 3;
    static constexpr size_t kTraceEntries = 0x20000;
    static constexpr size_t kFirmwareBlockSize = 512;
    // Silence after which the board forgets an unfinished request or paced transfer.
    static constexpr uint64_t kAbandonMicroseconds = 2'000'000;
    // Gap between a refusal (0x11) and the board's next pacing byte.
    static constexpr uint64_t kRefusalGapMicroseconds = 1'000;
    // Bytes the board keeps for the PC before it drops further output, as a full UART would.
    static constexpr size_t kMaxOutput = 4 * 1024 * 1024;

    explicit Board(BoardConfig config = {});
    ~Board();
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    // Bytes from the PC, in any split. Returns how many the board took: fewer than n only
    // when the line closed on the way.
    size_t Receive(const uint8_t* data, size_t n);
    // Bytes the board has sent and the PC has not yet taken.
    size_t Available() const;
    size_t Take(uint8_t* out, size_t max);
    // The line was closed by a fault: nothing more comes, and the PC's port has failed.
    bool LineClosed() const;
    // Simulated time, for trace timestamps, delays and the board's own time-outs.
    void AdvanceTime(uint64_t microseconds);
    uint64_t NowMicroseconds() const;
    // When the board will next send something of its own accord (a pacing byte after a
    // refusal), in board time; nothing when it only answers.
    std::optional<uint64_t> NextEventMicroseconds() const;

    Faults& faults();
    const BoardConfig& config() const;

    // Register memory of target device 1..3 (256 16-bit registers each), without a bus access.
    uint16_t Register(int device, uint8_t address) const;
    void SetRegister(int device, uint8_t address, uint16_t value);
    // The device behind a number 1..3; a device model may replace the plain one.
    TargetDevice& Device(int device);
    void SetDevice(int device, std::unique_ptr<TargetDevice> model);

    // The flag that the script status request reports (0 or 1). A script run sets it: 0 while
    // it runs and after a run-time error, 1 after it finished or was aborted (sim/SCRIPTS.md).
    void SetScriptStatus(uint8_t status);
    uint8_t ScriptStatus() const;
    // A downloaded script is running (possibly paused for the PC).
    bool ScriptRunning() const;

    // Trace memory: entry 0 is the newest access.
    size_t TraceSize() const;
    TraceEntry TraceAt(size_t index) const;
    void ClearTrace();

    // Loader state and the last firmware image received (all blocks as sent).
    bool InLoader() const;
    const std::vector<uint8_t>& LastFirmwareImage() const;

    // Every request received, as upper-case hex lines ("7E 03 20 12 34 02").
    void SetRequestLog(std::vector<std::string>* log);
    // The same lines, handed to a function (for a log file).
    void SetRequestLogger(std::function<void(const std::string&)> logger);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace sim
