// The register table pages and their configuration file.
#include "registers/RegisterConfigFile.h"
#include "registers/RegisterTable.h"
#include "tests/support/SimHost.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

void SetRow(CRegisterTablePage& page, int n, RowType type, const char* address, const char* data,
            bool enabled = true) {
    page.ApplyType(n, type);
    page.Row(n).address = address;
    page.Row(n).data = data;
    page.Row(n).enabled = enabled;
}

TEST(RegisterTable, TypeDecidesCaptionLimitAndReadOnly) {
    SimHost host;
    CZLINKControlExt1 page(host);
    struct Case {
        RowType type;
        const char* caption;
        size_t limit;
        bool readOnly;
    };
    const Case cases[] = {{RowType::None, "X", 4, false},
                          {RowType::Rd16, "R", 4, true},
                          {RowType::Wr16, "W", 4, false},
                          {RowType::Rd8, "R", 2, true},
                          {RowType::Wr8, "W", 2, false}};
    for (const auto& c : cases) {
        page.Row(1).data = "12";
        page.ApplyType(1, c.type);
        EXPECT_STREQ(page.Row(1).UpdateCaption(), c.caption);
        EXPECT_EQ(page.Row(1).DataLimit(), c.limit);
        EXPECT_EQ(page.Row(1).DataReadOnly(), c.readOnly);
        // A chosen type empties the Data cell, even when the width stays the same.
        if (c.type != RowType::None) {
            EXPECT_EQ(page.Row(1).data, "");
        }
    }
}

TEST(RegisterTable, WriteAllStopsAtAnUntypedRowBeforeSendingAnything) {
    SimHost host;
    CZLINKControlExt1 page(host);
    SetRow(page, 3, RowType::Wr16, "20", "1234");
    page.Row(5).enabled = true;
    EXPECT_EQ(page.RunAll(AllRowsRun::Write), PageResult::Invalid);
    ASSERT_EQ(host.prompts.messages.size(), 1u);
    EXPECT_EQ(host.prompts.messages[0].text, "Error - Select Z-LINK register type");
    ASSERT_TRUE(page.focus);
    EXPECT_EQ(page.focus->row, 5);
    EXPECT_EQ(page.focus->cell, RowCell::Type);
    EXPECT_TRUE(host.Requests().empty());
}

TEST(RegisterTable, RunsTakeTheirDirectionInRowOrder) {
    SimHost host;
    host.simBoard.SetRegister(1, 0x41, 0xBEEF);
    host.simBoard.SetRegister(1, 0x42, 0x0007);
    CZLINKControlExt2 page(host);
    SetRow(page, 21, RowType::Wr8, "30", "1234");
    SetRow(page, 20, RowType::Wr16, "31", "00FF");
    SetRow(page, 2, RowType::Rd16, "41", "");
    SetRow(page, 40, RowType::Rd8, "42", "");
    SetRow(page, 10, RowType::Wr16, "50", "1", /*enabled=*/false);

    ASSERT_EQ(page.RunAll(AllRowsRun::Write), PageResult::Ok);
    EXPECT_EQ(host.Requests(), (std::vector<std::string>{"7E 03 31 00 FF 01", "7E 02 30 34 01"}));
    // The screen follows the accessed rows only.
    EXPECT_EQ(host.progressSink.events,
              (std::vector<std::string>{"Begin Writing registers 2 rows", "Advance 1", "Advance 2",
                                        "End after 0 messages"}));
    host.requests.clear();
    ASSERT_EQ(page.RunAll(AllRowsRun::Read), PageResult::Ok);
    EXPECT_EQ(host.Requests(), (std::vector<std::string>{"7E 05 41 01", "7E 04 42 01"}));
    EXPECT_EQ(page.Row(2).data, "BEEF");
    EXPECT_EQ(page.Row(40).data, "07");
    host.requests.clear();
    host.progressSink.events.clear();
    ASSERT_EQ(page.RunAll(AllRowsRun::Both), PageResult::Ok);
    EXPECT_EQ(host.Requests().size(), 4u);
    EXPECT_EQ(host.progressSink.events.front(), "Begin Writing and reading registers 4 rows");
    // A row left out of the runs still answers its own Update button.
    host.requests.clear();
    EXPECT_EQ(page.UpdateRow(10), PageResult::Ok);
    EXPECT_EQ(host.Requests(), (std::vector<std::string>{"7E 03 50 00 01 01"}));
}

TEST(RegisterTable, RowChecksInOrderWithFocus) {
    struct Case {
        RowType type;
        const char* address;
        const char* data;
        const char* message;
        RowCell cell;
    };
    const Case cases[] = {
        {RowType::None, "", "", "Error - Select Z-LINK register type", RowCell::Type},
        {RowType::Wr16, "", "", "Error - A null register address is not valid", RowCell::Address},
        {RowType::Rd16, "2x", "", "Error - Register address must be hexadecimal", RowCell::Address},
        {RowType::Wr8, "20", "", "Error - Null register data is not valid", RowCell::Data},
        {RowType::Wr16, "20", "12 4", "Error - Register data must be hexadecimal", RowCell::Data},
    };
    for (const auto& c : cases) {
        SimHost host;
        CZLINKControlExt1 page(host);
        SetRow(page, 7, c.type, c.address, c.data);
        EXPECT_EQ(page.UpdateRow(7), PageResult::Invalid);
        ASSERT_EQ(host.prompts.messages.size(), 1u);
        EXPECT_EQ(host.prompts.messages[0].text, c.message);
        ASSERT_TRUE(page.focus);
        EXPECT_EQ(page.focus->row, 7);
        EXPECT_EQ(page.focus->cell, c.cell);
        EXPECT_TRUE(host.Requests().empty());
    }
}

TEST(RegisterTable, LostBoardStopsTheRunAndQuits) {
    SimHost host;
    CZLINKControlExt1 page(host);
    SetRow(page, 1, RowType::Wr16, "20", "1");
    SetRow(page, 2, RowType::Wr16, "21", "2");
    host.simBoard.faults().noReply = true;
    EXPECT_EQ(page.RunAll(AllRowsRun::Write), PageResult::LostBoard);
    EXPECT_EQ(host.Requests().size(), 1u);
    EXPECT_TRUE(host.prompts.QuitPosted());
}

TEST(RegisterTable, ClearAllAndClearData) {
    SimHost host;
    CZLINKControlExt1 page(host);
    SetRow(page, 1, RowType::Wr16, "20", "1");
    page.Row(1).description = "gain";
    page.SetLocked(true);
    page.ClearData();
    EXPECT_EQ(page.Row(1).data, "");
    EXPECT_EQ(page.Row(1).address, "20");
    page.ClearAll();
    EXPECT_EQ(page.Row(1).type, RowType::None);
    EXPECT_FALSE(page.Row(1).enabled);
    EXPECT_EQ(page.Row(1).description, "");
    EXPECT_TRUE(page.Locked());
}

class ConfigFile : public ::testing::Test {
protected:
    std::string Path(const char* name) { return folder_.File(name); }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static void Write(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    TempFolder folder_{"tr805q-config"};
};

TEST_F(ConfigFile, EmptyTableSavesAs240Lines) {
    SimHost host;
    CZLINKControlExt1 page(host);
    ASSERT_TRUE(page.SaveConfigFile(Path("empty.txt")));
    std::string expected;
    for (int r = 1; r <= 40; ++r) {
        char header[24];
        std::snprintf(header, sizeof header, "Register:%03d\r\n", r);
        expected += std::string(header) + "\r\n\r\n00\r\n\r\n0\r\n";
    }
    EXPECT_EQ(Read(Path("empty.txt")), expected);
}

TEST_F(ConfigFile, LoadLocksAndSavesBackTheSameLines) {
    SimHost host;
    CZLINKControlExt1 page(host);
    SetRow(page, 1, RowType::Wr16, "20", "1234");
    page.Row(1).description = "Gain réglage";  // Latin-1 letters survive
    SetRow(page, 40, RowType::Rd8, "7F", "05", false);
    page.Row(40).description = "日本";  // outside the file's 8 bits: saved as "??"
    ASSERT_TRUE(page.SaveConfigFile(Path("a.txt")));
    const std::string saved = Read(Path("a.txt"));
    EXPECT_NE(saved.find("Register:001\r\nGain r\xE9glage\r\n20\r\n02\r\n1234\r\n1\r\n"), std::string::npos);
    EXPECT_NE(saved.find("Register:040\r\n??\r\n7F\r\n03\r\n05\r\n0\r\n"), std::string::npos);

    CZLINKControlExt2 other(host);
    ASSERT_TRUE(other.LoadConfigFile(Path("a.txt")));
    EXPECT_TRUE(other.Locked());
    EXPECT_EQ(other.Row(1).description, "Gain réglage");
    EXPECT_EQ(other.Row(1).type, RowType::Wr16);
    EXPECT_STREQ(other.Row(1).UpdateCaption(), "W");
    EXPECT_EQ(other.Row(1).data, "1234");
    ASSERT_TRUE(other.SaveConfigFile(Path("b.txt")));
    EXPECT_EQ(Read(Path("b.txt")), saved);
}

TEST_F(ConfigFile, ReaderAcceptsLfAndHeadersInsideTheLine) {
    std::string text;
    for (int r = 1; r <= 40; ++r) {
        char header[40];
        std::snprintf(header, sizeof header, "xxRegister:%03dyy\n", r);
        text += std::string(header) + "d\n" + "10\n" + (r == 2 ? "05\n" : "02\n") + "AB\n1\n";
    }
    Write(Path("lf.txt"), text);
    SimHost host;
    CZLINKControlExt1 page(host);
    ASSERT_TRUE(page.LoadConfigFile(Path("lf.txt")));
    EXPECT_EQ(page.Row(1).type, RowType::Wr16);
    EXPECT_EQ(page.Row(2).type, RowType::None);  // 05 is no type
    EXPECT_EQ(page.Row(40).data, "AB");
    EXPECT_TRUE(page.Row(40).enabled);
}

TEST_F(ConfigFile, FailuresLeaveTheDocumentedState) {
    SimHost host;
    CZLINKControlExt1 page(host);
    SetRow(page, 1, RowType::Wr16, "20", "1");

    for (const char* name : {"missing.txt", ""}) {  // no file; the folder itself
        EXPECT_FALSE(page.LoadConfigFile(Path(name)));
        EXPECT_EQ(host.prompts.messages.back().text, "Error - Unable to open config file");
        EXPECT_EQ(page.Row(1).address, "20");  // unchanged
    }

    // Records 1 and 2 swapped: fails at row 1, every row clear, not locked.
    Write(Path("swapped.txt"), "Register:002\r\n\r\n\r\n00\r\n\r\n0\r\nRegister:001\r\n");
    EXPECT_FALSE(page.LoadConfigFile(Path("swapped.txt")));
    EXPECT_EQ(host.prompts.messages.back().text, "Error - Unable to read config file");
    EXPECT_EQ(page.Row(1).address, "");
    EXPECT_FALSE(page.Locked());

    // A short file: the rows before the missing record are loaded.
    Write(Path("short.txt"), "Register:001\r\nx\r\n21\r\n01\r\n\r\n1\r\n");
    EXPECT_FALSE(page.LoadConfigFile(Path("short.txt")));
    EXPECT_EQ(page.Row(1).address, "21");
    EXPECT_FALSE(page.Locked());
}

// 40 good records, record 1 with `description`; `before` ahead of the first header.
std::string GoodConfig(const std::string& description = "d", const std::string& before = "") {
    std::string text = before;
    for (int r = 1; r <= 40; ++r) {
        char header[24];
        std::snprintf(header, sizeof header, "Register:%03d\r\n", r);
        text += std::string(header) + (r == 1 ? description : "d") + "\r\n20\r\n02\r\n12\r\n1\r\n";
    }
    return text;
}

TEST_F(ConfigFile, AnyFileLoadsOrFailsWithinTheFormatsBounds) {
    const std::string atBound(kMaxConfigLineBytes, 'a');
    std::string overInRecord2 = GoodConfig();
    overInRecord2.insert(overInRecord2.find("Register:002\r\n") + 14,
                         std::string(kMaxConfigLineBytes + 1, 'b'));
    struct Case {
        const char* name;
        std::string path;  // a file of the system, or empty for `text`
        std::string text;
        bool loaded;
        const char* message;  // shown when the load fails
        const char* row1Address;
        const char* row2Address;
        std::string row1Description;
    };
    const Case cases[] = {
        // The open succeeds and every read fails (EIO), as with a pulled USB stick.
        {"read error", "/proc/self/mem", "", false, "Error - Unable to open config file", "7", "8", "keep"},
        // No line end ever comes: the first line is over the bound, the rest is never read.
        {"endless file", "/dev/zero", "", false, "Error - Unable to read config file", "", "", ""},
        {"line at the bound", "", GoodConfig(atBound), true, "", "20", "20", atBound},
        {"line over the bound in record 2", "", overInRecord2, false, "Error - Unable to read config file",
         "20", "", "d"},
        {"UTF-8 byte-order mark at the start", "", GoodConfig("d", "\xEF\xBB\xBF"), true, "", "20", "20",
         "d"},
        {"byte-order mark inside a cell is text", "", GoodConfig("\xEF\xBB\xBF"), true, "", "20", "20",
         "\xC3\xAF\xC2\xBB\xC2\xBF"},
    };
    for (const Case& c : cases) {
        SimHost host;
        CZLINKControlExt1 page(host);
        SetRow(page, 1, RowType::Wr16, "7", "1");
        SetRow(page, 2, RowType::Wr16, "8", "1");
        page.Row(1).description = "keep";
        std::string path = c.path;
        if (path.empty()) {
            path = Path("case.txt");
            Write(path, c.text);
        }
        bool loaded = false;
        EXPECT_NO_THROW(loaded = page.LoadConfigFile(path)) << c.name;
        EXPECT_EQ(loaded, c.loaded) << c.name;
        EXPECT_EQ(page.Locked(), c.loaded) << c.name;
        if (c.loaded) {
            EXPECT_TRUE(host.prompts.messages.empty()) << c.name;
        } else {
            EXPECT_EQ(host.prompts.messages.size(), 1u) << c.name;
            if (!host.prompts.messages.empty()) {
                EXPECT_EQ(host.prompts.messages[0].text, c.message) << c.name;
            }
        }
        EXPECT_EQ(page.Row(1).address, c.row1Address) << c.name;
        EXPECT_EQ(page.Row(2).address, c.row2Address) << c.name;
        EXPECT_EQ(page.Row(1).description, c.row1Description) << c.name;
    }
}

// Bytes without end: 40 good records, then as much more as anyone asks for.
class EndlessAfterConfig final : public std::streambuf {
public:
    explicit EndlessAfterConfig(std::string head) : head_(std::move(head)) {
        setg(head_.data(), head_.data(), head_.data() + head_.size());
    }
    size_t handedOut = 0;

protected:
    int_type underflow() override {
        handedOut += static_cast<size_t>(egptr() - eback());
        setg(tail_, tail_, tail_ + sizeof tail_);
        return traits_type::to_int_type(tail_[0]);
    }

private:
    std::string head_;
    char tail_[4096] = {};
};

TEST(RegisterConfigReader, ReadsOnlyTheFortyRecords) {
    EndlessAfterConfig source(GoodConfig());
    std::istream in(&source);
    RegisterRows rows{};
    const RegisterConfigRead read = ReadRegisterConfig(in, rows);
    EXPECT_EQ(read.records, 40);
    EXPECT_FALSE(read.readError);
    EXPECT_EQ(rows[39].data, "12");
    EXPECT_LE(source.handedOut, GoodConfig().size() + 64 * 1024)
        << "the bytes after the records are not read";
}

TEST_F(ConfigFile, FailedSaveKeepsThePreviousFileAndASaveTouchesNothingElse) {
    SimHost host;
    CZLINKControlExt1 page(host);
    SetRow(page, 1, RowType::Wr16, "20", "1");
    struct Case {
        const char* what;
        const char* name;
        bool saved;
    };
    // Beside "sibling.txt" lies a folder named like its temporary copy: it is no obstacle and
    // stays.
    Write(Path("sibling.txt"), "previous");
    fs::create_directory(Path("sibling.txt.tmp~"));
    Write(Path("ro.txt"), "previous");
    fs::permissions(Path("ro.txt"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const Case cases[] = {
        {"a folder named like the temporary copy", "sibling.txt", true},
        {"a read-only file", "ro.txt", false},
        {"a missing folder", "no-such-dir/x.txt", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.prompts.messages.clear();
        EXPECT_EQ(page.SaveConfigFile(Path(c.name)), c.saved);
        if (c.saved) {
            EXPECT_TRUE(host.prompts.messages.empty());
            EXPECT_EQ(Read(Path(c.name)).substr(0, 14), "Register:001\r\n");
        } else {
            ASSERT_FALSE(host.prompts.messages.empty());
            EXPECT_EQ(host.prompts.messages.back().text, "Error - Unable to save config file");
        }
    }
    EXPECT_TRUE(fs::is_directory(Path("sibling.txt.tmp~")));
    EXPECT_EQ(Read(Path("ro.txt")), "previous");
    EXPECT_FALSE(fs::exists(Path("no-such-dir")));
}

TEST_F(ConfigFile, DialogsAskWithTheirTitlesAndCancelDoesNothing) {
    SimHost host;
    CZLINKControlExt1 page(host);
    page.SaveConfig();  // cancelled
    page.OpenConfig();  // cancelled
    ASSERT_EQ(host.prompts.fileDialogs.size(), 2u);
    EXPECT_EQ(host.prompts.fileDialogs[0].title, "Save Config");
    EXPECT_TRUE(host.prompts.fileDialogs[0].confirmOverwrite);
    EXPECT_EQ(host.prompts.fileDialogs[1].title, "Select Config");
    EXPECT_EQ(host.prompts.fileDialogs[1].filter, "Text Files (*.txt)|*.txt|All files (*.*)|*.*||");
    EXPECT_TRUE(host.prompts.messages.empty());
    EXPECT_FALSE(fs::exists(Path("x.txt")));
}

}  // namespace
