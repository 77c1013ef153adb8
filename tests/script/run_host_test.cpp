// The run host on a scripted board: download frames, the worker's uplink service, the page's
// handlers, the dialogs of a paused script, aborts and every failure place.
#include "core/ExitCodes.h"
#include "script/RunTexts.h"
#include "script/Wave.h"
#include "tests/script/run_support.h"

#include <fstream>

namespace runtest {
namespace {

using script::ScriptMsg;

const char* const kClosingRecord = "7E 09 00 35 00 00 00 00 00 00 00 00 00 00 00 00";

// The board runs the script by sending `frames` once it is started.
std::function<void(FakeBoard&, const Bytes&)> OnStart(std::string frames) {
    return [frames](FakeBoard& b, const Bytes& f) {
        if (f[1] == 0x0A) b.Send(frames);
    };
}

class RunHostTest : public RunFixture {};

TEST_F(RunHostTest, StopOnlyScriptDownloadsRunsAndFinishes) {
    host.fake.onFrame = OnStart("7E 0C 00 00 00");
    ASSERT_TRUE(RunAndPump(Script("    stop\n")));

    EXPECT_EQ(host.fake.FrameTexts(),
              (std::vector<std::string>{"7E 08 00 35 00 09 00 00 00 00 00 00 00 00 00 00", kClosingRecord,
                                        "7E 0A", "7E 19"}));
    EXPECT_EQ(Lines(), (std::vector<std::string>{"Script running...", "Script finished"}));
    EXPECT_EQ(runHost.Outcome(), script::RunOutcome::Finished);
    EXPECT_EQ(client.calls, (std::vector<std::string>{"started", "stopped+trace"}));
    EXPECT_EQ(host.sheetControls, (std::vector<bool>{false, true}));
    EXPECT_TRUE(host.prompts.messages.empty());
    EXPECT_FALSE(runHost.Compiler().TablesHeld());  // let go at the end
    // 150 ms before the run, 50 ms after the first record.
    EXPECT_GE(host.clock.SleptMs(), 200u);
}

TEST_F(RunHostTest, StatusFlagZeroKeepsSeeTraceDisabled) {
    host.fake.status = 0;
    host.fake.onFrame = OnStart("7E 0C 00 00 00");
    ASSERT_TRUE(RunAndPump(Script("    stop\n")));
    EXPECT_EQ(client.calls.back(), "stopped");
}

TEST_F(RunHostTest, DownloadSendsRecordsThenInitialisersThenTheClosingRecord) {
    host.fake.onFrame = OnStart("7E 0C 00 00 02");
    ASSERT_TRUE(RunAndPump(Script("a word 5\n    copy 1 a\n    stop\n")));
    const std::vector<std::string> frames = host.fake.FrameTexts();
    ASSERT_EQ(frames.size(), 6u);
    EXPECT_EQ(frames[0].substr(0, 8), "7E 08 00");  // copy, the first record
    EXPECT_EQ(frames[1], "7E 09 00 35 00 09 00 00 00 00 00 00 00 00 00 00");  // stop
    EXPECT_EQ(frames[2], "7E 12 00 00 00 05");  // a = 5 at location 0
    EXPECT_EQ(frames[3], kClosingRecord);
    EXPECT_EQ(frames[4], "7E 0A");
}

TEST_F(RunHostTest, ContinuedTextJoinsTheNextTextOnOneLine) {
    host.fake.onFrame = OnStart("7E 08 00 00 00  7E 08 01 00 07  7E 08 02 00 00  7E 0C 00 00 03");
    ASSERT_TRUE(RunAndPump(Script("    disp \"abc\\c\"\n    disp \"def %u\"\n    disp \"ghi\"\n    stop\n")));
    EXPECT_EQ(Lines(), (std::vector<std::string>{"Script running...", "abcdef 7", "ghi", "Script finished"}));
}

TEST_F(RunHostTest, ClearAndDebugTextAndUnknownCodesAndRestartedFrames) {
    // 7E 30 ..: an unknown code, dropped with what follows until the next 7E; 7E 7E 08: the
    // second 7E starts the frame again.
    host.fake.onFrame = OnStart(
        "7E 08 00 00 01  7E 07  7E 30 08 00 00 01  7E 7E 08 00 00 02  7E 1B 05 01 2C  7E 0C 00 00 01");
    ASSERT_TRUE(RunAndPump(Script("    disp \"t%u\"\n    stop\n")));
    EXPECT_EQ(Lines(), (std::vector<std::string>{"t2", "DBG - 5 = 300", "Script finished"}));
}

TEST_F(RunHostTest, ReadRequestIsServedInBlocksOf1000AndALastBlockWhenTheFileEnds) {
    std::string data = "; values for the board\n\n";
    for (int i = 0; i < 2200; ++i) data += std::to_string(i * 7) + (i % 3 == 0 ? "  ; comment\n" : "\n");
    folder.Write("data.txt", data);
    host.fake.onFrame = [](FakeBoard& b, const Bytes& f) {
        if (f[1] == 0x0A) b.Send("7E 05 00 01");  // open "data.txt" with "%d"
        if (f[1] == 0x14) b.Send("7E 0B 00 00 09 C4");  // 2500 values, please
        if (f[1] == 0x0D) b.Send("7E 0C 00 00 01");
    };
    ASSERT_TRUE(RunAndPump(Script("    fopenr \"data.txt\" \"%d\"\n    stop\n")));

    EXPECT_EQ(Lines(), (std::vector<std::string>{"Script running...", "Opened text file, 2200 data \n",
                                                 "Script finished"}));
    ASSERT_EQ(host.fake.FramesOf(0x14).size(), 1u);
    EXPECT_EQ(ToHex(host.fake.FramesOf(0x14)[0]), "7E 14 00 00 08 98");
    std::vector<Bytes> blocks = host.fake.FramesOf(0x0C);
    std::vector<Bytes> last = host.fake.FramesOf(0x0D);
    ASSERT_EQ(blocks.size(), 2u);
    ASSERT_EQ(last.size(), 1u);
    blocks.push_back(last[0]);
    const size_t sizes[] = {1000, 1000, 200};
    int value = 0;
    for (size_t k = 0; k < 3; ++k) {
        const Bytes& b = blocks[k];
        ASSERT_EQ(b.size(), 4 + 2 * sizes[k]);
        EXPECT_EQ((b[2] << 8 | b[3]), static_cast<int>(2 * sizes[k]));
        for (size_t i = 0; i < sizes[k]; ++i, ++value) {
            ASSERT_EQ((b[4 + 2 * i] << 8 | b[5 + 2 * i]), (value * 7) & 0xFFFF) << k << ' ' << i;
        }
    }
}

TEST_F(RunHostTest, ReadRequestServedWholeEndsWithItsLastPartialBlock) {
    std::ofstream(folder.File("words.bin"), std::ios::binary)
        << std::string("\x12\x34\xAB\xCD\x00\x01\xFF", 7);
    host.fake.onFrame = [](FakeBoard& b, const Bytes& f) {
        if (f[1] == 0x0A) b.Send("7E 05 00 01");
        if (f[1] == 0x14) b.Send("7E 0B 00 00 00 02");
        if (f[1] == 0x0C) b.Send("7E 0C 00 00 01");
    };
    ASSERT_TRUE(RunAndPump(Script("    fopenr \"words.bin\" \"x\"\n    stop\n")));
    EXPECT_EQ(Lines()[1], "Opened binary file, 3 words \n");
    EXPECT_EQ(host.fake.FrameTexts()[4], "7E 14 00 00 00 03");
    ASSERT_EQ(host.fake.FramesOf(0x0C).size(), 1u);
    EXPECT_EQ(ToHex(host.fake.FramesOf(0x0C)[0]), "7E 0C 00 04 12 34 AB CD");
    EXPECT_TRUE(host.fake.FramesOf(0x0D).empty());
}

TEST_F(RunHostTest, EightBitWaveFileFailsToOpenAndStopsTheBoard) {
    Bytes wav =
        Hex("52 49 46 46 28 00 00 00 57 41 56 45 66 6D 74 20 10 00 00 00 01 00 01 00 40 1F 00 00 "
            "40 1F 00 00 01 00 08 00 64 61 74 61 04 00 00 00 01 02 03 04");
    std::ofstream(folder.File("in8.wav"), std::ios::binary)
        .write(reinterpret_cast<const char*>(wav.data()), wav.size());
    host.fake.onFrame = OnStart("7E 05 00 01");
    ASSERT_TRUE(RunAndPump(Script("    fopenr \"in8.wav\" \"%d\"\n    stop\n")));
    EXPECT_EQ(Lines(),
              (std::vector<std::string>{"Script running...", "Error: Unable to open file: in8.wav"}));
    EXPECT_EQ(runHost.Outcome(), script::RunOutcome::FileError);
    EXPECT_TRUE(host.fake.FramesOf(0x14).empty());
    EXPECT_EQ(host.fake.FrameTexts().back(), "7E 0B");
    EXPECT_EQ(client.calls.back(), "stopped");
}

TEST_F(RunHostTest, WaveWrittenByAScriptReadsBackWithItsHeaderAndSamples) {
    host.fake.onFrame =
        OnStart("7E 06 00 00 1F 40 01  7E 09 01 12 34  7E 18 01 00 03 00 01 FF FF 80 00  7E 0C 00 00 02");
    ASSERT_TRUE(RunAndPump(Script("    fopenw \"out.wav\" 8000 1\n    filew \"x\" 5\n    stop\n")));
    EXPECT_EQ(Lines().back(), "Script finished");
    EXPECT_EQ(host.fake.FramesOf(0x21).size(), 1u);

    const std::string bytes = folder.Read("out.wav");
    EXPECT_EQ(ToHex(Bytes(bytes.begin(), bytes.end())),
              "52 49 46 46 2E 00 00 00 57 41 56 45 66 6D 74 20 12 00 00 00 01 00 01 00 40 1F 00 00 "
              "80 3E 00 00 02 00 10 00 00 00 64 61 74 61 08 00 00 00 34 12 01 00 FF FF 00 80");
    script::WaveReader reader;
    ASSERT_TRUE(reader.Open(folder.File("out.wav")));
    EXPECT_EQ(reader.Format().sampleRate, 8000u);
    EXPECT_FALSE(reader.Format().Stereo());
    EXPECT_EQ(reader.Format().samples, 4u);
    std::vector<uint16_t> samples;
    for (uint16_t s; reader.NextSample(s);) samples.push_back(s);
    EXPECT_EQ(samples, (std::vector<uint16_t>{0x1234, 0x0001, 0xFFFF, 0x8000}));
}

TEST_F(RunHostTest, WriteFilesTextAndBinary) {
    host.fake.onFrame = OnStart(
        "7E 06 00 00 00 00 00  7E 09 01 00 05  7E 09 02 00 06  7E 09 01 00 FF "
        "7E 06 03 00 00 00 00  7E 09 01 AB CD  7E 18 01 00 02 00 01 00 02  7E 0C 00 00 04");
    ASSERT_TRUE(
        RunAndPump(Script("    fopenw \"log.txt\"\n    filew \"v=%u\"\n    filew \"w=%X\\c\"\n"
                          "    fopenw \"raw.bin\"\n    stop\n")));
    EXPECT_EQ(Lines().back(), "Script finished");
    EXPECT_EQ(folder.Read("log.txt"), "v=5\nw=6v=255\n");
    const std::string raw = folder.Read("raw.bin");
    EXPECT_EQ(ToHex(Bytes(raw.begin(), raw.end())), "AB CD 00 01 00 02");
}

TEST_F(RunHostTest, ReadFileWithTheWriteFilesPathClosesTheWriteFileFirst) {
    host.fake.onFrame = [](FakeBoard& b, const Bytes& f) {
        if (f[1] == 0x0A) b.Send("7E 06 00 00 00 00 00  7E 09 01 00 2A  7E 09 01 00 2B  7E 05 02 03");
        if (f[1] == 0x14) b.Send("7E 0B 00 00 00 05");
        if (f[1] == 0x0D) b.Send("7E 0C 00 00 04");
    };
    ASSERT_TRUE(RunAndPump(
        Script("    fopenw \"same.txt\"\n    filew \"%u\"\n    fopenr \"same.txt\" \"%d\"\n    stop\n")));
    EXPECT_EQ(Lines()[1], "Opened text file, 2 data \n");
    ASSERT_EQ(host.fake.FramesOf(0x0D).size(), 1u);
    EXPECT_EQ(ToHex(host.fake.FramesOf(0x0D)[0]), "7E 0D 00 04 00 2A 00 2B");
}

TEST_F(RunHostTest, TextFormatThatIsNotOneNumberFailsLikeAMissingFile) {
    folder.Write("data.txt", "1\n2\n");
    for (const char* format : {"%s", "%d %d", "%n", "%f", "abc"}) {
        SCOPED_TRACE(format);
        host.fake.onFrame = OnStart("7E 05 00 01");
        ASSERT_TRUE(
            RunAndPump(Script(std::string("    fopenr \"data.txt\" \"") + format + "\"\n    stop\n")));
        EXPECT_EQ(Lines().back(), "Error: Unable to open file: data.txt");
    }
}

TEST_F(RunHostTest, MessageBoxOkRepliesAndCancelAborts) {
    host.fake.abortRecord = 1;
    host.fake.onFrame = [](FakeBoard& b, const Bytes& f) {
        if (f[1] == 0x0A) b.Send("7E 0A 00 00 03");
        if (f[1] == 0x13) b.Send("7E 0A 00 00 04");
    };
    host.prompts.answers = {MsgAnswer::Ok, MsgAnswer::Cancel};
    ASSERT_TRUE(RunAndPump(Script("    dialog \"Step %u\" 3\n    dialog \"Step %u\" 4\n    stop\n")));

    ASSERT_EQ(host.prompts.messages.size(), 2u);
    EXPECT_EQ(host.prompts.messages[0].text, "Step 3");
    EXPECT_EQ(host.prompts.messages[0].caption, "Script Message-Script Paused");
    EXPECT_EQ(host.prompts.messages[0].icon, MsgIcon::Information);
    EXPECT_EQ(host.prompts.messages[0].buttons, MsgButtons::OkCancel);
    EXPECT_EQ(host.prompts.messages[1].text, "Step 4");
    const std::vector<std::string> frames = host.fake.FrameTexts();
    const std::vector<std::string> tail(frames.end() - 4, frames.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"7E 13 00 00 00 00 00 00", "7E 0B", "7E 19", "7E 19"}));
    EXPECT_EQ(Lines().back(), "Script aborted at line 2");
    EXPECT_EQ(runHost.Outcome(), script::RunOutcome::Aborted);
    EXPECT_FALSE(host.prompts.QuitPosted());
}

TEST_F(RunHostTest, YesNoAnswersOneZeroAndAbort) {
    struct Case {
        int result;
        const char* lastFrame;
    };
    for (const Case& c : {Case{6, "7E 13 00 01 00 00 00 00"}, Case{7, "7E 13 00 00 00 00 00 00"},
                          Case{3, "7E 0B"}, Case{1, "7E 0B"}}) {
        SCOPED_TRACE(c.result);
        host.fake.onFrame = [](FakeBoard& b, const Bytes& f) {
            if (f[1] == 0x0A) b.Send("7E 19 00 00 09");
            if (f[1] == 0x13) b.Send("7E 0C 00 00 01");
        };
        dialogs.yesNo = {c.result};
        dialogs.shownYesNo.clear();
        const size_t before = host.fake.Frames().size();
        ASSERT_TRUE(RunAndPump(Script("a word\n    dialogyesno \"Go on at %u?\" a\n    stop\n")));
        ASSERT_EQ(dialogs.shownYesNo.size(), 1u);
        EXPECT_EQ(dialogs.shownYesNo[0].prompt, "Go on at 9?");
        EXPECT_EQ(dialogs.shownYesNo[0].caption, "Script Message-Script Paused");
        const std::vector<std::string> frames = host.fake.FrameTexts();
        EXPECT_EQ(frames.at(before + 5), c.lastFrame);
    }
}

TEST_F(RunHostTest, EntryAcceptsAskAgainOrAborts) {
    host.fake.onFrame = [](FakeBoard& b, const Bytes& f) {
        if (f[1] == 0x0A) b.Send("7E 1A 00 00 05");
        if (f[1] == 0x13) b.Send("7E 0C 00 00 01");
    };
    // "abc" is asked again; "$1f" is taken (lower-case digits as the proposal itself writes them).
    dialogs.entries = {{true, "abc"}, {true, "$1f"}};
    ASSERT_TRUE(RunAndPump(Script("v word\n    dialogentry \"Value %u\" v\n    stop\n")));
    ASSERT_EQ(dialogs.shownEntries.size(), 2u);
    EXPECT_EQ(dialogs.shownEntries[0].prompt, "Value 5");
    EXPECT_EQ(dialogs.shownEntries[0].entry, "5");
    EXPECT_EQ(dialogs.shownEntries[0].caption, "Script Message-Script Paused");
    EXPECT_EQ(dialogs.shownEntries[1].entry, "abc");  // shown again with what was typed
    ASSERT_EQ(host.prompts.messages.size(), 1u);
    EXPECT_EQ(host.prompts.messages[0].text, "Error - Value must be hexadecimal or integer");
    EXPECT_EQ(host.prompts.messages[0].caption, "Error");
    EXPECT_EQ(host.fake.FramesOf(0x13).size(), 1u);
    EXPECT_EQ(ToHex(host.fake.FramesOf(0x13)[0]), "7E 13 00 1F 00 00 00 00");
    EXPECT_EQ(Lines().back(), "Script finished");
}

TEST_F(RunHostTest, EntryWithABadHexDigitAbortsTheScript) {
    host.fake.abortRecord = 0;
    host.fake.onFrame = OnStart("7E 1A 00 00 05");
    dialogs.entries = {{true, "$1G"}};
    ASSERT_TRUE(RunAndPump(Script("v word\n    dialogentry \"Value %u\" v\n    stop\n")));
    ASSERT_EQ(host.prompts.messages.size(), 1u);
    EXPECT_EQ(host.prompts.messages[0].text, "Error - Value must be hexadecimal or integer");
    EXPECT_TRUE(host.fake.FramesOf(0x13).empty());
    EXPECT_EQ(host.fake.FramesOf(0x0B).size(), 1u);
    EXPECT_EQ(Lines().back(), "Script aborted at line 2");
}

TEST_F(RunHostTest, EntryDialogAbortAndNegativeDecimal) {
    host.fake.onFrame = [](FakeBoard& b, const Bytes& f) {
        if (f[1] == 0x0A) b.Send("7E 1A 00 00 05");
        if (f[1] == 0x13) b.Send("7E 1A 00 00 06");
    };
    dialogs.entries = {{true, "-32768"}, {false, std::nullopt}};
    ASSERT_TRUE(RunAndPump(Script("v word\n    dialogentry \"Value %u\" v\n    stop\n")));
    EXPECT_EQ(ToHex(host.fake.FramesOf(0x13).at(0)), "7E 13 80 00 00 00 00 00");
    EXPECT_EQ(host.fake.FramesOf(0x0B).size(), 1u);
    EXPECT_EQ(runHost.Outcome(), script::RunOutcome::Aborted);
}

TEST_F(RunHostTest, EntryWhoseStringCannotProposeAValueAnswersZero) {
    host.fake.onFrame = [](FakeBoard& b, const Bytes& f) {
        if (f[1] == 0x0A) b.Send("7E 1A 00 00 05");
        if (f[1] == 0x13) b.Send("7E 0C 00 00 01");
    };
    ASSERT_TRUE(RunAndPump(Script("v word\n    dialogentry \"Signed %d\" v\n    stop\n")));
    EXPECT_TRUE(dialogs.shownEntries.empty());
    EXPECT_EQ(Lines()[1], "Error: Invalid type specifier in string 'Signed %d'");
    EXPECT_EQ(ToHex(host.fake.FramesOf(0x13).at(0)), "7E 13 00 00 00 00 00 00");
}

TEST_F(RunHostTest, AbortOfAnEndlessLoop) {
    host.fake.abortRecord = 0;
    ASSERT_TRUE(runHost.Run(Script("loop jmp loop\n")));
    EXPECT_FALSE(runHost.Idle());
    runHost.Abort();
    EXPECT_TRUE(runHost.Idle());
    Pump();
    EXPECT_EQ(Lines(), (std::vector<std::string>{"Script running...", "Script aborted at line 1"}));
    const std::vector<std::string> frames = host.fake.FrameTexts();
    const std::vector<std::string> tail(frames.end() - 4, frames.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"7E 0A", "7E 0B", "7E 19", "7E 19"}));
    EXPECT_EQ(client.calls, (std::vector<std::string>{"started", "stopped", "stopped+trace"}));
    EXPECT_EQ(host.sheetControls, (std::vector<bool>{false, true, true}));
}

TEST_F(RunHostTest, AbortOfABoardThatNeverEndsStopsTheWorkerWithinTheWait) {
    host.fake.answerAbort = false;
    ASSERT_TRUE(runHost.Run(Script("loop jmp loop\n")));
    runHost.Abort();
    EXPECT_TRUE(runHost.Idle());
    EXPECT_FALSE(runHost.WorkerRunning());
    EXPECT_EQ(host.fake.FrameTexts().back(), "7E 19");
    EXPECT_EQ(runHost.Outcome(), script::RunOutcome::Aborted);
}

TEST_F(RunHostTest, RunTimeErrorsCarryTheLineOrTheFileName) {
    struct Case {
        const char* frames;
        const char* line;
    };
    const Case cases[] = {
        {"7E 0D 03 00 01", "\r\nError Data index out of range at line 3"},
        // The one text kept in two pieces in the table.
        {"7E 0D 0E 00 01",
         "\r\nError Invalid static buffer spec"
         "ification at line 3"},
        {"7E 0D 14 00 01", "\r\nSerial framing error"},
        {"7E 06 00 00 00 00 00  7E 0D 0B 00 01", "\r\nError Failed to open file out.bin for writing"},
        {"7E 0D 0C 00 01", "\r\nError Failed to open file for reading"},
        {"7E 0D 17 00 00", "\r\nError code 23 at line 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        host.fake.onFrame = OnStart(c.frames);
        ASSERT_TRUE(RunAndPump(Script("    fopenw \"out.bin\"\n\n    stop\n", "e.mbs")));
        EXPECT_EQ(Lines().back(), c.line);
        EXPECT_EQ(runHost.Outcome(), script::RunOutcome::RunTimeError);
        EXPECT_EQ(client.calls.back(), "stopped");
    }
}

TEST_F(RunHostTest, FullReceiveQueueEndsTheRunAndStopsTheBoard) {
    host.fake.onFrame = [](FakeBoard& b, const Bytes& f) {
        if (f[1] == 0x0A) b.Send(Bytes(0xC000, 0x00));
    };
    ASSERT_TRUE(RunAndPump(Script("    stop\n")));
    EXPECT_EQ(Lines().back(), "Error: Rx Queue is full");
    EXPECT_EQ(host.fake.FrameTexts().back(), "7E 0B");
    EXPECT_EQ(runHost.Outcome(), script::RunOutcome::QueueFull);
}

TEST_F(RunHostTest, LinkFailureInTheWorkerShowsSuffix7AndQuits) {
    host.fake.onFrame = [](FakeBoard& b, const Bytes& f) {
        if (f[1] == 0x0A) b.failQueueQuery = true;
    };
    ASSERT_TRUE(RunAndPump(Script("    stop\n")));
    ASSERT_EQ(host.prompts.messages.size(), 1u);
    EXPECT_EQ(host.prompts.messages[0].text,
              "Error - Unable to communicate with KOVA kit\nCheck connections and restart the program7");
    EXPECT_EQ(host.prompts.messages[0].caption, "Error");
    EXPECT_EQ(host.prompts.quitCodes, (std::vector<int>{kExitLostBoard}));
    EXPECT_TRUE(runHost.BoardLost());
}

TEST_F(RunHostTest, EveryFailedSendNamesItsPlace) {
    // Writes: first record, second record, closing-of-script stop record, initialiser, closing
    // record, start; then, in a running script, the abort, the replies.
    struct Case {
        int failingWrite;
        const char* suffix;
    };
    for (const Case& c : {Case{0, "3"}, Case{1, "4"}, Case{2, ""}, Case{3, "5"}, Case{4, "6"}}) {
        SCOPED_TRACE(c.failingWrite);
        FakeHost h;
        TestPoster p;
        script::CScriptRunHost rh(h, p, dialogs, results, client);
        rh.SetListingDirectory(folder.Path());
        h.fake.failWriteAt = c.failingWrite;
        EXPECT_FALSE(rh.Run(Script("a word 5\n    copy 1 a\n    stop\n")));
        ASSERT_EQ(h.prompts.messages.size(), 1u);
        EXPECT_EQ(h.prompts.messages[0].text, std::string(kMsgNoCommunication) + c.suffix);
        EXPECT_EQ(h.prompts.quitCodes, (std::vector<int>{kExitLostBoard}));
        EXPECT_TRUE(rh.Idle());
    }
}

TEST_F(RunHostTest, FailedRepliesAndAbortsNameTheirPlace) {
    struct Case {
        const char* start;  // what the board sends once started
        int failingWrite;  // counted from the start frame's write
        MsgAnswer answer;
        int yesNo;
        const char* suffix;
    };
    const Case cases[] = {
        {"7E 0A 00 00 00", 1, MsgAnswer::Ok, 6, "11"},    {"7E 0A 00 00 00", 1, MsgAnswer::Cancel, 6, "1"},
        {"7E 19 00 00 00", 1, MsgAnswer::Ok, 6, "12"},    {"7E 1A 00 00 00", 1, MsgAnswer::Ok, 6, "13"},
        {"7E 0A 00 00 00", 2, MsgAnswer::Cancel, 6, "2"},  // the status request after the abort
        {"7E 0C 00 00 00", 1, MsgAnswer::Ok, 6, "8"},  // the status request at the end
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.suffix);
        FakeHost h;
        TestPoster p;
        ScriptedDialogs d;
        d.yesNo = {c.yesNo};
        d.entries = {{true, std::nullopt}};
        script::CScriptRunHost rh(h, p, d, results, client);
        rh.SetListingDirectory(folder.Path());
        h.fake.failWriteAt = 4 + c.failingWrite;  // four download writes before the start
        h.fake.onFrame = OnStart(c.start);
        h.prompts.answers = {c.answer};
        ASSERT_TRUE(rh.Run(
            Script("v word 0\n    dialog \"x\"\n    dialogyesno \"y\" v\n    dialogentry \"%u\" v\n")));
        for (int i = 0; i < 10 && !rh.BoardLost(); ++i) {
            std::optional<script::ScriptPost> post = p.Take();
            ASSERT_TRUE(post);
            rh.Handle(*post);
        }
        ASSERT_FALSE(h.prompts.messages.empty());
        EXPECT_EQ(h.prompts.messages.back().text, std::string(kMsgNoCommunication) + c.suffix);
        EXPECT_EQ(h.prompts.quitCodes, (std::vector<int>{kExitLostBoard}));
        // The worker does not go on reading a link the program has given up.
        EXPECT_FALSE(rh.WorkerRunning());
        rh.Close();
    }
}

TEST_F(RunHostTest, BoardThatNeverAnswersTheDownloadIsLostAfterTheLimit) {
    host.fake.answerDownload = false;
    EXPECT_FALSE(runHost.Run(Script("    stop\n")));
    ASSERT_EQ(host.prompts.messages.size(), 1u);
    EXPECT_EQ(host.prompts.messages[0].text, std::string(kMsgNoCommunication) + "5");
    EXPECT_GE(host.clock.SleptMs(), 5000u);
    EXPECT_TRUE(host.fake.FramesOf(0x0A).empty());
}

TEST_F(RunHostTest, CompileErrorsGoToTheListAndNothingIsSent) {
    EXPECT_FALSE(runHost.Run(Script("    frobnicate\n    copy 1 y\n")));
    EXPECT_EQ(Lines(), (std::vector<std::string>{"Line 1: Error unrecognised command\r\n",
                                                 "Line 2: Error unresolved label(y)\r\n"}));
    EXPECT_EQ(client.calls, (std::vector<std::string>{"compile-failed"}));
    EXPECT_TRUE(host.fake.Frames().empty());
    EXPECT_TRUE(runHost.Idle());
}

TEST_F(RunHostTest, UnreadableScriptShowsUnableToOpenFile) {
    EXPECT_FALSE(runHost.Run(folder.File("missing.mbs")));
    ASSERT_EQ(host.prompts.messages.size(), 1u);
    EXPECT_EQ(host.prompts.messages[0].text, "Error - Unable to open file");
    EXPECT_EQ(host.prompts.messages[0].caption, "Error");
    EXPECT_EQ(host.prompts.messages[0].icon, MsgIcon::Error);
}

TEST_F(RunHostTest, ScriptOf4097RecordsIsTooLarge) {
    std::string text;
    for (int i = 0; i < 4097; ++i) text += "    cls\n";
    EXPECT_FALSE(runHost.Run(Script(text)));
    // The compiler's own error, with the line end every compile error carries; shown without.
    ASSERT_EQ(Lines(), (std::vector<std::string>{"Error Script too large\r\n"}));
    EXPECT_EQ(script::CResultsList::DisplayText(Lines()[0]), "Error Script too large");
    EXPECT_TRUE(host.fake.Frames().empty());
}

TEST_F(RunHostTest, StaleBytesBeforeADownloadAreNotTakenForTheBoardsAnswer) {
    host.fake.Queue("7E 0C 01 00 00 55 55");
    host.fake.onFrame = OnStart("7E 0C 00 00 00");
    ASSERT_TRUE(RunAndPump(Script("    stop\n")));
    EXPECT_EQ(Lines(), (std::vector<std::string>{"Script running...", "Script finished"}));
}

TEST_F(RunHostTest, ClosingWhileTheWorkerWaitsForThePageEndsIt) {
    host.fake.onFrame = OnStart("7E 0A 00 00 00");
    ASSERT_TRUE(runHost.Run(Script("    dialog \"x\"\n")));
    // The worker has posted the message box and waits for the page, which closes instead.
    std::optional<script::ScriptPost> post = poster.Take();
    ASSERT_TRUE(post);
    EXPECT_EQ(post->msg, ScriptMsg::MessageBox);
    runHost.Close();
    EXPECT_FALSE(runHost.WorkerRunning());
    EXPECT_FALSE(runHost.Compiler().TablesHeld());
}

TEST_F(RunHostTest, ASecondRunStopsTheFirstWorkerAndForgetsItsPosts) {
    host.fake.onFrame = OnStart("7E 08 00 00 00  7E 0A 00 00 00");
    ASSERT_TRUE(runHost.Run(Script("    disp \"one\"\n    dialog \"x\"\n")));
    std::optional<script::ScriptPost> first = poster.Take();
    ASSERT_TRUE(first);
    runHost.Abort();  // the board answers the abort; the worker posts its end
    host.fake.onFrame = OnStart("7E 0C 00 00 00");
    ASSERT_TRUE(RunAndPump(Script("    stop\n", "second.mbs")));
    EXPECT_EQ(Lines(), (std::vector<std::string>{"Script running...", "Script finished"}));
}

}  // namespace
}  // namespace runtest
