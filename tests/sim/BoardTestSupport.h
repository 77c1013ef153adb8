#pragma once
// Byte helpers for the simulated board's tests: requests go in as hand-written bytes, replies
// come out as bytes to compare.
#include "sim/Board.h"

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace simtest {

using Bytes = std::vector<uint8_t>;

// "7E 03 20" -> {0x7E, 0x03, 0x20}
inline Bytes Hex(const std::string& text) {
    Bytes out;
    std::istringstream in(text);
    std::string word;
    while (in >> word) out.push_back(static_cast<uint8_t>(std::stoul(word, nullptr, 16)));
    return out;
}

inline std::string ToHex(const Bytes& bytes) {
    std::string s;
    char buf[4];
    for (uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        if (!s.empty()) s += ' ';
        s += buf;
    }
    return s;
}

inline Bytes TakeAll(sim::Board& board) {
    Bytes out(board.Available());
    out.resize(board.Take(out.data(), out.size()));
    return out;
}

inline void Send(sim::Board& board, const Bytes& bytes) { board.Receive(bytes.data(), bytes.size()); }

// Sends a request and returns, as hex text, everything the board answered.
inline std::string Exchange(sim::Board& board, const std::string& request) {
    Send(board, Hex(request));
    return ToHex(TakeAll(board));
}

}  // namespace simtest
