#include "loading/KernletFileReader.h"

#include "core/TextFormat.h"
#include "loading/KernletTexts.h"

#include <cstdio>

#include <filesystem>
#include <fstream>
#include <istream>

namespace {

constexpr std::string_view kBlockCountTag = "#define N_DB";
constexpr std::string_view kDefineTag = "#define";
constexpr std::string_view kHexTag = "0x";
constexpr size_t kValueChars = 4;
constexpr size_t kBlockCountChars = 2;

// The value of a "#define" line: the characters after its first "0x". A line without "0x"
// has no characters to read and gives 0.
uint16_t LineValue(std::string_view line, size_t chars) {
    const size_t at = line.find(kHexTag);
    return at == std::string_view::npos ? 0 : KernletHex(line, at + kHexTag.size(), chars);
}

bool HasHex(std::string_view line) { return line.find(kHexTag) != std::string_view::npos; }

// A UTF-8 byte-order mark at the very start of the file is no text of its first line.
void DropByteOrderMark(std::string& firstLine) {
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (std::string_view(firstLine).substr(0, kBom.size()) == kBom) firstLine.erase(0, kBom.size());
}

}  // namespace

uint16_t KernletHex(std::string_view text, size_t pos, size_t maxChars) {
    uint16_t value = 0;
    for (size_t i = pos; i < text.size() && i - pos < maxChars; ++i) {
        // Digits map to 0..9 and letters (after the gap between '9' and 'A') to 10..15; the
        // low four bits are all that count, so lower-case letters read as upper-case ones.
        unsigned d = static_cast<unsigned char>(text[i]) - unsigned{'0'};
        if (d > 9) d -= 7;
        value = static_cast<uint16_t>(value * 16 + (d & 15));
    }
    return value;
}

bool KernletFileReader::Fail(KernletStep step, uint8_t result) {
    result_ = result;
    failedStep_ = step;
    return false;
}

bool KernletFileReader::EmitChunk() {
    const uint8_t r = loader_.DataChunk(chunk_.data(), chunkLength_);
    chunkLength_ = 0;
    return r == kWriteOk || Fail(KernletStep::DataChunk, r);
}

bool KernletFileReader::FeedLine(std::string_view line) {
    if (result_ != kWriteOk) return false;

    // 1. The words of the current block. Every "0x" starts a word, whatever surrounds it.
    if (inData_) {
        const uint16_t length = values_[1];
        for (size_t at = line.find(kHexTag); at != std::string_view::npos;
             at = line.find(kHexTag, at + kHexTag.size())) {
            const uint16_t word = KernletHex(line, at + kHexTag.size(), kValueChars);
            chunk_[chunkLength_++] = static_cast<uint8_t>(word >> 8);
            chunk_[chunkLength_++] = static_cast<uint8_t>(word & 0xFF);
            ++words_;
            if ((chunkLength_ == kChunkBytes || words_ == length) && !EmitChunk()) return false;
        }
        // A block is complete only at the end of the line that brought its count to the
        // length; words beyond it on that line leave the block open for ever.
        if (words_ == length) {
            inData_ = false;
            inHeader_ = true;
            words_ = 0;
            --remaining_;
        }
    }

    // 2. Header values, and the end record once only it remains.
    if (inHeader_ && line.find(kDefineTag) != std::string_view::npos) {
        values_[k_++] = LineValue(line, kValueChars);
        // The second value of a block header is its length (the end record has one value).
        if (k_ == 2 && !HasHex(line) && lengthWithoutHex_ == 0) lengthWithoutHex_ = headers_ + 1;
        if (k_ == 1 && remaining_ == 1) {
            inHeader_ = false;
            inData_ = false;
            endSeen_ = true;
            const uint8_t r = loader_.EndRecord(values_[0]);
            if (r != kWriteOk) return Fail(KernletStep::EndRecord, r);
        } else if (k_ == values_.size()) {
            inHeader_ = false;
            inData_ = true;
            k_ = 0;
            ++headers_;
            const KernletBlockHeader header{values_[0], values_[1], values_[2], values_[3]};
            const uint8_t r = loader_.BlockHeader(header);
            if (r != kWriteOk) return Fail(KernletStep::BlockHeader, r);
        }
    }

    // 3. The block count; its own line is no header value.
    if (!haveCount_ && line.find(kBlockCountTag) != std::string_view::npos) {
        blockCount_ = LineValue(line, kBlockCountChars);
        countWithoutHex_ = !HasHex(line);
        remaining_ = blockCount_;
        inHeader_ = true;
        haveCount_ = true;
    }

    // 4. Progress.
    if (bar_) {
        ++lineCounter_;
        if (lineCounter_ == linesPerStep_ && bar_->GetPos() < 100) {
            bar_->StepIt();
            lineCounter_ = 0;
        }
    }
    return true;
}

bool ReadKernletLine(std::istream& in, std::string& line) {
    if (!std::getline(in, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

KernletWalkResult KernletFileReader::Walk(std::istream& in) {
    std::string line;
    for (bool first = true; ReadKernletLine(in, line); first = false) {
        if (first) DropByteOrderMark(line);
        if (!FeedLine(line)) break;
    }
    return Result();
}

namespace {

// Takes every record and remembers it, for a look at a file without a board.
class SummaryLoader final : public KernletLoader {
public:
    explicit SummaryLoader(KernletFileSummary& summary) : summary_(summary) {}
    uint8_t BlockHeader(const KernletBlockHeader& header) override {
        summary_.blocks.push_back({header, 0, 0});
        return kWriteOk;
    }
    uint8_t DataChunk(const uint8_t*, size_t count) override {
        if (summary_.blocks.empty()) return kWriteOk;  // chunks come only after a header
        KernletFileSummary::Block& block = summary_.blocks.back();
        ++block.chunks;
        block.bytes += count;
        return kWriteOk;
    }
    uint8_t EndRecord(uint16_t address) override {
        summary_.finalAddress = address;
        return kWriteOk;
    }

private:
    KernletFileSummary& summary_;
};

}  // namespace

KernletFileSummary ScanKernletText(std::istream& in) {
    KernletFileSummary summary;
    SummaryLoader loader(summary);
    KernletFileReader reader(loader);
    std::string line;
    for (bool first = true; ReadKernletLine(in, line); first = false) {
        if (first) DropByteOrderMark(line);
        ++summary.lines;
        reader.FeedLine(line);
    }
    summary.haveCount = reader.HaveCount();
    summary.blockCount = reader.BlockCount();
    summary.endsInBlock = reader.InBlockData();
    if (summary.endsInBlock) summary.openBlockWords = reader.BlockWords();
    summary.countWithoutHex = reader.CountWithoutHex();
    summary.lengthWithoutHex = reader.LengthWithoutHex();
    return summary;
}

bool OpenKernletFile(const std::string& path, std::ifstream& in) {
    // A folder opens for reading on POSIX but holds no lines: it is no Kernlet file.
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return false;
    in.open(path, std::ios::binary);
    return in.is_open();
}

std::optional<KernletFileSummary> ScanKernletFile(const std::string& path) {
    std::ifstream in;
    if (!OpenKernletFile(path, in)) return std::nullopt;
    KernletFileSummary summary = ScanKernletText(in);
    // A read that fails (EIO from a pulled stick) ends the lines early: what was seen is not the file.
    if (in.bad()) return std::nullopt;
    return summary;
}

std::optional<std::string> KernletFileProblem(const KernletFileSummary& s) {
    if (!s.haveCount) return kMsgNoBlockCount;
    if (s.countWithoutHex) return kMsgBlockCountNotHex;
    if (s.lengthWithoutHex != 0) {
        return FormatText(kFmtLengthNotHex, s.lengthWithoutHex);
    }
    if (s.endsInBlock && !s.blocks.empty()) {
        const unsigned length = s.blocks.back().header.lengthWords;
        if (s.openBlockWords > length) return FormatText(kFmtBlockSurplusWords, s.blocks.size(), length);
        return FormatText(kFmtBlockEndsEarly, s.blocks.size(),
                          static_cast<unsigned long long>(s.openBlockWords), length);
    }
    if (!s.finalAddress) {
        if (s.blocks.empty()) return FormatText(kFmtNoEndRecord, s.blockCount);
        return FormatText(kFmtNoEndRecordAfterBlock, s.blocks.size(), s.blockCount);
    }
    return std::nullopt;
}
