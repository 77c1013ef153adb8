// The board protocol against the simulated board in the same process: the two sides share no
// framing code, so a mistake would have to be made twice to pass.
#include "link/MB805QBrd.h"
#include "sim/Board.h"
#include "sim/FirmwareImage.h"
#include "tests/support/SimHost.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

namespace {

// The board object on the simulated board, as every page has it.
class BoardOnSimulator : public ::testing::Test, protected SimHost {};

TEST_F(BoardOnSimulator, RegistersRoundTrip) {
    ASSERT_TRUE(board.WriteReg16(0x20, 0x1234, 2));
    EXPECT_EQ(simBoard.Register(2, 0x20), 0x1234);
    uint16_t v16 = 0;
    ASSERT_TRUE(board.ReadReg16(0x20, v16, 2));
    EXPECT_EQ(v16, 0x1234);
    EXPECT_TRUE(board.ReadReg16(0x20, v16, 1));
    EXPECT_EQ(v16, 0) << "devices keep their own registers";

    ASSERT_TRUE(board.WriteReg8(0x31, 0xA5, 3));
    uint8_t v8 = 0;
    ASSERT_TRUE(board.ReadReg8(0x31, v8, 3));
    EXPECT_EQ(v8, 0xA5);
    EXPECT_TRUE(board.ResetDevice(3));

    ASSERT_GE(requests.size(), 1u);
    EXPECT_EQ(requests[0], "7E 03 20 12 34 02");
}

TEST_F(BoardOnSimulator, Identification) {
    BoardInfo info;
    ASSERT_TRUE(board.GetBoardInfo(info));
    const sim::BoardConfig& c = simBoard.config();
    EXPECT_EQ(info.boardType, c.boardType);
    EXPECT_EQ(info.versionMajor, c.versionMajor);
    EXPECT_EQ(info.versionMinor, c.versionMinor);
    EXPECT_EQ(info.commandBufferSize, c.commandBufferSize);
    EXPECT_EQ(info.dataBufferSize, c.dataBufferSize);
    EXPECT_EQ(info.fileBufferSize, c.fileBufferSize);
    EXPECT_EQ(info.kernletOptions, c.kernletOptions);

    FirmwareVersion version;
    ASSERT_TRUE(board.GetFirmwareVersion(version));
    EXPECT_EQ(version.firmwareKind, c.firmwareKind);
    EXPECT_EQ(version.versionMajor, c.firmwareMajor);
    EXPECT_EQ(version.versionMinor, c.firmwareMinor);
    EXPECT_EQ(version.firmwareWord, c.firmwareWord);
    FirmwareCode code = 0;
    ASSERT_TRUE(board.GetFirmwareCode(code));
    EXPECT_EQ(code, c.firmwareCode);
}

TEST_F(BoardOnSimulator, TraceHoldsTheAccessesJustMade) {
    ASSERT_TRUE(board.WriteReg16(0x10, 0xBEEF, 1));
    uint16_t v = 0;
    ASSERT_TRUE(board.ReadReg16(0x10, v, 1));
    TraceRecord records[8];
    uint32_t count = 0;
    ASSERT_TRUE(board.ReadTrace(0, 8, records, count));
    ASSERT_GE(count, 2u);
    // Entry 0 is the newest: the read, then the write.
    EXPECT_EQ(records[0].address, 0x10);
    EXPECT_EQ(records[0].data, 0xBEEF);
    EXPECT_EQ(records[1].address, 0x10);
    EXPECT_NE(records[0].direction, records[1].direction);
    uint32_t one = 0;
    ASSERT_TRUE(board.ReadTrace(0, 1, records, one));
    EXPECT_EQ(one, 1u);
}

TEST_F(BoardOnSimulator, FaultsOfTheBoardFailTheOperation) {
    simBoard.faults().staleBytes = 3;
    uint16_t v = 0;
    EXPECT_TRUE(board.WriteReg16(0x20, 0x0102, 1));
    EXPECT_TRUE(board.ReadReg16(0x20, v, 1)) << "stale bytes are drained";
    EXPECT_EQ(v, 0x0102);
    simBoard.faults().staleBytes = 0;

    simBoard.faults().wrongReplyCode = true;
    EXPECT_FALSE(board.ReadReg16(0x20, v, 1));
    simBoard.faults().wrongReplyCode = false;

    simBoard.faults().wrongFirstByte = true;
    EXPECT_FALSE(board.ResetDevice(1));
    simBoard.faults().wrongFirstByte = false;

    simBoard.faults().noReply = true;
    uint64_t before = clock.NowMs();
    EXPECT_FALSE(board.ResetDevice(1));
    EXPECT_EQ(clock.NowMs() - before, 1u + 501u) << "the request's USB frame and one waiting read";
    simBoard.faults().noReply = false;
    EXPECT_TRUE(board.ResetDevice(1));
}

TEST_F(BoardOnSimulator, PacedChunkIsRefusedThenTaken) {
    simBoard.faults().refusals = 1;
    ASSERT_TRUE(board.BeginKernletLoad(1));
    const uint8_t chunk[4] = {0x23, 0x64, 0x65, 0x66};
    EXPECT_EQ(board.Link().Write(chunk, sizeof chunk, 1), kWriteRefused);
    EXPECT_EQ(board.Link().Write(chunk, sizeof chunk, 1), kWriteOk);
}

TEST_F(BoardOnSimulator, FirmwareReplacement) {
    TempFolder folder;
    sim::FirmwareIdentity id{3, 2, 7, 0x1234, 0xCAFE};
    std::optional<std::filesystem::path> file = sim::WriteFirmwareFile(folder.Path(), id, 1024);
    ASSERT_TRUE(file);
    ASSERT_TRUE(board.StartFirmwareLoader());
    board.SetProgramDirectory(folder.Path().string());
    ASSERT_TRUE(board.LoadFirmware(file->filename().string()));
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(progress.destroyed);

    FirmwareVersion version;
    ASSERT_TRUE(board.GetFirmwareVersion(version));
    EXPECT_EQ(version.firmwareKind, 3);
    EXPECT_EQ(version.versionMajor, 2);
    EXPECT_EQ(version.versionMinor, 7);
    EXPECT_EQ(version.firmwareWord, 0xCAFEu);
}

TEST_F(BoardOnSimulator, LostLineFailsReadsAndWrites) {
    simBoard.faults().closeAfterBytes = 0;
    uint8_t v = 0;
    EXPECT_FALSE(board.ReadReg8(0x20, v, 1));
    EXPECT_NE(board.Link().LastPortFailure(), "");
    uint8_t b = 0;
    uint32_t got = 0;
    EXPECT_EQ(board.Link().Read(&b, got, 1, 1), kReadError);
}

}  // namespace
