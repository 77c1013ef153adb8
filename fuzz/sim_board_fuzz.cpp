// The simulated board's request parser under arbitrary input: any bytes, in any split, with
// time passing between pieces and faults switched on, must neither crash nor read past what it
// was given, and what the board says it has must be what it hands out.
#include "sim/Board.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    sim::Board board;
    // The first two bytes choose faults and how the rest is cut.
    const uint8_t faults = data[0];
    const size_t piece = 1 + data[1] % 64;
    board.faults().wrongFirstByte = faults & 1;
    board.faults().wrongReplyCode = faults & 2;
    board.faults().staleBytes = (faults >> 2) & 3;
    board.faults().refusals = (faults >> 4) & 3;
    board.faults().refusalChunk = (faults & 0x40) ? 1 : -1;
    if (faults & 0x80) board.faults().closeAfterBytes = static_cast<long>(size / 2);
    data += 2;
    size -= 2;

    std::vector<uint8_t> out;
    for (size_t at = 0; at < size; at += piece) {
        const size_t n = size - at < piece ? size - at : piece;
        // Copy the piece so that a read past its end is a read past an allocation.
        const std::vector<uint8_t> chunk(data + at, data + at + n);
        const size_t taken = board.Receive(chunk.data(), chunk.size());
        if (taken > n) __builtin_trap();
        // Let time pass now and then, so that refusals end and unfinished input is forgotten.
        board.AdvanceTime(chunk[0] & 1 ? 1000 : 0);
        if ((chunk[0] & 0x0E) == 0x0E) board.AdvanceTime(sim::Board::kAbandonMicroseconds);
        const size_t available = board.Available();
        out.resize(available);
        if (board.Take(out.data(), out.size()) != available) __builtin_trap();
        if (board.Available() != 0) __builtin_trap();
    }
    return 0;
}
