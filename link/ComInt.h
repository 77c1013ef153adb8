#pragma once
// The byte pipe between the PC and the MB805Q board.
#include "link/SerialPort.h"

#include <cstdint>

// Results of CComInt::Read.
enum : uint8_t {
    kReadAll = 0,        // every requested byte was read
    kReadShort = 1,      // waiting read: the time-out came first
    kReadNotQueued = 2,  // non-waiting read: fewer bytes queued than asked for; nothing read
    kReadError = 3,      // the port failed, or a non-waiting read got fewer than were queued
};

// Results of CComInt::Write.
enum : uint8_t {
    kWriteFailed = 0,
    kWriteOk = 1,
    kWriteRefused = 2,  // the board answered 0x11 to a paced chunk
};

class CComInt {
public:
    CSerialPort& Port() { return port_; }

    // handshake 0: plain write. handshake 1: one paced chunk of at most 255 bytes.
    uint8_t Write(const uint8_t* data, uint32_t length, uint8_t handshake);
    uint8_t Read(uint8_t* buffer, uint32_t& got, uint32_t n, uint8_t wait);
    uint8_t GetRxCount(uint32_t& n);

private:
    CSerialPort port_;
};
