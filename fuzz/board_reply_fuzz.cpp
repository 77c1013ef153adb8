// Board replies of any shape, fed to every reading operation of the board object: no read
// past a reply, no record used half filled, no endless loop.
#include "link/MB805QBrd.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>

namespace {

class ReplyBytes final : public SerialDevice {
public:
    ReplyBytes(const uint8_t* data, size_t size, FakeClock& clock)
        : bytes_(data, data + size), clock_(clock) {}
    void Configure(const SerialLineSettings&) override {}
    void SetTimeouts(const SerialTimeouts& t) override { timeouts_ = t; }
    SerialTimeouts GetTimeouts() const override { return timeouts_; }
    size_t Read(uint8_t* buffer, size_t n) override {
        size_t got = 0;
        while (got < n && !bytes_.empty()) {
            buffer[got++] = bytes_.front();
            bytes_.pop_front();
        }
        if (got < n) clock_.Advance(n + 500);
        return got;
    }
    size_t Write(const uint8_t*, size_t n) override {
        clock_.Advance(1);
        return n;
    }
    void Flush() override {}
    // Replies arrive one at a time: the drain step sees an empty queue, as after a clean exchange.
    size_t QueuedBytes() override { return 0; }

private:
    std::deque<uint8_t> bytes_;
    FakeClock& clock_;
    SerialTimeouts timeouts_{500, 1, 500, 1, 500};
};

class Silent final : public UserPrompts {
public:
    MsgAnswer MessageBox(const std::string&, const std::string&, MsgIcon, MsgButtons) override {
        return MsgAnswer::Ok;
    }
    void PostQuit(int) override {}
};

class NoProgress final : public ProgressDialog {
public:
    void Create(const std::string&) override {}
    void SetRange(int, int) override {}
    void SetStep(int) override {}
    void SetPos(int) override {}
    int GetPos() const override { return 0; }
    void StepIt() override {}
    void Destroy() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    FakeClock clock;
    Silent prompts;
    NoProgress progress;
    CMB805QBrd board(clock, prompts, progress);
    const uint8_t op = data[0];
    board.Link().Port().SetDeviceOpener([&](int) -> std::unique_ptr<SerialDevice> {
        return std::make_unique<ReplyBytes>(data + 1, size - 1, clock);
    });
    board.Link().Port().Open(1, 115200, ParityNone, 8, StopOne, FlowNone);
    // Any reply may be refused: the results only matter in that nothing crashes or reads past
    // the reply, and the trace count stays within what was asked.
    switch (op % 8) {
        case 0: {
            uint8_t v;
            static_cast<void>(board.ReadReg8(0x20, v, 1));
            break;
        }
        case 1: {
            uint16_t v;
            static_cast<void>(board.ReadReg16(0x20, v, 1));
            break;
        }
        case 2: {
            BoardInfo i;
            static_cast<void>(board.GetBoardInfo(i));
            break;
        }
        case 3: {
            uint8_t s;
            static_cast<void>(board.GetScriptStatus(s));
            break;
        }
        case 4: {
            static TraceRecord records[64];
            uint32_t count = 0;
            static_cast<void>(board.ReadTrace(0, static_cast<uint16_t>(op >> 3) % 65, records, count));
            if (count > 64) __builtin_trap();
            break;
        }
        case 5: {
            FirmwareVersion v;
            static_cast<void>(board.GetFirmwareVersion(v));
            break;
        }
        case 6: {
            FirmwareCode c;
            static_cast<void>(board.GetFirmwareCode(c));
            break;
        }
        case 7: static_cast<void>(board.ResetDevice(1)); break;
    }
    return 0;
}
