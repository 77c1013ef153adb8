// The run host's parts on their own: uplink frames, the entry rules, the results list, the
// text-file scanner and the WAVE reader and writer.
#include "script/DataFiles.h"
#include "script/ResultsList.h"
#include "script/ScriptDialogs.h"
#include "script/UplinkParser.h"
#include "script/Wave.h"
#include "tests/script/run_support.h"

#include <fstream>

namespace runtest {
namespace {

// Every frame a byte stream yields, as "code: data bytes".
std::vector<std::string> Frames(const std::string& hex) {
    script::UplinkParser parser;
    std::vector<std::string> out;
    for (uint8_t b : Hex(hex)) {
        if (!parser.Feed(b)) continue;
        const script::UplinkFrame& f = parser.Frame();
        out.push_back(std::to_string(f.code) + ":" + (f.length ? " " : "") +
                      ToHex(Bytes(f.data.begin(), f.data.begin() + static_cast<long>(f.length))));
    }
    return out;
}

TEST(UplinkParser, FramesByTheirDocumentedLengths) {
    struct Case {
        const char* bytes;
        std::vector<std::string> frames;
    };
    const Case cases[] = {
        {"7E 07", {"7:"}},
        {"7E 05 01 02", {"5: 01 02"}},
        {"7E 06 00 00 1F 40 02", {"6: 00 00 1F 40 02"}},
        {"7E 08 03 12 34", {"8: 03 12 34"}},
        {"7E 0B 00 00 09 C4", {"11: 00 00 09 C4"}},
        {"7E 0C 01 00 05  7E 0D 03 00 01  7E 1B 05 01 2C", {"12: 01 00 05", "13: 03 00 01", "27: 05 01 2C"}},
        // Data bytes are data, even 7E.
        {"7E 08 7E 7E 7E", {"8: 7E 7E 7E"}},
        // Bytes outside a frame are ignored; a second 7E where the code belongs restarts.
        {"00 55 7E 7E 7E 07", {"7:"}},
        // An unknown code drops the frame up to the next 7E.
        {"7E 30 08 00 00 01 7E 07", {"7:"}},
        {"7E 00 7E 0E 7E 17 7E 1C 7E 07", {"7:"}},
        // A block: string, count, then as many words as the count's low byte says.
        {"7E 18 01 00 02 AA BB CC DD 7E 07", {"24: 01 00 02 AA BB CC DD", "7:"}},
        {"7E 18 01 01 00 7E 07", {"24: 01 01 00", "7:"}},  // count 0x100: low byte 0, no words
        {"7E 18 01 00 00", {"24: 01 00 00"}},
        // Yes/no and entry questions.
        {"7E 19 02 00 07 7E 1A 04 FF FF", {"25: 02 00 07", "26: 04 FF FF"}},
        // Cut short: nothing yet.
        {"7E 08 03 12", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(Frames(c.bytes), c.frames) << c.bytes;
}

TEST(UplinkParser, LongestBlockFillsTheFrameExactly) {
    std::string hex = "7E 18 00 00 FF";
    for (int i = 0; i < 255; ++i) hex += " 12 34";
    const std::vector<std::string> frames = Frames(hex + " 7E 07");
    ASSERT_EQ(frames.size(), 2u);
    script::UplinkParser parser;
    for (uint8_t b : Hex(hex)) parser.Feed(b);
    EXPECT_EQ(parser.Frame().BlockWords(), 255u);
    EXPECT_EQ(parser.Frame().BlockWord(254), 0x1234);
    EXPECT_EQ(parser.Frame().length, script::UplinkFrame::kMaxData);
}

TEST(EntryRules, TextToAnswerAskAgainOrAbort) {
    using script::EntryVerdict;
    struct Case {
        const char* text;
        EntryVerdict verdict;
        uint16_t value;
        const char* message;
    };
    const char* const notNumber = "Error - Value must be hexadecimal or integer";
    const char* const range = "Error - Value out of range.";
    const Case cases[] = {
        {"5", EntryVerdict::Accept, 5, ""},
        {"65535", EntryVerdict::Accept, 0xFFFF, ""},
        {"65536", EntryVerdict::AskAgain, 0, range},
        {"-1", EntryVerdict::Accept, 0xFFFF, ""},
        {"-32768", EntryVerdict::Accept, 0x8000, ""},
        {"-32769", EntryVerdict::AskAgain, 0, range},
        {"-32677", EntryVerdict::Accept, 0x805B, ""},
        {" 12 ", EntryVerdict::Accept, 12, ""},
        {"99999999999999999999", EntryVerdict::AskAgain, 0, range},
        {"abc", EntryVerdict::AskAgain, 0, notNumber},
        {"1.5", EntryVerdict::AskAgain, 0, notNumber},
        {"+5", EntryVerdict::AskAgain, 0, notNumber},
        {"$1F", EntryVerdict::Accept, 0x1F, ""},
        {"$1f", EntryVerdict::Accept, 0x1F, ""},
        {"0x ffff ", EntryVerdict::Accept, 0xFFFF, ""},
        {"0x10000", EntryVerdict::AskAgain, 0, range},
        {"$100000000", EntryVerdict::AskAgain, 0, range},  // never wraps to 0
        {"$1G", EntryVerdict::Abort, 0, notNumber},
        {"0x-1", EntryVerdict::Abort, 0, notNumber},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const script::EntryCheck r = script::CheckEntryText(c.text);
        EXPECT_EQ(r.verdict, c.verdict);
        EXPECT_EQ(r.message, c.message);
        if (c.verdict == EntryVerdict::Accept) {
            EXPECT_EQ(r.value, c.value);
        }
    }
}

TEST(ScriptDialogs, YesNoResultsAndDefaults) {
    script::CDialog_YesNo d;
    EXPECT_EQ(d.caption, "Dialog Yes No");
    EXPECT_EQ(d.result, 1);
    d.OnYes();
    EXPECT_EQ(d.result, 6);
    d.OnNo();
    EXPECT_EQ(d.result, 7);
    d.OnAbort();
    EXPECT_EQ(d.result, 3);
    EXPECT_EQ(script::CDialog_Entry().caption, "Dialog Entry");
}

class RecordingObserver final : public script::ResultsObserver {
public:
    void OnCleared() override { events.push_back("clear"); }
    void OnFirstRemoved() override { events.push_back("remove-first"); }
    void OnLineAdded(const std::string& t) override { events.push_back("add " + t); }
    void OnLastLineChanged(const std::string& t) override { events.push_back("change " + t); }
    std::vector<std::string> events;
};

TEST(ResultsList, The501stLineRemovesTheFirstAndTheLastIsSelected) {
    script::CResultsList list;
    RecordingObserver seen;
    list.SetObserver(&seen);
    for (int i = 1; i <= 500; ++i) list.AddLine("line " + std::to_string(i));
    EXPECT_EQ(list.Count(), 500u);
    EXPECT_EQ(list.Selected(), 499);
    list.AddText("line 501");
    EXPECT_EQ(list.Count(), 500u);
    EXPECT_EQ(list.Lines().front(), "line 2");
    EXPECT_EQ(list.Lines().back(), "line 501");
    EXPECT_EQ(list.Selected(), 499);
    const std::vector<std::string> tail(seen.events.end() - 2, seen.events.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"remove-first", "add line 501"}));
}

TEST(ResultsList, ContinuationJoinsScriptTextsOnly) {
    script::CResultsList list;
    RecordingObserver seen;
    list.SetObserver(&seen);
    list.AddText("a\\c");
    EXPECT_TRUE(list.ContinuationOpen());
    list.AddText("b\\c");
    list.AddText("c");
    EXPECT_FALSE(list.ContinuationOpen());
    list.AddText("d\\c");
    list.AddLine("Script finished");  // the program's own text starts its own line
    list.AddText("e");
    EXPECT_EQ(std::vector<std::string>(list.Lines().begin(), list.Lines().end()),
              (std::vector<std::string>{"abc", "d", "Script finished", "e"}));
    EXPECT_EQ(seen.events, (std::vector<std::string>{"add a", "change ab", "change abc", "add d",
                                                     "add Script finished", "add e"}));
    list.AddText("x\\c");
    list.Clear();
    EXPECT_FALSE(list.ContinuationOpen());
    EXPECT_EQ(script::CResultsList::DisplayText("\r\nError at line 3"), "Error at line 3");
    EXPECT_EQ(script::CResultsList::DisplayText("Line 1: Error\r\n"), "Line 1: Error");
}

TEST(DataFiles, KindFollowsTheName) {
    EXPECT_EQ(script::KindOfName("a.wav"), script::DataFileKind::Wave);
    EXPECT_EQ(script::KindOfName("x.wav.txt"), script::DataFileKind::Wave);
    EXPECT_EQ(script::KindOfName("a.bin"), script::DataFileKind::Binary);
    EXPECT_EQ(script::KindOfName("A.WAV"), script::DataFileKind::Text);
    EXPECT_EQ(script::KindOfName("data"), script::DataFileKind::Text);
}

TEST(DataFiles, ScanFormatsTakeOneNumberAndRefuseTheRest) {
    struct Case {
        const char* format;
        const char* text;
        std::optional<uint16_t> value;  // nothing: the line yields no value
    };
    const Case cases[] = {
        {"%d", "42", 42},
        {"%d", "-1", 0xFFFF},
        {"%d", "  7 trailing", 7},
        {"%d", "x7", std::nullopt},
        {"%u", "70000", static_cast<uint16_t>(70000)},
        {"%x", "1f", 0x1F},
        {"%X", "0x1F", 0x1F},
        {"%x", "0xg", 0},  // the 0 before a lone x
        {"%i", "0x10", 16},
        {"%i", "010", 8},
        {"%o", "17", 15},
        {"%2d", "12345", 12},
        {"%hd", "5", 5},
        {"%ld", "5", 5},
        {"v=%d", "v= 9", 9},
        {"v=%d", "w=9", std::nullopt},
        {"a %d", "a    3", 3},
        {"100%% %d", "100% 4", 4},
        {"%d,%d!", "1,2", 1},  // refused below: two conversions
        {"%d", "99999999999999999999", 0xFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " / " + c.text);
        script::ValueScanFormat f;
        if (std::string(c.format) == "%d,%d!") {
            EXPECT_FALSE(f.Parse(c.format));
            continue;
        }
        ASSERT_TRUE(f.Parse(c.format));
        uint16_t v = 0;
        const bool got = f.Scan(c.text, v);
        EXPECT_EQ(got, c.value.has_value());
        if (c.value && got) {
            EXPECT_EQ(v, *c.value);
        }
    }
    for (const char* refused : {"", "abc", "%s", "%f", "%c", "%n", "%*d", "%", "%d %x", "%p", "%99999d"}) {
        script::ValueScanFormat f;
        EXPECT_FALSE(f.Parse(refused)) << refused;
    }
}

TEST(DataFiles, TextLinesAreCutAtTheSemicolonAndTrimmed) {
    EXPECT_EQ(script::DataLineText("  12  ; twelve\r\n"), "12");
    EXPECT_EQ(script::DataLineText("; only a comment"), "");
    EXPECT_EQ(script::DataLineText("\t\r\n"), "");
    EXPECT_EQ(script::DataLineText("7;8"), "7");
}

TEST(DataFiles, ReadFilesCountTheirValuesAndStartAgainAtTheFirst) {
    TempFolder folder;
    folder.Write("t.txt", "; header\n1\n\nx\n2 ; two\r\n  3\n");
    script::ReadDataFile text;
    ASSERT_TRUE(text.Open(folder.File("t.txt"), "%d"));
    EXPECT_EQ(text.ItemCount(), 3u);
    EXPECT_EQ(text.Report(), "Opened text file, 3 data \n");
    std::vector<uint16_t> values;
    for (uint16_t v; text.Next(v);) values.push_back(v);
    EXPECT_EQ(values, (std::vector<uint16_t>{1, 2, 3}));

    std::ofstream(folder.File("w.bin"), std::ios::binary) << std::string("\x01\x02\x03", 3);
    script::ReadDataFile binary;
    ASSERT_TRUE(binary.Open(folder.File("w.bin"), "ignored %s"));
    EXPECT_EQ(binary.ItemCount(), 1u);
    EXPECT_EQ(binary.Report(), "Opened binary file, 1 words \n");
    uint16_t v = 0;
    EXPECT_TRUE(binary.Next(v));
    EXPECT_EQ(v, 0x0102);
    EXPECT_FALSE(binary.Next(v));

    script::ReadDataFile missing;
    EXPECT_FALSE(missing.Open(folder.File("none.txt"), "%d"));
    EXPECT_FALSE(missing.IsOpen());
}

TEST(DataFiles, LongLinesAreReadInPiecesWithoutOverflow) {
    TempFolder folder;
    folder.Write("long.txt", std::string(10000, '7') + "\n5\n");
    script::ReadDataFile f;
    ASSERT_TRUE(f.Open(folder.File("long.txt"), "%d"));
    EXPECT_EQ(f.ItemCount(), 4u);  // three pieces of the long line, then 5
}

// A WAVE file as bytes: RIFF header, a "fmt " chunk with the given fields, then "data".
Bytes Wav(uint16_t channels, uint32_t rate, uint16_t blockAlign, uint16_t bits, const Bytes& data,
          uint32_t dataSizeField = 0xFFFFFFFF) {
    auto le32 = [](Bytes& b, uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto le16 = [](Bytes& b, uint16_t v) {
        b.push_back(static_cast<uint8_t>(v));
        b.push_back(static_cast<uint8_t>(v >> 8));
    };
    Bytes b{'R', 'I', 'F', 'F'};
    le32(b, static_cast<uint32_t>(4 + 8 + 16 + 8 + data.size()));
    for (char c : std::string("WAVEfmt ")) b.push_back(static_cast<uint8_t>(c));
    le32(b, 16);
    le16(b, 1);
    le16(b, channels);
    le32(b, rate);
    le32(b, rate * blockAlign);
    le16(b, blockAlign);
    le16(b, bits);
    for (char c : std::string("data")) b.push_back(static_cast<uint8_t>(c));
    le32(b, dataSizeField == 0xFFFFFFFF ? static_cast<uint32_t>(data.size()) : dataSizeField);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

TEST(Wave, HeadersAcceptedOnlyWith16BitSamples) {
    struct Case {
        const char* what;
        Bytes bytes;
        bool ok;
        uint32_t rate, samples;
        bool stereo;
    };
    const Bytes four{1, 0, 2, 0, 3, 0, 4, 0};
    Bytes listFirst = Wav(1, 8000, 2, 16, four);
    // A LIST chunk of odd size (padded) before "fmt ".
    listFirst.insert(listFirst.begin() + 12, {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0});
    listFirst[4] = static_cast<uint8_t>(listFirst[4] + 12);
    Bytes riffTooBig = Wav(1, 8000, 2, 16, four);
    riffTooBig[4] = 0xFF;
    const Bytes whole = Wav(1, 8000, 2, 16, four);
    const Bytes truncated(whole.begin(), whole.begin() + 30);
    Bytes notWave = Wav(1, 8000, 2, 16, four);
    notWave[8] = 'X';
    const Case cases[] = {
        {"mono", Wav(1, 8000, 2, 16, four), true, 8000, 4, false},
        {"stereo", Wav(2, 44100, 4, 16, four), true, 44100, 4, true},
        {"8-bit", Wav(1, 8000, 1, 8, four), false, 0, 0, false},
        {"24-bit", Wav(1, 8000, 3, 24, four), false, 0, 0, false},
        {"no samples", Wav(1, 8000, 2, 16, {}), false, 0, 0, false},
        {"block align 0", Wav(1, 8000, 0, 16, four), false, 0, 0, false},
        {"data size beyond the file", Wav(1, 8000, 2, 16, four, 1000), true, 8000, 4, false},
        {"chunk before fmt", listFirst, true, 8000, 4, false},
        {"RIFF size beyond the file", riffTooBig, true, 8000, 4, false},
        {"not WAVE", notWave, false, 0, 0, false},
        {"truncated header", truncated, false, 0, 0, false},
        {"empty", Bytes{}, false, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        script::MemorySource source(c.bytes.data(), c.bytes.size());
        script::WaveFormat f;
        ASSERT_EQ(script::ParseWaveHeader(source, f), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(f.sampleRate, c.rate);
        EXPECT_EQ(f.samples, c.samples);
        EXPECT_EQ(f.Stereo(), c.stereo);
    }
}

TEST(Wave, WriterCountsTenSamplesUntilItClosesAndRefusesBadFormats) {
    TempFolder folder;
    script::WaveWriter w;
    ASSERT_TRUE(w.Create(folder.File("s.wav"), 22050, 2));
    for (uint16_t s : {1, 2, 3}) ASSERT_TRUE(w.WriteSample(s));
    // Before the close the header speaks of ten samples.
    {
        const std::string head = folder.Read("s.wav").substr(0, 46);
        EXPECT_EQ(ToHex(Bytes(head.begin(), head.end())),
                  "52 49 46 46 3A 00 00 00 57 41 56 45 66 6D 74 20 12 00 00 00 01 00 02 00 22 56 00 00 "
                  "88 58 01 00 04 00 10 00 00 00 64 61 74 61 14 00 00 00");
    }
    ASSERT_TRUE(w.Close());
    const std::string all = folder.Read("s.wav");
    ASSERT_EQ(all.size(), 52u);
    EXPECT_EQ(ToHex(Bytes(all.begin() + 4, all.begin() + 8)), "2C 00 00 00");  // 2 x 3 + 38
    EXPECT_EQ(ToHex(Bytes(all.begin() + 42, all.end())), "06 00 00 00 01 00 02 00 03 00");

    script::ReadDataFile r;
    ASSERT_TRUE(r.Open(folder.File("s.wav"), ""));
    EXPECT_EQ(r.Report(), "Opened wav file, sample rate 22050 ,stereo,  3 samples \n");

    script::WaveWriter bad;
    EXPECT_FALSE(bad.Create(folder.File("r.wav"), 0, 1));
    EXPECT_FALSE(bad.Create(folder.File("r.wav"), 8000, 3));
    EXPECT_FALSE(bad.Create(folder.Path().string() + "/no/such/dir.wav", 8000, 1));
}

}  // namespace
}  // namespace runtest
