#pragma once
// The board's script interpreter: it takes the download, start, abort and reply frames of a
// script, runs the downloaded image instruction by instruction as board time passes, and sends
// the uplink frames (text, dialogs, file requests, end, errors). No threads: the board hands it
// every complete frame from the PC and calls Run when time advances. sim/SCRIPTS.md documents
// what every opcode does.
#include "sim/ScriptFiles.h"
#include "sim/ScriptImage.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace sim {

// What the interpreter needs from the board around it.
class ScriptBoard {
public:
    virtual ~ScriptBoard() = default;
    // An uplink frame, 0x7E first.
    virtual void Uplink(const uint8_t* frame, std::size_t n) = 0;
    // Bytes the board has sent and the PC has not taken yet.
    virtual std::size_t UplinkQueued() const = 0;
    // The board's one answer byte after a complete download.
    virtual void AnswerDownload() = 0;
    // Bus accesses of the script, 16 bits wide, on the board's own access path; count and
    // number place the access in its transaction for the trace; traced = false under `logoff`.
    virtual uint16_t BusRead(uint8_t device, uint8_t address, uint8_t count, uint8_t number, bool traced) = 0;
    virtual void BusWrite(uint8_t device, uint8_t address, uint16_t value, uint8_t count, uint8_t number,
                          bool traced) = 0;
    // Board time moves to the instruction being executed (trace timestamps follow it).
    virtual void MoveTimeTo(uint64_t microseconds) = 0;
    // The flag the script status request reports.
    virtual void SetScriptStatus(uint8_t status) = 0;
};

struct ScriptLimits {
    std::size_t maxRecords = 4097;  // command buffer and the closing record
    std::size_t dataWords = 8192;
    std::size_t fileBufferWords = 4096;
};

class ScriptEngine {
public:
    // Board time one instruction takes.
    static constexpr uint64_t kInstructionMicroseconds = 10;
    // At most this many instructions run in one call of Run, however much time passed: a jump
    // of the clock by minutes costs no more than this, and the board falls behind instead.
    static constexpr std::size_t kMaxInstructionsPerRun = 100'000;
    static constexpr std::size_t kReturnStackDepth = 32;
    // The board keeps at most this many bytes for the PC before the script waits for it to
    // take them (and `waituplink` asks for at most this much room).
    static constexpr std::size_t kUplinkBufferBytes = 4096;
    static constexpr int kVectors = 8;
    static constexpr int kTimerVector = 0;

    ScriptEngine(ScriptBoard& board, ScriptLimits limits);

    // A complete frame from the PC: command byte and its argument bytes, at board time now.
    void Frame(uint8_t command, const uint8_t* args, std::size_t n, uint64_t now);
    // Runs the instructions due from now up to until.
    void Run(uint64_t now, uint64_t until);
    // When the script next wants time (its next instruction, or the end of a delay); nothing
    // while it is idle or waits for the PC.
    std::optional<uint64_t> NextEvent(uint64_t now) const;

    bool Running() const { return running_; }
    const ScriptImage& Image() const { return image_; }

private:
    enum class Wait {
        None,
        Time,  // delay: until wakeAt_
        Reply,  // dialog: until 0x13
        FileOpen,  // fopenr: until 0x14
        FileData,  // file read request: until the blocks have come
        BlockAck,  // uplink block write: until 0x21
        Uplink,  // the uplink buffer is full: until the PC takes bytes
    };
    enum class Outcome { Next, Jumped, Blocked, Halted };

    // A resolved word parameter: a constant, or a span of data words from location on.
    struct Operand {
        bool constant = false;
        uint16_t value = 0;
        uint32_t location = 0;
    };
    struct IndexStep {
        uint32_t location = 0;
        int32_t delta = 0;
    };

    void Start(uint64_t now);
    void StopSilently();
    void End(uint8_t reason);
    Outcome Fail(uint8_t code);
    void Resume(uint64_t now);
    void Finish();

    void Step();
    Outcome Execute(const ScriptRecord& r);
    void Tick(uint64_t at);
    bool InterruptsPossible() const;
    bool TakeInterrupt();
    bool EnterHandler(uint32_t returnTo);
    bool InterruptDelay(uint64_t until);
    Outcome Return(bool fromInterrupt);

    // Parameters.
    int ParamCount(const ScriptRecord& r) const;
    std::optional<Operand> Resolve(const ScriptRecord& r, int slot, uint32_t span = 1);
    std::optional<Operand> Target(const ScriptRecord& r, int slot, uint32_t span = 1);
    std::optional<uint16_t> Value(const ScriptRecord& r, int slot);
    std::optional<uint32_t> LongValue(const ScriptRecord& r, int slot);
    std::optional<uint8_t> String(const ScriptRecord& r, int slot);
    std::optional<uint16_t> Label(const ScriptRecord& r, int slot);
    std::optional<uint8_t> RegisterAddress(const ScriptRecord& r, int slot, uint32_t count);
    uint16_t Get(const Operand& op, uint32_t i) const;
    void Put(const Operand& op, uint32_t i, uint16_t v);
    void ApplySteps();

    // Uplink.
    bool Room(std::size_t n) const;
    bool Send(const uint8_t* frame, std::size_t n);
    void RequestFileValues(uint32_t count);
    bool SendValueFrame(uint8_t code, uint8_t string, uint16_t value);
    void SendAlways(const uint8_t* frame, std::size_t n);

    // Instruction groups.
    Outcome Arithmetic(const ScriptRecord& r);
    Outcome Jump(const ScriptRecord& r, bool call, int condition);
    Outcome Dialog(const ScriptRecord& r, uint8_t code, bool answered);
    Outcome BusTransfer(const ScriptRecord& r, bool read);
    Outcome RegisterField(const ScriptRecord& r);
    Outcome FileOpenRead(const ScriptRecord& r);
    Outcome FileOpenWrite(const ScriptRecord& r);
    Outcome FileRead(const ScriptRecord& r);
    Outcome FileReadSpan(const ScriptRecord& r);
    Outcome FileWait(const ScriptRecord& r);
    Outcome StaticConfigure(const ScriptRecord& r);
    Outcome StaticOpen(const ScriptRecord& r, bool forWriting);
    Outcome StaticTransfer(const ScriptRecord& r, bool read);
    Outcome StaticToFile(const ScriptRecord& r);
    Outcome FileToStatic(const ScriptRecord& r);
    Outcome Delay(uint64_t microseconds);

    enum class Fetch { Got, Blocked, End };
    Fetch FetchValue(uint32_t stillNeeded, uint16_t& out);

    ScriptBoard& board_;
    ScriptImage image_;
    ScriptFileReader reader_;
    ScriptStaticBuffers statics_;

    bool running_ = false;
    uint32_t pc_ = 0;
    uint64_t now_ = 0;  // time of the instruction being executed
    uint64_t readyAt_ = 0;  // when the next instruction may run
    Wait wait_ = Wait::None;
    uint64_t wakeAt_ = 0;
    std::size_t uplinkNeed_ = 0;  // bytes the instruction waiting for uplink room will send
    uint8_t fault_ = 0;  // error code found while resolving parameters
    // Progress of an instruction that moves many values and waits in between (file reads and
    // writes of many values); 0 when an instruction begins.
    uint32_t partial_ = 0;
    // What an instruction paused for the PC completes with when the answer comes.
    std::optional<Operand> pendingTarget_;
    std::array<IndexStep, 3> steps_{};
    std::size_t stepCount_ = 0;
    std::array<IndexStep, 3> pendingSteps_{};
    std::size_t pendingStepCount_ = 0;

    std::array<uint32_t, kReturnStackDepth> stack_{};
    std::size_t stackDepth_ = 0;
    // A return-stack entry with this bit set returns into a delay that a timer tick interrupted:
    // the delay goes on to its end instead of starting again.
    static constexpr uint32_t kResumeDelay = 0x8000'0000;
    struct SuspendedDelay {
        uint64_t wakeAt = 0;
        std::array<IndexStep, 3> steps{};
        std::size_t stepCount = 0;
    };
    std::optional<SuspendedDelay> suspended_;

    uint8_t device_ = 1;
    bool traceOn_ = true;
    uint16_t portLatch_ = 0;
    // Millisecond clock of gettime/settime: offset at base time.
    uint64_t clockBase_ = 0;
    uint16_t clockOffset_ = 0;
    // Timer and interrupts.
    uint16_t timerPeriodMs_ = 0;
    bool timerRunning_ = false;
    uint64_t timerNext_ = 0;
    bool timerPending_ = false;
    bool interruptsOn_ = false;
    bool inHandler_ = false;
    std::array<std::optional<uint16_t>, kVectors> vectors_{};
};

}  // namespace sim
