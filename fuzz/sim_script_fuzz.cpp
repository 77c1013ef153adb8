// The simulated board's script interpreter under arbitrary images and an arbitrary PC: random
// records (shaped so that many of them are runnable, or raw), data initialisers, a start, then
// rounds of board time with replies, file blocks, acknowledgements, aborts and restarts chosen
// by the input, optionally with a PC that answers what the board asks. Every run is bounded;
// the board must never crash, never read past a frame, never send a broken uplink frame, and
// end each run with at most one end or error frame.
#include "sim/Board.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Empty() const { return at_ >= size_; }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint16_t Word() { return static_cast<uint16_t>((Byte() << 8) | Byte()); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& f, uint16_t w) {
    f.push_back(static_cast<uint8_t>(w >> 8));
    f.push_back(static_cast<uint8_t>(w));
}

void Send(sim::Board& board, const Bytes& f) {
    if (board.Receive(f.data(), f.size()) > f.size()) __builtin_trap();
}

// Cuts the uplink into frames by the documented codes and lengths. Returns false for a byte
// stream that is no sequence of frames.
struct UplinkFrame {
    uint8_t code;
    Bytes data;
};

bool SplitUplink(Bytes& pending, std::vector<UplinkFrame>& frames) {
    size_t at = 0;
    while (at < pending.size()) {
        if (pending[at] != 0x7E) return false;
        if (at + 2 > pending.size()) break;
        const uint8_t code = pending[at + 1];
        size_t length;
        switch (code) {
            case 5: length = 2; break;
            case 6: length = 5; break;
            case 7: length = 0; break;
            case 8:
            case 9:
            case 10:
            case 12:
            case 13:
            case 25:
            case 26: length = 3; break;
            case 11: length = 4; break;
            case 24:
                if (at + 5 > pending.size()) goto done;
                if (pending[at + 3] != 0) return false;  // at most 255 words
                length = 3 + 2 * size_t{pending[at + 4]};
                break;
            default: return false;
        }
        if (at + 2 + length > pending.size()) break;
        frames.push_back(UplinkFrame{code, Bytes(pending.begin() + static_cast<long>(at + 2),
                                                 pending.begin() + static_cast<long>(at + 2 + length))});
        at += 2 + length;
    }
done:
    pending.erase(pending.begin(), pending.begin() + static_cast<long>(at));
    return true;
}

Bytes FileBlock(bool last, Input& in, size_t count) {
    Bytes f{0x7E, static_cast<uint8_t>(last ? 0x0D : 0x0C)};
    Put16(f, static_cast<uint16_t>(2 * count));
    for (size_t i = 0; i < count; ++i) Put16(f, in.Word());
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    Input in(data, size);
    const uint8_t mode = in.Byte();
    const bool rawRecords = mode & 1;
    const bool helpfulPc = mode & 2;
    sim::BoardConfig config;
    if (mode & 4) {
        config.commandBufferSize = 8;
        config.dataBufferSize = 64;
        config.fileBufferSize = 16;
    }
    sim::Board board(config);

    // The image.
    const size_t records = 1 + in.Byte() % 48;
    for (size_t r = 0; r < records && !in.Empty(); ++r) {
        Bytes f{0x7E, static_cast<uint8_t>(r == 0 ? 0x08 : 0x09)};
        if (rawRecords) {
            for (int i = 0; i < 14; ++i) f.push_back(in.Byte());
        } else {
            Put16(f, in.Byte() % 0x62);
            for (int slot = 0; slot < 3; ++slot) {
                const uint8_t k = in.Byte();
                const uint8_t kind = k % 12;
                const uint8_t v = in.Byte();
                Put16(f, static_cast<uint16_t>(kind | ((k >> 4) << 4)));
                Put16(f, kind == 7 ? static_cast<uint16_t>(v % (records + 1)) : v);
            }
        }
        Send(board, f);
    }
    const size_t initialisers = in.Byte() % 16;
    for (size_t i = 0; i < initialisers && !in.Empty(); ++i) {
        Bytes f{0x7E, 0x12};
        Put16(f, in.Byte());
        Put16(f, in.Word());
        Send(board, f);
    }
    Send(board, {0x7E, 0x09, 0x00, 0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    Bytes answer(board.Available());
    if (board.Take(answer.data(), answer.size()) != answer.size()) __builtin_trap();
    if (answer.empty() || answer.back() != 0x7E) __builtin_trap();
    Send(board, {0x7E, 0x0A});
    int starts = 1;
    int ends = 0;
    bool rawSent = false;

    Bytes pending;
    for (int round = 0; round < 64; ++round) {
        const uint8_t action = in.Byte();
        board.AdvanceTime(static_cast<uint64_t>(action & 0x0F) * 100);
        switch (action >> 4) {
            case 8: {
                Bytes f{0x7E, 0x13};
                Put16(f, in.Word());
                Put16(f, 0);
                Put16(f, 0);
                Send(board, f);
                break;
            }
            case 9: {
                Bytes f{0x7E, 0x14};
                Put16(f, in.Word());
                Put16(f, in.Word());
                Send(board, f);
                break;
            }
            case 10: Send(board, FileBlock(false, in, in.Byte() % 40)); break;
            case 11: Send(board, FileBlock(true, in, in.Byte() % 40)); break;
            case 12: Send(board, {0x7E, 0x21}); break;
            case 13: Send(board, {0x7E, 0x0B}); break;
            case 14: {
                // Anything at all, also half a request.
                Bytes f(in.Byte() % 24);
                for (auto& b : f) b = in.Byte();
                Send(board, f);
                rawSent = true;
                break;
            }
            case 15:
                if (!board.ScriptRunning()) ++starts;
                Send(board, {0x7E, 0x0A});
                break;
            default: break;
        }

        const size_t available = board.Available();
        const size_t before = pending.size();
        pending.resize(before + available);
        if (board.Take(pending.data() + before, available) != available) __builtin_trap();
        if (rawSent) {
            pending.clear();  // replies to random requests mix with the uplink
            continue;
        }
        std::vector<UplinkFrame> frames;
        if (!SplitUplink(pending, frames)) __builtin_trap();
        for (const UplinkFrame& f : frames) {
            if (f.code == 12 || f.code == 13) {
                ++ends;
                if (board.ScriptRunning() && ends >= starts) __builtin_trap();
            }
            if (!helpfulPc) continue;
            switch (f.code) {
                case 5:
                    Send(board, {0x7E, 0x14, 0x00, 0x00, 0x00, static_cast<uint8_t>(in.Byte() % 64)});
                    break;
                case 10:
                case 25:
                case 26: Send(board, {0x7E, 0x13, 0x00, in.Byte(), 0, 0, 0, 0}); break;
                case 11: {
                    const uint32_t count = (uint32_t{f.data[0]} << 24) | (uint32_t{f.data[1]} << 16) |
                                           (uint32_t{f.data[2]} << 8) | f.data[3];
                    const size_t served = in.Byte() % 64;
                    Send(board, FileBlock(served < count, in, served < count ? served : count));
                    break;
                }
                case 24: Send(board, {0x7E, 0x21}); break;
                default: break;
            }
        }
        if (ends > starts) __builtin_trap();
    }
    return 0;
}
