#pragma once
// The byte pipe between the PC and the MB805Q board.
#include "link/SerialPort.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

// Results of CComInt::Read.
enum : uint8_t {
    kReadAll = 0,  // every requested byte was read
    kReadShort = 1,  // waiting read: the time-out came first
    kReadNotQueued = 2,  // non-waiting read: fewer bytes queued than asked for; nothing read
    kReadError = 3,  // the port failed, or a non-waiting read got fewer than were queued
};

// Results of CComInt::Write.
enum : uint8_t {
    kWriteFailed = 0,
    kWriteOk = 1,
    kWriteRefused = 2,  // the board answered 0x11 to a paced chunk
};

// Every operation reports a port that fails (an unplugged adapter: EIO, ENXIO, a closed line)
// as its failure result, like a board that does not answer: both are a lost board to the
// caller. The port's words for the failure are kept for the report.
//
// While a script runs, the worker writes file blocks while the window thread writes replies
// and the abort: a write leaves the PC whole, never split by another thread's write.
class CComInt {
public:
    CSerialPort& Port() { return port_; }

    // handshake 0: plain write. handshake 1: one paced chunk of at most 255 bytes.
    [[nodiscard]] uint8_t Write(const uint8_t* data, uint32_t length, uint8_t handshake);
    [[nodiscard]] uint8_t Read(uint8_t* buffer, uint32_t& got, uint32_t n, uint8_t wait);
    // 1, or 0 when the port failed (n is then 0).
    [[nodiscard]] uint8_t GetRxCount(uint32_t& n);
    // Throws away what an earlier, abandoned exchange left in the receive queue, so that it
    // cannot pass for the answer to the next request. Stops after maxBytes (a board that never
    // stops sending) or at a port failure, which the next exchange then reports.
    void DiscardReceived(uint32_t maxBytes);

    // The port's words for the last failure on this link; empty when the port never failed
    // (a board that only stopped answering).
    std::string LastPortFailure() const;

private:
    uint8_t WriteFrame(const uint8_t* data, uint32_t length, uint8_t handshake);
    void NoteFailure(const CSerialException& e);

    // One writer on the wire, in the order they came: the window thread's abort waits for the
    // worker's block on its way, not for every block of a long file.
    class TurnLock {
    public:
        void lock();
        void unlock();

    private:
        std::mutex mutex_;
        std::condition_variable turn_;
        uint64_t next_ = 0;
        uint64_t serving_ = 0;
    };

    CSerialPort port_;
    TurnLock writeTurn_;
    mutable std::mutex failureMutex_;
    std::string lastFailure_;
};
