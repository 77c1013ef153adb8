// The "Trace" window: rows and "NO DATA", paging with its wrap-around and address checks, and
// the trace file byte for byte.
#include "registers/Trace.h"
#include "tests/script/TraceTestSupport.h"
#include "tests/script/run_support.h"
#include "tests/support/PlainUser.h"
#include "tests/support/SimHost.h"
#include "tests/support/VcdReader.h"

#include <filesystem>
#include <functional>
#include <sstream>

#include <sys/stat.h>

namespace runtest {
namespace {

std::tm FixedUtc() {
    std::tm t{};
    t.tm_mday = 7;
    t.tm_mon = 2;  // March
    t.tm_year = 2024 - 1900;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_sec = 3;
    return t;
}

class TraceTest : public testing::Test {
protected:
    TraceTest() : trace(host) { trace.SetUtcNow(FixedUtc); }
    void Accesses(int n) { tracetest::Accesses(host, n); }
    std::vector<std::string> TraceRequests() const { return tracetest::TraceRequests(host); }

    TempFolder folder;
    SimHost host;
    CMTrace trace;
};

TEST_F(TraceTest, HundredEntriesGiveHundredRowsAndNoDataAt64) {
    Accesses(100);
    ASSERT_EQ(trace.Open(), PageResult::Ok);
    EXPECT_EQ(trace.startAddress, "00000");
    ASSERT_EQ(trace.Rows().size(), 101u);
    const TraceRow& newest = trace.Rows()[0];
    EXPECT_EQ(newest[0], "0x00000");
    EXPECT_EQ(newest[1].size(), 10u);
    EXPECT_EQ((TraceRow{newest[0], newest[1], "Write", "2", "0x20", "2", "1 of 1", "0x0063"}), newest);
    EXPECT_EQ(trace.Rows()[99][7], "0x0000");
    EXPECT_EQ(trace.Rows()[100], (TraceRow{"0x00064", "NO DATA", "", "", "", "", "", ""}));
    EXPECT_EQ(TraceRequests(), (std::vector<std::string>{"7E 1A 00 00 00 00 08 00"}));
}

TEST_F(TraceTest, EmptyTraceShowsOnlyNoData) {
    ASSERT_EQ(trace.Open(), PageResult::Ok);
    ASSERT_EQ(trace.Rows().size(), 1u);
    EXPECT_EQ(trace.Rows()[0][0], "0x00000");
    EXPECT_EQ(trace.Rows()[0][1], "NO DATA");
}

TEST_F(TraceTest, RowFormatsOfARecord) {
    TraceRecord r;
    r.device = 3;
    r.direction = 1;
    r.address = 0xAB;
    r.data = 0xBEEF;
    r.bytesPerAccess = 2;
    r.accessCount = 12;
    r.accessNumber = 3;
    r.timestamp = 4000000000u;
    EXPECT_EQ(CMTrace::RowOf(0x1FFFF, r),
              (TraceRow{"0x1FFFF", "4000000000", "Read", "3", "0xAB", "2", "3 of 12", "0xBEEF"}));
    EXPECT_EQ(CMTrace::FileEntryLine(0x1FFFF, r),
              "Trace Address 0x1FFFF Timestamp 4000000000 Device 3 Operation  Read Address 0xAB Bytes per "
              "Access 2 Access   3 of  12 Data 0xBEEF\n");
}

TEST_F(TraceTest, PagingWrapsAndChecksTheAddress) {
    struct Step {
        std::string entered;
        PageResult (CMTrace::*button)();
        std::string shown, request, message;
    };
    const char* const range = "Error - Trace start address must be 0x00000 to 0x20000";
    const char* const notHex = "Error - Register address must be hexadecimal";
    const Step steps[] = {
        {"1F800", &CMTrace::Forward, "00000", "7E 1A 00 00 00 00 08 00", ""},
        {"00000", &CMTrace::Back, "1F800", "7E 1A 00 01 F8 00 08 00", ""},
        {"1F7FF", &CMTrace::Forward, "1FFFF", "7E 1A 00 01 FF FF 08 00", ""},
        {"007FF", &CMTrace::Back, "1FFFF", "7E 1A 00 01 FF FF 08 00", ""},
        {"800", &CMTrace::Back, "00000", "7E 1A 00 00 00 00 08 00", ""},
        {"", &CMTrace::Read, "00000", "7E 1A 00 00 00 00 08 00", ""},
        {"1FFFF", &CMTrace::Read, "1FFFF", "7E 1A 00 01 FF FF 08 00", ""},
        {"20000", &CMTrace::Read, "20000", "", range},
        {"FFFFF", &CMTrace::Forward, "FFFFF", "", range},
        {"0000000123", &CMTrace::Read, "00123", "7E 1A 00 00 01 23 08 00", ""},
        {"100000000", &CMTrace::Read, "100000000", "", range},  // never wraps to 0
        {"12G", &CMTrace::Back, "12G", "", notHex},
        {"1f", &CMTrace::Read, "1f", "", notHex},  // the entry field makes typing upper case
    };
    ASSERT_EQ(trace.Open(), PageResult::Ok);
    for (const Step& s : steps) {
        SCOPED_TRACE(s.entered);
        trace.startAddress = s.entered;
        host.prompts.messages.clear();
        const size_t requestsBefore = TraceRequests().size();
        const size_t rowsBefore = trace.Rows().size();
        const PageResult r = (trace.*s.button)();
        EXPECT_EQ(trace.startAddress, s.shown);
        if (s.message.empty()) {
            EXPECT_EQ(r, PageResult::Ok);
            EXPECT_TRUE(host.prompts.messages.empty());
            ASSERT_EQ(TraceRequests().size(), requestsBefore + 1);
            EXPECT_EQ(TraceRequests().back(), s.request);
        } else {
            EXPECT_EQ(r, PageResult::Invalid);
            ASSERT_EQ(host.prompts.messages.size(), 1u);
            EXPECT_EQ(host.prompts.messages[0].text, s.message);
            EXPECT_EQ(host.prompts.messages[0].caption, "Error");
            EXPECT_EQ(TraceRequests().size(), requestsBefore);
            EXPECT_EQ(trace.Rows().size(), rowsBefore);
        }
    }
}

TEST_F(TraceTest, SavedFileHasTheHeaderAndOneLinePerEntryWithCrLf) {
    Accesses(100);
    host.prompts.filePaths.push_back(folder.File("trace.txt"));
    ASSERT_EQ(trace.Save(), PageResult::Ok);
    ASSERT_EQ(host.prompts.fileDialogs.size(), 1u);
    EXPECT_EQ(host.prompts.fileDialogs[0].title, "Save Trace");
    EXPECT_EQ(host.prompts.fileDialogs[0].filter, "Text Files (*.txt)|*.txt|All files (*.*)|*.*||");
    EXPECT_EQ(host.prompts.fileDialogs[0].defaultExtension, "*.txt");
    EXPECT_TRUE(host.prompts.fileDialogs[0].confirmOverwrite);

    const std::string text = folder.Read("trace.txt");
    const std::string header =
        "Note: Ordered from last Z-LINK access to first Z-LINK access\r\n\r\n"
        "Trace File: trace.txt\r\n"
        "File created: 7/3/2024 - 09:05:03\r\n\r\n";
    ASSERT_EQ(text.substr(0, header.size()), header);
    std::vector<std::string> lines;
    std::istringstream in(text.substr(header.size()));
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    ASSERT_EQ(lines.size(), 100u);
    const sim::TraceEntry e = host.simBoard.TraceAt(0);
    char expected[200];
    std::snprintf(expected, sizeof expected,
                  "Trace Address 0x00000 Timestamp %010u Device 2 Operation Write Address 0x20 Bytes per "
                  "Access 2 Access   1 of   1 Data 0x0063\r",
                  static_cast<unsigned>(e.timestamp));
    EXPECT_EQ(lines[0], expected);
    EXPECT_EQ(lines[99].substr(0, 21), "Trace Address 0x00063");
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(text[text.size() - 2], '\r');
}

TEST_F(TraceTest, Exactly2048EntriesHaveNoNoDataRowAndTheSaveAsksOnceMore) {
    Accesses(2048);
    ASSERT_EQ(trace.Open(), PageResult::Ok);
    EXPECT_EQ(trace.Rows().size(), 2048u);
    EXPECT_EQ(trace.Rows().back()[0], "0x007FF");
    EXPECT_NE(trace.Rows().back()[1], "NO DATA");
    ASSERT_EQ(trace.SaveTo(folder.File("t.txt")), PageResult::Ok);
    EXPECT_EQ(TraceRequests(), (std::vector<std::string>{"7E 1A 00 00 00 00 08 00", "7E 1A 00 00 00 00 08 00",
                                                         "7E 1A 00 00 08 00 08 00"}));
}

TEST_F(TraceTest, SaveStopsAtTheEndOfTheTraceMemoryWhateverTheBoardAnswers) {
    // A board that answers every trace request with 2048 records.
    FakeHost fake;
    fake.fake.onFrame = [](FakeBoard& b, const Bytes& f) {
        if (f[1] != 0x1A) return;
        Bytes reply;
        for (int i = 0; i < 2048; ++i) {
            const Bytes record = Hex("7E 17 01 00 20 12 34 02 01 01 00 00 00 2A");
            reply.insert(reply.end(), record.begin(), record.end());
        }
        b.Send(reply);
    };
    CMTrace t(fake);
    t.SetUtcNow(FixedUtc);
    ASSERT_EQ(t.SaveTo(folder.File("full.txt")), PageResult::Ok);
    EXPECT_EQ(fake.fake.FramesOf(0x1A).size(), 64u);
    EXPECT_EQ(ToHex(fake.fake.FramesOf(0x1A).back()), "7E 1A 00 01 F8 00 08 00");
    const std::string text = folder.Read("full.txt");
    EXPECT_NE(text.find("Trace Address 0x1FFFF Timestamp 0000000042 Device 1 Operation Write Address 0x20 "
                        "Bytes per Access 2 Access   1 of   1 Data 0x1234\r\n"),
              std::string::npos);
}

// The save counts the entries written against the trace memory's size, block by block, and is
// over before a lost board is reported.
TEST_F(TraceTest, TheSaveSaysHowFarItHasCome) {
    sim::BoardConfig config;
    config.fillTrace = 5000;
    SimHost filled(config);
    CMTrace t(filled);
    t.SetUtcNow(FixedUtc);
    ASSERT_EQ(t.SaveTo(folder.File("filled.txt")), PageResult::Ok);
    EXPECT_EQ(filled.progressSink.events,
              (std::vector<std::string>{"Begin Saving trace 131072 entries", "Advance 2048", "Advance 4096",
                                        "Advance 5000", "End after 0 messages"}));
    // The export and the timeline's whole trace read the same way.
    filled.progressSink.events.clear();
    ASSERT_EQ(t.ExportTo(folder.File("filled.vcd"), TraceFileFormat::Vcd), PageResult::Ok);
    std::vector<TraceRecord> records;
    ASSERT_EQ(t.ReadWholeTrace(records), PageResult::Ok);
    EXPECT_EQ(records.size(), 5000u);
    EXPECT_EQ(filled.progressSink.events,
              (std::vector<std::string>{"Begin Saving trace 131072 entries", "Advance 2048", "Advance 4096",
                                        "Advance 5000", "End after 0 messages",
                                        "Begin Reading trace 131072 entries", "Advance 2048", "Advance 4096",
                                        "Advance 5000", "End after 0 messages"}));

    filled.progressSink.events.clear();
    filled.simBoard.faults().noReply = true;
    EXPECT_EQ(t.SaveTo(folder.File("lost.txt")), PageResult::LostBoard);
    EXPECT_EQ(filled.progressSink.events,
              (std::vector<std::string>{"Begin Saving trace 131072 entries", "End after 0 messages"}));
    EXPECT_EQ(filled.prompts.messages.size(), 1u);
}

TEST_F(TraceTest, FailuresOfTheFileAndTheBoard) {
    // A file that cannot be created: nothing is asked of the board.
    ASSERT_EQ(trace.SaveTo(folder.Path().string() + "/no/such/t.txt"), PageResult::Failed);
    EXPECT_EQ(host.prompts.messages.back().text, "Error - Unable to save results");
    EXPECT_TRUE(TraceRequests().empty());
    // Cancel in the file dialog: nothing at all.
    EXPECT_EQ(trace.Save(), PageResult::Ok);
    EXPECT_TRUE(TraceRequests().empty());

    host.simBoard.faults().noReply = true;
    EXPECT_EQ(trace.Read(), PageResult::LostBoard);
    EXPECT_EQ(host.prompts.messages.back().text, kMsgNoCommunication);
    EXPECT_TRUE(host.prompts.QuitPosted());
    EXPECT_EQ(trace.SaveTo(folder.File("x.txt")), PageResult::LostBoard);
}

TEST_F(TraceTest, AnUnwritableDestinationIsRefusedBeforeTheBoardIsAsked) {
    Accesses(3);
    // tr805q-cli trace --save meets the same destinations in its own tests.
    tracetest::ExpectUnwritableDestinationsRefused(
        host, folder,
        {{"the window's save",
          [&](const std::string& path) { return trace.SaveTo(path) == PageResult::Failed; }},
         {"the window's export", [&](const std::string& path) {
              return trace.ExportTo(path, TraceFileFormat::Vcd) == PageResult::Failed;
          }}});
}

TEST_F(TraceTest, ExportWritesTheWholeTraceInTheTypeChosen) {
    Accesses(3);
    trace.SetRegisterNames({{{2, 0x20}, "Gain, coarse"}});
    const std::string csv = folder.File("t.csv"), vcd = folder.File("t.vcd"), bits = folder.File("bits.vcd");
    host.prompts.filePaths = {csv, vcd, bits, std::nullopt};
    host.prompts.fileFilters = {0, 1, 2};
    for (int i = 0; i < 4; ++i) ASSERT_EQ(trace.Export(), PageResult::Ok);
    ASSERT_EQ(host.prompts.fileDialogs.size(), 4u);
    const FileDialogSpec& spec = host.prompts.fileDialogs[0];
    EXPECT_EQ(spec.title, "Export Trace");
    EXPECT_EQ(spec.filter,
              "CSV Files (*.csv)|*.csv|VCD Files (*.vcd)|*.vcd|VCD Files, 1-bit signals (*.vcd)|*.vcd||");
    EXPECT_EQ(spec.defaultExtension, "*.csv");
    EXPECT_TRUE(spec.confirmOverwrite);
    // Three exports read the whole trace each; the cancelled one reads nothing.
    EXPECT_EQ(TraceRequests().size(), 3u);

    // The oldest first, with the names from the tables.
    std::vector<std::string> rows;
    std::istringstream in(folder.Read("t.csv"));
    for (std::string l; std::getline(in, l);) rows.push_back(l);
    ASSERT_EQ(rows.size(), 4u);
    const sim::TraceEntry oldest = host.simBoard.TraceAt(2);
    EXPECT_EQ(rows[1], "0,2,write,0x20,0x0000,2,1,1," + std::to_string(oldest.timestamp) + "," +
                           std::to_string(oldest.timestamp) + ",0x00002,\"Gain, coarse\"\r");
    EXPECT_EQ(rows[3].substr(0, 27), "2,2,write,0x20,0x0002,2,1,1");

    std::string error;
    const auto dump = vcdtest::Parse(folder.Read("t.vcd"), error);
    ASSERT_TRUE(dump) << error;
    EXPECT_EQ(dump->date, "2024-03-07 09:05:03 UTC");
    EXPECT_TRUE(dump->Find("tr805q.dev2_reg20_Gain_coarse"));
    EXPECT_EQ(dump->times.front(), oldest.timestamp);
    const auto bitDump = vcdtest::Parse(folder.Read("bits.vcd"), error);
    ASSERT_TRUE(bitDump) << error;
    EXPECT_TRUE(bitDump->Find("tr805q.dev2_reg20_Gain_coarse_15"));
    EXPECT_FALSE(bitDump->Find("tr805q.dev2_reg20_Gain_coarse"));

    // The text format is the trace file, as "Save..." writes it.
    ASSERT_EQ(trace.ExportTo(folder.File("a.txt"), TraceFileFormat::Text), PageResult::Ok);
    ASSERT_EQ(trace.SaveTo(folder.File("b.txt")), PageResult::Ok);
    EXPECT_EQ(folder.Read("a.txt").substr(folder.Read("a.txt").find("File created")),
              folder.Read("b.txt").substr(folder.Read("b.txt").find("File created")));
}

TEST_F(TraceTest, ABoardLostDuringAnExportLeavesTheOlderFile) {
    Accesses(3);
    const std::string path = folder.Write("old.vcd", "older dump");
    host.simBoard.faults().noReply = true;
    EXPECT_EQ(trace.ExportTo(path, TraceFileFormat::Csv), PageResult::LostBoard);
    EXPECT_EQ(host.prompts.messages.back().text, kMsgNoCommunication);
    EXPECT_EQ(folder.Read("old.vcd"), "older dump");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()),
                            std::filesystem::directory_iterator()),
              1);
}

}  // namespace
}  // namespace runtest
