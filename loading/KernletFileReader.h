#pragma once
// The Kernlet file reader. A Kernlet file is text in the style of a C header: a "#define N_DB"
// line gives the block count (data blocks plus the end record), each data block has four
// "#define" lines (address, length in words, checksum high and low half) followed by its words
// written "0x" plus four hex digits, and a last "#define" gives the end record's address.
// Everything else on a line is ignored. The reader walks the file line by line and hands what
// it finds, in file order, to a loader; it never interprets the image.
#include "core/UserPrompts.h"
#include "link/ComInt.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct KernletBlockHeader {
    uint16_t address = 0;
    uint16_t lengthWords = 0;
    uint16_t checksumHigh = 0;
    uint16_t checksumLow = 0;
    uint32_t Checksum() const { return (uint32_t{checksumHigh} << 16) | checksumLow; }
    bool operator==(const KernletBlockHeader&) const = default;
};

// What the reader was doing when its loader failed.
enum class KernletStep { None, BlockHeader, DataChunk, EndRecord };

// Receives the records of a Kernlet file. Each operation returns the result of the board
// link's paced write (kWriteOk, kWriteFailed, kWriteRefused); the walk stops at the first
// result other than kWriteOk.
class KernletLoader {
public:
    virtual ~KernletLoader() = default;
    virtual uint8_t BlockHeader(const KernletBlockHeader& header) = 0;
    // 2..96 bytes of the current block, words high byte first.
    virtual uint8_t DataChunk(const uint8_t* bytes, size_t count) = 0;
    virtual uint8_t EndRecord(uint16_t address) = 0;
};

struct KernletWalkResult {
    uint8_t result;  // kWriteOk when the file was walked to its end
    KernletStep failedStep;  // KernletStep::None unless a loader operation failed
};

// Reads up to `maxChars` characters from `pos` of `text` as hexadecimal, the way the files are
// read: every character yields a digit (letters of either case read correctly; anything else
// gives some digit), and only the characters that are there are read.
uint16_t KernletHex(std::string_view text, size_t pos, size_t maxChars);

class KernletFileReader {
public:
    // A chunk holds 48 words.
    static constexpr size_t kChunkBytes = 96;

    explicit KernletFileReader(KernletLoader& loader) : loader_(loader) {}

    // Progress of the walk: after every `linesPerStep` lines the bar steps once, while it is
    // below 100. With 0 lines per step (a file under 100 lines) it never steps.
    void SetProgress(ProgressDialog* bar, size_t linesPerStep) {
        bar_ = bar;
        linesPerStep_ = linesPerStep;
    }

    // One line of the file, its line end removed. False once the walk has stopped on a
    // loader failure; further lines are then ignored.
    bool FeedLine(std::string_view line);
    // Every line of the stream, up to its end or the first loader failure.
    KernletWalkResult Walk(std::istream& in);
    KernletWalkResult Result() const { return {result_, failedStep_}; }

    // What the reader has seen so far.
    bool HaveCount() const { return haveCount_; }
    unsigned BlockCount() const { return blockCount_; }
    bool EndRecordSeen() const { return endSeen_; }
    // Inside a block's words: the block has not been seen complete yet.
    bool InBlockData() const { return inData_; }
    // Words of the current block so far, and its length.
    uint64_t BlockWords() const { return words_; }
    uint16_t BlockLength() const { return values_[1]; }
    // The "#define N_DB" line had no "0x" and was read as 0.
    bool CountWithoutHex() const { return countWithoutHex_; }
    // The first block (from 1) whose length line had no "0x" and was read as 0; 0 when none.
    size_t LengthWithoutHex() const { return lengthWithoutHex_; }

private:
    bool Fail(KernletStep step, uint8_t result);
    bool EmitChunk();

    KernletLoader& loader_;
    ProgressDialog* bar_ = nullptr;
    size_t linesPerStep_ = 0;
    size_t lineCounter_ = 0;

    bool haveCount_ = false;
    bool inHeader_ = false;
    bool inData_ = false;
    bool endSeen_ = false;
    unsigned blockCount_ = 0;
    bool countWithoutHex_ = false;
    size_t headers_ = 0;
    size_t lengthWithoutHex_ = 0;
    // Records still to come, the end record included. Signed: a block count of 0 goes below
    // zero and never reaches the end record, as such a file is read.
    long remaining_ = 0;
    size_t k_ = 0;
    std::array<uint16_t, 4> values_{};
    uint64_t words_ = 0;
    std::array<uint8_t, kChunkBytes> chunk_{};
    size_t chunkLength_ = 0;

    uint8_t result_ = kWriteOk;
    KernletStep failedStep_ = KernletStep::None;
};

// Reads one line of a text file, its line end removed ("\n", or "\r\n" as written on Windows).
// False at the end of the stream.
bool ReadKernletLine(std::istream& in, std::string& line);

// What a Kernlet file holds, found by walking it without a board: the line count for the
// progress steps, the blocks with their chunk counts, and the end record.
struct KernletFileSummary {
    struct Block {
        KernletBlockHeader header;
        size_t chunks = 0;
        size_t bytes = 0;  // data bytes the reader handed over for the block
    };
    size_t lines = 0;
    bool haveCount = false;
    unsigned blockCount = 0;  // as the "#define N_DB" line gives it
    std::vector<Block> blocks;
    bool endsInBlock = false;  // the last block was never seen complete
    uint64_t openBlockWords = 0;  // the words of that block
    std::optional<uint16_t> finalAddress;
    bool countWithoutHex = false;
    size_t lengthWithoutHex = 0;  // the first block whose length line has no "0x"; 0: none
};

KernletFileSummary ScanKernletText(std::istream& in);
// Opens a Kernlet file for reading; false when it cannot be opened (or is a folder).
bool OpenKernletFile(const std::string& path, std::ifstream& in);
// Nothing when the file cannot be opened or a read of it fails.
std::optional<KernletFileSummary> ScanKernletFile(const std::string& path);

// Why the file must not be loaded, naming the block and what is wrong with it: no block count,
// a count or a length without "0x" (read as 0), a block that never completes, or no end
// record. Such a file would go to the device to its end as data. Nothing for a good file.
std::optional<std::string> KernletFileProblem(const KernletFileSummary& summary);
