#pragma once
// Byte helpers for the simulated board's tests: requests go in as hand-written bytes, replies
// come out as bytes to compare.
#include "sim/Board.h"
#include "tests/support/HexBytes.h"

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace simtest {

using testbytes::Bytes;
using testbytes::Hex;
using testbytes::ToHex;

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
