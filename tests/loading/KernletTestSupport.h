#pragma once
// The Kernlet page's surroundings for tests: the simulated board with a tap on the serial line
// (every byte the PC wrote, every byte it read), settings in memory with failures on demand,
// a checksum prompt that records and answers, and temporary Kernlet files.
#include "link/SerialDevice.h"
#include "loading/Checksums.h"
#include "sim/KernletDevice.h"
#include "tests/support/HexBytes.h"
#include "tests/support/MemorySettings.h"
#include "tests/support/SimHost.h"
#include "tests/support/TempFolder.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace kltest {

// Passes everything to the simulated board's device and keeps what went each way. Once
// `muteAfter` bytes were written the line goes dead without an error, as a hung board would
// leave it: later bytes vanish and reads get nothing.
class TappedDevice final : public SerialDevice {
public:
    TappedDevice(std::unique_ptr<SerialDevice> inner, std::vector<uint8_t>& written,
                 std::vector<uint8_t>& read, const long& muteAfter)
        : inner_(std::move(inner)), written_(written), read_(read), muteAfter_(muteAfter) {}
    void Configure(const SerialLineSettings& s) override { inner_->Configure(s); }
    void SetTimeouts(const SerialTimeouts& t) override { inner_->SetTimeouts(t); }
    SerialTimeouts GetTimeouts() const override { return inner_->GetTimeouts(); }
    size_t Read(uint8_t* buffer, size_t n) override {
        if (Muted()) return 0;
        const size_t got = inner_->Read(buffer, n);
        read_.insert(read_.end(), buffer, buffer + got);
        return got;
    }
    size_t Write(const uint8_t* buffer, size_t n) override {
        size_t pass = n;
        if (muteAfter_ >= 0) {
            const size_t limit = static_cast<size_t>(muteAfter_);
            pass = sent_ >= limit ? 0 : std::min(n, limit - sent_);
        }
        sent_ += n;
        written_.insert(written_.end(), buffer, buffer + pass);
        if (pass > 0) inner_->Write(buffer, pass);
        return n;
    }
    void Flush() override { inner_->Flush(); }
    size_t QueuedBytes() override { return Muted() ? 0 : inner_->QueuedBytes(); }

private:
    bool Muted() const { return muteAfter_ >= 0 && sent_ >= static_cast<size_t>(muteAfter_); }

    std::unique_ptr<SerialDevice> inner_;
    std::vector<uint8_t>& written_;
    std::vector<uint8_t>& read_;
    const long& muteAfter_;
    size_t sent_ = 0;
};

// A SimHost whose line is tapped and which has a settings store.
class KernletHost : public SimHost {
public:
    explicit KernletHost(sim::BoardConfig config = {}) : SimHost(config) {
        wrapDevice = [this](std::unique_ptr<SerialDevice> device) -> std::unique_ptr<SerialDevice> {
            return std::make_unique<TappedDevice>(std::move(device), written, read, muteAfter);
        };
        Reconnect();
    }
    // The line from now on takes real time per byte at `baud` (0: none).
    void SetLineRate(uint32_t baud) {
        lineRate = baud;
        Reconnect();
    }
    std::unique_ptr<SettingsKey> NewSettingsKey() override {
        return std::make_unique<MemorySettingsKey>(store);
    }

    sim::KernletDevice& Device(int n) { return static_cast<sim::KernletDevice&>(simBoard.Device(n)); }
    // What went over the line since the last call.
    std::string TakeWritten() {
        std::string s = testbytes::ToHex(written);
        written.clear();
        return s;
    }
    std::string TakeRead() {
        std::string s = testbytes::ToHex(read);
        read.clear();
        return s;
    }

    MemoryStore store;
    std::vector<uint8_t> written, read;
    long muteAfter = -1;  // bytes written after which the line goes dead (-1: never)
};

class RecordingChecksumsPrompt final : public ChecksumsPrompt {
public:
    bool Ignore(const CChecksums& c) override {
        shown.push_back(c);
        return ignore;
    }
    bool ignore = true;
    std::vector<CChecksums> shown;
};

// A folder for Kernlet files that goes away with the test.
class TempFiles : public TempFolder {
public:
    TempFiles() : TempFolder("tr805q-kernlet") {}
    std::string Sample(const std::string& name, const sim::KernletSampleSpec& spec) const {
        return Write(name, *sim::MakeKernletText(spec));
    }
};

}  // namespace kltest
