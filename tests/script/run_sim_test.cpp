// End to end on the in-process simulated board: real scripts compiled, downloaded and run, the
// worker serving the board, the page's handlers producing the results list.
#include "script/Wave.h"
#include "tests/script/run_support.h"
#include "tests/support/ScriptExamples.h"
#include "tests/support/SimHost.h"

#include <filesystem>
#include <fstream>

namespace runtest {
namespace {

class SimRunTest : public HostRunFixture<SimHost> {
protected:
    // The requests the board got whose bytes start with `start`.
    std::vector<std::string> Requests(const std::string& start) const {
        std::vector<std::string> out;
        for (const std::string& r : host.Requests())
            if (r.rfind(start, 0) == 0) out.push_back(r);
        return out;
    }
};

TEST_F(SimRunTest, StopOnlyScriptRunsAndFinishes) {
    ASSERT_TRUE(RunAndPump(Script("        stop\n")));
    EXPECT_EQ(Lines(), (std::vector<std::string>{"Script running...", "Script finished"}));
    EXPECT_EQ(runHost.Outcome(), script::RunOutcome::Finished);
    EXPECT_EQ(client.calls.back(), "stopped+trace");  // the board's status flag is 1 after an end
    EXPECT_TRUE(host.prompts.messages.empty());
}

// The download counts its frames: the script's record and the closing record.
TEST_F(SimRunTest, TheDownloadSaysHowFarItHasCome) {
    ASSERT_TRUE(
        RunAndPump(Script("n       word    1\n"
                          "        add 1 n\n"
                          "        stop\n")));
    const size_t frames = Requests("7E 08").size() + Requests("7E 09").size() + Requests("7E 12").size();
    ASSERT_EQ(frames, 4u);  // two records, the initialiser, the closing record
    EXPECT_EQ(host.progressSink.events,
              (std::vector<std::string>{"Begin Downloading script 4 records", "Advance 1", "Advance 2",
                                        "Advance 3", "Advance 4", "End after 0 messages"}));
}

TEST_F(SimRunTest, TextsWithContinuationAndValues) {
    ASSERT_TRUE(
        RunAndPump(Script("n       word    41\n"
                          "        disp \"n=\\c\"\n"
                          "        add 1 n\n"
                          "        disp \"%u\" n\n"
                          "        disp \"hex %X\" n\n"
                          "        stop\n")));
    EXPECT_EQ(Lines(), (std::vector<std::string>{"Script running...", "n=42", "hex 2A", "Script finished"}));
}

TEST_F(SimRunTest, The501stLineRemovesTheFirst) {
    ASSERT_TRUE(
        RunAndPump(Script("i       word    0\n"
                          "        while i < 501\n"
                          "          add 1 i\n"
                          "          disp \"line %u\" i\n"
                          "        endwhile\n"
                          "        stop\n")));
    ASSERT_EQ(results.Count(), 500u);
    // "Script running...", lines 1..501, "Script finished": 503 lines, the first three gone.
    EXPECT_EQ(results.Lines().front(), "line 3");
    EXPECT_EQ(results.Lines()[498], "line 501");
    EXPECT_EQ(results.Lines().back(), "Script finished");
}

TEST_F(SimRunTest, ReadOf2500ValuesFromAFileOf2200) {
    std::string data;
    for (int i = 0; i < 2200; ++i) data += std::to_string(i) + "\n";
    folder.Write("in.txt", data);
    ASSERT_TRUE(
        RunAndPump(Script("n       word    0\n"
                          "buf     buffer  2500\n"
                          "        fopenr \"in.txt\" \"%d\" n\n"
                          "        filercs *buf 2500\n"
                          "        stop\n")));
    EXPECT_EQ(Lines(), (std::vector<std::string>{"Script running...", "Opened text file, 2200 data \n",
                                                 "\r\nError Attempt to read past end of file at line 4"}));
    EXPECT_EQ(Requests("7E 14"), (std::vector<std::string>{"7E 14 00 00 08 98"}));
    const std::vector<std::string> blocks = Requests("7E 0C");
    const std::vector<std::string> last = Requests("7E 0D");
    ASSERT_EQ(blocks.size(), 2u);
    ASSERT_EQ(last.size(), 1u);
    EXPECT_EQ(blocks[0].substr(0, 17), "7E 0C 07 D0 00 00");
    EXPECT_EQ(blocks[1].substr(0, 17), "7E 0C 07 D0 03 E8");  // value 1000 first
    EXPECT_EQ(last[0].substr(0, 17), "7E 0D 01 90 07 D0");  // 200 values from 2000 on
    EXPECT_EQ(last[0].size(), std::string("7E 0D 01 90").size() + 400 * 3);
}

TEST_F(SimRunTest, EightBitWaveFileFailsToOpen) {
    const Bytes wav =
        Hex("52 49 46 46 28 00 00 00 57 41 56 45 66 6D 74 20 10 00 00 00 01 00 01 00 40 1F "
            "00 00 40 1F 00 00 01 00 08 00 64 61 74 61 04 00 00 00 01 02 03 04");
    std::ofstream(folder.File("in8.wav"), std::ios::binary)
        .write(reinterpret_cast<const char*>(wav.data()), static_cast<std::streamsize>(wav.size()));
    ASSERT_TRUE(
        RunAndPump(Script("n       word    0\n"
                          "        fopenr \"in8.wav\" \"%d\" n\n"
                          "        stop\n")));
    EXPECT_EQ(Lines(),
              (std::vector<std::string>{"Script running...", "Error: Unable to open file: in8.wav"}));
    EXPECT_EQ(client.calls.back(), "stopped");
    // The board's script, left waiting for the file, was stopped.
    EXPECT_EQ(Requests("7E 0B").size(), 1u);
    uint8_t status = 9;
    EXPECT_TRUE(host.board.GetScriptStatus(status));  // the abort's end frame was drained
    EXPECT_EQ(status, 1);
}

TEST_F(SimRunTest, WaveWrittenByAScriptReadsBackWithItsHeaderAndSamples) {
    ASSERT_TRUE(
        RunAndPump(Script("i       word    0\n"
                          "k       word\n"
                          "        fopenw \"out.wav\" $1F40 1\n"
                          "        filew \"%u\" $1234\n"
                          "        bufcfg 300\n"
                          "        bufopenw 0 k\n"
                          "        while i < 300\n"
                          "          bufwrite 0 i\n"
                          "          add 1 i\n"
                          "        endwhile\n"
                          "        buftofile 0 \"%u\"\n"
                          "        stop\n")));
    EXPECT_EQ(Lines().back(), "Script finished");
    EXPECT_EQ(Requests("7E 21").size(), 2u);  // 300 words: blocks of 255 and 45
    script::WaveReader reader;
    ASSERT_TRUE(reader.Open(folder.File("out.wav")));
    EXPECT_EQ(reader.Format().sampleRate, 8000u);
    EXPECT_EQ(reader.Format().samples, 301u);
    uint16_t s = 0;
    ASSERT_TRUE(reader.NextSample(s));
    EXPECT_EQ(s, 0x1234);
    for (uint16_t want = 0; want < 300; ++want) {
        ASSERT_TRUE(reader.NextSample(s));
        ASSERT_EQ(s, want);
    }
    EXPECT_FALSE(reader.NextSample(s));
    const std::string head = folder.Read("out.wav").substr(0, 46);
    EXPECT_EQ(ToHex(Bytes(head.begin(), head.end())),
              "52 49 46 46 80 02 00 00 57 41 56 45 66 6D 74 20 12 00 00 00 01 00 01 00 40 1F 00 00 "
              "80 3E 00 00 02 00 10 00 00 00 64 61 74 61 5A 02 00 00");
}

TEST_F(SimRunTest, AWriteFileThatCannotBeStoredIsReportedNeverFinished) {
    struct Case {
        const char* what;
        const char* name;
        const char* script;
    };
    // The failure shows at the close after the board's end frame (a few bytes sit in the
    // file's buffer until then) or at a write during the run (more than the buffer holds).
    const Case cases[] = {
        {"a text file, lost at the close", "out.txt",
         "        fopenw \"out.txt\"\n        filew \"v=%u\" 5\n        stop\n"},
        {"a binary file, lost at the close", "out.bin",
         "        fopenw \"out.bin\"\n        filew \"\" $1234\n        stop\n"},
        {"a text file, lost during the run", "big.txt",
         "i       word    0\n"
         "        fopenw \"big.txt\"\n"
         "        while i < 3000\n"
         "          filew \"value %u\" i\n"
         "          add 1 i\n"
         "        endwhile\n"
         "        stop\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(folder.File(c.name));
        std::filesystem::create_symlink("/dev/full", folder.File(c.name));
        ASSERT_TRUE(RunAndPump(Script(c.script)));
        EXPECT_EQ(Lines().back(), std::string("Error: Unable to store data: ") + c.name);
        EXPECT_EQ(runHost.Outcome(), script::RunOutcome::FileError);
        for (const std::string& line : Lines()) EXPECT_NE(line, "Script finished");
        EXPECT_TRUE(std::filesystem::is_symlink(folder.File(c.name)));
        // The board is idle again: the next run starts and finishes.
        std::filesystem::remove(folder.File(c.name));
        ASSERT_TRUE(RunAndPump(Script("        stop\n")));
        EXPECT_EQ(Lines().back(), "Script finished");
    }
}

TEST_F(SimRunTest, EntryAskedAgainForAbcThenTakenAndAbortedBy1G) {
    dialogs.entries = {{true, "abc"}, {true, "$2a"}, {true, "$1G"}};
    ASSERT_TRUE(
        RunAndPump(Script("v       word    $10\n"
                          "        dialogentry \"Value %x\" v\n"
                          "        disp \"got %u\" v\n"
                          "        dialogentry \"Again %x\" v\n"
                          "        disp \"not reached\"\n"
                          "        stop\n")));
    ASSERT_EQ(dialogs.shownEntries.size(), 3u);
    EXPECT_EQ(dialogs.shownEntries[0].prompt, "Value 10");
    EXPECT_EQ(dialogs.shownEntries[0].entry, "$10");
    EXPECT_EQ(dialogs.shownEntries[2].prompt, "Again 2a");
    EXPECT_EQ(Lines(), (std::vector<std::string>{"Script running...", "got 42", "Script aborted at line 4"}));
    ASSERT_EQ(host.prompts.messages.size(), 2u);
    EXPECT_EQ(host.prompts.messages[0].text, "Error - Value must be hexadecimal or integer");
    EXPECT_EQ(host.prompts.messages[1].text, "Error - Value must be hexadecimal or integer");
    EXPECT_EQ(runHost.Outcome(), script::RunOutcome::Aborted);
}

TEST_F(SimRunTest, MessageBoxCancelAbortsAndYesNoAnswers) {
    host.prompts.answers = {MsgAnswer::Ok, MsgAnswer::Cancel};
    dialogs.yesNo = {script::CDialog_YesNo::kNo};
    ASSERT_TRUE(
        RunAndPump(Script("a       word    5\n"
                          "        dialog \"First %u\" a\n"
                          "        dialogyesno \"Sure?\" a\n"
                          "        disp \"answer %u\" a\n"
                          "        dialog \"Second\"\n"
                          "        stop\n")));
    EXPECT_EQ(Lines(),
              (std::vector<std::string>{"Script running...", "answer 0", "Script aborted at line 5"}));
    ASSERT_EQ(host.prompts.messages.size(), 2u);
    EXPECT_EQ(host.prompts.messages[0].text, "First 5");
    EXPECT_EQ(host.prompts.messages[1].caption, "Script Message-Script Paused");
}

TEST_F(SimRunTest, AbortOfAnEndlessLoop) {
    ASSERT_TRUE(
        runHost.Run(Script("n       word    0\n"
                           "loop    add 1 n\n"
                           "        jmp loop\n")));
    host.clock.Advance(50);  // let the board loop a while
    runHost.Abort();
    Pump();
    ASSERT_EQ(Lines().size(), 2u);
    EXPECT_TRUE(Lines()[1] == "Script aborted at line 2" || Lines()[1] == "Script aborted at line 3")
        << Lines()[1];
    EXPECT_EQ(client.calls, (std::vector<std::string>{"started", "stopped", "stopped+trace"}));
}

TEST_F(SimRunTest, RunTimeErrorNamesItsLine) {
    ASSERT_TRUE(
        RunAndPump(Script("        disp \"before\"\n"
                          "        return\n"
                          "        stop\n")));
    EXPECT_EQ(Lines(), (std::vector<std::string>{"Script running...", "before",
                                                 "\r\nError Stack underflow at line 2"}));
    EXPECT_EQ(client.calls.back(), "stopped");
    EXPECT_EQ(runHost.Outcome(), script::RunOutcome::RunTimeError);
}

TEST_F(SimRunTest, TwoRunsInARowAndRegisterAccessesInTheTrace) {
    const std::string path = Script(
        "        device 2\n"
        "        write $1234 *$20 1\n"
        "        stop\n");
    ASSERT_TRUE(RunAndPump(path));
    ASSERT_TRUE(RunAndPump(path));
    EXPECT_EQ(Lines(), (std::vector<std::string>{"Script running...", "Script finished"}));
    EXPECT_EQ(host.simBoard.Register(2, 0x20), 0x1234);
    EXPECT_EQ(host.simBoard.TraceSize(), 2u);
}

// Every example of the simulated board's script reference runs to its end through the run host.
TEST_F(SimRunTest, ReferenceExamplesFinish) {
    const std::vector<std::string> scripts =
        ScriptReferenceExamples(std::string(TR805Q_TEST_DATA_DIR) + "/../..");
    ASSERT_GE(scripts.size(), 7u);
    folder.Write("in.txt", "1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n");
    folder.Write("in.bin", std::string("\x00\x01\x00\x02\x00\x03", 6));
    for (size_t i = 0; i < scripts.size(); ++i) {
        SCOPED_TRACE(scripts[i]);
        host.prompts.answers.clear();
        dialogs.yesNo = {script::CDialog_YesNo::kYes};
        dialogs.entries = {{true, std::nullopt}};
        ASSERT_TRUE(RunAndPump(Script(scripts[i], "example" + std::to_string(i) + ".mbs")));
        EXPECT_EQ(Lines().back(), "Script finished");
    }
}

}  // namespace
}  // namespace runtest
