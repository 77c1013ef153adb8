// The "Kernlet Load" page against the simulated board: the paced byte stream, every message of
// the load, both verifications, the status wait, the Kernlet-loaded flag, settings and Browse.
#include "core/ExitCodes.h"
#include "link/Messages.h"
#include "loading/Kernlet.h"
#include "loading/KernletTexts.h"
#include "registers/ZLINKControl.h"
#include "tests/loading/KernletTestSupport.h"

#include <gtest/gtest.h>

namespace {

using kltest::KernletHost;
using kltest::RecordingChecksumsPrompt;
using kltest::TempFiles;

const char* const kNoCommunication =
    "Error - Unable to communicate with KOVA kit\nCheck connections and restart the program";

// Two blocks (0x0100: 1122 3344; 0x0200: AABB) whose checksums follow the simulated device's
// rule, and the end record 0x0100.
std::string TwoBlockFile() {
    const sim::KernletChecksum c1 = sim::BlockChecksum(0x0100, std::vector<uint16_t>{0x1122, 0x3344});
    const sim::KernletChecksum c2 = sim::BlockChecksum(0x0200, std::vector<uint16_t>{0xAABB});
    char text[512];
    std::snprintf(text, sizeof text,
                  "#define N_DB 0x03\n"
                  "#define DB1_ADDRESS 0x0100\n#define DB1_LENGTH 0x0002\n#define DB1_CSH 0x%04X\n#define "
                  "DB1_CSL 0x%04X\n"
                  "const unsigned short DB1[] = { 0x1122, 0x3344 };\n"
                  "#define DB2_ADDRESS 0x0200\n#define DB2_LENGTH 0x0001\n#define DB2_CSH 0x%04X\n#define "
                  "DB2_CSL 0x%04X\n"
                  "const unsigned short DB2[] = { 0xAABB };\n"
                  "#define KERNLET_START 0x0100\n",
                  c1.high, c1.low, c2.high, c2.low);
    return text;
}

// The PC's side of loading TwoBlockFile into device 1: reset and load start, then each paced
// write as its count byte and data.
const char* const kResetAndStart = "7E 01 01 7E 15 01";
const std::vector<std::string> kTwoBlockWrites = {
    "01 01", "01 00", "01 00", "01 02", "04 11 22 33 44",  // block 1: address, length, two words
    "01 02", "01 00", "01 00", "01 01", "02 AA BB",  // block 2
    "01 01", "01 00", "01 00", "01 00",  // end record 0x0100, 00, 00
};

// The stream up to (not including) paced write `count`.
std::string TwoBlockStream(size_t count = kTwoBlockWrites.size()) {
    std::string s = kResetAndStart;
    for (size_t i = 0; i < count; ++i) s += " " + kTwoBlockWrites[i];
    return s;
}

const char* const kRegisterReads = "7E 05 C5 01 7E 05 C9 01 7E 05 B8 01 7E 05 B9 01 7E 05 A9 01 7E 05 AA 01";

struct PageUnderTest {
    explicit PageUnderTest(KernletHost& host) : page(host) {
        page.SetProgressBar(&bar);
        page.SetChecksumsPrompt(&prompt);
        page.OnInitDialog();
    }
    RecordingProgress bar;
    RecordingChecksumsPrompt prompt;
    CKernlet page;
};

TEST(KernletLoad, TwoBlockFileGoesOutPacedAndVerifiesByRegisters) {
    TempFiles files;
    KernletHost host;
    PageUnderTest t(host);
    t.page.kernletPath = files.Write("two.h", TwoBlockFile());

    EXPECT_EQ(t.page.OnLoad(), KernletResult::Ok);
    EXPECT_EQ(host.TakeWritten(), TwoBlockStream() + " " + kRegisterReads);
    // The board: two acknowledgements, 0x12 before each of the 14 writes, 0x10 after the last.
    std::string pacing = "7E 7E";
    for (int i = 0; i < 13; ++i) pacing += " 12";
    EXPECT_EQ(host.TakeRead().substr(0, pacing.size() + 6), pacing + " 12 10");

    ASSERT_EQ(host.prompts.messages.size(), 1u);
    EXPECT_EQ(host.prompts.messages[0].text,
              "Kernlet Load complete\nProductID ($C5): 0x0805 \nKL Version ($C9): 0x0103");
    EXPECT_EQ(host.prompts.messages[0].caption, "Kernlet Load");
    EXPECT_EQ(host.prompts.messages[0].icon, MsgIcon::Information);
    EXPECT_TRUE(t.prompt.shown.empty());
    EXPECT_TRUE(host.KernletLoaded(1));
    EXPECT_FALSE(host.prompts.QuitPosted());
    EXPECT_EQ(t.page.BlockCount(), 2u);
    EXPECT_EQ(t.bar.positions.front(), 0);
    EXPECT_EQ(t.bar.positions.back(), 0);
    EXPECT_NE(std::find(t.bar.positions.begin(), t.bar.positions.end(), 100), t.bar.positions.end());
    EXPECT_GE(host.clock.SleptMs(), 100u) << "the wait after the reset";
    // Each block counts once the next record begins; over before the completion message.
    EXPECT_EQ(host.progressSink.events,
              (std::vector<std::string>{"Begin Loading Kernlet 2 blocks", "Advance 1", "Advance 2",
                                        "End after 0 messages"}));

    const auto& kernlet = host.simBoard.Device(1).Kernlet();
    ASSERT_TRUE(kernlet.has_value());
    EXPECT_EQ(kernlet->blocks.size(), 2u);
    EXPECT_EQ(kernlet->finalAddress, 0x0100);
}

struct RefusalCase {
    long chunk;  // the paced write the board refuses, counted from 0
    const char* message;
};

TEST(KernletLoad, EachRefusalNamesTheWriteItHit) {
    const RefusalCase cases[] = {
        {0, "Error - Unable to load Kernlet - WT_KL_LOAD_FAIL 6"},
        {1, "Error - Unable to load Kernlet - WT_KL_LOAD_FAIL 7"},
        {2, "Error - Unable to load Kernlet - WT_KL_LOAD_FAIL 8"},
        {3, "Error - Unable to load Kernlet - WT_KL_LOAD_FAIL 9"},
        {4, "Error - Unable to load Kernlet - WT_KL_LOAD_FAIL"},
        {9, "Error - Unable to load Kernlet - WT_KL_LOAD_FAIL"},
        {10, "Error - Unable to load Kernlet - WT_KL_LOAD_FAIL 2"},
        {11, "Error - Unable to load Kernlet - WT_KL_LOAD_FAIL 3"},
        {12, "Error - Unable to load Kernlet - WT_KL_LOAD_FAIL 4"},
        {13, "Error - Unable to load Kernlet - WT_KL_LOAD_FAIL 5"},
    };
    TempFiles files;
    const std::string path = files.Write("two.h", TwoBlockFile());
    for (const RefusalCase& c : cases) {
        KernletHost host;
        host.simBoard.faults().refusals = 1;
        host.simBoard.faults().refusalChunk = c.chunk;
        PageUnderTest t(host);
        t.page.kernletPath = path;
        EXPECT_EQ(t.page.OnLoad(), KernletResult::Refused) << c.chunk;
        ASSERT_EQ(host.prompts.messages.size(), 1u) << c.chunk;
        EXPECT_EQ(host.prompts.messages[0].text, c.message) << c.chunk;
        EXPECT_EQ(host.prompts.messages[0].caption, "Error");
        EXPECT_EQ(host.prompts.messages[0].icon, MsgIcon::Error);
        EXPECT_FALSE(host.prompts.QuitPosted()) << "a refusal ends only the load";
        ASSERT_FALSE(host.progressSink.events.empty());
        EXPECT_EQ(host.progressSink.events.back(), "End after 0 messages") << c.chunk;
        EXPECT_EQ(t.bar.pos, 0);
        EXPECT_FALSE(host.KernletLoaded(1));
        EXPECT_FALSE(host.simBoard.Device(1).Kernlet().has_value());
        // Nothing was sent after the refused write's pacing byte.
        EXPECT_EQ(host.TakeWritten(), TwoBlockStream(static_cast<size_t>(c.chunk))) << c.chunk;
    }
}

TEST(KernletLoad, CommunicationFailuresShowTheirMessageAndQuit) {
    TempFiles files;
    const std::string path = files.Write("two.h", TwoBlockFile());
    struct Case {
        const char* name;
        bool noReply;
        long muteAfter;  // bytes the PC writes before the line goes dead
        const char* message;
        bool begun;  // the load start was sent
    };
    const Case cases[] = {
        {"reset unanswered", true, -1,
         "Error - Unable to communicate with HK61477 kit\nCheck connections and restart the program", false},
        {"load start unanswered", false, 6, kNoCommunication, true},
        {"no pacing byte for a block header", false, 8, kNoCommunication, true},
        {"no pacing byte for a data chunk", false, 14, kNoCommunication, true},
        {"no pacing byte for the end record", false, 30, kNoCommunication, true},
        {"completion reply lost", false, 38, kNoCommunication, true},
    };
    for (const Case& c : cases) {
        KernletHost host;
        host.simBoard.faults().noReply = c.noReply;
        host.muteAfter = c.muteAfter;
        host.SetKernletLoaded(1, true);
        PageUnderTest t(host);
        t.page.kernletPath = path;
        EXPECT_EQ(t.page.OnLoad(), KernletResult::LostBoard) << c.name;
        ASSERT_EQ(host.prompts.messages.size(), 1u) << c.name;
        EXPECT_EQ(host.prompts.messages[0].text, c.message) << c.name;
        EXPECT_EQ(host.prompts.messages[0].caption, "Error");
        EXPECT_EQ(host.prompts.messages[0].icon, MsgIcon::Error);
        EXPECT_EQ(host.prompts.quitCodes, std::vector<int>{kExitLostBoard}) << c.name;
        EXPECT_EQ(host.KernletLoaded(1), !c.begun)
            << c.name << ": the flag is cleared before the load starts";
    }

    // A port that fails outright (the adapter was pulled) is a lost board too, with the port's
    // words beneath the message.
    KernletHost host;
    host.simBoard.faults().closeAfterBytes = 16;
    PageUnderTest t(host);
    t.page.kernletPath = path;
    EXPECT_EQ(t.page.OnLoad(), KernletResult::LostBoard);
    ASSERT_EQ(host.prompts.messages.size(), 1u);
    EXPECT_EQ(host.prompts.messages[0].text, kNoCommunication);
    EXPECT_NE(host.prompts.messages[0].detail, "");
    EXPECT_EQ(host.prompts.quitCodes, std::vector<int>{kExitLostBoard});
}

// TwoBlockFile with `from` replaced by `to`.
std::string TwoBlockFileWith(const std::string& from, const std::string& to) {
    std::string text = TwoBlockFile();
    text.replace(text.find(from), from.size(), to);
    return text;
}

TEST(KernletLoad, FilesThatNeverCompleteAreRefusedBeforeAnythingIsSent) {
    struct Case {
        const char* name;
        std::string text;
        const char* message;
    };
    const Case cases[] = {
        {"a surplus word on the block's last line", TwoBlockFileWith("{ 0xAABB }", "{ 0xAABB, 0xCCCC }"),
         "Error - Block 2 of the Kernlet file never completes: its length is 1 words, and the line with its "
         "last "
         "word holds more"},
        {"the file ends inside a block",
         TwoBlockFileWith("0x0001\n#define DB2_CSH", "0x0005\n#define DB2_CSH")
             .substr(0, TwoBlockFile().find("#define KERNLET_START")),
         "Error - Block 2 of the Kernlet file never completes: the file ends after 1 of its 5 words"},
        // The start address is read as a third block's address; the file ends in its header.
        {"a block count one too large", TwoBlockFileWith("N_DB 0x03", "N_DB 0x04"),
         "Error - The Kernlet file has no end record after block 2: its \"#define N_DB\" line counts 4 "
         "records, "
         "the end record included"},
        // Two characters are read: 0x0003 is 0, and no end record ever comes.
        {"a block count of four digits", TwoBlockFileWith("N_DB 0x03", "N_DB 0x0003"),
         "Error - The Kernlet file has no end record after block 2: its \"#define N_DB\" line counts 0 "
         "records, "
         "the end record included"},
        {"no block count", TwoBlockFileWith("#define N_DB 0x03\n", ""),
         "Error - The Kernlet file has no \"#define N_DB\" line"},
        {"a block count without 0x", TwoBlockFileWith("N_DB 0x03", "N_DB 3"),
         "Error - The \"#define N_DB\" line of the Kernlet file has no 0x value"},
        {"a length without 0x", TwoBlockFileWith("DB2_LENGTH 0x0001", "DB2_LENGTH 1"),
         "Error - Block 2 of the Kernlet file: its length line has no 0x value"},
    };
    TempFiles files;
    for (const Case& c : cases) {
        KernletHost host;
        PageUnderTest t(host);
        t.page.kernletPath = files.Write("k.h", c.text);
        EXPECT_EQ(t.page.OnLoad(), KernletResult::Invalid) << c.name;
        EXPECT_EQ(host.Requests(), std::vector<std::string>{}) << c.name << ": not even the reset";
        ASSERT_EQ(host.prompts.messages.size(), 1u) << c.name;
        EXPECT_EQ(host.prompts.messages[0].text, c.message) << c.name;
        EXPECT_EQ(host.prompts.messages[0].caption, "Error");
        EXPECT_EQ(host.prompts.messages[0].icon, MsgIcon::Error);
        EXPECT_FALSE(host.prompts.QuitPosted()) << c.name;
        // The load without the page's first look refuses the file the same way.
        KernletHost direct;
        PageUnderTest d(direct);
        d.page.kernletPath = t.page.kernletPath;
        EXPECT_EQ(d.page.LoadKernletFile(1), KernletResult::Invalid) << c.name;
        EXPECT_EQ(direct.Requests(), std::vector<std::string>{}) << c.name;
        ASSERT_EQ(direct.prompts.messages.size(), 1u) << c.name;
        EXPECT_EQ(direct.prompts.messages[0].text, c.message) << c.name;
    }
}

TEST(KernletLoad, FileProblemsAreReportedBeforeTheTransfer) {
    TempFiles files;
    sim::KernletSampleSpec big;
    big.blocks = 51;
    big.wordsPerBlock = 4;
    sim::KernletSampleSpec fifty = big;
    fifty.blocks = 50;
    struct Case {
        const char* name;
        std::string path;
        const char* message;
        const char* requests;  // what reached the board
        KernletResult result;
    };
    const Case cases[] = {
        {"no file chosen", "", "Error - Select Kernlet", "", KernletResult::Invalid},
        {"file missing", (files.Path() / "missing.h").string(), "Error - Cannot open the specified file",
         "7E 01 01", KernletResult::Invalid},
        {"a folder", files.Path().string(), "Error - Cannot open the specified file", "7E 01 01",
         KernletResult::Invalid},
        // Opens, then every read fails (EIO), as a pulled USB stick does.
        {"a read error", "/proc/self/mem", "Error - Cannot open the specified file", "7E 01 01",
         KernletResult::Invalid},
        {"a UTF-8 byte-order mark at the start", files.Write("bom.h", "\xEF\xBB\xBF" + TwoBlockFile()), "",
         "7E 01 01 | 7E 15 01", KernletResult::Ok},
        {"51 blocks", files.Sample("big.h", big),
         "Error - The Kernlet file has 51 blocks; at most 50 blocks can be loaded", "",
         KernletResult::Invalid},
        {"50 blocks load", files.Sample("fifty.h", fifty), "", "7E 01 01 | 7E 15 01", KernletResult::Ok},
    };
    for (const Case& c : cases) {
        KernletHost host;
        PageUnderTest t(host);
        t.page.kernletPath = c.path;
        EXPECT_EQ(t.page.OnLoad(), c.result) << c.name;
        std::string requests;
        for (size_t i = 0; i < host.Requests().size() && i < 2; ++i)
            requests += (i ? " | " : "") + host.Requests()[i];
        EXPECT_EQ(requests, c.requests) << c.name;
        if (*c.message) {
            ASSERT_EQ(host.prompts.messages.size(), 1u) << c.name;
            EXPECT_EQ(host.prompts.messages[0].text, c.message) << c.name;
            EXPECT_EQ(host.prompts.messages[0].caption, "Error");
            EXPECT_EQ(host.prompts.messages[0].icon, MsgIcon::Error);
        } else {
            ASSERT_EQ(host.prompts.messages.size(), 1u) << c.name;
            EXPECT_EQ(host.prompts.messages[0].caption, "Kernlet Load") << c.name;
        }
        EXPECT_FALSE(host.prompts.QuitPosted()) << c.name;
    }
}

TEST(KernletLoad, DifferingChecksumsAskAndIgnoreFinishesWhileCancelEndsQuietly) {
    TempFiles files;
    sim::KernletSampleSpec spec;
    spec.blocks = 3;
    spec.corruptBlock = 1;
    const std::string path = files.Sample("bad.h", spec);
    for (const bool ignore : {true, false}) {
        KernletHost host;
        PageUnderTest t(host);
        t.prompt.ignore = ignore;
        t.page.kernletPath = path;
        EXPECT_EQ(t.page.OnLoad(), ignore ? KernletResult::Ok : KernletResult::Cancelled);
        ASSERT_EQ(t.prompt.shown.size(), 1u);
        // The dialog shows what the device computed.
        const auto& device = host.Device(1).Checksums();
        EXPECT_EQ(t.prompt.shown[0].block1, device[0].Value());
        EXPECT_EQ(t.prompt.shown[0].block2, device[1].Value());
        EXPECT_NE(t.page.Blocks()[1].Checksum(), device[1].Value());
        EXPECT_TRUE(t.page.ChecksumsDiffered());
        if (ignore) {
            ASSERT_EQ(host.prompts.messages.size(), 1u);
            EXPECT_EQ(host.prompts.messages[0].caption, "Kernlet Load");
            EXPECT_TRUE(host.KernletLoaded(1));
        } else {
            EXPECT_TRUE(host.prompts.messages.empty());
            EXPECT_FALSE(host.KernletLoaded(1));
        }
        EXPECT_EQ(t.bar.pos, 0);
    }
}

TEST(KernletLoad, ABlockTheFileDoesNotHaveCountsAsZero) {
    TempFiles files;
    sim::KernletSampleSpec two;
    sim::KernletSampleSpec one;
    one.blocks = 1;
    one.seed = 7;
    KernletHost host;
    PageUnderTest t(host);
    // A two-block load first fills the table; the one-block load after it must not compare
    // the old second block with the device's 0.
    t.page.kernletPath = files.Sample("two.h", two);
    ASSERT_EQ(t.page.OnLoad(), KernletResult::Ok);
    t.page.kernletPath = files.Sample("one.h", one);
    EXPECT_EQ(t.page.OnLoad(), KernletResult::Ok);
    EXPECT_TRUE(t.prompt.shown.empty());
    EXPECT_EQ(t.page.BlockCount(), 1u);
    EXPECT_EQ(host.simBoard.Register(1, 0xA9), 0);
    EXPECT_EQ(host.simBoard.Register(1, 0xAA), 0);
}

struct OptionsCase {
    uint8_t device;
    uint8_t options;
    bool replyWords;
};

TEST(KernletLoad, KernletOptionsChooseTheVerification) {
    const OptionsCase cases[] = {
        {1, 0x00, false}, {1, 0x01, true}, {1, 0x02, false}, {2, 0x01, false},
        {2, 0x02, true},  {3, 0x01, true}, {3, 0x04, false}, {3, 0x02, true},
    };
    TempFiles files;
    const std::string path = files.Sample("k.h", {});
    for (const OptionsCase& c : cases) {
        KernletHost host;
        host.kernletOptions = c.options;
        PageUnderTest t(host);
        t.page.kernletPath = path;
        t.page.device1 = c.device == 1;
        t.page.device2 = c.device == 2;
        EXPECT_EQ(t.page.OnLoad(), KernletResult::Ok);
        ASSERT_EQ(host.prompts.messages.size(), 1u);
        const char* expected =
            c.replyWords ? "Kernlet Load complete\nProductID: 0x0805 \nKL Version: 0x0103"
                         : "Kernlet Load complete\nProductID ($C5): 0x0805 \nKL Version ($C9): 0x0103";
        EXPECT_EQ(host.prompts.messages[0].text, expected) << int{c.device} << " " << int{c.options};
        EXPECT_EQ(host.simBoard.Device(c.device).Kernlet().has_value(), true);
    }
}

TEST(KernletLoad, ReplyWordsThenTheStatusWaitThenProductAndVersion) {
    TempFiles files;
    KernletHost host;
    host.kernletOptions = 1;
    PageUnderTest t(host);
    t.page.kernletPath = files.Write("two.h", TwoBlockFile());
    EXPECT_EQ(t.page.OnLoad(), KernletResult::Ok);
    EXPECT_EQ(host.TakeWritten(),
              TwoBlockStream() +
                  " 7E 05 4D 01 7E 05 4D 01 7E 05 4D 01 7E 05 4D 01"  // two blocks, two words each
                  " 7E 05 7E 01 7E 05 7E 01 7E 05 7E 01"  // started on the third look
                  " 7E 05 4D 01 7E 05 4D 01");  // product ID, version
    ASSERT_EQ(host.prompts.messages.size(), 1u);
    EXPECT_EQ(host.prompts.messages[0].caption, "Kernlet Load");
    EXPECT_EQ(host.prompts.messages[0].icon, MsgIcon::Information);
    EXPECT_FALSE(t.page.ChecksumsDiffered());
    EXPECT_EQ(t.bar.pos, 0);
}

TEST(KernletLoad, ReplyWordDifferenceWarnsAndGoesOn) {
    TempFiles files;
    sim::KernletSampleSpec spec;
    spec.corruptBlock = 0;
    KernletHost host;
    host.kernletOptions = 1;
    host.Device(1).Behaviour().startedBit = 0x4000;
    PageUnderTest t(host);
    t.page.kernletPath = files.Sample("bad.h", spec);
    EXPECT_EQ(t.page.OnLoad(), KernletResult::Ok);
    ASSERT_EQ(host.prompts.messages.size(), 2u);
    EXPECT_EQ(host.prompts.messages[0].text, "Checksums do not match");
    EXPECT_EQ(host.prompts.messages[0].caption, "Warning");
    EXPECT_EQ(host.prompts.messages[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(host.prompts.messages[1].text, "Kernlet Load complete\nProductID: 0x0805 \nKL Version: 0x0103");
    EXPECT_TRUE(t.page.ChecksumsDiffered());
    EXPECT_TRUE(t.prompt.shown.empty()) << "the reply-word check has no dialog";
}

TEST(KernletLoad, KernletThatNeverStartsFailsAfterTwoSeconds) {
    TempFiles files;
    const std::string path = files.Sample("k.h", {});
    // The same load twice: with a Kernlet that starts at the first look at its status, and
    // with one that never starts. The difference is the two seconds of waiting.
    KernletHost quick;
    quick.kernletOptions = 1;
    quick.Device(1).Behaviour().startsAtStatusRead = 1;
    PageUnderTest q(quick);
    q.page.kernletPath = path;
    ASSERT_EQ(q.page.LoadKernletFile(1), KernletResult::Ok);

    KernletHost host;
    host.kernletOptions = 1;
    host.Device(1).Behaviour().startsAtStatusRead = 0;
    PageUnderTest t(host);
    t.page.kernletPath = path;
    ASSERT_EQ(t.page.LoadKernletFile(1), KernletResult::Failed);
    ASSERT_EQ(host.prompts.messages.size(), 1u);
    EXPECT_EQ(host.prompts.messages[0].text, "Error - Unable to load Kernlet - WT_KL_LOAD_FAIL 11");
    EXPECT_EQ(host.prompts.messages[0].caption, "Error");
    EXPECT_EQ(host.prompts.messages[0].icon, MsgIcon::Error);
    EXPECT_FALSE(host.prompts.QuitPosted());
    EXPECT_EQ(t.bar.pos, 0);

    size_t statusReads = 0, replyReads = 0;
    for (const std::string& r : host.Requests()) {
        statusReads += r == "7E 05 7E 01";
        replyReads += r == "7E 05 4D 01";
    }
    EXPECT_GT(statusReads, 100u) << "the status is polled, not looked at once";
    EXPECT_EQ(replyReads, 4u) << "no product ID or version after the failure";
    const int64_t extra =
        static_cast<int64_t>(host.clock.NowMs()) - static_cast<int64_t>(quick.clock.NowMs());
    EXPECT_GE(extra, 2000 - 20);
    EXPECT_LE(extra, 2000 + 20);
}

TEST(KernletLoad, StatusWaitEndsOnADeadLine) {
    // The line dies after the reply words: every status read fails at once, unreported; the
    // wait still ends after two seconds.
    TempFiles files;
    KernletHost host;
    host.kernletOptions = 1;
    host.muteAfter = static_cast<long>(TwoBlockStream().size() + 1) / 3 + 4 * 4 + 1;
    PageUnderTest t(host);
    t.page.kernletPath = files.Write("two.h", TwoBlockFile());
    EXPECT_EQ(t.page.OnLoad(), KernletResult::Failed);
    ASSERT_EQ(host.prompts.messages.size(), 1u);
    EXPECT_EQ(host.prompts.messages[0].text, "Error - Unable to load Kernlet - WT_KL_LOAD_FAIL 11");
}

TEST(KernletLoad, LoadedFlagAndTheResetWaitWorkTogether) {
    TempFiles files;
    KernletHost host;
    PageUnderTest t(host);
    t.page.kernletPath = files.Sample("k.h", {});
    host.SetKernletLoaded(1, true);  // from an earlier run: the load clears it first
    host.simBoard.faults().refusals = 1;
    host.simBoard.faults().refusalChunk = 0;
    ASSERT_EQ(t.page.OnLoad(), KernletResult::Refused);
    EXPECT_FALSE(host.KernletLoaded(1));
    host.simBoard.faults().refusals = 0;
    // The refused transfer is still open on the board until two seconds of silence end it,
    // as they do while the user reads the message.
    host.clock.Advance(sim::Board::kAbandonMicroseconds / 1000);
    ASSERT_EQ(t.page.OnLoad(), KernletResult::Ok);
    ASSERT_TRUE(host.KernletLoaded(1));

    // The general reset now waits for the Kernlet to restart, which the device does at once.
    CZLINKControl control(host);
    host.prompts.messages.clear();
    const size_t before = host.Requests().size();
    EXPECT_EQ(control.GenReset(), PageResult::Ok);
    EXPECT_TRUE(host.prompts.messages.empty());
    ASSERT_EQ(host.Requests().size(), before + 2);
    EXPECT_EQ(host.Requests()[before], "7E 01 01");
    EXPECT_EQ(host.Requests()[before + 1], "7E 05 C6 01");
}

TEST(KernletPage, SettingsAtStartAndBrowse) {
    struct Case {
        const char* name;
        bool failOpen, failQuery, failSet;
        const char* stored;  // null: no value yet
        const char* message;
        const char* workingDirectory;
    };
    const Case cases[] = {
        {"first start creates the value", false, false, false, nullptr, "", ""},
        {"stored folder", false, false, false, "/data/kernlets/", "", "/data/kernlets/"},
        {"empty stored value", false, false, false, "", "", ""},
        {"key fails", true, false, false, nullptr, "Error - Cannot create registry key", ""},
        {"value cannot be created", false, false, true, nullptr, "Error - Cannot create registry entry", ""},
        {"value cannot be read", false, true, false, "/x/", "Error - Cannot read registry entry", ""},
    };
    for (const Case& c : cases) {
        KernletHost host;
        host.store.failOpen = c.failOpen;
        if (c.failQuery) host.store.failQuery.insert("WorkingDirectoryKL");
        if (c.failSet) host.store.failSet.insert("WorkingDirectoryKL");
        if (c.stored) host.store.tabs["ImageTab"]["WorkingDirectoryKL"] = c.stored;
        CKernlet page(host);
        page.OnInitDialog();
        EXPECT_EQ(host.store.openedTabs, std::vector<std::string>{"ImageTab"}) << c.name;
        EXPECT_EQ(page.workingDirectory, c.workingDirectory) << c.name;
        EXPECT_TRUE(page.device1) << c.name;
        if (*c.message) {
            ASSERT_EQ(host.prompts.messages.size(), 1u) << c.name;
            EXPECT_EQ(host.prompts.messages[0].text, c.message) << c.name;
            EXPECT_EQ(host.prompts.messages[0].caption, "Error");
        } else {
            EXPECT_TRUE(host.prompts.messages.empty()) << c.name;
            EXPECT_TRUE(host.store.String("ImageTab", "WorkingDirectoryKL").has_value()) << c.name;
        }
    }

    KernletHost host;
    host.store.tabs["ImageTab"]["WorkingDirectoryKL"] = "/old/";
    CKernlet page(host);
    page.OnInitDialog();
    host.prompts.filePaths = {std::nullopt, std::string("/new/place/image.h")};
    EXPECT_FALSE(page.OnBrowse());
    EXPECT_EQ(page.kernletPath, "");
    EXPECT_TRUE(page.OnBrowse());
    ASSERT_EQ(host.prompts.fileDialogs.size(), 2u);
    const FileDialogSpec& spec = host.prompts.fileDialogs[0];
    EXPECT_EQ(spec.title, "Select Kernlet");
    EXPECT_EQ(spec.filter, "All files (*.*)|*.*||");
    EXPECT_EQ(spec.defaultExtension, "*.*");
    EXPECT_EQ(spec.initialDirectory, "/old/");
    EXPECT_EQ(page.kernletPath, "/new/place/image.h");
    EXPECT_EQ(page.workingDirectory, "/new/place/");
    EXPECT_EQ(host.store.String("ImageTab", "WorkingDirectoryKL"), "/new/place/");

    // A folder that cannot be stored is reported; the chosen file stays chosen.
    host.store.failSet.insert("WorkingDirectoryKL");
    host.prompts.filePaths = {std::string("/other/image.h")};
    EXPECT_TRUE(page.OnBrowse());
    EXPECT_EQ(page.kernletPath, "/other/image.h");
    ASSERT_EQ(host.prompts.messages.size(), 1u);
    EXPECT_EQ(host.prompts.messages[0].text, "Error - Cannot create registry entry");
    EXPECT_EQ(host.store.String("ImageTab", "WorkingDirectoryKL"), "/new/place/");

    // Without a stored folder the dialog starts in the current one.
    KernletHost fresh;
    CKernlet first(fresh);
    first.OnInitDialog();
    first.OnBrowse();
    ASSERT_EQ(fresh.prompts.fileDialogs.size(), 1u);
    EXPECT_EQ(fresh.prompts.fileDialogs[0].initialDirectory, std::filesystem::current_path().string());
}

TEST(KernletLoad, LargeSampleLoadsCleanlyOnEveryDevice) {
    TempFiles files;
    sim::KernletSampleSpec spec;
    spec.blocks = 50;
    spec.wordsPerBlock = 300;
    const std::string path = files.Sample("large.h", spec);
    for (uint8_t device = 1; device <= 3; ++device) {
        KernletHost host;
        PageUnderTest t(host);
        t.page.kernletPath = path;
        t.page.device1 = device == 1;
        t.page.device2 = device == 2;
        ASSERT_EQ(t.page.OnLoad(), KernletResult::Ok);
        EXPECT_TRUE(t.prompt.shown.empty());
        const auto& kernlet = host.simBoard.Device(device).Kernlet();
        ASSERT_TRUE(kernlet.has_value());
        ASSERT_EQ(kernlet->blocks.size(), 50u);
        for (size_t b = 0; b < 50; ++b) {
            EXPECT_EQ(host.Device(device).Checksums()[b].Value(), t.page.Blocks()[b].Checksum()) << b;
        }
        // The bar stepped its way to 100 on the way.
        EXPECT_GT(t.bar.positions.size(), 100u);
        EXPECT_TRUE(host.KernletLoaded(device));
    }
}

}  // namespace
