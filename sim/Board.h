#pragma once
// The simulated MB805Q board with its three target devices: a byte-level state machine.
// Bytes from the PC go in through Receive; the board's bytes come out through Take. No
// threads inside; time moves only through AdvanceTime.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
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
};

// Faults a test or `mb805q-sim` option can switch on. Each applies to the board's replies to
// requests (not to pacing bytes unless said).
struct Faults {
    bool noReply = false;          // the board stays silent
    bool wrongFirstByte = false;   // replies start with 0x7F instead of 0x7E
    bool wrongReplyCode = false;   // data replies carry a reply code one higher
    int staleBytes = 0;            // bytes sent before each reply, as an abandoned answer would
    int refusals = 0;              // 0x11 answers before each 0x12 in the pacing handshake
    long closeAfterBytes = -1;     // close the line after this many received bytes (-1: never)
};

class Board {
public:
    explicit Board(BoardConfig config = {});
    ~Board();

    // Bytes from the PC.
    void Receive(const uint8_t* data, size_t n);
    // Bytes the board has sent and the PC has not yet taken.
    size_t Available() const;
    size_t Take(uint8_t* out, size_t max);
    // The line was closed by a fault: nothing more comes, and the PC's port has failed.
    bool LineClosed() const;
    // Simulated time, for trace timestamps, delays and the board's own time-outs.
    void AdvanceTime(uint64_t microseconds);
    uint64_t NowMicroseconds() const;

    Faults& faults();
    const BoardConfig& config() const;

    // Register memory of target device 1..3 (256 16-bit registers each).
    uint16_t Register(int device, uint8_t address) const;
    void SetRegister(int device, uint8_t address, uint16_t value);

    // Every request received, as upper-case hex lines ("7E 03 20 12 34 02").
    void SetRequestLog(std::vector<std::string>* log);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace sim
