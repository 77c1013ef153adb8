// Paced transfers: the Kernlet load (count byte and chunk after each 0x12) and the firmware
// loader (512-byte blocks after each 0x12), with refusals.
#include "sim/FirmwareImage.h"
#include "tests/sim/BoardTestSupport.h"

#include <gtest/gtest.h>

using namespace simtest;

namespace {

// A Kernlet as the program sends it: every header and end-record byte a chunk of its own.
// Block at 0x0100 with words AABB CCDD, block at 0x0200 with word 1234, end record 0x0100.
const std::vector<std::string> kKernletChunks = {
    "01 01",          "01 00", "01 00", "01 02",  // header: address 0100, 2 words
    "04 AA BB CC DD",  // data
    "01 02",          "01 00", "01 00", "01 01",  // header: address 0200, 1 word
    "02 12 34",  // data
    "01 01",          "01 00", "01 00", "01 00",  // end record: address 0100, 0, 0
};

TEST(BoardKernlet, PacesEachChunkAndEndsWithLoadComplete) {
    sim::Board board;
    EXPECT_EQ(Exchange(board, "7E 15 02"), "7E 12");
    for (size_t i = 0; i < kKernletChunks.size(); ++i) {
        const bool last = i + 1 == kKernletChunks.size();
        EXPECT_EQ(Exchange(board, kKernletChunks[i]), last ? "10" : "12") << "chunk " << i;
    }
    const auto& kernlet = board.Device(2).Kernlet();
    ASSERT_TRUE(kernlet.has_value());
    ASSERT_EQ(kernlet->blocks.size(), 2u);
    EXPECT_EQ(kernlet->blocks[0].address, 0x0100);
    EXPECT_EQ(kernlet->blocks[0].words, (std::vector<uint16_t>{0xAABB, 0xCCDD}));
    EXPECT_EQ(kernlet->blocks[1].address, 0x0200);
    EXPECT_EQ(kernlet->blocks[1].words, (std::vector<uint16_t>{0x1234}));
    EXPECT_EQ(kernlet->finalAddress, 0x0100);
    EXPECT_FALSE(board.Device(1).Kernlet().has_value());
    // Back to requests.
    EXPECT_EQ(Exchange(board, "7E 05 C6 02"), "7E 14 00 01");
}

TEST(BoardKernlet, ChunkBoundariesDoNotMatter) {
    sim::Board board;
    EXPECT_EQ(Exchange(board, "7E 15 01"), "7E 12");
    EXPECT_EQ(Exchange(board, "06 01 00 00 02 AA BB"), "12");
    EXPECT_EQ(Exchange(board, "00"), "12");  // an empty chunk is taken and paced again
    EXPECT_EQ(Exchange(board, "03 CC"), "");  // a chunk may arrive in pieces
    EXPECT_EQ(Exchange(board, "DD 01"), "12");
    EXPECT_EQ(Exchange(board, "04 00 00 00 FF"), "10");  // bytes after the end record are ignored
    ASSERT_TRUE(board.Device(1).Kernlet().has_value());
    EXPECT_EQ(board.Device(1).Kernlet()->blocks[0].words, (std::vector<uint16_t>{0xAABB, 0xCCDD}));
    EXPECT_EQ(board.Device(1).Kernlet()->finalAddress, 0x0100);
}

TEST(BoardKernlet, StatusRegisterFollowsTheLoadedKernletThroughResets) {
    sim::Board board;
    EXPECT_EQ(Exchange(board, "7E 01 01 7E 05 C6 01"), "7E 7E 14 00 00");  // no Kernlet: bit 0 clear
    Exchange(board, "7E 15 01");
    for (const std::string& c : kKernletChunks) Exchange(board, c);
    EXPECT_EQ(Exchange(board, "7E 03 C6 00 00 01 7E 01 01 7E 05 C6 01"), "7E 7E 7E 14 00 01");
    // A new load drops the Kernlet; one abandoned half way leaves none.
    EXPECT_EQ(Exchange(board, "7E 15 01"), "7E 12");
    board.AdvanceTime(sim::Board::kAbandonMicroseconds);
    EXPECT_FALSE(board.Device(1).Kernlet().has_value());
    EXPECT_EQ(Exchange(board, "7E 01 01 7E 05 C6 01"), "7E 7E 14 00 00");
}

TEST(BoardKernlet, RefusalsComeOneMillisecondApartBeforeTheSendByte) {
    struct Case {
        int refusals;
        long chunk;  // Faults::refusalChunk
        long refusedChunk;  // the chunk before which 0x11 is expected (-1: each)
    };
    const Case cases[] = {{1, -1, -1}, {2, -1, -1}, {3, 0, 0}, {1, 4, 4}, {2, 13, 13}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "refusals " << c.refusals << " chunk " << c.chunk);
        sim::Board board;
        board.faults().refusals = c.refusals;
        board.faults().refusalChunk = c.chunk;
        // Chunk k's pacing comes after the request (k = 0) or after chunk k - 1.
        for (size_t k = 0; k <= kKernletChunks.size(); ++k) {
            Send(board, Hex(k == 0 ? "7E 15 03" : kKernletChunks[k - 1]));
            std::string expected = k == 0 ? "7E " : "";
            if (k == kKernletChunks.size()) {
                EXPECT_EQ(ToHex(TakeAll(board)), "10");
                break;
            }
            const bool refused = c.refusedChunk < 0 || c.refusedChunk == static_cast<long>(k);
            if (refused) {
                EXPECT_EQ(ToHex(TakeAll(board)), expected + "11") << "chunk " << k;
                for (int r = 1; r < c.refusals; ++r) {
                    ASSERT_EQ(board.NextEventMicroseconds(), board.NowMicroseconds() + 1000);
                    board.AdvanceTime(999);
                    EXPECT_EQ(board.Available(), 0u);
                    board.AdvanceTime(1);
                    EXPECT_EQ(ToHex(TakeAll(board)), "11");
                }
                board.AdvanceTime(1000);
                EXPECT_EQ(ToHex(TakeAll(board)), "12") << "chunk " << k;
                EXPECT_FALSE(board.NextEventMicroseconds().has_value());
            } else {
                EXPECT_EQ(ToHex(TakeAll(board)), expected + "12") << "chunk " << k;
            }
        }
        EXPECT_TRUE(board.Device(3).Kernlet().has_value());
    }
}

TEST(BoardKernlet, APcThatGivesUpAfterARefusalIsHeardAgain) {
    sim::Board board;
    board.faults().refusals = 1;
    board.faults().refusalChunk = 2;
    EXPECT_EQ(Exchange(board, "7E 15 01"), "7E 12");
    EXPECT_EQ(Exchange(board, "01 01"), "12");
    EXPECT_EQ(Exchange(board, "01 00"), "11");
    // The program reports the refusal and goes on with a request before the board asks again.
    EXPECT_EQ(Exchange(board, "7E 05 C6 01"), "7E 14 00 00");
    board.AdvanceTime(5000);
    EXPECT_EQ(board.Available(), 0u);
    EXPECT_FALSE(board.Device(1).Kernlet().has_value());
}

TEST(BoardKernlet, ASilentPcLosesTheTransferAfterTwoSeconds) {
    sim::Board board;
    EXPECT_EQ(Exchange(board, "7E 15 01"), "7E 12");
    board.AdvanceTime(sim::Board::kAbandonMicroseconds - 1);
    EXPECT_EQ(Exchange(board, "01 01"), "12");  // still in the transfer
    board.AdvanceTime(sim::Board::kAbandonMicroseconds);
    EXPECT_EQ(Exchange(board, "7E 05 20 01"), "7E 14 00 00");
}

// --- firmware loader ---

const char* kStartLoader = "7E 40 5D 2E 91 C3 48 00 00";

// Sends `blocks` blocks of an image as the program does: 512 bytes each, the last one padded
// with what the block buffer held before. Returns the pacing bytes the board sent.
std::string DownloadImage(sim::Board& board, const Bytes& image, uint8_t blocks) {
    std::string paces = Exchange(board, "7E 39 " + ToHex({blocks}));
    Bytes block(512, 0);
    for (size_t b = 0; b < blocks; ++b) {
        const size_t from = b * 512;
        const size_t n = from < image.size() ? std::min<size_t>(512, image.size() - from) : 0;
        std::copy(image.begin() + static_cast<long>(from), image.begin() + static_cast<long>(from + n),
                  block.begin());
        // In pieces, as a pty hands them over.
        board.Receive(block.data(), 100);
        board.Receive(block.data() + 100, 412);
        paces += " " + ToHex(TakeAll(board));
    }
    return paces;
}

TEST(BoardFirmware, LoaderTakesBlocksAndThenReportsTheImagesVersion) {
    sim::Board board;
    EXPECT_EQ(Exchange(board, kStartLoader), "");
    EXPECT_TRUE(board.InLoader());
    const Bytes image = sim::MakeFirmwareImage({2, 0x0A, 1, 0x00C0FFEE, 0x01020304}, 1024);
    // 1024 bytes: three blocks, the last carrying no file data.
    EXPECT_EQ(DownloadImage(board, image, 3), "12 12 12 10");
    EXPECT_FALSE(board.InLoader());
    EXPECT_EQ(board.LastFirmwareImage().size(), 1536u);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), board.LastFirmwareImage().begin()));
    EXPECT_EQ(Exchange(board, "7E 41 00"), "7E 42 07 02 0A 01 01 02 03 04");
    EXPECT_EQ(Exchange(board, "7E 43 00"), "7E 44 04 00 C0 FF EE");
}

TEST(BoardFirmware, AnImageWithoutHeaderIsTakenButKeepsTheVersion) {
    sim::Board board;
    Exchange(board, kStartLoader);
    Bytes image(700, 0x5A);
    EXPECT_EQ(DownloadImage(board, image, 2), "12 12 10");
    EXPECT_EQ(Exchange(board, "7E 41 00"), "7E 42 07 02 01 00 00 00 00 00");
}

TEST(BoardFirmware, ZeroBlocksEndAtOnce) {
    sim::Board board;
    Exchange(board, kStartLoader);
    EXPECT_EQ(Exchange(board, "7E 39 00"), "10");
    EXPECT_FALSE(board.InLoader());
}

TEST(BoardFirmware, RefusalsBeforeABlock) {
    sim::Board board;
    board.faults().refusals = 1;
    board.faults().refusalChunk = 1;
    Exchange(board, kStartLoader);
    EXPECT_EQ(Exchange(board, "7E 39 02"), "12");
    Bytes block(512, 0x33);
    board.Receive(block.data(), block.size());
    EXPECT_EQ(ToHex(TakeAll(board)), "11");
    board.AdvanceTime(1000);
    EXPECT_EQ(ToHex(TakeAll(board)), "12");
    board.Receive(block.data(), block.size());
    EXPECT_EQ(ToHex(TakeAll(board)), "10");
}

TEST(BoardFirmware, ImageHelpersFollowTheDocumentedLayout) {
    const Bytes image = sim::MakeFirmwareImage({3, 0x0A, 0xFF, 0x12345678, 0x9ABCDEF0}, 32);
    ASSERT_EQ(image.size(), 32u);
    EXPECT_EQ(ToHex(Bytes(image.begin(), image.begin() + 20)),
              "4D 42 38 30 35 51 46 57 03 0A FF 00 12 34 56 78 9A BC DE F0");
    const auto id = sim::ReadFirmwareImage(image.data(), image.size());
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(id->kind, 3);
    EXPECT_EQ(id->major, 0x0A);
    EXPECT_EQ(id->minor, 0xFF);
    EXPECT_FALSE(sim::ReadFirmwareImage(image.data(), 19).has_value());
    Bytes bad = image;
    bad[7] = 'X';
    EXPECT_FALSE(sim::ReadFirmwareImage(bad.data(), bad.size()).has_value());
    EXPECT_EQ(sim::MakeFirmwareImage({}, 3).size(), sim::kFirmwareHeaderSize);

    EXPECT_EQ(sim::FirmwareFileName(2, 10, 1), "HK8051B-SCRIPT_F2.0A.1.bin");
    EXPECT_EQ(sim::FirmwareFileName(1, 0, 0), "HK8051B-SCRIPT_F1.00.0.bin");
    EXPECT_EQ(sim::FirmwareFileName(0xAB, 0xCD, 0xEF), "HK8051B-SCRIPT_FAB.CD.EF.bin");
}

}  // namespace

// --- a request after a transfer the PC gave up ---

// However a paced transfer was left (refused, refused and asked again, the file ended before
// its end record), the PC's next request is heard at once and answered.
TEST(BoardTransferLeft, TheNextRequestIsARequest) {
    struct Case {
        const char* name;
        int refusals;
        long refusalChunk;
        std::vector<std::string> chunks;  // sent after "7E 15 01", each taken with its answer
        uint64_t waitMicroseconds;  // time that passes before the PC's next request
    };
    const Case cases[] = {
        {"refused, asked again later", 1, 1, {"01 01", "01 00"}, 5000},
        {"refused several times", 3, -1, {"01 01"}, 10'000},
        {"refused, request at once", 2, 0, {}, 0},
        {"file ended before its end record",
         0,
         -1,
         {"01 01", "01 00", "01 00", "01 02", "02 AA BB"},
         300'000},
        {"file ended inside a header", 0, -1, {"01 02"}, 0},
    };
    for (const Case& c : cases) {
        sim::Board board;
        board.faults().refusals = c.refusals;
        board.faults().refusalChunk = c.refusalChunk;
        Exchange(board, "7E 15 01");
        for (const std::string& chunk : c.chunks) Exchange(board, chunk);
        board.AdvanceTime(c.waitMicroseconds);
        TakeAll(board);  // the PC drains what is left before each request
        board.SetRegister(1, 0x20, 0xBEEF);
        EXPECT_EQ(Exchange(board, "7E 05 20 01"), "7E 14 BE EF") << c.name;
        EXPECT_EQ(Exchange(board, "7E 03 21 12 34 01"), "7E") << c.name;
        EXPECT_EQ(board.Register(1, 0x21), 0x1234) << c.name;
        board.AdvanceTime(sim::Board::kAbandonMicroseconds);
        EXPECT_EQ(board.Available(), 0u) << c.name << ": no pacing byte after the request";
    }
}

// A chunk of 126 bytes starts with the count 7E; whatever its data look like, it stays a chunk.
TEST(BoardTransferLeft, AChunkOf126BytesIsStillAChunk) {
    const std::vector<std::string> firstData = {
        "05 20 01",  // as if a register read followed
        "0F",  // a request without arguments
        "7E",  // a second 7E
        "77",  // no request at all
    };
    for (const std::string& start : firstData) {
        for (bool inPieces : {false, true}) {
            sim::Board board;
            EXPECT_EQ(Exchange(board, "7E 15 01"), "7E 12");
            Bytes data = Hex(start);
            data.resize(126, 0x11);  // no block length 0: not an end record
            Bytes chunk = {0x7E};
            chunk.insert(chunk.end(), data.begin(), data.end());
            if (inPieces) {
                board.Receive(chunk.data(), 1);  // the count byte alone, as the program writes it
                board.Receive(chunk.data() + 1, chunk.size() - 1);
            } else {
                board.Receive(chunk.data(), chunk.size());
            }
            // Taken as data and paced again, not answered as a request.
            EXPECT_EQ(ToHex(TakeAll(board)), "12") << start << (inPieces ? " in pieces" : "");
            EXPECT_EQ(Exchange(board, "00"), "12") << start;
        }
    }
}

TEST(BoardTransferLeft, AFirmwareDownloadLeftBehindHearsTheLoaderRequests) {
    sim::Board board;
    Exchange(board, kStartLoader);
    EXPECT_EQ(Exchange(board, "7E 39 03"), "12");
    Bytes block(512, 0x44);
    board.Receive(block.data(), block.size());
    EXPECT_EQ(ToHex(TakeAll(board)), "12");
    // The program gave the download up after one block; the loader is asked to start again.
    EXPECT_EQ(Exchange(board, "7E 39 01"), "12");
    block.assign(512, 0x7E);  // a block that starts like a request is still a block
    board.Receive(block.data(), block.size());
    EXPECT_EQ(ToHex(TakeAll(board)), "10");
    EXPECT_EQ(board.LastFirmwareImage(), block);
}
