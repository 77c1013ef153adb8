// The compiler's listing "debug_file.txt": every record, string and label as the compiler
// built them. Written at the end of every Compile, errors or not.
#include "link/ReplacingFile.h"
#include "script/BulkMemory.h"
#include "script/CompileMessages.h"
#include "script/HelperThread.h"
#include "script/ScriptCompiler.h"

#include <algorithm>
#include <array>
#include <bit>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <system_error>

namespace script {

namespace {

// The pieces of the listing's formats, written straight into the buffer: %Nd, %Nx and %Ns
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
struct RecordNames {
    std::string_view names[2 * kBoardSlotCount];
    RecordNames(const CScriptCompiler& c, const CommandRecord& rec)
        : names{c.Name(rec.slots[0].name), c.Name(rec.slots[0].indexName),
                c.Name(rec.slots[1].name), c.Name(rec.slots[1].indexName),
                c.Name(rec.slots[2].name), c.Name(rec.slots[2].indexName)} {
        static_assert(kBoardSlotCount == 3);
    }
};

char* PutRecordLine(char* q, const RecordNames& n, const CommandRecord& rec, uint32_t r) {
    q = FitsTemplate(rec) ? PutRecordFields(q, rec, r) : PutRecordFieldsAnyWidth(q, rec, r);
    for (int s = 0; s < kBoardSlotCount; ++s) {
        q = PutText(q, n.names[2 * s]);
        *q++ = '[';
        q = PutText(q, n.names[2 * s + 1]);
        *q++ = ']';
        *q++ = s + 1 < kBoardSlotCount ? ',' : '\n';
    }
    return q;
}

// "%4x %s\n"
char* PutStringLine(char* q, const std::string& text, uint32_t i) {
    q = PutHex(q, i, 4);
    *q++ = ' ';
    q = PutText(q, text);
    *q++ = '\n';
    return q;
}

char* PutLabelLine(char* q, std::string_view name, const LabelEntry& e, std::size_t i) {
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
    return q;
}

// The listing as a row of items, each one line or a title: the command table's title, every
// record, the string table's title, every string, the label table's title, every label.
class ListingItems {
public:
    explicit ListingItems(const CScriptCompiler& c)
        : c_(c),
          records_(c.Records().size()),
          stringsTitle_(1 + records_),
          labelsTitle_(stringsTitle_ + 1 + c.Strings().size()),
          count_(labelsTitle_ + 1 + c.Labels().size()) {
        // The most any one item takes, from the longest name and string: found once, so that
        // making a piece is one pass over its items.
        std::size_t longestString = 0;
        for (const std::string& text : c.Strings()) {
            longestString = std::max(longestString, text.size());
            stringBytes_ += text.size();
        }
        const std::size_t name = c.LongestName();
        itemRoom_ =
            std::max({kListingTitleStrings.size() + kListingTitleLabels.size() + kListingTitleCommands.size(),
                      kListingRecordLine.size() + 12 * kFieldRoom + 2 * kBoardSlotCount * name,
                      longestString + kFieldRoom + 2,
                      kListingLabelStart.size() + kListingLabelCommand.size() + name + 4 * kFieldRoom});
    }

    std::size_t Count() const { return count_; }
    // Room that any one item may take at most.
    std::size_t ItemRoom() const { return itemRoom_; }
    // About the length of the whole listing, a little above what most take: a record line with
    // short names takes some 110 to 125 characters, a label line some 90, a string line its
    // text and six more.
    std::uint64_t LengthHint() const {
        const std::uint64_t labels = count_ - labelsTitle_ - 1;
        const std::uint64_t strings = labelsTitle_ - stringsTitle_ - 1;
        return 128 * static_cast<std::uint64_t>(records_) + 96 * labels + 6 * strings + stringBytes_ +
               kListingTitleCommands.size() + kListingTitleStrings.size() + kListingTitleLabels.size();
    }
    char* Put(char* q, std::size_t from, std::size_t to) const {
        for (std::size_t i = from; i < to; ++i) {
            if (i == 0) {
                q = PutText(q, kListingTitleCommands);
            } else if (i < stringsTitle_) {
                const CommandRecord& rec = c_.Records()[i - 1];
                q = PutRecordLine(q, RecordNames(c_, rec), rec, static_cast<uint32_t>(i - 1));
            } else if (i == stringsTitle_) {
                q = PutText(q, kListingTitleStrings);
            } else if (i < labelsTitle_) {
                const std::size_t k = i - stringsTitle_ - 1;
                q = PutStringLine(q, c_.Strings()[k], static_cast<uint32_t>(k));
            } else if (i == labelsTitle_) {
                q = PutText(q, kListingTitleLabels);
            } else {
                const std::size_t k = i - labelsTitle_ - 1;
                const LabelEntry& e = c_.Labels()[k];
                q = PutLabelLine(q, c_.Name(e.name), e, k);
            }
        }
        return q;
    }

private:
    const CScriptCompiler& c_;
    std::size_t records_;
    std::size_t stringsTitle_;
    std::size_t labelsTitle_;
    std::size_t count_;
    std::size_t itemRoom_ = 0;
    std::uint64_t stringBytes_ = 0;
};

// Room for the text of a piece of the listing, in the compiler's bulk memory (only what is
// written of it is ever backed by memory). A piece is some thousands of lines: each piece handed
// between the two threads costs a wake-up, and writing the listing in pieces of a hundred
// kilobytes the wake-ups took as long as a tenth of the writing. A script of very long names or
// strings has fewer items a piece, so that the room stays a few megabytes.
class PieceBuffer {
public:
    static constexpr std::size_t kMostItems = 4096;
    static constexpr std::size_t kRoom = 2 * 1024 * 1024;
    static std::size_t ItemsPerPiece(const ListingItems& items) {
        return std::clamp<std::size_t>(kRoom / items.ItemRoom(), 1, kMostItems);
    }
    explicit PieceBuffer(const ListingItems& items)
        : items_(ItemsPerPiece(items)),
          size_(items_ * items.ItemRoom()),
          data_(BulkAllocator<char>().allocate(size_)) {}
    ~PieceBuffer() { BulkAllocator<char>().deallocate(data_, size_); }
    PieceBuffer(const PieceBuffer&) = delete;
    PieceBuffer& operator=(const PieceBuffer&) = delete;
    // Makes piece number `piece` (ItemsPerPiece items a piece); returns its text.
    std::string_view Make(const ListingItems& items, std::size_t piece) {
        const std::size_t from = piece * items_;
        const std::size_t to = std::min(items.Count(), from + items_);
        return std::string_view(data_, static_cast<std::size_t>(items.Put(data_, from, to) - data_));
    }
    static std::size_t Pieces(const ListingItems& items) {
        const std::size_t per = ItemsPerPiece(items);
        return (items.Count() + per - 1) / per;
    }

private:
    std::size_t items_;
    std::size_t size_;
    char* data_;
};

// Makes the listing in pieces and writes them to the file in order. A long script's listing
// runs to many megabytes, and its making and its writing take about as long: the thread that
// makes the listing and a helper both take the next piece to make, into one of a few buffers
// taking turns, and whichever finds the next piece to write made writes it (the other makes on
// meanwhile). Where no helper can be started the one thread does it all. A failed write is the
// file's to remember: its commit then fails and the earlier listing stays.
class ListingMaker {
public:
    // One piece being written and one being made on each thread: a fourth buffer bought nothing
    // but its pages.
    static constexpr std::size_t kBuffers = 3;

    // Throws std::bad_alloc when there is no room for the buffers. `helper`: the compile's, if
    // it has one.
    ListingMaker(const ListingItems& items, ReplacingFile& file, StandingHelper* helper)
        : items_(items),
          file_(file),
          helper_(helper),
          pieces_(PieceBuffer::Pieces(items)),
          buffers_{PieceBuffer(items), PieceBuffer(items), PieceBuffer(items)} {}

    // Makes and writes the whole listing; `besides` runs once, first, on the helper where there
    // is one (or on this thread before the listing).
    void Run(const std::function<void()>& besides) {
        std::optional<StandingHelper> own;
        StandingHelper* helper = helper_;
        if (!helper && pieces_ > 1) {
            try {
                helper = &own.emplace();
            } catch (const std::system_error&) {}
        }
        if (!helper || pieces_ <= 1) {
            besides();
            Work();
            return;
        }
        StandingHelper::Task task(*helper, [this, &besides] {
            besides();
            Work();
        });
        Work();
        task.Finish();
    }

private:
    void Work() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return next_ >= pieces_ || next_ < written_ + kBuffers; });
            if (next_ >= pieces_) break;
            const std::size_t piece = next_++;
            const std::size_t slot = piece % kBuffers;
            lock.unlock();
            const std::string_view text = buffers_[slot].Make(items_, piece);
            lock.lock();
            texts_[slot] = text;
            made_[slot] = true;
            // The next pieces in order, as far as they are made, unless another thread is at it.
            while (!writing_ && written_ < pieces_ && made_[written_ % kBuffers]) {
                const std::size_t w = written_ % kBuffers;
                writing_ = true;
                lock.unlock();
                (void)file_.Write(texts_[w]);  // after a failed write the file takes no more
                lock.lock();
                made_[w] = false;
                ++written_;
                writing_ = false;
                changed_.notify_all();
            }
        }
        // Whatever is still to be written, the thread making the piece before it writes.
    }

    const ListingItems& items_;
    ReplacingFile& file_;
    StandingHelper* const helper_;
    const std::size_t pieces_;
    std::array<PieceBuffer, kBuffers> buffers_;
    std::array<std::string_view, kBuffers> texts_{};
    std::array<bool, kBuffers> made_{};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t next_ = 0;  // pieces handed out to be made
    std::size_t written_ = 0;  // pieces written, in order
    bool writing_ = false;
};

}  // namespace

std::string CScriptCompiler::ListingText() const {
    const ListingItems items(*this);
    std::string text;
    PieceBuffer buffer(items);
    for (std::size_t piece = 0; piece < PieceBuffer::Pieces(items); ++piece)
        text.append(buffer.Make(items, piece));
    return text;
}

void CScriptCompiler::WriteListing(const std::function<bool()>& besides) {
    listingWritten_ = false;
    bool besidesRun = false;
    bool besidesOk = false;
    auto runBesides = [&] {
        besidesRun = true;
        besidesOk = besides();
    };
    const std::string path =
        listingDir_.empty() ? std::string(kListingFileName) : listingDir_ + "/" + kListingFileName;
    // An earlier listing stays whole until this one is; the listing is made anew by every
    // compile, so it does not wait for the disk (megabytes for a long script).
    ReplacingFile file(path, ReplacingFile::Durability::Unsynced);
    bool made = false;
    if (file.Open()) {
        try {
            const ListingItems items(*this);
            // A long listing is written faster into room the file system has taken ahead.
            file.Reserve(items.LengthHint());
            ListingMaker maker(items, file, helper_);
            maker.Run(runBesides);
            made = true;
        } catch (const std::bad_alloc&) {}  // the earlier listing stays
    }
    if (!besidesRun) runBesides();
    if (made && besidesOk) listingWritten_ = file.Commit();
}

}  // namespace script
