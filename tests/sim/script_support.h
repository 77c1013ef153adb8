#pragma once
// Scripts on the simulated board, end to end: compiled with the program's compiler, downloaded
// with its exact frames, started, and the board's uplink bytes taken as it runs. The expected
// uplink frames in the tests are written out by hand from the documented layouts.
#include "script/DownloadFrames.h"
#include "script/ScriptCompiler.h"
#include "sim/ScriptEngine.h"
#include "tests/sim/BoardTestSupport.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace simtest {

// The frames that download a script; an empty list (and a test failure) if it does not compile.
inline std::vector<Bytes> CompileToFrames(const std::string& source) {
    const TempFolder folder("sim-script");
    script::CScriptCompiler compiler;
    compiler.SetListingDirectory(folder.Path().string());
    if (!compiler.PrepareText(source) || !compiler.Compile()) {
        ADD_FAILURE() << "cannot compile:\n" << source;
        return {};
    }
    bool clean = true;
    while (const std::optional<std::string> e = compiler.NextError(false)) {
        ADD_FAILURE() << *e << "in:\n" << source;
        clean = false;
    }
    if (!clean) return {};
    return script::BuildDownloadFrames(compiler);
}

// "7E 08 00 01 ..." for a record frame: opcode and three descriptor/value pairs.
inline std::string RecordHex(uint8_t command, uint16_t opcode, uint16_t d1 = 0, uint16_t v1 = 0,
                             uint16_t d2 = 0, uint16_t v2 = 0, uint16_t d3 = 0, uint16_t v3 = 0) {
    Bytes f{0x7E, command};
    for (uint16_t w : {opcode, d1, v1, d2, v2, d3, v3}) {
        f.push_back(static_cast<uint8_t>(w >> 8));
        f.push_back(static_cast<uint8_t>(w));
    }
    return ToHex(f);
}

constexpr const char* kStartFrame = "7E 0A";
constexpr const char* kAbortFrame = "7E 0B";
constexpr const char* kBlockWrittenFrame = "7E 21";
constexpr const char* kClosingRecord = "7E 09 00 35 00 00 00 00 00 00 00 00 00 00 00 00";

// The board's uplink as the test reads it: its bytes cut into frames by the documented codes
// and lengths, each as hex text.
inline std::vector<std::string> SplitUplink(const Bytes& bytes, size_t* rest = nullptr) {
    std::vector<std::string> frames;
    size_t at = 0;
    while (at + 2 <= bytes.size() && bytes[at] == 0x7E) {
        const uint8_t code = bytes[at + 1];
        size_t length = 0;
        switch (code) {
            case 5: length = 2; break;
            case 6: length = 5; break;
            case 7: length = 0; break;
            case 11: length = 4; break;
            case 24:
                if (at + 5 > bytes.size()) return frames;
                length = 3 + 2 * size_t{bytes[at + 4]};
                break;
            default: length = 3; break;
        }
        if (at + 2 + length > bytes.size()) break;
        frames.push_back(ToHex(Bytes(bytes.begin() + static_cast<long>(at),
                                     bytes.begin() + static_cast<long>(at + 2 + length))));
        at += 2 + length;
    }
    if (rest) *rest = at;
    return frames;
}

// A board with a script on it.
class ScriptRig {
public:
    explicit ScriptRig(sim::BoardConfig config = {}) : board(config) {}

    // Sends every download frame; returns what the board answered.
    std::string Download(const std::vector<Bytes>& frames) {
        for (const Bytes& f : frames) Send(board, f);
        return ToHex(TakeAll(board));
    }
    // Compiles, downloads (expecting the one answer byte) and starts.
    void Load(const std::string& source) {
        const std::vector<Bytes> frames = CompileToFrames(source);
        ASSERT_FALSE(frames.empty());
        ASSERT_EQ(Download(frames), "7E");
        Send(board, Hex(kStartFrame));
    }
    // Lets `micros` of board time pass in steps of 1 ms (as the PC's waits would) and returns
    // the uplink frames sent meanwhile, in order. Bytes of an unfinished frame wait for the
    // next call.
    std::vector<std::string> Run(uint64_t micros = 100'000, uint64_t step = 1000) {
        for (uint64_t t = 0; t < micros; t += step) board.AdvanceTime(std::min(step, micros - t));
        return Collect();
    }
    std::vector<std::string> Collect() {
        const Bytes fresh = TakeAll(board);
        pending_.insert(pending_.end(), fresh.begin(), fresh.end());
        size_t used = 0;
        std::vector<std::string> frames = SplitUplink(pending_, &used);
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(used));
        return frames;
    }
    void SendHex(const std::string& hex) { Send(board, Hex(hex)); }

    sim::Board board;

private:
    Bytes pending_;
};

// "7E 0C 00 00 05" ...: the uplink frames joined by " | " for readable comparisons.
inline std::string Join(const std::vector<std::string>& frames) {
    std::string s;
    for (const std::string& f : frames) {
        if (!s.empty()) s += " | ";
        s += f;
    }
    return s;
}

// A file block frame from the PC: 0C or 0D, the byte count, then the values.
inline std::string FileBlockHex(bool last, const std::vector<uint16_t>& values) {
    Bytes f{0x7E, static_cast<uint8_t>(last ? 0x0D : 0x0C)};
    const size_t bytes = 2 * values.size();
    f.push_back(static_cast<uint8_t>(bytes >> 8));
    f.push_back(static_cast<uint8_t>(bytes));
    for (uint16_t v : values) {
        f.push_back(static_cast<uint8_t>(v >> 8));
        f.push_back(static_cast<uint8_t>(v));
    }
    return ToHex(f);
}

}  // namespace simtest
