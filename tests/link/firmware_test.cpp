#include "link/Messages.h"
#include "tests/link/BoardFixture.h"
#include "tests/support/TempFolder.h"

#include <filesystem>
#include <fstream>
#include <functional>

namespace fs = std::filesystem;

namespace {

Bytes Pattern(size_t size) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>((i * 31 + i / 512) & 0xFF);
    return b;
}

// The board's loader as the download meets it: after 7E 39 n it asks for each block with a
// request byte, takes 512-byte blocks, and answers the last with its verdict.
struct FakeLoader {
    explicit FakeLoader(ScriptedLine& l) : line(l) {
        line.onWrite = [this](const Bytes& w) { Received(w); };
    }

    void Received(const Bytes& w) {
        if (announced < 0) {
            if (w != Bytes{0x7E, 0x39, w.size() == 3 ? w[2] : uint8_t{0}}) return;  // not a start
            announced = w[2];
            if (afterStart) afterStart();
        } else {
            blocks.push_back(w);
        }
        int next = static_cast<int>(blocks.size()) + 1;
        if (next <= announced) {
            int r = request(next);
            if (r >= 0) line.Queue({static_cast<uint8_t>(r)});
        } else {
            line.Queue({verdict});
        }
    }

    ScriptedLine& line;
    int announced = -1;
    std::vector<Bytes> blocks;
    std::function<int(int block)> request = [](int) { return 0x12; };  // -1: stay silent
    uint8_t verdict = 0x10;
    std::function<void()> afterStart;
};

class FirmwareDownload : public BoardOnScriptedLine {
protected:
    std::string WriteFile(size_t size, const std::string& name = "HK8051B-SCRIPT_F1.2.3") {
        data = Pattern(size);
        fs::path p = folder.Path() / name;
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        return p.string();
    }
    Bytes FileBytes(size_t from, size_t to) const {
        return Bytes(data.begin() + static_cast<long>(from), data.begin() + static_cast<long>(to));
    }
    void ExpectOneMessage(const std::string& text, bool quit) {
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].text, text);
        EXPECT_EQ(prompts.messages[0].caption, "Error");
        EXPECT_EQ(prompts.messages[0].icon, MsgIcon::Error);
        EXPECT_EQ(prompts.QuitPosted(), quit);
    }

    TempFolder folder;
    Bytes data;
    FakeLoader loader{line};
};

TEST_F(FirmwareDownload, ExactMultipleOfTheBlockSizeSendsAnEmptyLastBlock) {
    ASSERT_TRUE(board.DownloadFirmware(WriteFile(1024)));
    EXPECT_EQ(loader.announced, 3);
    ASSERT_EQ(loader.blocks.size(), 3u);
    EXPECT_EQ(loader.blocks[0], FileBytes(0, 512));
    EXPECT_EQ(loader.blocks[1], FileBytes(512, 1024));
    EXPECT_EQ(loader.blocks[2], loader.blocks[1]) << "the last block carries the buffer as it was";
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(clock.SleptMs(), 100u);
}

TEST_F(FirmwareDownload, LastBlockHasTheRestInFrontAndOldBytesBehind) {
    ASSERT_TRUE(board.DownloadFirmware(WriteFile(1100)));
    ASSERT_EQ(loader.blocks.size(), 3u);
    Bytes last = FileBytes(1024, 1100);
    Bytes behind(loader.blocks[1].begin() + 76, loader.blocks[1].end());
    last.insert(last.end(), behind.begin(), behind.end());
    EXPECT_EQ(loader.blocks[2], last);
}

TEST_F(FirmwareDownload, SmallFileIsOneBlockPaddedWithZeros) {
    ASSERT_TRUE(board.DownloadFirmware(WriteFile(300)));
    EXPECT_EQ(loader.announced, 1);
    ASSERT_EQ(loader.blocks.size(), 1u);
    Bytes expected = FileBytes(0, 300);
    expected.resize(512, 0);
    EXPECT_EQ(loader.blocks[0], expected);
}

struct ProgressCase {
    size_t size;
    int steps;  // StepIt calls: every blocks/20 blocks while below 100, every block when fewer
    int blocks;
};

TEST_F(FirmwareDownload, ProgressBarSteps) {
    const ProgressCase cases[] = {
        {4 * 512 + 1, 4, 5},  // 5 blocks: stride 0, a step per block before the last
        {39 * 512 + 10, 19, 40},  // 40 blocks: stride 2, blocks 2..38
        {130559, 20, 255},  // 255 blocks: stride 12 would make 21 steps; the bar stops at 100
    };
    for (const ProgressCase& c : cases) {
        SCOPED_TRACE(c.size);
        FakeClock caseClock;
        ScriptedLine caseLine{caseClock};
        RecordingPrompts casePrompts;
        RecordingProgress caseProgress;
        RecordingProgressSink caseSink;
        CMB805QBrd caseBoard{caseClock, casePrompts, caseProgress};
        caseBoard.SetProgressSink(&caseSink);
        OpenScripted(caseBoard.Link().Port(), caseLine);
        FakeLoader caseLoader{caseLine};
        ASSERT_TRUE(caseBoard.DownloadFirmware(WriteFile(c.size)));
        EXPECT_EQ(caseProgress.step, 5);
        std::vector<int> expected;
        for (int i = 0; i <= c.steps; ++i) expected.push_back(i * 5);
        EXPECT_EQ(caseProgress.positions, expected);
        // The progress sink counts every block sent.
        std::vector<std::string> events{"Begin Flashing Device... " + std::to_string(c.blocks) + " blocks"};
        for (int b = 1; b <= c.blocks; ++b) events.push_back("Advance " + std::to_string(b));
        events.push_back("End");
        EXPECT_EQ(caseSink.events, events);
    }
}

TEST_F(FirmwareDownload, LargestFileAnnouncesItsBlockCountInOneByte) {
    ASSERT_TRUE(board.DownloadFirmware(WriteFile(130559)));
    EXPECT_EQ(ToHex(line.writes[0]), "7E 39 FF");
    EXPECT_EQ(loader.blocks.size(), 255u);
}

TEST_F(FirmwareDownload, FileTooLargeForTheBlockCountIsRefusedBeforeAnythingIsSent) {
    EXPECT_FALSE(board.DownloadFirmware(WriteFile(130560)));
    EXPECT_TRUE(line.written.empty());
    ExpectOneMessage(
        "Error - The firmware file is too large (130560 bytes); at most 130559 bytes can be sent", false);
}

TEST_F(FirmwareDownload, WrongRequestForABlockEndsTheProgram) {
    loader.request = [](int) { return 0x13; };
    EXPECT_FALSE(board.DownloadFirmware(WriteFile(1024)));
    EXPECT_EQ(ToHex(line.written), "7E 39 03");
    ExpectOneMessage("Error - Wrong request code: 19, 0x13", true);
}

TEST_F(FirmwareDownload, WrongRequestForTheLastBlockHasItsOwnText) {
    loader.request = [](int block) { return block == 3 ? 0xAB : 0x12; };
    EXPECT_FALSE(board.DownloadFirmware(WriteFile(1024)));
    EXPECT_EQ(loader.blocks.size(), 2u);
    ExpectOneMessage("Error - Wrong request code: 171, 0xAB 20", true);
}

TEST_F(FirmwareDownload, WaitForABlockRequestIsBounded) {
    loader.request = [](int block) { return block == 2 ? -1 : 0x12; };
    EXPECT_FALSE(board.DownloadFirmware(WriteFile(1024)));
    EXPECT_EQ(loader.blocks.size(), 1u);
    ExpectOneMessage("Error - The board did not ask for firmware block 2 of 3 within 30 seconds", true);
    // Each unanswered read waits the port's 501 ms: about 30 s of waiting, not less.
    EXPECT_GE(clock.NowMs(), 30000u);
    EXPECT_LT(clock.NowMs(), 31000u);
}

TEST_F(FirmwareDownload, ReadsThatFailAtOnceAlsoCountTowardsTheBound) {
    loader.afterStart = [this] { line.failReads = true; };
    EXPECT_FALSE(board.DownloadFirmware(WriteFile(1024)));
    EXPECT_EQ(line.readSizes.size(), 60u);
    ExpectOneMessage("Error - The board did not ask for firmware block 1 of 3 within 30 seconds", true);
}

TEST_F(FirmwareDownload, SlowRequestWithinTheBoundIsServed) {
    loader.afterStart = [this] { line.silentReads = 40; };  // about 20 s of silence
    EXPECT_TRUE(board.DownloadFirmware(WriteFile(1024)));
    EXPECT_EQ(loader.blocks.size(), 3u);
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(FirmwareDownload, FileReadFailureEndsTheProgram) {
    std::string path = WriteFile(1024);
    loader.afterStart = [&] { fs::resize_file(path, 100); };
    EXPECT_FALSE(board.DownloadFirmware(path));
    EXPECT_EQ(loader.blocks.size(), 0u);
    ExpectOneMessage("Error - File Read Fail", true);
}

TEST_F(FirmwareDownload, DataWriteFailureEndsTheProgram) {
    loader.afterStart = [this] { line.writeLimit = 100; };
    EXPECT_FALSE(board.DownloadFirmware(WriteFile(1024)));
    EXPECT_EQ(loader.blocks.size(), 1u);
    ExpectOneMessage("Error - USB Data Write fail", true);
}

TEST_F(FirmwareDownload, StartRequestWriteFailureIsReportedWithoutEndingTheProgram) {
    line.writeLimit = 1;
    EXPECT_FALSE(board.DownloadFirmware(WriteFile(1024)));
    ExpectOneMessage("Error - USB Command Write fail", false);
}

TEST_F(FirmwareDownload, QuietFailures) {
    // A missing file, or a board that does not accept the firmware, fail without a message.
    EXPECT_FALSE(board.DownloadFirmware((folder.Path() / "missing").string()));
    EXPECT_TRUE(line.written.empty());
    loader.verdict = 0x11;
    EXPECT_FALSE(board.DownloadFirmware(WriteFile(700)));
    EXPECT_EQ(loader.blocks.size(), 2u);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_FALSE(prompts.QuitPosted());
}

TEST_F(FirmwareDownload, LoadFirmwareTakesTheFileFromTheProgramDirectory) {
    WriteFile(1024, "HK8051B-SCRIPT_F2.1.0");
    board.SetProgramDirectory(folder.Path().string());
    ASSERT_TRUE(board.LoadFirmware("HK8051B-SCRIPT_F2.1.0"));
    EXPECT_EQ(loader.blocks.size(), 3u);
    EXPECT_TRUE(progress.created);
    EXPECT_EQ(progress.caption, "Flashing Device...");
    EXPECT_EQ(progress.rangeLow, 0);
    EXPECT_EQ(progress.rangeHigh, 100);
    EXPECT_EQ(progress.positions.back(), 100);
    EXPECT_TRUE(progress.destroyed);
    EXPECT_EQ(clock.SleptMs(), 100u + 300u);
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(FirmwareDownload, LoadFirmwareFailureSaysSoAndClosesTheBar) {
    board.SetProgramDirectory(folder.Path().string());
    EXPECT_FALSE(board.LoadFirmware("HK8051B-SCRIPT_F9.9.9"));
    ExpectOneMessage("Unable to load the firmware...", false);
    EXPECT_TRUE(progress.created);
    EXPECT_TRUE(progress.destroyed);
    EXPECT_EQ(clock.SleptMs(), 0u);
}

TEST_F(FirmwareDownload, LoadFirmwareAfterAReportedFailureShowsBothMessages) {
    WriteFile(1024);
    board.SetProgramDirectory(folder.Path().string());
    loader.request = [](int) { return 0x00; };
    EXPECT_FALSE(board.LoadFirmware("HK8051B-SCRIPT_F1.2.3"));
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[0].text, "Error - Wrong request code: 0, 0x00");
    EXPECT_EQ(prompts.messages[1].text, std::string(kMsgUnableToLoadFirmware));
}

}  // namespace
