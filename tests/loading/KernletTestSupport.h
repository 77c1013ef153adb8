#pragma once
// The Kernlet page's surroundings for tests: the simulated board with a tap on the serial line
// (every byte the PC wrote, every byte it read), settings in memory with failures on demand,
// a checksum prompt that records and answers, and temporary Kernlet files.
#include "link/ComSettings.h"
#include "link/SerialDevice.h"
#include "loading/Checksums.h"
#include "sim/KernletDevice.h"
#include "sim/SimSerialDevice.h"
#include "tests/support/SimHost.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace kltest {

// Upper-case hex bytes separated by blanks.
inline std::string HexBytes(const std::vector<uint8_t>& bytes) {
    std::string s;
    char b[4];
    for (uint8_t v : bytes) {
        std::snprintf(b, sizeof b, "%02X", v);
        if (!s.empty()) s += ' ';
        s += b;
    }
    return s;
}

// Passes everything to the simulated board's device and keeps what went each way. Once
// `muteAfter` bytes were written the line goes dead without an error, as a hung board would
// leave it: later bytes vanish and reads get nothing.
class TappedDevice final : public SerialDevice {
public:
    TappedDevice(std::unique_ptr<SerialDevice> inner, std::vector<uint8_t>& written, std::vector<uint8_t>& read,
                 const long& muteAfter)
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

// Settings in memory; each operation can be made to fail.
struct MemoryStore {
    std::map<std::string, std::string> strings;  // "tab/name" -> value
    bool failOpen = false, failQuery = false, failSet = false;
    std::vector<std::string> openedTabs;
};

class MemoryKey final : public SettingsKey {
public:
    explicit MemoryKey(MemoryStore& store) : store_(store) {}
    bool Open(const std::string& tab) override {
        store_.openedTabs.push_back(tab);
        if (store_.failOpen) return false;
        tab_ = tab;
        open_ = true;
        return true;
    }
    bool IsOpen() const override { return open_; }
    SettingsStatus QueryDword(const std::string&, uint32_t&) override { return SettingsStatus::Missing; }
    bool SetDword(const std::string&, uint32_t) override { return false; }
    SettingsStatus QueryString(const std::string& name, std::string& value) override {
        if (!open_ || store_.failQuery) return SettingsStatus::Failed;
        const auto it = store_.strings.find(tab_ + "/" + name);
        if (it == store_.strings.end()) return SettingsStatus::Missing;
        value = it->second;
        return SettingsStatus::Ok;
    }
    bool SetString(const std::string& name, const std::string& value) override {
        if (!open_ || store_.failSet) return false;
        store_.strings[tab_ + "/" + name] = value;
        return true;
    }
    void Close() override { open_ = false; }

private:
    MemoryStore& store_;
    std::string tab_;
    bool open_ = false;
};

// A SimHost whose line is tapped and which has a settings store.
class KernletHost : public SimHost {
public:
    explicit KernletHost(sim::BoardConfig config = {}) : SimHost(config) {
        CSerialPort& port = board.Link().Port();
        port.Close();
        port.SetDeviceOpener([this](int) -> std::unique_ptr<SerialDevice> {
            auto device = std::make_unique<sim::SimSerialDevice>(simBoard, clock);
            device->SetLineRate(lineRate);
            return std::make_unique<TappedDevice>(std::move(device), written, read, muteAfter);
        });
        port.Open(1, 115200, ParityNone, 8, StopOne, FlowNone);
        port.SetTimeouts(kBoardTimeouts);
    }
    // The line from now on takes real time per byte at `baud` (0: none).
    void SetLineRate(uint32_t baud) {
        lineRate = baud;
        CSerialPort& port = board.Link().Port();
        port.Close();
        port.Open(1, 115200, ParityNone, 8, StopOne, FlowNone);
        port.SetTimeouts(kBoardTimeouts);
    }
    std::unique_ptr<SettingsKey> NewSettingsKey() override { return std::make_unique<MemoryKey>(store); }

    sim::KernletDevice& Device(int n) { return static_cast<sim::KernletDevice&>(simBoard.Device(n)); }
    // What went over the line since the last call.
    std::string TakeWritten() {
        std::string s = HexBytes(written);
        written.clear();
        return s;
    }
    std::string TakeRead() {
        std::string s = HexBytes(read);
        read.clear();
        return s;
    }

    MemoryStore store;
    std::vector<uint8_t> written, read;
    long muteAfter = -1;  // bytes written after which the line goes dead (-1: never)
    uint32_t lineRate = 0;
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
class TempFiles {
public:
    TempFiles() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tr805q-kernlet-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) dir_ = pattern;
    }
    ~TempFiles() {
        std::error_code ec;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
    }
    TempFiles(const TempFiles&) = delete;
    TempFiles& operator=(const TempFiles&) = delete;

    std::string Write(const std::string& name, const std::string& text) const {
        const std::filesystem::path p = dir_ / name;
        std::ofstream(p, std::ios::binary) << text;
        return p.string();
    }
    std::string Sample(const std::string& name, const sim::KernletSampleSpec& spec) const {
        return Write(name, *sim::MakeKernletText(spec));
    }
    const std::filesystem::path& Dir() const { return dir_; }

private:
    std::filesystem::path dir_;
};

}  // namespace kltest
