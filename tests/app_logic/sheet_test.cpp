#include "app/TR805QSheet.h"
#include "core/ExitCodes.h"
#include "link/Messages.h"
#include "sim/FirmwareImage.h"
#include "tests/support/app/AppTestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(SheetTitle, BoardNameAndPort) {
    EXPECT_EQ(CTR805QSheet::FormatTitle("", 3), "QVR HK8051B Evaluation (COM3)");
    EXPECT_EQ(CTR805QSheet::FormatTitle("BENCH2", 12),
              "QVR HK8051B Evaluation            MB805Q Name:BENCH2 (COM12)");
}

TEST(SheetRelayout, OnlyMovesBetweenTableAndOtherTabsResize) {
    struct Move {
        int from, to, delta;
    };
    const Move moves[] = {{2, 1, 0}, {1, 2, 0},   {1, 3, -148}, {3, 2, 148}, {0, 4, 0},
                          {4, 0, 0}, {0, 1, 148}, {2, 0, -148}, {4, 2, 148}, {1, 4, -148}};
    for (const Move& m : moves) {
        EXPECT_EQ(CTR805QSheet::RelayoutDelta(m.from, m.to), m.delta) << m.from << "->" << m.to;
    }
}

class SheetTest : public ::testing::Test {
protected:
    explicit SheetTest(sim::BoardConfig config = {}) : rig(config) {}

    CTR805QSheet& Sheet() {
        if (!sheet_) sheet_ = std::make_unique<CTR805QSheet>(rig.Platform(), window);
        return *sheet_;
    }
    // Connects on COM3, the simulated board's port.
    bool Start() {
        window.portAnswers.push_back(FakeSheetWindow::Choose("COM3"));
        return Sheet().Initialise();
    }
    // The loader-wait thread's message, delivered as the window's thread would.
    void DeliverLoaderReady() {
        Sheet().JoinLoaderWait();
        ASSERT_EQ(window.loaderReadyPosts.load(), 1);
        Sheet().OnLoaderReady();
    }
    void PutFirmwareFile(uint8_t kind, uint8_t major, uint8_t minor) {
        sim::FirmwareIdentity id;
        id.kind = kind;
        id.major = major;
        id.minor = minor;
        id.code = 0x2A;
        ASSERT_TRUE(sim::WriteFirmwareFile(rig.programDir, id, 20000).has_value());
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (const ShownMessage& m : rig.prompts.messages) t.push_back(m.text);
        return t;
    }

    SimRig rig;
    FakeSheetWindow window;
    std::unique_ptr<CTR805QSheet> sheet_;
};

TEST_F(SheetTest, StartConnectsIdentifiesAndBuildsTheWindow) {
    ASSERT_TRUE(Start());
    CTR805QSheet& s = Sheet();
    EXPECT_TRUE(rig.prompts.messages.empty());
    EXPECT_FALSE(rig.prompts.QuitPosted());
    EXPECT_EQ(s.BoardKind(), 0x111);
    EXPECT_EQ(window.aboutEntry, std::optional<std::string>("&About TR8051B"));
    EXPECT_EQ(window.enables, 1);
    ASSERT_FALSE(window.titles.empty());
    EXPECT_EQ(window.titles.back(), "QVR HK8051B Evaluation (COM3)");
    // Built for the tall table pages, then shrunk to tab 0.
    EXPECT_EQ(window.resizes, std::vector<int>{-148});
    EXPECT_EQ(s.LayoutTab(), 0);

    EXPECT_EQ(rig.requests, (std::vector<std::string>{"7E 0F", "7E 41 00", "7E 43 00"}));
    const sim::BoardConfig& c = rig.simBoard.config();
    EXPECT_EQ(s.Info().versionMajor, c.versionMajor);
    EXPECT_EQ(s.Info().commandBufferSize, c.commandBufferSize);
    EXPECT_EQ(s.Info().fileBufferSize, c.fileBufferSize);
    EXPECT_EQ(s.Version().firmwareKind, c.firmwareKind);
    EXPECT_EQ(s.Version().versionMinor, c.firmwareMinor);
    EXPECT_EQ(s.Code(), c.firmwareCode);
    EXPECT_EQ(s.FoundFirmwareFile().found, 0);

    const SerialTimeouts t = s.Board().Link().Port().GetTimeouts();
    EXPECT_EQ(t.readInterval, 500u);
    EXPECT_EQ(t.readTotalMultiplier, 1u);
    EXPECT_EQ(t.readTotalConstant, 500u);
    EXPECT_EQ(t.writeTotalMultiplier, 1u);
    EXPECT_EQ(t.writeTotalConstant, 500u);
}

TEST_F(SheetTest, CancelInThePortDialogEndsTheProgramWithCode2) {
    window.portAnswers.push_back(FakeSheetWindow::Cancel());
    EXPECT_FALSE(Sheet().Initialise());
    EXPECT_EQ(rig.prompts.quitCodes, std::vector<int>{2});
    EXPECT_EQ(Sheet().BoardKind(), 0);
    EXPECT_FALSE(window.aboutEntry.has_value());
    EXPECT_EQ(window.enables, 0);
    EXPECT_TRUE(rig.requests.empty());
}

TEST_F(SheetTest, PortThatDoesNotOpenIsReportedAndTheDialogComesBack) {
    rig.presentPorts = {1, 3};
    rig.failingPorts = {1};
    window.portAnswers = {FakeSheetWindow::Choose("COM1"), FakeSheetWindow::Choose("COM3")};
    ASSERT_TRUE(Sheet().Initialise());
    ASSERT_EQ(rig.prompts.messages.size(), 1u);
    EXPECT_EQ(rig.prompts.messages[0].text, "Unable to open port COM1.\nCheck board connection to COM port.");
    EXPECT_EQ(rig.prompts.messages[0].caption, "COM Port");
    EXPECT_EQ(rig.prompts.messages[0].icon, MsgIcon::Error);
    EXPECT_EQ(rig.prompts.messages[0].detail,
              "in use (Device or resource busy)\nAnother program holds the port: close it there, or choose "
              "another port.");
    EXPECT_EQ(window.portListsShown.size(), 2u);
    EXPECT_EQ(Sheet().CurrentComSettings().port, 3u);
    EXPECT_EQ(rig.store.Dword("ScriptTab", "Port"), std::optional<uint32_t>(3));
}

TEST_F(SheetTest, BoardThatDoesNotAnswerIsReportedAndEndsTheProgram) {
    PutFirmwareFile(9, 9, 9);  // would ask for a replacement if the board had answered
    rig.simBoard.faults().noReply = true;
    ASSERT_TRUE(Start());
    ASSERT_EQ(rig.prompts.messages.size(), 1u);
    EXPECT_EQ(rig.prompts.messages[0].text,
              "Error - Unable to communicate with KOVA kit\nCheck connections and restart the program");
    EXPECT_EQ(rig.prompts.messages[0].caption, "Error");
    EXPECT_EQ(rig.prompts.messages[0].icon, MsgIcon::Error);
    EXPECT_EQ(rig.prompts.quitCodes, std::vector<int>{kExitLostBoard});
    EXPECT_FALSE(HasRequest(rig.requests, "7E 40"));
    Sheet().JoinLoaderWait();
    EXPECT_EQ(window.loaderReadyPosts.load(), 0);
}

TEST_F(SheetTest, FirmwareFileWithTheBoardsVersionLeavesTheBoardAlone) {
    const sim::BoardConfig& c = rig.simBoard.config();
    PutFirmwareFile(c.firmwareKind, c.firmwareMajor, c.firmwareMinor);
    ASSERT_TRUE(Start());
    EXPECT_EQ(Sheet().FoundFirmwareFile().found, 1);
    EXPECT_FALSE(HasRequest(rig.requests, "7E 40"));
    EXPECT_FALSE(rig.progress.created);
    Sheet().JoinLoaderWait();
    EXPECT_EQ(window.loaderReadyPosts.load(), 0);
}

TEST_F(SheetTest, FirmwareFileWithAnotherVersionReplacesTheBoardsFirmware) {
    PutFirmwareFile(2, 3, 7);
    ASSERT_TRUE(Start());
    EXPECT_EQ(Sheet().FoundFirmwareFile().fileName, sim::FirmwareFileName(2, 3, 7));
    EXPECT_TRUE(HasRequest(rig.requests, "7E 40 5D 2E 91 C3 48"));
    EXPECT_EQ(rig.opens, 2);  // reopened after the loader was started
    const uint64_t sleptBefore = rig.clock.SleptMs();

    DeliverLoaderReady();
    EXPECT_TRUE(rig.prompts.messages.empty()) << (Texts().empty() ? "" : Texts()[0]);
    EXPECT_FALSE(rig.prompts.QuitPosted());
    EXPECT_EQ(window.enables, 2);
    EXPECT_TRUE(rig.progress.created);
    EXPECT_EQ(rig.progress.caption, "Flashing Device...");
    ASSERT_FALSE(rig.progress.positions.empty());
    EXPECT_GT(rig.progress.positions.size(), 3u);  // the bar moved during the download
    EXPECT_EQ(rig.progress.positions.back(), 100);
    EXPECT_TRUE(rig.progress.destroyed);
    EXPECT_TRUE(HasRequest(rig.requests, "7E 39"));
    EXPECT_EQ(rig.opens, 3);
    // Identified again: the board now runs the file's firmware.
    EXPECT_EQ(Sheet().Version().firmwareKind, 2);
    EXPECT_EQ(Sheet().Version().versionMajor, 3);
    EXPECT_EQ(Sheet().Version().versionMinor, 7);
    EXPECT_EQ(Sheet().Code(), 0x2Au);
    // Reopen (500 + 500 + 500) and the wait after the load (300), at least.
    EXPECT_GE(rig.clock.SleptMs() - sleptBefore, 1800u);
}

TEST_F(SheetTest, FailedFirmwareLoadStopsThere) {
    // A folder with the firmware name: found, but it cannot be read as a file.
    std::filesystem::create_directory(rig.programDir / "HK8051B-SCRIPT_F7.0.0.");
    ASSERT_TRUE(Start());
    DeliverLoaderReady();
    EXPECT_EQ(Texts(), std::vector<std::string>{"Unable to load the firmware..."});
    EXPECT_EQ(rig.opens, 2);  // not reopened after the failed load
    EXPECT_EQ(std::count(rig.requests.begin(), rig.requests.end(), "7E 0F"), 1);
}

TEST_F(SheetTest, ReopenFailureIsReported) {
    ASSERT_TRUE(Start());
    rig.failingPorts = {3};
    const uint64_t slept = rig.clock.SleptMs();
    EXPECT_FALSE(Sheet().ReopenPort());
    EXPECT_EQ(Texts(),
              std::vector<std::string>{"Unable to open port COM3.\nCheck board connection to COM port."});
    EXPECT_EQ(rig.clock.SleptMs() - slept, 1500u);
    EXPECT_FALSE(Sheet().Board().Link().Port().IsOpen());
}

struct WarningCase {
    const char* what;
    uint8_t boardKind;
    std::optional<std::array<uint8_t, 3>> file;
    bool warned;
};

TEST(SheetFirmwareWarning, WarnsWhenTheBoardRunsFirmwareOfKind3) {
    const WarningCase cases[] = {
        {"kind 3, no file", 3, std::nullopt, true},
        {"kind 3, file matches", 3, std::array<uint8_t, 3>{3, 1, 0}, false},
        {"kind 2, no file", 2, std::nullopt, false},
        {"kind 2, replaced by kind 3", 2, std::array<uint8_t, 3>{3, 2, 0}, true},
        {"kind 3, replaced by kind 2", 3, std::array<uint8_t, 3>{2, 2, 0}, false},
    };
    for (const WarningCase& c : cases) {
        sim::BoardConfig config;
        config.firmwareKind = c.boardKind;
        config.firmwareMajor = 1;
        config.firmwareMinor = 0;
        SimRig rig(config);
        FakeSheetWindow window;
        if (c.file) {
            sim::FirmwareIdentity id;
            id.kind = (*c.file)[0];
            id.major = (*c.file)[1];
            id.minor = (*c.file)[2];
            ASSERT_TRUE(sim::WriteFirmwareFile(rig.programDir, id, 8192).has_value());
        }
        CTR805QSheet sheet(rig.Platform(), window);
        window.portAnswers.push_back(FakeSheetWindow::Choose("COM3"));
        ASSERT_TRUE(sheet.Initialise()) << c.what;
        sheet.JoinLoaderWait();
        if (window.loaderReadyPosts.load() > 0) sheet.OnLoaderReady();
        const bool warned = !rig.prompts.messages.empty();
        EXPECT_EQ(warned, c.warned) << c.what;
        if (warned) {
            ASSERT_EQ(rig.prompts.messages.size(), 1u) << c.what;
            EXPECT_EQ(rig.prompts.messages[0].text,
                      "Wrong GUI to use with the current device firmware.\nSet a new firmware or use the "
                      "right GUI");
            EXPECT_EQ(rig.prompts.messages[0].caption, "Warning TR805Q");
            EXPECT_EQ(rig.prompts.messages[0].icon, MsgIcon::Warning);
        }
        EXPECT_FALSE(rig.prompts.QuitPosted()) << c.what;
    }
}

TEST_F(SheetTest, TabMovesResizeTheWindowByTheTableRule) {
    ASSERT_TRUE(Start());
    window.resizes.clear();
    for (int tab : {2, 1, 3, 2, 4, 0}) Sheet().OnTabChanged(tab);
    EXPECT_EQ(window.resizes, (std::vector<int>{148, -148, 148, -148}));
    EXPECT_EQ(Sheet().LayoutTab(), 0);
}

TEST_F(SheetTest, SerialChangesTheStoredPortAndTitleButNotTheOpenPort) {
    rig.presentPorts = {1, 3};
    ASSERT_TRUE(Start());
    window.portAnswers.push_back(FakeSheetWindow::Choose("COM1"));
    Sheet().OnSerial();
    EXPECT_EQ(window.titles.back(), "QVR HK8051B Evaluation (COM1)");
    EXPECT_EQ(rig.opens, 1);
    EXPECT_TRUE(Sheet().Board().Link().Port().IsOpen());
    EXPECT_EQ(rig.store.Dword("ScriptTab", "Port"), std::optional<uint32_t>(1));

    window.portAnswers.push_back(FakeSheetWindow::Cancel());
    const size_t titles = window.titles.size();
    Sheet().OnSerial();
    EXPECT_EQ(window.titles.size(), titles + 1);
    EXPECT_EQ(window.titles.back(), "QVR HK8051B Evaluation (COM1)");
    EXPECT_FALSE(rig.prompts.QuitPosted());
}

TEST_F(SheetTest, SetNameShowsTheUpperCaseNameInTheTitle) {
    ASSERT_TRUE(Start());
    window.optionsAction = [](COptions& options) {
        EXPECT_EQ(options.name, "");
        options.name = "bench-2xyz";
        options.OnSetName();
        EXPECT_EQ(options.name, "BENCH-2X");
    };
    Sheet().OnOptions();
    EXPECT_EQ(Sheet().BoardName(), "BENCH-2X");
    EXPECT_EQ(window.titles.back(), "QVR HK8051B Evaluation            MB805Q Name:BENCH-2X (COM3)");

    // Opening again shows the name; leaving without "Set Name" keeps it.
    window.optionsAction = [](COptions& options) {
        EXPECT_EQ(options.name, "BENCH-2X");
        options.name = "OTHER";
    };
    Sheet().OnOptions();
    EXPECT_EQ(Sheet().BoardName(), "BENCH-2X");
}

TEST(OptionsName, UpperCaseAtMostEightPrintableCharacters) {
    EXPECT_EQ(COptions::NormaliseName("abc"), "ABC");
    EXPECT_EQ(COptions::NormaliseName("abcdefghijk"), "ABCDEFGH");
    EXPECT_EQ(COptions::NormaliseName("Kit 1"), "KIT 1");
    EXPECT_EQ(COptions::NormaliseName("a\tb\xC3\xA9z"), "ABZ");
    EXPECT_EQ(COptions::NormaliseName(""), "");
}

class AboutTest : public SheetTest {
protected:
    static sim::BoardConfig Config() {
        sim::BoardConfig c;
        c.versionMajor = 3;
        c.versionMinor = 12;
        c.commandBufferSize = 4096;
        c.dataBufferSize = 65536;
        c.fileBufferSize = 3000000000u;
        c.firmwareKind = 2;
        c.firmwareMajor = 1;
        c.firmwareMinor = 5;
        c.firmwareCode = 0x2A;
        return c;
    }
    AboutTest() : SheetTest(Config()) {}
};

TEST_F(AboutTest, ShowsWhatTheBoardReported) {
    ASSERT_TRUE(Start());
    Sheet().OnAbout();
    EXPECT_EQ(window.aboutTexts,
              (std::vector<std::string>{"About TR8051B", "TR8051B Version 1.3", "GQ0017 Version 3.12",
                                        "Command Buffer Size: 4096 commands", "Data Buffer Size: 65536 words",
                                        "File Buffer Size: 3000000000 words", "Firmware Version 1.5",
                                        "Code: 002A"}));
}

TEST_F(AboutTest, IsOffWhileAScriptRuns) {
    ASSERT_TRUE(Start());
    Sheet().EnableSheetControls(false);
    EXPECT_FALSE(window.controlsEnabled);
    Sheet().OnAbout();
    EXPECT_EQ(window.aboutRuns, 0);
    Sheet().EnableSheetControls(true);
    EXPECT_TRUE(window.controlsEnabled);
    Sheet().OnAbout();
    EXPECT_EQ(window.aboutRuns, 1);
}

TEST(AboutCode, FourDigitsAtLeastAllDigitsAboveFFFF) {
    for (const auto& [code, text] :
         std::vector<std::pair<uint32_t, std::string>>{{0x2A, "Code: 002A"},
                                                       {0xBEEF, "Code: BEEF"},
                                                       {0x12345, "Code: 12345"},
                                                       {0xFFFFFFFF, "Code: FFFFFFFF"},
                                                       {0, "Code: 0000"}}) {
        CAboutBox box(BoardInfo{}, FirmwareVersion{}, code);
        box.OnInitDialog();
        EXPECT_EQ(box.texts[CAboutBox::Code], text);
    }
}

TEST_F(SheetTest, NoAboutBeforeTheKitIsConnected) {
    Sheet().OnAbout();
    EXPECT_EQ(window.aboutRuns, 0);
    EXPECT_EQ(Sheet().AboutEntryText(), "");
}

TEST_F(SheetTest, PagesReachTheSharedStateThroughTheSheet) {
    ASSERT_TRUE(Start());
    PageHost& host = Sheet();
    host.SetKernletLoaded(2, true);
    host.SetKernletLoaded(0, true);  // not a device: ignored
    host.SetKernletLoaded(4, true);
    EXPECT_FALSE(host.KernletLoaded(1));
    EXPECT_TRUE(host.KernletLoaded(2));
    EXPECT_FALSE(host.KernletLoaded(3));
    EXPECT_EQ(host.KernletOptions(), rig.simBoard.config().kernletOptions);
    std::unique_ptr<SettingsKey> key = host.NewSettingsKey();
    ASSERT_NE(key, nullptr);
    ASSERT_TRUE(key->Open("ImageTab"));
    EXPECT_TRUE(key->SetString("WorkingDirectoryKL", "/tmp"));
    EXPECT_EQ(&host.Board(), &Sheet().Board());
    EXPECT_EQ(&host.GetClock(), &rig.clock);
    EXPECT_EQ(&host.Prompts(), &rig.prompts);
}

TEST_F(SheetTest, CloseEndsTheProgramWithCode0) {
    ASSERT_TRUE(Start());
    Sheet().OnClose();
    EXPECT_EQ(rig.prompts.quitCodes, std::vector<int>{0});
}

}  // namespace
