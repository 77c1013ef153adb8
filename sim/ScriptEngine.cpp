#include "sim/ScriptEngine.h"

#include "sim/ScriptCodes.h"

#include <algorithm>
#include <bit>
#include <vector>

namespace sim {

using namespace scriptcode;

namespace {

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint8_t High(uint32_t v) { return static_cast<uint8_t>(v >> 8); }
uint8_t Low(uint32_t v) { return static_cast<uint8_t>(v); }

// Condition codes 0..11 of the comparison operators, on unsigned 16-bit operands.
bool Holds(int condition, uint16_t a, uint16_t b) {
    switch (condition) {
        case 0: return a == b;
        case 1: return a != b;
        case 2: return a > b;
        case 3: return a < b;
        case 4: return a >= b;
        case 5: return a <= b;
        case 6: return (a & b) != 0;
        case 7: return (a | b) != 0;
        case 8: return (a ^ b) != 0;
        case 9: return (a & b) == 0;
        case 10: return (a | b) == 0;
        default: return (a ^ b) == 0;
    }
}

uint16_t Saturate16(uint64_t v) { return static_cast<uint16_t>(std::min<uint64_t>(v, 0xFFFF)); }

}  // namespace

ScriptEngine::ScriptEngine(ScriptBoard& board, ScriptLimits limits)
    : board_(board), image_(limits.maxRecords, limits.dataWords), reader_(limits.fileBufferWords) {}

// --- frames from the PC ---

void ScriptEngine::Frame(uint8_t command, const uint8_t* args, std::size_t n, uint64_t now) {
    switch (command) {
        case kFirstRecord:
            if (n < kRecordBytes) return;
            // A new image replaces everything, also a script still running (its PC has gone).
            StopSilently();
            image_.Clear();
            board_.SetScriptStatus(0);
            image_.Append(ScriptRecord::FromBytes(args));
            break;
        case kNextRecord: {
            if (n < kRecordBytes) return;
            const ScriptRecord record = ScriptRecord::FromBytes(args);
            image_.Append(record);
            // The closing record ends the download: the board says it has everything.
            if (record.IsClosing()) board_.AnswerDownload();
            break;
        }
        case kInitialiser:
            if (n < kInitialiserBytes) return;
            image_.SetData(Word(args), Word(args + 2));  // a location past the data memory is dropped
            break;
        case kStart:
            if (!running_) Start(now);
            break;
        case kAbort:
            if (running_) End(kEndAborted);
            break;
        case kReply:
            if (n < kReplyBytes || !running_ || wait_ != Wait::Reply) return;
            if (pendingTarget_) Put(*pendingTarget_, 0, Word(args));
            steps_ = pendingSteps_;
            stepCount_ = pendingStepCount_;
            ApplySteps();
            Finish();
            Resume(now);
            break;
        case kFileOpened: {
            if (n < kFileOpenedBytes || !running_ || wait_ != Wait::FileOpen) return;
            const uint32_t count = (uint32_t{Word(args)} << 16) | Word(args + 2);
            reader_.Open(count);
            if (pendingTarget_) Put(*pendingTarget_, 0, Saturate16(count));
            steps_ = pendingSteps_;
            stepCount_ = pendingStepCount_;
            ApplySteps();
            Finish();
            Resume(now);
            break;
        }
        case kFileBlock:
        case kFileLastBlock: {
            if (n < 2) return;
            const std::size_t bytes = std::min<std::size_t>(Word(args), n - 2);
            reader_.Block(command == kFileLastBlock, args + 2, bytes);
            if (running_ && wait_ == Wait::FileData && !reader_.Awaiting()) {
                wait_ = Wait::None;
                Resume(now);
            }
            break;
        }
        case kBlockWritten:
            if (running_ && wait_ == Wait::BlockAck) {
                wait_ = Wait::None;
                Resume(now);
            }
            break;
        default: break;
    }
}

void ScriptEngine::Start(uint64_t now) {
    running_ = true;
    pc_ = 0;
    now_ = now;
    readyAt_ = now;
    wait_ = Wait::None;
    partial_ = 0;
    pendingTarget_.reset();
    stackDepth_ = 0;
    reader_.Reset();
    statics_.Reset();
    device_ = 1;
    traceOn_ = true;
    portLatch_ = 0;
    clockBase_ = now;
    clockOffset_ = 0;
    timerPeriodMs_ = 0;
    timerRunning_ = false;
    timerPending_ = false;
    interruptsOn_ = false;
    inHandler_ = false;
    vectors_.fill(std::nullopt);
    suspended_.reset();
    board_.SetScriptStatus(0);
}

void ScriptEngine::StopSilently() {
    running_ = false;
    wait_ = Wait::None;
}

void ScriptEngine::End(uint8_t reason) {
    const uint8_t frame[] = {0x7E, kUpEnd, reason, High(pc_), Low(pc_)};
    SendAlways(frame, sizeof frame);
    StopSilently();
    board_.SetScriptStatus(1);
}

ScriptEngine::Outcome ScriptEngine::Fail(uint8_t code) {
    const uint8_t frame[] = {0x7E, kUpError, code, High(pc_), Low(pc_)};
    SendAlways(frame, sizeof frame);
    StopSilently();
    board_.SetScriptStatus(0);
    return Outcome::Halted;
}

// The PC answered what the script waited for: the next instruction may run from now on.
void ScriptEngine::Resume(uint64_t now) { readyAt_ = std::max(readyAt_, now); }

void ScriptEngine::Finish() {
    ++pc_;
    partial_ = 0;
    wait_ = Wait::None;
    pendingTarget_.reset();
}

// --- running ---

void ScriptEngine::Run(uint64_t now, uint64_t until) {
    if (!running_) return;
    readyAt_ = std::max(readyAt_, now);
    std::size_t budget = kMaxInstructionsPerRun;
    while (running_ && budget > 0) {
        if (wait_ == Wait::Time) {
            if (InterruptDelay(until)) continue;
            if (!running_) break;
            if (wakeAt_ > until) break;
            readyAt_ = std::max(readyAt_, wakeAt_);
            steps_ = pendingSteps_;
            stepCount_ = pendingStepCount_;
            ApplySteps();
            Finish();
            continue;
        }
        if (wait_ == Wait::Uplink) {
            if (!Room(uplinkNeed_)) break;
            wait_ = Wait::None;
        } else if (wait_ != Wait::None) {
            break;  // the PC has to answer first
        }
        if (readyAt_ > until) break;
        now_ = readyAt_;
        board_.MoveTimeTo(now_);
        readyAt_ = now_ + kInstructionMicroseconds;
        Step();
        --budget;
    }
    // The board could not keep up with the clock: it goes on from here, not from behind.
    if (budget == 0 && running_ && readyAt_ < until) readyAt_ = until;
}

std::optional<uint64_t> ScriptEngine::NextEvent(uint64_t now) const {
    if (!running_) return std::nullopt;
    switch (wait_) {
        case Wait::None: return std::max(readyAt_, now);
        case Wait::Time: {
            uint64_t at = wakeAt_;
            if (InterruptsPossible() && timerRunning_ && timerPeriodMs_ > 0) at = std::min(at, timerNext_);
            if (InterruptsPossible() && timerPending_) at = readyAt_;
            return std::max(at, now);
        }
        case Wait::Uplink:
            if (Room(uplinkNeed_)) return std::max(readyAt_, now);
            return std::nullopt;
        default: return std::nullopt;
    }
}

void ScriptEngine::Step() {
    if (!TakeInterrupt()) return;
    if (pc_ >= image_.RecordCount()) {
        Fail(kErrPcOutOfRange);
        return;
    }
    stepCount_ = 0;
    fault_ = 0;
    const ScriptRecord record = image_.At(pc_);
    switch (Execute(record)) {
        case Outcome::Next:
            ApplySteps();
            Finish();
            break;
        case Outcome::Jumped:
            ApplySteps();
            partial_ = 0;
            break;
        case Outcome::Blocked:
        case Outcome::Halted: break;
    }
}

// The timer ticks once per period from `starttimer` on; a tick stays pending until a handler
// takes it, and further ticks meanwhile are lost.
void ScriptEngine::Tick(uint64_t at) {
    if (!timerRunning_ || timerPeriodMs_ == 0 || at < timerNext_) return;
    timerPending_ = true;
    const uint64_t period = uint64_t{timerPeriodMs_} * 1000;
    timerNext_ += ((at - timerNext_) / period + 1) * period;
}

// Not in the middle of an instruction that moves many values, not inside a handler.
bool ScriptEngine::InterruptsPossible() const {
    return interruptsOn_ && !inHandler_ && partial_ == 0 && vectors_[kTimerVector].has_value();
}

bool ScriptEngine::EnterHandler(uint32_t returnTo) {
    timerPending_ = false;
    if (stackDepth_ == kReturnStackDepth) {
        Fail(kErrStackOverflow);
        return false;
    }
    stack_[stackDepth_++] = returnTo;
    pc_ = *vectors_[kTimerVector];
    inHandler_ = true;
    return true;
}

// A due timer tick calls the timer vector's handler between two instructions, as a call does.
// False when that ended the run.
bool ScriptEngine::TakeInterrupt() {
    Tick(now_);
    if (!timerPending_ || !InterruptsPossible()) return true;
    return EnterHandler(pc_);
}

// A tick that comes during a delay runs its handler at the tick's time; the delay then goes on
// to its end. True when the handler was entered (or entering it ended the run).
bool ScriptEngine::InterruptDelay(uint64_t until) {
    if (!InterruptsPossible()) return false;
    uint64_t at;
    if (timerPending_) {
        at = readyAt_;
    } else if (timerRunning_ && timerPeriodMs_ > 0 && timerNext_ <= std::min(wakeAt_, until)) {
        at = std::max(readyAt_, timerNext_);
    } else {
        return false;
    }
    if (at > until) return false;
    now_ = at;
    board_.MoveTimeTo(at);
    Tick(at);
    suspended_ = SuspendedDelay{wakeAt_, pendingSteps_, pendingStepCount_};
    wait_ = Wait::None;
    readyAt_ = at;
    EnterHandler(pc_ | kResumeDelay);
    return true;
}

ScriptEngine::Outcome ScriptEngine::Return(bool fromInterrupt) {
    if (stackDepth_ == 0) return Fail(kErrStackUnderflow);
    const uint32_t to = stack_[--stackDepth_];
    if (fromInterrupt) inHandler_ = false;
    pc_ = to & ~kResumeDelay;
    if ((to & kResumeDelay) && suspended_) {
        wakeAt_ = suspended_->wakeAt;
        pendingSteps_ = suspended_->steps;
        pendingStepCount_ = suspended_->stepCount;
        suspended_.reset();
        wait_ = Wait::Time;
    } else if (to & kResumeDelay) {
        ++pc_;  // nothing to resume: go on after the delay
    }
    return Outcome::Jumped;
}

// --- parameters ---

int ScriptEngine::ParamCount(const ScriptRecord& r) const {
    for (int slot = 0; slot < 3; ++slot) {
        if (r.Kind(slot) == kNone) return slot;
    }
    return 3;
}

std::optional<ScriptEngine::Operand> ScriptEngine::Resolve(const ScriptRecord& r, int slot, uint32_t span) {
    if (slot >= ParamCount(r)) {
        fault_ = kErrInvalidOpcode;
        return std::nullopt;
    }
    Operand op;
    const int kind = r.Kind(slot);
    switch (kind) {
        case kConstant:
        case kLongConstant:
            op.constant = true;
            op.value = r.value[slot];
            return op;
        case kLocation:
        case kVariable: op.location = r.value[slot]; break;
        case kIndexed:
        case kIndexedInc:
        case kIndexedDec: {
            const uint16_t indexAt = r.Extension(slot);
            const std::optional<uint16_t> index = image_.Data(indexAt);
            if (!index) {
                fault_ = kErrDataIndex;
                return std::nullopt;
            }
            op.location = uint32_t{r.value[slot]} + *index;
            if (kind != kIndexed && stepCount_ < steps_.size()) {
                const int32_t delta = static_cast<int32_t>(span);
                steps_[stepCount_++] = IndexStep{indexAt, kind == kIndexedInc ? delta : -delta};
            }
            break;
        }
        default: fault_ = kErrInvalidOpcode; return std::nullopt;
    }
    if (!image_.InData(op.location, span)) {
        fault_ = kErrDataIndex;
        return std::nullopt;
    }
    return op;
}

std::optional<ScriptEngine::Operand> ScriptEngine::Target(const ScriptRecord& r, int slot, uint32_t span) {
    const int kind = r.Kind(slot);
    if (kind == kConstant || kind == kLongConstant) {
        fault_ = kErrInvalidOpcode;
        return std::nullopt;
    }
    return Resolve(r, slot, span);
}

std::optional<uint16_t> ScriptEngine::Value(const ScriptRecord& r, int slot) {
    const std::optional<Operand> op = Resolve(r, slot);
    if (!op) return std::nullopt;
    return Get(*op, 0);
}

std::optional<uint32_t> ScriptEngine::LongValue(const ScriptRecord& r, int slot) {
    if (slot < ParamCount(r) && r.Kind(slot) == kLongConstant) {
        return (uint32_t{static_cast<uint8_t>(r.descriptor[slot] >> 8)} << 16) | r.value[slot];
    }
    return Value(r, slot);
}

std::optional<uint8_t> ScriptEngine::String(const ScriptRecord& r, int slot) {
    if (slot >= ParamCount(r) || r.Kind(slot) != kString) {
        fault_ = kErrInvalidOpcode;
        return std::nullopt;
    }
    // An uplink frame carries a string number in one byte.
    if (r.value[slot] > 0xFF) {
        fault_ = kErrDataIndex;
        return std::nullopt;
    }
    return static_cast<uint8_t>(r.value[slot]);
}

std::optional<uint16_t> ScriptEngine::Label(const ScriptRecord& r, int slot) {
    if (slot >= ParamCount(r) || r.Kind(slot) != kLabel) {
        fault_ = kErrInvalidOpcode;
        return std::nullopt;
    }
    if (r.value[slot] >= image_.RecordCount()) {
        fault_ = kErrInvalidJump;
        return std::nullopt;
    }
    return r.value[slot];
}

// In a register position a location (`*$20`) or a constant names the register itself; a
// variable holds its address.
std::optional<uint8_t> ScriptEngine::RegisterAddress(const ScriptRecord& r, int slot, uint32_t count) {
    uint32_t address;
    const int kind = slot < ParamCount(r) ? r.Kind(slot) : kNone;
    if (kind == kLocation || kind == kConstant || kind == kLongConstant) {
        address = r.value[slot];
    } else {
        const std::optional<uint16_t> v = Value(r, slot);
        if (!v) return std::nullopt;
        address = *v;
    }
    if (address + std::max<uint32_t>(count, 1) - 1 > 0xFF) {
        fault_ = kErrDataIndex;
        return std::nullopt;
    }
    return static_cast<uint8_t>(address);
}

uint16_t ScriptEngine::Get(const Operand& op, uint32_t i) const {
    if (op.constant) return op.value;
    return image_.Data(op.location + i).value_or(0);
}

void ScriptEngine::Put(const Operand& op, uint32_t i, uint16_t v) {
    if (!op.constant) image_.SetData(op.location + i, v);
}

// Index variables written with + or - step once the instruction is done with them, by the
// number of words it moved through that parameter.
void ScriptEngine::ApplySteps() {
    for (std::size_t i = 0; i < stepCount_; ++i) {
        const IndexStep& s = steps_[i];
        const uint16_t v = image_.Data(s.location).value_or(0);
        image_.SetData(s.location, static_cast<uint16_t>(v + s.delta));
    }
    stepCount_ = 0;
}

// --- uplink ---

bool ScriptEngine::Room(std::size_t n) const {
    const std::size_t queued = board_.UplinkQueued();
    return queued == 0 || queued + n <= kUplinkBufferBytes;
}

bool ScriptEngine::Send(const uint8_t* frame, std::size_t n) {
    if (!Room(n)) {
        uplinkNeed_ = n;
        wait_ = Wait::Uplink;
        return false;
    }
    board_.Uplink(frame, n);
    return true;
}

bool ScriptEngine::SendValueFrame(uint8_t code, uint8_t string, uint16_t value) {
    const uint8_t frame[] = {0x7E, code, string, High(value), Low(value)};
    return Send(frame, sizeof frame);
}

// End and error frames go out whatever the uplink holds: the PC must hear how the run ended.
void ScriptEngine::SendAlways(const uint8_t* frame, std::size_t n) { board_.Uplink(frame, n); }

// --- instructions ---

ScriptEngine::Outcome ScriptEngine::Execute(const ScriptRecord& r) {
    const uint16_t op = r.opcode;
    if (op >= kOpJumpFirst && op <= kOpJumpLast) return Jump(r, false, op - kOpJumpFirst);
    if (op >= kOpCallFirst && op <= kOpCallMid) return Jump(r, true, op - kOpCallFirst);
    if (op >= kOpCallHighFirst && op <= kOpCallLast) return Jump(r, true, 8 + op - kOpCallHighFirst);

    switch (op) {
        case kOpCopy:
        case kOpAdd:
        case kOpSub:
        case kOpAnd:
        case kOpOr:
        case kOpXor:
        case kOpLsr:
        case kOpLsl:
        case kOpAsr:
        case kOpAsl:
        case kOpOnes: return Arithmetic(r);
        case kOpJmp: return Jump(r, false, -1);
        case kOpJsr: return Jump(r, true, -1);
        case kOpReturn: return Return(false);
        case kOpRfi: return Return(true);
        case kOpStop: End(kEndFinished); return Outcome::Halted;
        case kOpDjnz: {
            const auto counter = Target(r, 0);
            const auto label = counter ? Label(r, 1) : std::nullopt;
            if (!label) return Fail(fault_);
            const uint16_t v = static_cast<uint16_t>(Get(*counter, 0) - 1);
            Put(*counter, 0, v);
            if (v == 0) return Outcome::Next;
            pc_ = *label;
            return Outcome::Jumped;
        }

        case kOpDevice: {
            const auto v = Value(r, 0);
            if (!v) return Fail(fault_);
            device_ = static_cast<uint8_t>(*v);
            return Outcome::Next;
        }
        case kOpRead: return BusTransfer(r, true);
        case kOpWrite: return BusTransfer(r, false);
        case kOpRegister: return RegisterField(r);
        case kOpLogon: traceOn_ = true; return Outcome::Next;
        case kOpLogoff: traceOn_ = false; return Outcome::Next;

        case kOpDelay:
        case kOpMicrodelay: {
            const auto v = Value(r, 0);
            if (!v) return Fail(fault_);
            return Delay(op == kOpDelay ? uint64_t{*v} * 1000 : *v);
        }
        case kOpSettime: {
            const auto v = Value(r, 0);
            if (!v) return Fail(fault_);
            clockBase_ = now_;
            clockOffset_ = *v;
            return Outcome::Next;
        }
        case kOpSettimer: {
            const auto v = Value(r, 0);
            if (!v) return Fail(fault_);
            timerPeriodMs_ = *v;
            return Outcome::Next;
        }
        case kOpStarttimer:
            timerRunning_ = true;
            timerPending_ = false;
            timerNext_ = now_ + uint64_t{timerPeriodMs_} * 1000;
            return Outcome::Next;
        case kOpStoptimer:
            timerRunning_ = false;
            timerPending_ = false;
            return Outcome::Next;
        case kOpSetvect: {
            const auto vector = Value(r, 0);
            const auto label = vector ? Label(r, 1) : std::nullopt;
            if (!label) return Fail(fault_);
            if (*vector >= kVectors) return Fail(kErrDataIndex);
            vectors_[*vector] = *label;
            return Outcome::Next;
        }
        case kOpIntson: interruptsOn_ = true; return Outcome::Next;
        case kOpIntsoff: interruptsOn_ = false; return Outcome::Next;

        case kOpPort:
        case kOpPortw:
        case kOpPortr:
        case kOpPortc: {
            const auto v = Value(r, 0);
            if (!v) return Fail(fault_);
            if (op == kOpPort) portLatch_ = *v;
            if (op == kOpPortw) portLatch_ |= *v;
            if (op == kOpPortr) portLatch_ &= static_cast<uint16_t>(~*v);
            if (op == kOpPortc) portLatch_ ^= *v;
            return Outcome::Next;
        }
        case kOpGetdevice:
        case kOpGetport:
        case kOpGettime:
        case kOpFilerc: {
            const auto target = Target(r, 0);
            if (!target) return Fail(fault_);
            uint16_t v = 0;
            if (op == kOpGetdevice) v = device_;
            if (op == kOpGetport) v = portLatch_;
            if (op == kOpGettime) v = static_cast<uint16_t>((now_ - clockBase_) / 1000 + clockOffset_);
            if (op == kOpFilerc) v = reader_.IsOpen() ? Saturate16(reader_.ValuesLeft()) : 0;
            Put(*target, 0, v);
            return Outcome::Next;
        }
        case kOpWaituplink: {
            const auto v = Value(r, 0);
            if (!v) return Fail(fault_);
            if (*v > kUplinkBufferBytes) return Fail(kErrUplinkTooSmall);
            if (board_.UplinkQueued() + *v > kUplinkBufferBytes) {
                uplinkNeed_ = *v;
                wait_ = Wait::Uplink;
                return Outcome::Blocked;
            }
            return Outcome::Next;
        }

        case kOpCls: {
            const uint8_t frame[] = {0x7E, kUpClear};
            return Send(frame, sizeof frame) ? Outcome::Next : Outcome::Blocked;
        }
        case kOpDisp: return Dialog(r, kUpText, false);
        case kOpFilew: return Dialog(r, kUpFileWrite, false);
        case kOpDialog: return Dialog(r, kUpMessage, false);
        case kOpDialogYesNo: return Dialog(r, kUpYesNo, true);
        case kOpDialogEntry: return Dialog(r, kUpEntry, true);

        case kOpFopenr: return FileOpenRead(r);
        case kOpFopenw: return FileOpenWrite(r);
        case kOpFiler: return FileRead(r);
        case kOpFilercs: return FileReadSpan(r);
        case kOpWaitfile: return FileWait(r);

        case kOpBufcfg: return StaticConfigure(r);
        case kOpBufopenr: return StaticOpen(r, false);
        case kOpBufopenw: return StaticOpen(r, true);
        case kOpBufread: return StaticTransfer(r, true);
        case kOpBufwrite: return StaticTransfer(r, false);
        case kOpBuftofile: return StaticToFile(r);
        case kOpFiletobuf: return FileToStatic(r);

        default: return Fail(kErrInvalidOpcode);
    }
}

ScriptEngine::Outcome ScriptEngine::Arithmetic(const ScriptRecord& r) {
    const auto source = Value(r, 0);
    const auto target = source ? Target(r, 1) : std::nullopt;
    if (!target) return Fail(fault_);
    const uint16_t a = *source;
    const uint16_t b = Get(*target, 0);
    uint16_t result = 0;
    switch (r.opcode) {
        case kOpCopy: result = a; break;
        case kOpAdd: result = static_cast<uint16_t>(b + a); break;
        case kOpSub: result = static_cast<uint16_t>(b - a); break;
        case kOpAnd: result = b & a; break;
        case kOpOr: result = b | a; break;
        case kOpXor: result = b ^ a; break;
        case kOpLsr: result = a >= 16 ? 0 : static_cast<uint16_t>(b >> a); break;
        case kOpLsl:
        case kOpAsl: result = a >= 16 ? 0 : static_cast<uint16_t>(b << a); break;
        case kOpAsr:
            result = static_cast<uint16_t>(static_cast<int16_t>(b) >> std::min<uint16_t>(a, 15));
            break;
        case kOpOnes: result = static_cast<uint16_t>(std::popcount(a)); break;
        default: break;
    }
    Put(*target, 0, result);
    return Outcome::Next;
}

// condition < 0: opcode 0x14 or 0x21, a plain jump or call to the label in the first slot;
// written as `jmpc a b label` (no operator) it compares a and b for equality, as `if a b` does.
ScriptEngine::Outcome ScriptEngine::Jump(const ScriptRecord& r, bool call, int condition) {
    std::optional<uint16_t> target;
    bool take = true;
    if (condition < 0 && r.Kind(0) == kLabel) {
        target = Label(r, 0);
    } else {
        const auto a = Value(r, 0);
        const auto b = a ? Value(r, 1) : std::nullopt;
        target = b ? Label(r, 2) : std::nullopt;
        if (target) take = Holds(condition < 0 ? 0 : condition, *a, *b);
    }
    if (!target) return Fail(fault_);
    if (!take) return Outcome::Next;
    if (call) {
        if (stackDepth_ == kReturnStackDepth) return Fail(kErrStackOverflow);
        stack_[stackDepth_++] = pc_ + 1;
    }
    pc_ = *target;
    return Outcome::Jumped;
}

// Text, file values and the three dialogs: a string and a value. `answered`: the second
// parameter is a variable whose value goes out and which takes the answer.
ScriptEngine::Outcome ScriptEngine::Dialog(const ScriptRecord& r, uint8_t code, bool answered) {
    const auto string = String(r, 0);
    if (!string) return Fail(fault_);
    std::optional<Operand> target;
    uint16_t value = 0;
    if (answered) {
        target = Target(r, 1);
        if (!target) return Fail(fault_);
        value = Get(*target, 0);
    } else if (ParamCount(r) > 1) {
        const auto v = Value(r, 1);
        if (!v) return Fail(fault_);
        value = *v;
    }
    if (!SendValueFrame(code, *string, value)) return Outcome::Blocked;
    if (code == kUpText || code == kUpFileWrite) return Outcome::Next;
    pendingTarget_ = target;
    pendingSteps_ = steps_;
    pendingStepCount_ = stepCount_;
    wait_ = Wait::Reply;
    return Outcome::Blocked;
}

ScriptEngine::Outcome ScriptEngine::Delay(uint64_t microseconds) {
    wakeAt_ = now_ + kInstructionMicroseconds + microseconds;
    pendingSteps_ = steps_;
    pendingStepCount_ = stepCount_;
    wait_ = Wait::Time;
    return Outcome::Blocked;
}

// read *reg dest count / write src *reg count: count consecutive registers of the current
// device in one bus transaction.
ScriptEngine::Outcome ScriptEngine::BusTransfer(const ScriptRecord& r, bool read) {
    const auto count = Value(r, 2);
    if (!count) return Fail(fault_);
    if (*count > 0xFF) return Fail(kErrDataIndex);  // a transaction counts its accesses in a byte
    const std::optional<Operand> data = read ? Target(r, 1, *count) : Resolve(r, 0, *count);
    const std::optional<uint8_t> reg = data ? RegisterAddress(r, read ? 0 : 1, *count) : std::nullopt;
    if (!reg) return Fail(fault_);
    const uint8_t n = static_cast<uint8_t>(*count);
    for (uint8_t i = 0; i < n; ++i) {
        const uint8_t address = static_cast<uint8_t>(*reg + i);
        if (read) {
            Put(*data, i, board_.BusRead(device_, address, n, static_cast<uint8_t>(i + 1), traceOn_));
        } else {
            board_.BusWrite(device_, address, Get(*data, i), n, static_cast<uint8_t>(i + 1), traceOn_);
        }
    }
    return Outcome::Next;
}

// register value mask reg: the bits of mask in the register take those of value; one read and
// one write in a transaction of two accesses.
ScriptEngine::Outcome ScriptEngine::RegisterField(const ScriptRecord& r) {
    const auto value = Value(r, 0);
    const auto mask = value ? Value(r, 1) : std::nullopt;
    const auto reg = mask ? RegisterAddress(r, 2, 1) : std::nullopt;
    if (!reg) return Fail(fault_);
    const uint16_t old = board_.BusRead(device_, *reg, 2, 1, traceOn_);
    const uint16_t updated = static_cast<uint16_t>((old & ~*mask) | (*value & *mask));
    board_.BusWrite(device_, *reg, updated, 2, 2, traceOn_);
    return Outcome::Next;
}

// --- files ---

ScriptEngine::Outcome ScriptEngine::FileOpenRead(const ScriptRecord& r) {
    const auto name = String(r, 0);
    const auto format = name ? String(r, 1) : std::nullopt;
    if (!format) return Fail(fault_);
    std::optional<Operand> target;
    if (ParamCount(r) > 2) {
        target = Target(r, 2);
        if (!target) return Fail(fault_);
    }
    const uint8_t frame[] = {0x7E, kUpOpenRead, *name, *format};
    if (!Send(frame, sizeof frame)) return Outcome::Blocked;
    reader_.Reset();  // the PC closes the file it had open for reading
    pendingTarget_ = target;
    pendingSteps_ = steps_;
    pendingStepCount_ = stepCount_;
    wait_ = Wait::FileOpen;
    return Outcome::Blocked;
}

ScriptEngine::Outcome ScriptEngine::FileOpenWrite(const ScriptRecord& r) {
    const auto name = String(r, 0);
    if (!name) return Fail(fault_);
    uint32_t rate = 0;
    uint16_t channels = 1;
    if (ParamCount(r) > 1) {
        const auto v = LongValue(r, 1);
        if (!v) return Fail(fault_);
        rate = *v & 0xFFFFFF;
    }
    if (ParamCount(r) > 2) {
        const auto v = Value(r, 2);
        if (!v) return Fail(fault_);
        channels = *v;
    }
    const uint8_t frame[] = {0x7E,       kUpOpenWrite, *name,        static_cast<uint8_t>(rate >> 16),
                             High(rate), Low(rate),    Low(channels)};
    return Send(frame, sizeof frame) ? Outcome::Next : Outcome::Blocked;
}

// The next value of the read file: from the file read buffer, or asked for from the PC (the
// instruction then waits and runs again when the blocks are in).
ScriptEngine::Fetch ScriptEngine::FetchValue(uint32_t stillNeeded, uint16_t& out) {
    if (reader_.Take(out)) return Fetch::Got;
    if (reader_.Awaiting()) {
        wait_ = Wait::FileData;
        return Fetch::Blocked;
    }
    const uint32_t count = reader_.RequestSize(stillNeeded);
    if (count == 0) return Fetch::End;
    RequestFileValues(count);
    return Fetch::Blocked;
}

// Asks the PC for count values of the read file (code 11) and waits for them; a full uplink
// buffer leaves the request for the instruction's next run.
void ScriptEngine::RequestFileValues(uint32_t count) {
    const uint8_t frame[] = {
        0x7E,        kUpReadRequest, static_cast<uint8_t>(count >> 24), static_cast<uint8_t>(count >> 16),
        High(count), Low(count)};
    if (!Send(frame, sizeof frame)) return;
    reader_.Requested(count);
    wait_ = Wait::FileData;
}

ScriptEngine::Outcome ScriptEngine::FileRead(const ScriptRecord& r) {
    const auto target = Target(r, 0);
    if (!target) return Fail(fault_);
    uint16_t v = 0;
    switch (FetchValue(1, v)) {
        case Fetch::Got: Put(*target, 0, v); return Outcome::Next;
        case Fetch::Blocked: return Outcome::Blocked;
        case Fetch::End: break;
    }
    return Fail(kErrReadPastEnd);
}

// filercs *loc n: n values into the data words from loc on.
ScriptEngine::Outcome ScriptEngine::FileReadSpan(const ScriptRecord& r) {
    const auto count = Value(r, 1);
    const auto target = count ? Target(r, 0, *count) : std::nullopt;
    if (!target) return Fail(fault_);
    while (partial_ < *count) {
        uint16_t v = 0;
        switch (FetchValue(*count - partial_, v)) {
            case Fetch::Got: Put(*target, partial_++, v); break;
            case Fetch::Blocked: return Outcome::Blocked;
            case Fetch::End: return Fail(kErrReadPastEnd);
        }
    }
    return Outcome::Next;
}

// waitfile n: until the file read buffer holds n values, or the file can give no more.
ScriptEngine::Outcome ScriptEngine::FileWait(const ScriptRecord& r) {
    const auto count = Value(r, 0);
    if (!count) return Fail(fault_);
    if (*count > reader_.Capacity()) return Fail(kErrFileBufferOverflow);
    if (reader_.Held() >= *count) return Outcome::Next;
    if (reader_.Awaiting()) {
        wait_ = Wait::FileData;
        return Outcome::Blocked;
    }
    const uint32_t size = reader_.RequestSize(static_cast<uint32_t>(*count - reader_.Held()));
    if (size == 0) return Outcome::Next;
    RequestFileValues(size);
    return Outcome::Blocked;
}

// --- static buffers ---

ScriptEngine::Outcome ScriptEngine::StaticConfigure(const ScriptRecord& r) {
    const auto size = LongValue(r, 0);
    if (!size) return Fail(fault_);
    uint32_t count = 1;
    if (ParamCount(r) > 1) {
        const auto v = LongValue(r, 1);
        if (!v) return Fail(fault_);
        count = *v;
    }
    if (const uint8_t code = statics_.Configure(*size, count)) return Fail(code);
    return Outcome::Next;
}

ScriptEngine::Outcome ScriptEngine::StaticOpen(const ScriptRecord& r, bool forWriting) {
    const auto n = Value(r, 0);
    if (!n) return Fail(fault_);
    std::optional<Operand> target;
    if (ParamCount(r) > 1) {
        target = Target(r, 1);
        if (!target) return Fail(fault_);
    }
    ScriptStaticBuffers::Buffer* b = statics_.Get(*n);
    if (!b) return Fail(kErrStaticSpec);
    b->position = 0;
    if (forWriting) {
        b->mode = ScriptStaticBuffers::Mode::Writing;
        b->fill = 0;
    } else {
        b->mode = ScriptStaticBuffers::Mode::Reading;
    }
    if (target) Put(*target, 0, Saturate16(forWriting ? b->size : b->fill));
    return Outcome::Next;
}

ScriptEngine::Outcome ScriptEngine::StaticTransfer(const ScriptRecord& r, bool read) {
    const auto n = Value(r, 0);
    if (!n) return Fail(fault_);
    uint16_t count = 1;
    if (ParamCount(r) > 2) {
        const auto v = Value(r, 2);
        if (!v) return Fail(fault_);
        count = *v;
    }
    ScriptStaticBuffers::Buffer* b = statics_.Get(*n);
    if (!b) return Fail(kErrStaticSpec);
    if (read) {
        if (b->mode != ScriptStaticBuffers::Mode::Reading) return Fail(kErrStaticNotReading);
        if (uint64_t{b->position} + count > b->fill) return Fail(kErrStaticReadPastEnd);
        const auto target = Target(r, 1, count);
        if (!target) return Fail(fault_);
        for (uint32_t i = 0; i < count; ++i) Put(*target, i, statics_.ReadWord(*b, b->position + i));
    } else {
        if (b->mode != ScriptStaticBuffers::Mode::Writing) return Fail(kErrStaticNotWriting);
        if (uint64_t{b->position} + count > b->size) return Fail(kErrStaticWritePastEnd);
        const auto source = Resolve(r, 1, count);
        if (!source) return Fail(fault_);
        for (uint32_t i = 0; i < count; ++i) statics_.WriteWord(*b, b->position + i, Get(*source, i));
    }
    b->position += count;
    if (!read) b->fill = std::max(b->fill, b->position);
    return Outcome::Next;
}

// buftofile n "format": the words written into buffer n go to the PC's write file in uplink
// block writes of up to 255 words, each acknowledged with 0x21 before the next.
ScriptEngine::Outcome ScriptEngine::StaticToFile(const ScriptRecord& r) {
    const auto n = Value(r, 0);
    const auto string = n ? String(r, 1) : std::nullopt;
    if (!string) return Fail(fault_);
    ScriptStaticBuffers::Buffer* b = statics_.Get(*n);
    if (!b) return Fail(kErrStaticSpec);
    if (partial_ >= b->fill) return Outcome::Next;
    const uint32_t words = std::min<uint32_t>(kMaxBlockWords, b->fill - partial_);
    std::vector<uint8_t> frame = {0x7E, kUpBlockWrite, *string, High(words), Low(words)};
    frame.reserve(5 + 2 * words);
    for (uint32_t i = 0; i < words; ++i) {
        const uint16_t v = statics_.ReadWord(*b, partial_ + i);
        frame.push_back(High(v));
        frame.push_back(Low(v));
    }
    if (!Send(frame.data(), frame.size())) return Outcome::Blocked;
    partial_ += words;
    wait_ = Wait::BlockAck;
    return Outcome::Blocked;
}

// filetobuf n: buffer n filled from the read file, up to its size or the end of the file,
// then open for reading from its start.
ScriptEngine::Outcome ScriptEngine::FileToStatic(const ScriptRecord& r) {
    const auto n = Value(r, 0);
    if (!n) return Fail(fault_);
    ScriptStaticBuffers::Buffer* b = statics_.Get(*n);
    if (!b) return Fail(kErrStaticSpec);
    b->mode = ScriptStaticBuffers::Mode::Closed;
    while (partial_ < b->size) {
        uint16_t v = 0;
        const Fetch f = FetchValue(b->size - partial_, v);
        if (f == Fetch::Blocked) return Outcome::Blocked;
        if (f == Fetch::End) break;
        statics_.WriteWord(*b, partial_++, v);
    }
    b->fill = partial_;
    b->position = 0;
    b->mode = ScriptStaticBuffers::Mode::Reading;
    return Outcome::Next;
}

}  // namespace sim
