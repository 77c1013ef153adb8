// The compiler's listing "debug_file.txt": every record, string and label as the compiler
// built them. Written at the end of every Compile, errors or not.
#include "link/ReplacingFile.h"
#include "script/BulkMemory.h"
#include "script/CompileMessages.h"
#include "script/ScriptCompiler.h"

#include <algorithm>
#include <bit>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace script {

namespace {

// The listing's text is made in buffers of fixed size, each handed on whenever it fills: a
// long script's listing runs to many megabytes and is written on every compile. Whoever takes
// a full buffer gives back the one to go on in.
constexpr std::size_t kChunkSize = 256 * 1024;

class ListingBuffer {
public:
    using Sink = std::function<char*(char* data, std::size_t n)>;
    ListingBuffer(char* first, Sink sink) : sink_(std::move(sink)), data_(first) {}
    ListingBuffer(const ListingBuffer&) = delete;
    ListingBuffer& operator=(const ListingBuffer&) = delete;
    // Room for n more characters at the returned position; Advance commits them. n is at most
    // a few lines.
    char* Reserve(std::size_t n) {
        if (size_ + n > kChunkSize) Flush();
        return data_ + size_;
    }
    void Advance(char* end) { size_ = static_cast<std::size_t>(end - data_); }
    void Flush() {
        if (size_) data_ = sink_(data_, size_);
        size_ = 0;
    }

private:
    Sink sink_;
    char* data_;
    std::size_t size_ = 0;
};

// The buffers of a listing, in the compiler's bulk memory.
class ListingChunks {
public:
    static constexpr int kCount = 3;
    ListingChunks() {
        try {
            for (char*& b : buffers_) b = BulkAllocator<char>().allocate(kChunkSize);
        } catch (const std::bad_alloc&) {
            Free();
            throw;
        }
    }
    ~ListingChunks() { Free(); }
    ListingChunks(const ListingChunks&) = delete;
    ListingChunks& operator=(const ListingChunks&) = delete;
    char* operator[](std::size_t i) const { return buffers_[i % kCount]; }

private:
    void Free() {
        for (char*& b : buffers_) {
            if (b) BulkAllocator<char>().deallocate(b, kChunkSize);
            b = nullptr;
        }
    }
    char* buffers_[kCount] = {};
};

// Writes the listing's buffers to the file on a thread of its own, in the order they were
// handed over, so that the next part of the listing is made while the last one is written: for
// a long script the two take about as long. Where no thread can be started, each buffer is
// written when it is handed over. A failed write is the file's to remember: its commit then
// fails and the earlier listing stays.
class ChunkWriter {
public:
    explicit ChunkWriter(ReplacingFile& file) : file_(file) {
        try {
            thread_ = std::thread([this] { Run(); });
        } catch (const std::system_error&) {}
    }
    ~ChunkWriter() { Finish(); }
    ChunkWriter(const ChunkWriter&) = delete;
    ChunkWriter& operator=(const ChunkWriter&) = delete;

    char* First() const { return chunks_[0]; }
    // Takes the buffer given out last (data, its first n bytes filled) and gives back the next
    // one, once what that one held before is written.
    char* Hand(char* data, std::size_t n) {
        if (!thread_.joinable()) {
            (void)file_.Write(std::string_view(data, n));
            return data;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        sizes_[handed_ % ListingChunks::kCount] = n;
        ++handed_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return handed_ - written_ < ListingChunks::kCount; });
        return chunks_[handed_];
    }
    // Waits until everything handed over is written.
    void Finish() {
        if (thread_.joinable()) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                done_ = true;
            }
            changed_.notify_all();
            thread_.join();
        }
    }

private:
    void Run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return written_ < handed_ || done_; });
            if (written_ == handed_) return;
            const std::size_t index = written_;
            const std::string_view bytes(chunks_[index], sizes_[index % ListingChunks::kCount]);
            lock.unlock();
            (void)file_.Write(bytes);  // after a failed write the file takes no more
            lock.lock();
            ++written_;
            changed_.notify_all();
        }
    }

    ReplacingFile& file_;
    ListingChunks chunks_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t sizes_[ListingChunks::kCount] = {};
    std::size_t handed_ = 0;  // buffers handed over so far
    std::size_t written_ = 0;  // of those, written (or given up)
    bool done_ = false;
    std::thread thread_;  // last: started once everything it uses is there
};

// The pieces of the formats above, written straight into the buffer: %Nd, %Nx and %Ns
// right-aligned in N characters as printf writes them. A long script's listing runs to many
// megabytes, so these stay small enough to inline.
template <std::size_t N>
char* Put(char* q, const char (&literal)[N]) {
    std::memcpy(q, literal, N - 1);
    return q + N - 1;
}

constexpr char kHexDigits[] = "0123456789abcdef";

// Room for the widest padding the formats ask for (%20s).
constexpr char kSpaces[] = "                    ";
constexpr std::size_t kMaxWidth = sizeof kSpaces - 1;

inline char* Pad(char* q, std::size_t used, std::size_t width) {
    if (used < width) {
        // One fixed-size copy; only width - used of it is kept.
        std::memcpy(q, kSpaces, kMaxWidth);
        q += width - used;
    }
    return q;
}

// Copies n characters, most of them names of a few characters (or none): a copy of a length
// known only at run time is a library call, six of them a record line. Reads and writes only
// the n characters.
inline void CopyShort(char* q, const char* s, std::size_t n) {
    if (n >= 8 && n <= 16) {
        std::memcpy(q, s, 8);
        std::memcpy(q + n - 8, s + n - 8, 8);
    } else if (n >= 4 && n < 8) {
        std::memcpy(q, s, 4);
        std::memcpy(q + n - 4, s + n - 4, 4);
    } else if (n > 0 && n < 4) {
        q[0] = s[0];
        q[n / 2] = s[n / 2];
        q[n - 1] = s[n - 1];
    } else if (n > 16) {
        std::memcpy(q, s, n);
    }
}

inline char* PutText(char* q, std::string_view s, std::size_t width = 0) {
    q = Pad(q, s.size(), width);
    CopyShort(q, s.data(), s.size());
    return q + s.size();
}

// Two digits at a time: the pairs "00" to "ff" and "00" to "99".
struct DigitPairs {
    char hex[512];
    char dec[200];
    constexpr DigitPairs() : hex(), dec() {
        for (int i = 0; i < 256; ++i) {
            hex[2 * i] = kHexDigits[i >> 4];
            hex[2 * i + 1] = kHexDigits[i & 0xF];
        }
        for (int i = 0; i < 100; ++i) {
            dec[2 * i] = static_cast<char>('0' + i / 10);
            dec[2 * i + 1] = static_cast<char>('0' + i % 10);
        }
    }
};
constexpr DigitPairs kPairs;

// The hex digits of v written leftwards, ending just before end; returns where they start.
inline char* HexLeft(char* end, uint32_t v) {
    while (v > 0xFF) {
        end -= 2;
        std::memcpy(end, kPairs.hex + 2 * (v & 0xFF), 2);
        v >>= 8;
    }
    if (v > 0xF) {
        end -= 2;
        std::memcpy(end, kPairs.hex + 2 * v, 2);
    } else {
        *--end = kHexDigits[v];
    }
    return end;
}

inline char* PutHex(char* q, uint32_t v, std::size_t width) {
    // The digits go straight to their place: gathered elsewhere and copied on, the copy waited
    // for the small writes before it.
    const std::size_t n = v ? static_cast<std::size_t>(std::bit_width(v) + 3) / 4 : 1;
    q = Pad(q, n, width);
    HexLeft(q + n, v);
    return q + n;
}

// The decimal digits of m written leftwards, ending just before end; returns where they start.
template <typename U>
inline char* DecLeft(char* end, U m) {
    while (m >= 100) {
        end -= 2;
        std::memcpy(end, kPairs.dec + 2 * (m % 100), 2);
        m /= 100;
    }
    if (m >= 10) {
        end -= 2;
        std::memcpy(end, kPairs.dec + 2 * m, 2);
    } else {
        *--end = static_cast<char>('0' + m);
    }
    return end;
}

// How many decimal digits m has.
inline std::size_t DecimalDigits(uint64_t m) {
    std::size_t n = 1;
    for (uint64_t limit = 10; n < 20 && m >= limit; limit *= 10) ++n;
    return n;
}

inline char* PutDec(char* q, int64_t v, std::size_t width) {
    const uint64_t m = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    const std::size_t n = DecimalDigits(m) + (v < 0 ? 1 : 0);
    q = Pad(q, n, width);
    // Straight to their place, as the hex digits.
    if (m <= UINT32_MAX)  // nearly every number of the listing: its division is the cheaper
        DecLeft(q + n, static_cast<uint32_t>(m));
    else
        DecLeft(q + n, m);
    if (v < 0) *q = '-';
    return q + n;
}

// Room for a line: its fixed text plus every field at its widest, and the spare bytes that the
// fixed-size copies above write past what they keep.
constexpr std::size_t kFieldRoom = 24;

// The record line with every field at its printf width, as it is for nearly every record: a
// line number of at most five digits, an opcode of at most two hex digits and refs of at most
// three (kinds and values always fit their widths). The fields are blank in the templates; the
// digits are put in right-aligned. The record number, which passes three digits in a long
// script, goes between the two templates.
struct RecordTemplate {
    static constexpr char kHead[] = "Line       Location ";
    static constexpr std::size_t kHeadSize = sizeof kHead - 1;
    static constexpr std::size_t kLineEnd = 10;
    static constexpr char kTail[] =
        " Command=   Param1=       [   ] Param2=       [   ] "
        "Param3=       [   ] RefLabels=";
    static constexpr std::size_t kTailSize = sizeof kTail - 1;
    // Where each field ends (one past its last character), from the start of the tail.
    static constexpr std::size_t kOpcodeEnd = 11;
    static constexpr std::size_t kSlotStride = 20;  // " Param1=%2x %4x[%3x]"
    static constexpr std::size_t kKindEnd = 21;
    static constexpr std::size_t kValueEnd = 26;
    static constexpr std::size_t kRefEnd = 30;
};
static_assert(RecordTemplate::kHeadSize == 20 && RecordTemplate::kTailSize == 82 &&
              RecordTemplate::kTail[RecordTemplate::kOpcodeEnd] == ' ' &&
              RecordTemplate::kTail[RecordTemplate::kKindEnd] == ' ' &&
              RecordTemplate::kTail[RecordTemplate::kValueEnd] == '[' &&
              RecordTemplate::kTail[RecordTemplate::kRefEnd] == ']' &&
              RecordTemplate::kTail[2 * RecordTemplate::kSlotStride + RecordTemplate::kRefEnd] == ']');

bool FitsTemplate(const CommandRecord& rec) {
    if (rec.line < 0 || rec.line > 99999 || static_cast<uint32_t>(rec.opcode) > 0xFF) return false;
    for (int s = 0; s < kBoardSlotCount; ++s)
        if ((rec.slots[s].ref & 0xFFFF) > 0xFFF) return false;
    return true;
}

char* PutRecordFields(char* q, const CommandRecord& rec, uint32_t r) {
    using T = RecordTemplate;
    std::memcpy(q, T::kHead, T::kHeadSize);
    DecLeft(q + T::kLineEnd, static_cast<uint32_t>(rec.line));
    q = PutHex(q + T::kHeadSize, r, 3);
    std::memcpy(q, T::kTail, T::kTailSize);
    HexLeft(q + T::kOpcodeEnd, static_cast<uint32_t>(rec.opcode));
    for (int s = 0; s < kBoardSlotCount; ++s) {
        const ParamSlot& p = rec.slots[s];
        char* slot = q + s * T::kSlotStride;
        HexLeft(slot + T::kKindEnd, static_cast<uint32_t>(p.kind & 0xFF));
        HexLeft(slot + T::kValueEnd, static_cast<uint32_t>(p.value & 0xFFFF));
        HexLeft(slot + T::kRefEnd, static_cast<uint32_t>(p.ref & 0xFFFF));
    }
    return q + T::kTailSize;
}

// The same fields for any record, through the general pieces.
char* PutRecordFieldsAnyWidth(char* q, const CommandRecord& rec, uint32_t r) {
    q = Put(q, "Line ");
    q = PutDec(q, rec.line, 5);
    q = Put(q, " Location ");
    q = PutHex(q, r, 3);
    q = Put(q, " Command=");
    q = PutHex(q, static_cast<uint32_t>(rec.opcode), 2);
    static const char* const kParam[kBoardSlotCount] = {" Param1=", " Param2=", " Param3="};
    for (int s = 0; s < kBoardSlotCount; ++s) {
        const ParamSlot& p = rec.slots[s];
        std::memcpy(q, kParam[s], 8);
        q += 8;
        q = PutHex(q, static_cast<uint32_t>(p.kind & 0xFF), 2);
        *q++ = ' ';
        q = PutHex(q, static_cast<uint32_t>(p.value & 0xFFFF), 4);
        *q++ = '[';
        q = PutHex(q, static_cast<uint32_t>(p.ref & 0xFFFF), 3);
        *q++ = ']';
    }
    return Put(q, " RefLabels=");
}

// "Line %5d Location %3x Command=%2x Param1=%2x %4x[%3x] Param2=%2x %4x[%3x] Param3=%2x
//  %4x[%3x] RefLabels=%s[%s],%s[%s],%s[%s]\n"
void PutRecordLine(ListingBuffer& out, const CScriptCompiler& c, const CommandRecord& rec, uint32_t r) {
    // Made from the names at once, not cleared first: a record line each.
    const std::string_view names[2 * kBoardSlotCount] = {
        c.Name(rec.slots[0].name),      c.Name(rec.slots[0].indexName), c.Name(rec.slots[1].name),
        c.Name(rec.slots[1].indexName), c.Name(rec.slots[2].name),      c.Name(rec.slots[2].indexName)};
    static_assert(kBoardSlotCount == 3);
    std::size_t room = kListingRecordLine.size() + 12 * kFieldRoom;
    for (const std::string_view& name : names) room += name.size();
    char* q = out.Reserve(room);
    q = FitsTemplate(rec) ? PutRecordFields(q, rec, r) : PutRecordFieldsAnyWidth(q, rec, r);
    for (int s = 0; s < kBoardSlotCount; ++s) {
        q = PutText(q, names[2 * s]);
        *q++ = '[';
        q = PutText(q, names[2 * s + 1]);
        *q++ = ']';
        *q++ = s + 1 < kBoardSlotCount ? ',' : '\n';
    }
    out.Advance(q);
}

void BuildListing(const CScriptCompiler& c, ListingBuffer& out) {
    const auto& records = c.Records();
    const auto& strings = c.Strings();
    const auto& labels = c.Labels();

    char* q = out.Reserve(kListingTitleCommands.size());
    out.Advance(PutText(q, kListingTitleCommands));
    for (std::size_t r = 0; r < records.size(); ++r)
        PutRecordLine(out, c, records[r], static_cast<uint32_t>(r));

    q = out.Reserve(kListingTitleStrings.size());
    out.Advance(PutText(q, kListingTitleStrings));
    for (std::size_t i = 0; i < strings.size(); ++i) {
        // "%4x %s\n"
        q = out.Reserve(strings[i].size() + kFieldRoom + 2);
        q = PutHex(q, static_cast<uint32_t>(i), 4);
        *q++ = ' ';
        q = PutText(q, strings[i]);
        *q++ = '\n';
        out.Advance(q);
    }

    q = out.Reserve(kListingTitleLabels.size());
    out.Advance(PutText(q, kListingTitleLabels));
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const LabelEntry& e = labels[i];
        const std::string_view name = c.Name(e.name);
        q = out.Reserve(kListingLabelStart.size() + kListingLabelCommand.size() + name.size() +
                        4 * kFieldRoom);
        // "Line %5d Label no %4d %20s "
        q = Put(q, "Line ");
        q = PutDec(q, e.line, 5);
        q = Put(q, " Label no ");
        q = PutDec(q, static_cast<int64_t>(i), 4);
        *q++ = ' ';
        q = PutText(q, name, 20);
        *q++ = ' ';
        switch (e.kind) {
            case kKindLabel:  // "Command,                   Location=%d\n"
                q = Put(q, "Command,                   Location=");
                q = PutDec(q, e.commandIndex, 0);
                *q++ = '\n';
                break;
            case kKindConstant:  // "Constant, value=%d\n"
                q = Put(q, "Constant, value=");
                q = PutDec(q, e.value, 0);
                *q++ = '\n';
                break;
            case kKindVariable:  // "Variable, value=%4d,      Location=%d\n"
                q = Put(q, "Variable, value=");
                q = PutDec(q, e.value, 4);
                q = Put(q, ",      Location=");
                q = PutDec(q, e.location, 0);
                *q++ = '\n';
                break;
            case kKindInitWord:  // "Initbuf,  value=%4d,      Location=%d\n"
                if (e.value != kUnresolved) {
                    q = Put(q, "Initbuf,  value=");
                    q = PutDec(q, e.value, 4);
                    q = Put(q, ",      Location=");
                    q = PutDec(q, e.location, 0);
                    *q++ = '\n';
                }
                break;
            default: break;  // nothing after the name, not even a line end
        }
        out.Advance(q);
    }
}

}  // namespace

std::string CScriptCompiler::ListingText() const {
    std::string text;
    std::vector<char> chunk(kChunkSize);
    ListingBuffer out(chunk.data(), [&text](char* data, std::size_t n) {
        text.append(data, n);
        return data;
    });
    BuildListing(*this, out);
    out.Flush();
    return text;
}

void CScriptCompiler::WriteListing() {
    listingWritten_ = false;
    const std::string path =
        listingDir_.empty() ? std::string(kListingFileName) : listingDir_ + "/" + kListingFileName;
    // An earlier listing stays whole until this one is; the listing is made anew by every
    // compile, so it does not wait for the disk (megabytes for a long script).
    ReplacingFile file(path, ReplacingFile::Durability::Unsynced);
    if (!file.Open()) return;
    try {
        ChunkWriter writer(file);
        ListingBuffer out(writer.First(),
                          [&writer](char* data, std::size_t n) { return writer.Hand(data, n); });
        BuildListing(*this, out);
        out.Flush();
        writer.Finish();
    } catch (const std::bad_alloc&) {
        return;  // the earlier listing stays
    }
    listingWritten_ = file.Commit();
}

}  // namespace script
