// The Kernlet file reader: line walk, hex reading, block count rule, header and data events,
// 96-byte chunks, the end record, loader failures and progress steps.
#include "loading/KernletFileReader.h"
#include "tests/support/Recorders.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Records every event as a short text: "H addr len csh csl", "D<bytes>", "E addr".
class RecordingLoader final : public KernletLoader {
public:
    uint8_t BlockHeader(const KernletBlockHeader& h) override {
        char t[40];
        std::snprintf(t, sizeof t, "H %04X %04X %04X %04X", h.address, h.lengthWords, h.checksumHigh,
                      h.checksumLow);
        return Record(t);
    }
    uint8_t DataChunk(const uint8_t* bytes, size_t count) override {
        data.insert(data.end(), bytes, bytes + count);
        return Record("D" + std::to_string(count));
    }
    uint8_t EndRecord(uint16_t address) override {
        char t[16];
        std::snprintf(t, sizeof t, "E %04X", address);
        return Record(t);
    }

    std::vector<std::string> events;
    std::vector<uint8_t> data;
    // Event number (0-based) whose operation answers `failResult`; -1: none.
    int failAt = -1;
    uint8_t failResult = kWriteRefused;

private:
    uint8_t Record(std::string e) {
        events.push_back(std::move(e));
        if (static_cast<int>(events.size()) - 1 == failAt) return failResult;
        return kWriteOk;
    }
};

// `n` words 0x0001, 0x0002, ... written eight to a line.
std::string Words(unsigned n, unsigned first = 1) {
    std::string s;
    for (unsigned i = 0; i < n; ++i) {
        char w[12];
        std::snprintf(w, sizeof w, "0x%04X", first + i);
        s += w;
        s += (i + 1 == n) ? "\n" : (i % 8 == 7) ? ",\n" : ", ";
    }
    return s;
}

std::string Header(unsigned address, unsigned length, unsigned csh = 0x1111, unsigned csl = 0x2222) {
    char t[160];
    std::snprintf(t, sizeof t, "#define A 0x%04X\n#define L 0x%04X\n#define CH 0x%04X\n#define CL 0x%04X\n",
                  address, length, csh, csl);
    return t;
}

struct ReaderCase {
    const char* name;
    std::string text;
    std::vector<std::string> events;
};

std::vector<std::string> Walk(const std::string& text, RecordingLoader& loader,
                              KernletWalkResult* result = nullptr) {
    KernletFileReader reader(loader);
    std::istringstream in(text);
    const KernletWalkResult r = reader.Walk(in);
    if (result) *result = r;
    return loader.events;
}

TEST(KernletFileReader, EventsInFileOrder) {
    const ReaderCase cases[] = {
        {"two blocks and the end record",
         "/* image */\n#define N_DB 0x03\n" + Header(0x100, 2) + "{ " + Words(2) + "};\n" +
             Header(0x200, 1, 0xAAAA, 0xBBBB) + Words(1) +
             "#define START 0x0100\n#define IGNORED 0x9999\n0x1234\n",
         {"H 0100 0002 1111 2222", "D4", "H 0200 0001 AAAA BBBB", "D2", "E 0100"}},
        {"count written 0x0003 is 0: no end record, headers for as long as they come",
         "#define N_DB 0x0003\n" + Header(0x100, 1) + Words(1) + Header(0x200, 1) + Words(1) +
             "#define START 0x0100\n",
         {"H 0100 0001 1111 2222", "D2", "H 0200 0001 1111 2222", "D2"}},
        {"block count 1: the first value is the end record",
         "#define N_DB 0x01\n#define START 0x0ABC\n" + Header(0x100, 1) + Words(1),
         {"E 0ABC"}},
        {"100 words: chunks of 96, 96 and 8 bytes",
         "#define N_DB 0x02\n" + Header(0x100, 100) + Words(100) + "#define E 0x0001\n",
         {"H 0100 0064 1111 2222", "D96", "D96", "D8", "E 0001"}},
        {"48 words: one chunk",
         "#define N_DB 0x02\n" + Header(0x100, 48) + Words(48) + "#define E 0x0001\n",
         {"H 0100 0030 1111 2222", "D96", "E 0001"}},
        {"lines before the count line are ignored, #define lines too",
         "#define X 0x1234\n0x5678\n#define Y 0x1111\n#define N_DB 0x02\n" + Header(0x300, 1) + Words(1) +
             "#define E 0x0002\n",
         {"H 0300 0001 1111 2222", "D2", "E 0002"}},
        {"a second N_DB line inside a header is a header value",
         "#define N_DB 0x02\n#define A 0x0100\n#define N_DB 0x0007\n#define CH 0x0001\n#define CL 0x0002\n" +
             Words(7) + "#define E 0x0003\n",
         {"H 0100 0007 0001 0002", "D14", "E 0003"}},
        {"0x in a comment on a data line is a word",
         "#define N_DB 0x02\n" + Header(0x100, 3) + "0x0001, 0x0002, /* was 0xBEEF */\n#define E 0x0003\n",
         {"H 0100 0003 1111 2222", "D6", "E 0003"}},
        {"surplus words on the last line: the block never completes, the rest is data",
         "#define N_DB 0x02\n" + Header(0x100, 2) + "0x0001, 0x0002, 0x0003\n#define E 0x0004\n0x0005\n",
         {"H 0100 0002 1111 2222", "D4"}},
        {"words spread over lines; lines without 0x inside a block are skipped",
         "#define N_DB 0x02\n" + Header(0x100, 3) + "{\n0x0001,\n\n0x0002, 0x0003 };\n#define E 0x0004\n",
         {"H 0100 0003 1111 2222", "D6", "E 0004"}},
        {"lines without #define between header values are ignored",
         "#define N_DB 0x02\n#define A 0x0100\n// note 0x7777\n#define L 0x0001\n\n#define CH "
         "0x0001\n#define CL 0x0002\n0x00FF\n#define E 0x0003\n",
         {"H 0100 0001 0001 0002", "D2", "E 0003"}},
        {"Windows line ends",
         "#define N_DB 0x02\r\n#define A 0x0100\r\n#define L 0x0001\r\n#define CH 0x0001\r\n#define CL "
         "0x0002\r\n0x00FF\r\n#define E 0x0003\r\n",
         {"H 0100 0001 0001 0002", "D2", "E 0003"}},
        {"short values at a line end read what is there, a #define without 0x reads 0",
         "#define N_DB 0x2\n#define A 0x12\n#define L\n#define CH 0x0001\n#define CL 0x0002\n\n#define E "
         "0x00F",
         {"H 0012 0000 0001 0002", "E 000F"}},
        {"no count line: nothing", Header(0x100, 1) + Words(1), {}},
    };
    for (const ReaderCase& c : cases) {
        RecordingLoader loader;
        KernletWalkResult r{};
        EXPECT_EQ(Walk(c.text, loader, &r), c.events) << c.name;
        EXPECT_EQ(r.result, kWriteOk) << c.name;
        EXPECT_EQ(r.failedStep, KernletStep::None) << c.name;
    }
}

TEST(KernletFileReader, WordsTravelHighByteFirstAndChunksIgnoreLineBorders) {
    RecordingLoader loader;
    // 50 words, 7 to a line: the first chunk ends inside a line.
    std::string words;
    for (unsigned i = 0; i < 50; ++i) {
        char w[12];
        std::snprintf(w, sizeof w, "0x%02X%02X", i, 0xF0 | (i & 0xF));
        words += w;
        words += (i % 7 == 6 || i == 49) ? "\n" : ",";
    }
    Walk("#define N_DB 0x02\n" + Header(0x100, 50) + words + "#define E 0x0001\n", loader);
    EXPECT_EQ(loader.events, (std::vector<std::string>{"H 0100 0032 1111 2222", "D96", "D4", "E 0001"}));
    ASSERT_EQ(loader.data.size(), 100u);
    for (unsigned i = 0; i < 50; ++i) {
        EXPECT_EQ(loader.data[2 * i], i);
        EXPECT_EQ(loader.data[2 * i + 1], 0xF0 | (i & 0xF));
    }
}

TEST(KernletFileReader, HexReadingOfEveryCharacter) {
    EXPECT_EQ(KernletHex("0x1A2b", 2, 4), 0x1A2B);
    EXPECT_EQ(KernletHex("abcd", 0, 4), KernletHex("ABCD", 0, 4));
    EXPECT_EQ(KernletHex("FFFFFF", 0, 4), 0xFFFF);
    EXPECT_EQ(KernletHex("12", 0, 4), 0x12);  // only what is there
    EXPECT_EQ(KernletHex("12", 5, 4), 0);  // past the end: nothing read
    EXPECT_EQ(KernletHex("0003", 0, 2), 0);  // the count line reads two characters
    // Not hex: some digit, never an error: 'G' is 'F' + 1 -> 16 & 15 = 0; ' ' wraps below '0'.
    EXPECT_EQ(KernletHex("G", 0, 4), 0);
    EXPECT_EQ(KernletHex(" ", 0, 4), ((0x20u - 0x30u - 7u) & 15u));
    EXPECT_EQ(KernletHex("\xFF", 0, 4), ((0xFFu - 0x30u - 7u) & 15u));
}

struct FailureCase {
    int failAt;
    uint8_t result;
    KernletStep step;
};

TEST(KernletFileReader, StopsAtTheFirstFailedWriteAndNamesTheStep) {
    const std::string text = "#define N_DB 0x02\n" + Header(0x100, 100) + Words(100) + "#define E 0x0001\n";
    const FailureCase cases[] = {
        {0, kWriteRefused, KernletStep::BlockHeader},
        {2, kWriteFailed, KernletStep::DataChunk},
        {4, kWriteRefused, KernletStep::EndRecord},
    };
    for (const FailureCase& c : cases) {
        RecordingLoader loader;
        loader.failAt = c.failAt;
        loader.failResult = c.result;
        KernletFileReader reader(loader);
        std::istringstream in(text);
        const KernletWalkResult r = reader.Walk(in);
        EXPECT_EQ(r.result, c.result);
        EXPECT_EQ(r.failedStep, c.step);
        EXPECT_EQ(loader.events.size(), static_cast<size_t>(c.failAt + 1)) << "nothing after the failure";
        EXPECT_FALSE(reader.FeedLine("#define X 0x0001")) << "the walk stays over";
    }
}

struct ProgressCase {
    size_t lines;
    int steps;  // times the bar stepped
};

TEST(KernletFileReader, ProgressStepsEveryHundredthOfTheFileUpToTheEnd) {
    const ProgressCase cases[] = {{0, 0},     {99, 0},    {100, 100}, {199, 100},
                                  {200, 100}, {250, 100}, {350, 100}, {1000, 100}};
    for (const ProgressCase& c : cases) {
        RecordingLoader loader;
        RecordingProgress bar;
        bar.SetStep(1);
        bar.SetPos(0);
        bar.positions.clear();
        KernletFileReader reader(loader);
        reader.SetProgress(&bar, c.lines / 100);
        for (size_t i = 0; i < c.lines; ++i) reader.FeedLine("text");
        EXPECT_EQ(static_cast<int>(bar.positions.size()), c.steps) << c.lines << " lines";
        EXPECT_EQ(bar.pos, c.steps) << c.lines << " lines";
    }
    // 250 lines, 2 per step: the 100th step comes at line 200.
    RecordingLoader loader;
    RecordingProgress bar;
    bar.SetStep(1);
    KernletFileReader reader(loader);
    reader.SetProgress(&bar, 2);
    for (int i = 0; i < 199; ++i) reader.FeedLine("");
    EXPECT_EQ(bar.pos, 99);
    reader.FeedLine("");
    EXPECT_EQ(bar.pos, 100);
}

TEST(KernletFileReader, SummaryCountsLinesBlocksChunksAndTheEnd) {
    std::istringstream in("#define N_DB 0x03\n" + Header(0x100, 100, 0x1234, 0x5678) + Words(100) +
                          Header(0x200, 2) + "0x0001, 0x0002, 0x0003\n#define E 0x0001\n");
    const KernletFileSummary s = ScanKernletText(in);
    EXPECT_EQ(s.lines, 1u + 4 + 13 + 4 + 2);
    EXPECT_TRUE(s.haveCount);
    EXPECT_EQ(s.blockCount, 3u);
    ASSERT_EQ(s.blocks.size(), 2u);
    EXPECT_EQ(s.blocks[0].header, (KernletBlockHeader{0x100, 100, 0x1234, 0x5678}));
    EXPECT_EQ(s.blocks[0].header.Checksum(), 0x12345678u);
    EXPECT_EQ(s.blocks[0].chunks, 3u);
    EXPECT_EQ(s.blocks[0].bytes, 200u);
    // The second block's last line holds a surplus word: it never completes, no end record.
    EXPECT_EQ(s.blocks[1].bytes, 4u);
    EXPECT_FALSE(s.finalAddress.has_value());

    EXPECT_FALSE(ScanKernletFile("/nonexistent/kernlet.h").has_value());
    EXPECT_FALSE(ScanKernletFile("/").has_value()) << "a folder is no Kernlet file";
}

}  // namespace
