// The board's trace memory: one entry per register access, newest first, 0x20000 entries.
#include "tests/sim/BoardTestSupport.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

using namespace simtest;

namespace {

// Writes value i to register (i & 0xFF) of device 1, one 16-bit write per i.
void MakeWrites(sim::Board& board, uint32_t count) {
    Bytes request = Hex("7E 03 00 00 00 01");
    for (uint32_t i = 0; i < count; ++i) {
        request[2] = static_cast<uint8_t>(i);
        request[3] = static_cast<uint8_t>(i >> 8);
        request[4] = static_cast<uint8_t>(i);
        board.Receive(request.data(), request.size());
    }
    TakeAll(board);
}

std::string TraceRequest(uint32_t start, uint16_t count) {
    char text[64];
    std::snprintf(text, sizeof text, "7E 1A %02X %02X %02X %02X %02X %02X", start >> 24, (start >> 16) & 0xFF,
                  (start >> 8) & 0xFF, start & 0xFF, count >> 8, count & 0xFF);
    return text;
}

TEST(BoardTrace, EachAccessIsOneRecordWithItsFields) {
    sim::Board board;
    board.AdvanceTime(0x01020304);
    Send(board, Hex("7E 02 33 AB 02"));  // 8-bit write, device 2
    board.AdvanceTime(10);
    Send(board, Hex("7E 05 33 02"));  // 16-bit read
    board.AdvanceTime(5);
    Send(board, Hex("7E 04 33 02"));  // 8-bit read
    Send(board, Hex("7E 03 40 BE EF 03"));  // 16-bit write, device 3
    Send(board, Hex("7E 01 02 7E 0F 7E 19 7E 41 00"));  // not register accesses
    TakeAll(board);
    ASSERT_EQ(board.TraceSize(), 4u);
    EXPECT_EQ(Exchange(board, TraceRequest(0, 2048)),
              "7E 17 03 00 40 BE EF 02 01 01 01 02 03 13 "
              "7E 17 02 01 33 00 AB 01 01 01 01 02 03 13 "
              "7E 17 02 01 33 00 AB 02 01 01 01 02 03 0E "
              "7E 17 02 00 33 00 AB 01 01 01 01 02 03 04 "
              "7E 15");
}

TEST(BoardTrace, ReadsFromAStartPositionUpToTheCount) {
    sim::Board board;
    MakeWrites(board, 5);  // entry 0 holds value 4, entry 4 value 0
    auto record = [](uint8_t v) {
        char text[64];
        std::snprintf(text, sizeof text, "7E 17 01 00 %02X 00 %02X 02 01 01 00 00 00 00", v, v);
        return std::string(text);
    };
    struct Case {
        uint32_t start;
        uint16_t count;
        std::string reply;
    };
    const Case cases[] = {
        {0, 2, record(4) + " " + record(3)},  // exactly the count: no end marker
        {3, 10, record(1) + " " + record(0) + " 7E 15"},  // fewer than asked: end marker
        {4, 1, record(0)},
        {5, 1, "7E 15"},  // past the newest-to-oldest end
        {0x1FFFF, 2048, "7E 15"},
        {0xFFFFFFFF, 0xFFFF, "7E 15"},
        {0, 0, "7E 15"},  // none asked for
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(TraceRequest(c.start, c.count));
        EXPECT_EQ(Exchange(board, TraceRequest(c.start, c.count)), c.reply);
    }
}

TEST(BoardTrace, KeepsTheNewest0x20000EntriesWithEntryZeroNewest) {
    sim::Board board;
    const uint32_t total = 0x20000 + 5;
    MakeWrites(board, total);
    ASSERT_EQ(board.TraceSize(), 0x20000u);
    // Entry i is write number total - 1 - i; the oldest five fell out.
    for (uint32_t i : {0u, 1u, 0x1234u, 0x1FFFEu, 0x1FFFFu}) {
        const uint32_t n = total - 1 - i;
        const sim::TraceEntry e = board.TraceAt(i);
        EXPECT_EQ(e.data, static_cast<uint16_t>(((n >> 8 & 0xFF) << 8) | (n & 0xFF))) << i;
        EXPECT_EQ(e.address, static_cast<uint8_t>(n)) << i;
    }
    // The last entry on the wire, then the end marker.
    EXPECT_EQ(Exchange(board, TraceRequest(0x1FFFF, 2)), "7E 17 01 00 05 00 05 02 01 01 00 00 00 00 7E 15");
    board.ClearTrace();
    EXPECT_EQ(Exchange(board, TraceRequest(0, 1)), "7E 15");
}

TEST(BoardTrace, AFullBlockOf2048RecordsComesWithoutEndMarker) {
    sim::Board board;
    MakeWrites(board, 3000);
    Send(board, Hex(TraceRequest(0, 2048)));
    Bytes reply = TakeAll(board);
    EXPECT_EQ(reply.size(), 2048u * 14u);
    Send(board, Hex(TraceRequest(2048, 2048)));
    reply = TakeAll(board);
    EXPECT_EQ(reply.size(), (3000u - 2048u) * 14u + 2u);
    EXPECT_EQ(ToHex(Bytes(reply.end() - 2, reply.end())), "7E 15");
}

}  // namespace

namespace {

// A board that starts with a filled trace: the count asked for (at most the memory), plausible
// fields, timestamps rising from the oldest entry to the newest and on into the board's own
// accesses, the same entries every time.
TEST(BoardTrace, StartsWithTheFilledEntriesItWasGiven) {
    struct Case {
        size_t fill;
        size_t kept;
    };
    const Case cases[] = {{0, 0}, {1, 1}, {5000, 5000}, {0x20000, 0x20000}, {0x20000 + 1, 0x20000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fill);
        sim::BoardConfig config;
        config.fillTrace = c.fill;
        sim::Board board(config);
        ASSERT_EQ(board.TraceSize(), c.kept);
        for (size_t i = 0; i < c.kept; ++i) {
            const sim::TraceEntry e = board.TraceAt(i);
            ASSERT_TRUE(e.device >= 1 && e.device <= 3) << i;
            ASSERT_TRUE(e.bytesPerAccess == 1 || e.bytesPerAccess == 2) << i;
            if (e.bytesPerAccess == 1) {
                ASSERT_LE(e.data, 0xFF) << i;
            }
            ASSERT_EQ(e.accessCount, 1) << i;
            ASSERT_EQ(e.accessNumber, 1) << i;
            if (i + 1 < c.kept) {
                ASSERT_GT(e.timestamp, board.TraceAt(i + 1).timestamp) << i;
            }
        }
        if (c.kept == 0) continue;
        EXPECT_GT(board.NowMicroseconds(), board.TraceAt(0).timestamp);
        // The board's next access is newer than every filled one.
        Send(board, Hex("7E 05 20 01"));
        TakeAll(board);
        EXPECT_GT(board.TraceAt(0).timestamp, board.TraceAt(1).timestamp);
    }

    sim::BoardConfig config;
    config.fillTrace = 3000;
    sim::Board first(config), second(config);
    EXPECT_EQ(Exchange(first, TraceRequest(0, 3000)), Exchange(second, TraceRequest(0, 3000)));
    // Not one entry over and over: the fields vary.
    std::set<std::tuple<int, int, int, int>> kinds;
    for (size_t i = 0; i < 3000; ++i) {
        const sim::TraceEntry e = first.TraceAt(i);
        kinds.insert({e.device, e.direction, e.address, e.bytesPerAccess});
    }
    EXPECT_GT(kinds.size(), 50u);
}

}  // namespace
