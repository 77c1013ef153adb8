#pragma once
// The device behind CSerialPort: a POSIX tty, or the simulated board in the same process.
// Every operation raises CSerialException on failure.
#include <cstddef>
#include <cstdint>

// The port's time-out record, all in milliseconds.
struct SerialTimeouts {
    uint32_t readInterval = 0;
    uint32_t readTotalMultiplier = 0;
    uint32_t readTotalConstant = 0;
    uint32_t writeTotalMultiplier = 0;
    uint32_t writeTotalConstant = 0;
};

// Line-setting codes; the numbers are stored in the settings and must keep their values.
enum SerialParity : int { ParityEven = 0, ParityMark = 1, ParityNone = 2, ParityOdd = 3, ParitySpace = 4 };
enum SerialStopBits : int { StopOne = 0, StopOneAndHalf = 1, StopTwo = 2 };
enum SerialFlowControl : int {
    FlowNone = 0,
    FlowCtsRts = 1,
    FlowCtsDtr = 2,
    FlowDsrRts = 3,
    FlowDsrDtr = 4,
    FlowXonXoff = 5
};

struct SerialLineSettings {
    uint32_t baud = 115200;
    int parity = ParityNone;
    uint8_t dataBits = 8;
    int stopBits = StopOne;
    int flowControl = FlowNone;
};

class SerialDevice {
public:
    virtual ~SerialDevice() = default;
    virtual void Configure(const SerialLineSettings& settings) = 0;
    virtual void SetTimeouts(const SerialTimeouts& timeouts) = 0;
    virtual SerialTimeouts GetTimeouts() const = 0;
    // Reads up to n bytes, returning early as the time-outs say.
    virtual size_t Read(uint8_t* buffer, size_t n) = 0;
    virtual size_t Write(const uint8_t* buffer, size_t n) = 0;
    // Waits until all written bytes have left.
    virtual void Flush() = 0;
    // Bytes waiting in the receive queue.
    virtual size_t QueuedBytes() = 0;
    // Bytes written but not yet sent; devices that cannot tell report 0.
    virtual size_t OutQueuedBytes() { return 0; }
};
