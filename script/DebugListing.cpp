// The compiler's listing "debug_file.txt": every record, string and label as the compiler
// built them. Written at the end of every Compile, errors or not.
#include "link/ReplacingFile.h"
#include "script/CompileMessages.h"
#include "script/ScriptCompiler.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

namespace script {

namespace {

// The listing's text goes through a buffer of fixed size that is handed on whenever it fills:
// a long script's listing runs to many megabytes and is written on every compile.
class ListingBuffer {
public:
    using Sink = std::function<void(std::string_view)>;
    explicit ListingBuffer(Sink sink) : sink_(std::move(sink)), data_(new char[kCapacity]) {}
    ~ListingBuffer() { Flush(); }
    // Room for n more characters at the returned position; Advance commits them. n is at most
    // a few lines.
    char* Reserve(std::size_t n)
    {
        if (size_ + n > kCapacity)
            Flush();
        return data_.get() + size_;
    }
    void Advance(char* end) { size_ = static_cast<std::size_t>(end - data_.get()); }
    void Flush()
    {
        if (size_)
            sink_(std::string_view(data_.get(), size_));
        size_ = 0;
    }

private:
    static constexpr std::size_t kCapacity = 256 * 1024;
    Sink sink_;
    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
};

// The pieces of the formats above, written straight into the buffer: %Nd, %Nx and %Ns
// right-aligned in N characters as printf writes them. A long script's listing runs to many
// megabytes, so these stay small enough to inline.
template <std::size_t N>
char* Put(char* q, const char (&literal)[N])
{
    std::memcpy(q, literal, N - 1);
    return q + N - 1;
}

inline char* Pad(char* q, std::size_t used, std::size_t width);

inline char* PutText(char* q, std::string_view s, std::size_t width = 0)
{
    q = Pad(q, s.size(), width);
    for (char c : s)
        *q++ = c;
    return q;
}

inline char* Pad(char* q, std::size_t used, std::size_t width)
{
    for (; used < width; ++used)
        *q++ = ' ';
    return q;
}

inline char* PutHex(char* q, uint32_t v, std::size_t width)
{
    const int digits = v ? (std::bit_width(v) + 3) / 4 : 1;
    q = Pad(q, static_cast<std::size_t>(digits), width);
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        *q++ = "0123456789abcdef"[(v >> shift) & 0xF];
    return q;
}

inline char* PutDec(char* q, int64_t v, std::size_t width)
{
    char digits[24];
    char* end = digits + sizeof digits;
    char* d = end;
    uint64_t m = v < 0 ? static_cast<uint64_t>(-v) : static_cast<uint64_t>(v);
    do {
        *--d = static_cast<char>('0' + m % 10);
        m /= 10;
    } while (m);
    if (v < 0)
        *--d = '-';
    const std::size_t n = static_cast<std::size_t>(end - d);
    q = Pad(q, n, width);
    std::memcpy(q, d, n);
    return q + n;
}

// Room for a line: its fixed text plus every field at its widest.
constexpr std::size_t kFieldRoom = 24;

// "Line %5d Location %3x Command=%2x Param1=%2x %4x[%3x] Param2=%2x %4x[%3x] Param3=%2x
//  %4x[%3x] RefLabels=%s[%s],%s[%s],%s[%s]\n"
void PutRecordLine(ListingBuffer& out, const CScriptCompiler& c, const CommandRecord& rec,
                   uint32_t r)
{
    std::string_view names[2 * kBoardSlotCount];
    std::size_t room = kListingRecordLine.size() + 12 * kFieldRoom;
    for (int s = 0; s < kBoardSlotCount; ++s) {
        names[2 * s] = c.Name(rec.slots[s].name);
        names[2 * s + 1] = c.Name(rec.slots[s].indexName);
        room += names[2 * s].size() + names[2 * s + 1].size();
    }
    char* q = out.Reserve(room);
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
    q = Put(q, " RefLabels=");
    for (int s = 0; s < kBoardSlotCount; ++s) {
        q = PutText(q, names[2 * s]);
        *q++ = '[';
        q = PutText(q, names[2 * s + 1]);
        *q++ = ']';
        *q++ = s + 1 < kBoardSlotCount ? ',' : '\n';
    }
    out.Advance(q);
}

void BuildListing(const CScriptCompiler& c, ListingBuffer& out)
{
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
        q = out.Reserve(kListingLabelStart.size() + kListingLabelCommand.size() + name.size() + 4 * kFieldRoom);
        // "Line %5d Label no %4d %20s "
        q = Put(q, "Line ");
        q = PutDec(q, e.line, 5);
        q = Put(q, " Label no ");
        q = PutDec(q, static_cast<int64_t>(i), 4);
        *q++ = ' ';
        q = PutText(q, name, 20);
        *q++ = ' ';
        switch (e.kind) {
        case kKindLabel: // "Command,                   Location=%d\n"
            q = Put(q, "Command,                   Location=");
            q = PutDec(q, e.commandIndex, 0);
            *q++ = '\n';
            break;
        case kKindConstant: // "Constant, value=%d\n"
            q = Put(q, "Constant, value=");
            q = PutDec(q, e.value, 0);
            *q++ = '\n';
            break;
        case kKindVariable: // "Variable, value=%4d,      Location=%d\n"
            q = Put(q, "Variable, value=");
            q = PutDec(q, e.value, 4);
            q = Put(q, ",      Location=");
            q = PutDec(q, e.location, 0);
            *q++ = '\n';
            break;
        case kKindInitWord: // "Initbuf,  value=%4d,      Location=%d\n"
            if (e.value != kUnresolved) {
                q = Put(q, "Initbuf,  value=");
                q = PutDec(q, e.value, 4);
                q = Put(q, ",      Location=");
                q = PutDec(q, e.location, 0);
                *q++ = '\n';
            }
            break;
        default:
            break; // nothing after the name, not even a line end
        }
        out.Advance(q);
    }
}

} // namespace

std::string CScriptCompiler::ListingText() const
{
    std::string text;
    {
        ListingBuffer out([&text](std::string_view chunk) { text.append(chunk); });
        BuildListing(*this, out);
    }
    return text;
}

void CScriptCompiler::WriteListing()
{
    listingWritten_ = false;
    const std::string path = listingDir_.empty() ? std::string(kListingFileName)
                                                 : listingDir_ + "/" + kListingFileName;
    // Saved as every file the user keeps: an earlier listing stays whole until this one is.
    ReplacingFile file(path);
    if (!file.Open())
        return;
    bool ok = true;
    {
        ListingBuffer out([&](std::string_view chunk) { ok = file.Write(chunk) && ok; });
        BuildListing(*this, out);
    }
    listingWritten_ = ok && file.Commit();
}

} // namespace script
