#pragma once
// A scripted stand-in for the serial device behind CSerialPort: it records every byte written,
// answers expected requests with queued replies, and moves a FakeClock by the read time-out
// when a read comes up short, as a real port would after waiting.
#include "core/Clock.h"
#include "link/SerialPort.h"
#include "tests/support/HexBytes.h"
#include "tests/support/SimHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using testbytes::Bytes;
using testbytes::Hex;
using testbytes::ToHex;

struct ScriptedLine {
    explicit ScriptedLine(FakeClock& c) : clock(c) {}

    // One expected request and the board's reply to it.
    struct Exchange {
        Bytes request;
        Bytes reply;
    };

    FakeClock& clock;
    SerialTimeouts timeouts{500, 1, 500, 1, 500};

    std::deque<uint8_t> rx;  // bytes the board sent that the PC has not read
    std::deque<Exchange> script;  // answered in order as the requests arrive
    std::function<void(const Bytes&)> onWrite;  // replaces the script when set

    // What the PC did.
    Bytes written;  // every byte written, in order
    std::vector<Bytes> writes;  // each Write call
    std::vector<size_t> queuedAtWrite;  // bytes still queued at each Write call
    std::vector<size_t> readSizes;  // n of each Read call
    int flushes = 0;
    Bytes pending;  // written bytes not yet matched to the script

    // Faults.
    bool failReads = false;
    bool failWrites = false;
    bool failStatus = false;
    size_t writeLimit = std::numeric_limits<size_t>::max();  // bytes taken per Write call
    size_t readLimit = std::numeric_limits<size_t>::max();  // bytes handed out per Read call
    int silentReads = 0;  // the next reads deliver nothing, whatever is queued

    void Queue(const Bytes& bytes) { rx.insert(rx.end(), bytes.begin(), bytes.end()); }
    void Expect(const std::string& request, const std::string& reply) {
        script.push_back({Hex(request), Hex(reply)});
    }

    void Written(const Bytes& w) {
        if (onWrite) {
            onWrite(w);
            return;
        }
        pending.insert(pending.end(), w.begin(), w.end());
        while (!script.empty() && pending.size() >= script.front().request.size()) {
            const Exchange& e = script.front();
            if (!std::equal(e.request.begin(), e.request.end(), pending.begin())) {
                ADD_FAILURE() << "unexpected request " << ToHex(pending) << ", expected " << ToHex(e.request);
                pending.clear();
                return;
            }
            pending.erase(pending.begin(), pending.begin() + static_cast<long>(e.request.size()));
            Queue(e.reply);
            script.pop_front();
        }
    }
};

class ScriptedDevice final : public SerialDevice {
public:
    explicit ScriptedDevice(ScriptedLine& line) : line_(line) {}

    void Configure(const SerialLineSettings&) override {}
    void SetTimeouts(const SerialTimeouts& t) override { line_.timeouts = t; }
    SerialTimeouts GetTimeouts() const override { return line_.timeouts; }

    size_t Read(uint8_t* buffer, size_t n) override {
        line_.readSizes.push_back(n);
        if (line_.failReads) throw CSerialException(EIO);
        size_t k = std::min({n, line_.rx.size(), line_.readLimit});
        if (line_.silentReads > 0) {
            --line_.silentReads;
            k = 0;
        }
        for (size_t i = 0; i < k; ++i) {
            buffer[i] = line_.rx.front();
            line_.rx.pop_front();
        }
        if (k < n) {
            line_.clock.Advance(static_cast<uint64_t>(n) * line_.timeouts.readTotalMultiplier +
                                line_.timeouts.readTotalConstant);
        }
        return k;
    }

    size_t Write(const uint8_t* buffer, size_t n) override {
        if (line_.failWrites) throw CSerialException(EIO);
        size_t k = std::min(n, line_.writeLimit);
        Bytes w(buffer, buffer + k);
        line_.queuedAtWrite.push_back(line_.rx.size());
        line_.writes.push_back(w);
        line_.written.insert(line_.written.end(), w.begin(), w.end());
        line_.Written(w);
        return k;
    }

    void Flush() override { ++line_.flushes; }

    size_t QueuedBytes() override {
        if (line_.failStatus) throw CSerialException(EIO);
        return line_.rx.size();
    }

private:
    ScriptedLine& line_;
};

// Opens the port on the scripted line with the program's usual settings and time-outs.
inline void OpenScripted(CSerialPort& port, ScriptedLine& line) {
    OpenBoardPort(port, [&line](int) { return std::make_unique<ScriptedDevice>(line); });
}
