#include "script/ScriptCompiler.h"

#include "script/CompileMessages.h"
#include "script/HelperThread.h"
#include "script/ScriptLexer.h"
#include "script/StringFormat.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace script {

namespace {

bool IsBlockCondition(int tableIndex) {
    const int32_t op = kCommandTable[tableIndex].opcode;
    return op == kOpIf || op == kOpWhile || op == kOpElseif;
}

int32_t ClampToInt32(int64_t v) {
    return v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v));
}

// Calls f(line, lineNumber, slash) for every line of text. A line ends at LF; a CR before it
// belongs to the line end. Lines are numbered from firstLine + 1. `slash` is false when the line
// holds no '/', so that it can have no comment: the same run over the bytes that finds the line
// end tells, sixteen at a time where the processor has the instructions (a search of its own
// for each, in every line, cost as much as finding the line).
template <typename F>
void ForEachLine(std::string_view text, F&& f, int32_t firstLine = 0) {
    int32_t number = firstLine;
    const char* const s = text.data();
    const std::size_t size = text.size();
    std::size_t pos = 0;
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i slashes = _mm_set1_epi8('/');
#endif
    while (pos < size) {
        std::size_t end = pos;
        bool slash = false;
#if defined(__SSE2__)
        for (; end + 16 <= size; end += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + end));
            const auto ends = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf)));
            const auto found = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, slashes)));
            if (ends != 0) {
                const unsigned at = static_cast<unsigned>(std::countr_zero(ends));
                slash = slash || (found & ((1u << at) - 1)) != 0;
                end += at;
                break;
            }
            slash = slash || found != 0;
        }
        if (end + 16 > size)
#endif
            for (; end < size && s[end] != '\n'; ++end) slash = slash || s[end] == '/';
        std::string_view line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        pos = end + 1;
        if (number < INT32_MAX) ++number;
        f(line, number, slash);
    }
}

// Calls onLineEnd(position) for every LF in [from, to) in order, notes a NUL, and returns the
// number of quotes. Sixteen bytes at a time where the processor has the instructions: a long
// script is megabytes, and a call per line to find its end cost more than the counting. The
// quotes are summed in byte counters, each of which is emptied before it could overflow.
template <typename F>
std::size_t ScanRange(const char* s, std::size_t from, std::size_t to, bool& nul, F& onLineEnd) {
    std::size_t quotes = 0;
    std::size_t i = from;
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i zero = _mm_setzero_si128();
    auto sum = [&zero](__m128i counters) {
        const __m128i halves = _mm_sad_epu8(counters, zero);
        return static_cast<std::size_t>(_mm_cvtsi128_si64(halves)) +
               static_cast<std::size_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(halves, halves)));
    };
    __m128i counters = zero;
    int rounds = 0;
    int nuls = 0;
    for (; i + 16 <= to; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        auto ends = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf)));
        counters = _mm_sub_epi8(counters, _mm_cmpeq_epi8(v, quote));  // a match is -1
        nuls |= _mm_movemask_epi8(_mm_cmpeq_epi8(v, zero));
        if (++rounds == 255) {
            quotes += sum(counters);
            counters = zero;
            rounds = 0;
        }
        for (; ends != 0; ends &= ends - 1) onLineEnd(i + static_cast<std::size_t>(std::countr_zero(ends)));
    }
    quotes += sum(counters);
    nul = nul || nuls != 0;
#endif
    for (; i < to; ++i) {
        const char c = s[i];
        if (c == '\n') onLineEnd(i);
        quotes += c == '"';
        nul = nul || c == '\0';
    }
    return quotes;
}

// Runs `beside` on the helper while this thread runs `here`; without a helper, one after the
// other here. Whatever either throws is thrown here once both are done.
void RunBeside(StandingHelper* helper, const std::function<void()>& beside,
               const std::function<void()>& here) {
    if (!helper) {
        beside();
        here();
        return;
    }
    StandingHelper::Task task(*helper, beside);
    here();
    task.Finish();
}

// A helper for a long script's phases, where one can be started; none otherwise.
StandingHelper* StartHelper(std::optional<StandingHelper>& helper, bool wanted) {
    if (wanted) {
        try {
            helper.emplace();
        } catch (const std::system_error&) {}
    }
    return helper ? &*helper : nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Pass 1

namespace {

// Reads the `size` bytes at `offset`; false on a failure or an end before them.
bool ReadAt(int fd, char* into, std::size_t size, std::size_t offset) {
    while (size > 0) {
        const ssize_t n = ::pread(fd, into, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        into += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool CScriptCompiler::ReadBeside(int fd, std::size_t size, StandingHelper& helper) {
    source_.resize(size);
    // The second half from a page boundary, as the system holds the file.
    const std::size_t half = (size / 2) & ~std::size_t{4095};
    bool secondRead = false;
    StandingHelper::Task task(helper, [this, fd, size, half, &secondRead] {
        secondRead = ReadAt(fd, source_.data() + half, size - half, half);
    });
    const bool firstRead = ReadAt(fd, source_.data(), half, 0);
    task.Finish();
    // The file ends where its size said: nothing more is there.
    char more = 0;
    return firstRead && secondRead && ::pread(fd, &more, 1, static_cast<off_t>(size)) == 0;
}

bool CScriptCompiler::Prepare(const std::string& path) {
    if (state_ != State::Idle) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    // Read straight into the compiler's own copy, which a long script makes megabytes; a long
    // script's two halves are read at once, by this thread and the helper that then counts the
    // second half in pass 1.
    std::optional<StandingHelper> helper;
    bool ok = true;
    try {
        source_.clear();
        // Room for the whole file at once where its size is known, and one byte to see its end.
        struct stat st {};
        std::size_t room = 65536;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 &&
            static_cast<uint64_t>(st.st_size) < INT32_MAX)
            room = static_cast<std::size_t>(st.st_size) + 1;
        std::size_t got = 0;
        // A file that changed while it was read in halves is read again from its start (the
        // halves' reads leave the file's position where it was).
        const bool inHalves = room > splitFrom_ &&
                              StartHelper(helper, std::thread::hardware_concurrency() != 1) &&
                              ReadBeside(fd, room - 1, *helper);
        if (inHalves) {
            got = room - 1;
        } else {
            source_.clear();
            for (;;) {
                if (got == source_.size()) source_.resize(got + room);
                const ssize_t n = ::read(fd, source_.data() + got, source_.size() - got);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) {
                    ok = n == 0;
                    break;
                }
                got += static_cast<std::size_t>(n);
                room = std::max<std::size_t>(room, got);
            }
        }
        source_.resize(got);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    ::close(fd);
    if (!ok || !Accept(helper ? &*helper : nullptr)) {
        Release();
        return false;
    }
    return true;
}

bool CScriptCompiler::PrepareText(std::string_view text) {
    if (state_ != State::Idle) return false;
    try {
        source_.assign(text.begin(), text.end());
    } catch (const std::bad_alloc&) {
        Release();
        return false;
    }
    if (!Accept(nullptr)) {
        Release();
        return false;
    }
    return true;
}

bool CScriptCompiler::Accept(StandingHelper* helper) {
    // Names, lines and records are numbered in 32 bits; no script comes near this.
    if (source_.size() > static_cast<std::size_t>(INT32_MAX)) return false;
    // A UTF-8 byte-order mark (an editor's, at the very start of the file) is no script text.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (Source().substr(0, kByteOrderMark.size()) == kByteOrderMark)
        source_.erase(source_.begin(), source_.begin() + static_cast<std::ptrdiff_t>(kByteOrderMark.size()));
    try {
        Pass1(Source(), helper);
    } catch (const std::bad_alloc&) {
        return false;
    }
    state_ = State::Prepared;
    return true;
}

void CScriptCompiler::Pass1(std::string_view text, StandingHelper* given) {
    // The counts size the tables once, so that pass 2 does not move them while they grow: a
    // long script's tables take megabytes. Where a count falls short (a `word` written in
    // capitals, values run together, an unterminated string) a table still grows.
    lineCount_ = labelCount_ = initWordCount_ = 0;
    // Where pass 2 splits a long script: after the line end nearest its middle. The lines before
    // it are counted here, so that the second half's parse starts with its first line number.
    // The counts up to there size the second half's own tables.
    split_ = SplitPoint{};
    if (text.size() >= splitFrom_) {
        const std::size_t nl = text.find('\n', text.size() / 2);
        if (nl != std::string_view::npos && nl + 1 < text.size()) split_.at = nl + 1;
        // Asked once: the system reads a file to tell.
        split_.helpers = given != nullptr || std::thread::hardware_concurrency() != 1;
    }
    // The lines of [from, to), which starts a line; the last line of the text may lack its LF.
    struct Counts {
        std::size_t lines = 0;
        std::size_t labels = 0;
        std::size_t initWords = 0;
        std::size_t quotes = 0;
        bool nul = false;
    };
    auto count = [text](std::size_t from, std::size_t to, Counts& c) {
        // A line [start, end), without its LF (a CR before it stays: it is no value and no
        // label).
        auto line = [&](std::size_t start, std::size_t end) {
            ++c.lines;
            if (start == end || LabelLength(text.substr(start, 1)) == 0) return;
            ++c.labels;
            // A label's `word` may have more values, each an entry of its own: count the values
            // after the text `word` (one more than needed for the first, which is the label's).
            const std::string_view l = text.substr(start, end - start);
            const std::size_t at = l.find("word");
            if (at == std::string_view::npos) return;
            bool inValue = false;
            for (std::size_t i = at + 4; i < l.size() && l[i] != ';'; ++i) {
                const char ch = l[i];
                const bool valueChar = IsNameChar(ch) || ch == '$' || ch == '+' || ch == '-';
                c.initWords += valueChar && !inValue;
                inValue = valueChar;
            }
        };
        std::size_t lineStart = from;
        auto onLineEnd = [&](std::size_t lineEnd) {
            line(lineStart, lineEnd);
            lineStart = lineEnd + 1;
        };
        c.quotes = ScanRange(text.data(), from, to, c.nul, onLineEnd);
        if (lineStart < to) line(lineStart, to);
    };
    // The two halves of a long script are counted at once, as pass 2 parses them.
    Counts first, second;
    const std::size_t middle = split_.at != 0 ? split_.at : text.size();
    std::optional<StandingHelper> own;
    StandingHelper* helper = nullptr;
    if (split_.at != 0 && split_.helpers) helper = given ? given : StartHelper(own, true);
    RunBeside(
        helper, [&] { count(middle, text.size(), second); }, [&] { count(0, middle, first); });
    split_.lines = first.lines;
    split_.labels = first.labels;
    split_.initWords = first.initWords;
    split_.quotes = first.quotes;
    lineCount_ = first.lines + second.lines;
    labelCount_ = first.labels + second.labels;
    initWordCount_ = first.initWords + second.initWords;
    quoteCount_ = first.quotes + second.quotes;
    sourceHasNul_ = first.nul || second.nul;
    stringCount_ = quoteCount_ / 2 + 1;
    SizeTables();
}

void CScriptCompiler::SizeTables() {
    // An elseif takes a record more, so no script needs more than two a line (and the end).
    records_.clear();
    records_.reserve(2 * lineCount_ + 1);
    // Most lines make a record at most; a script of many elseifs grows this one.
    opcodes_.clear();
    opcodes_.reserve(lineCount_ + 1);
    labels_.clear();
    labels_.reserve(labelCount_ + initWordCount_ + 1);
    strings_.clear();
    strings_.reserve(stringCount_);
    // Names: the labels' and a few more that only parameters use.
    const std::size_t names = labelCount_ + labelCount_ / 4 + 16;
    names_.clear();
    names_.reserve(8 * names);
    nameSpans_.clear();
    nameSpans_.reserve(names + 1);
    nameSpans_.push_back(NameSpan{0, 0, 0});  // id 0: the empty name
    recentNames_.fill(RecentName{});
    nameIndex_.assign(std::bit_ceil(names + names / 2 + 2), 0);
}

// ---------------------------------------------------------------------------------------------
// Pass 2

bool CScriptCompiler::Compile() {
    if (state_ != State::Prepared) return false;
    // One helper for every phase of a long script's compile.
    std::optional<StandingHelper> helper;
    helper_ = StartHelper(helper, UsesHelpers());
    struct Forget {
        StandingHelper*& helper;
        ~Forget() { helper = nullptr; }
    } forget{helper_};
    try {
        Pass2();
        // The text is read no more: its pages, written already, take the tables made from here on.
        decltype(source_)().swap(source_);
        // The label table's work and the block rewriting touch tables of their own; the if
        // blocks and the while loops rewrite records of their own. The slots 3..5 that the
        // loops' copies need are made after the if blocks' own, as when one followed the other.
        BulkVector<int> whileCopies;
        RunBeside(
            helper_,
            [&] {
                PlaceVariables();
                BuildNameLookup();
                RewriteWhileBlocks(whileCopies);
            },
            [this] { RewriteIfBlocks(); });
        for (const int e : whileCopies) GiveOwnMoreSlots(static_cast<std::size_t>(e));
        DropMatchedEndifsAndResolve();
    } catch (const std::bad_alloc&) {
        Release();
        return false;
    }
    // The error search only reads the finished tables, as the listing does: it is done beside
    // the listing's making where a helper can take it.
    bool errorsFound = false;
    WriteListing([this, &errorsFound] {
        try {
            FindErrors();
            errorsFound = true;
        } catch (const std::bad_alloc&) {}
        return errorsFound;
    });
    if (!errorsFound) {
        Release();
        return false;
    }
    state_ = State::Compiled;
    nextError_ = nextRecord_ = nextInitialiser_ = 0;
    return true;
}

namespace {

// The first eight characters of a name, as one word (zeros after a shorter name).
inline uint64_t NamePrefix(std::string_view name) {
    if (name.size() >= 8) {
        uint64_t w;
        std::memcpy(&w, name.data(), 8);
        return w;
    }
    // Byte by byte: a copy of a varying length into a word stalls the load that follows.
    uint64_t w = 0;
    for (std::size_t k = 0; k < name.size(); ++k)
        w |= uint64_t{static_cast<unsigned char>(name[k])} << (8 * k);
    return w;
}

// A name's hash, given its prefix: a name of up to eight characters is its prefix and length,
// so its characters are read once, for the prefix (most names of a script are that short).
inline uint64_t HashName(std::string_view name, uint64_t prefix) {
    uint64_t h = ((name.size() * 0x9E3779B97F4A7C15ull) ^ prefix) * 0xFF51AFD7ED558CCDull;
    for (std::size_t i = 8; i < name.size(); i += 8) {
        h ^= h >> 29;
        uint64_t w = 0;
        if (i + 8 <= name.size())
            std::memcpy(&w, name.data() + i, 8);
        else
            w = NamePrefix(name.substr(i));
        h = (h ^ w) * 0xFF51AFD7ED558CCDull;
    }
    h ^= h >> 32;
    return h * 0xC4CEB9FE1A85EC53ull;
}

}  // namespace

NameRef CScriptCompiler::StoreName(std::string_view name) {
    if (name.empty()) return NameRef{};
    const uint64_t prefix = NamePrefix(name);
    const uint64_t hash = HashName(name, prefix);
    // A script names the same few things line after line: a short name met a moment ago is
    // found in a small table that stays in the processor's cache, not in the large index.
    RecentName& recent = recentNames_[hash % kRecentNames];
    if (recent.length == name.size() && recent.prefix == prefix && name.size() <= 8)
        return NameRef{recent.id};
    const NameRef found = FindOrAddName(name, hash, prefix);
    recent = RecentName{prefix, static_cast<uint32_t>(name.size()), found.id};
    return found;
}

void CScriptCompiler::PrefetchName(std::string_view name) const {
    __builtin_prefetch(nameIndex_.data() + (HashName(name, NamePrefix(name)) & (nameIndex_.size() - 1)));
}

NameRef CScriptCompiler::FindOrAddName(std::string_view name, uint64_t hash, uint64_t prefix) {
    const std::size_t mask = nameIndex_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const uint32_t id = nameIndex_[i];
        if (id == 0) {
            const uint32_t newId = static_cast<uint32_t>(nameSpans_.size());
            nameSpans_.push_back(
                {static_cast<uint32_t>(names_.size()), static_cast<uint32_t>(name.size()), prefix});
            names_.append(name);
            nameIndex_[i] = newId;
            if (nameSpans_.size() * 2 > nameIndex_.size()) GrowNameIndex();
            return NameRef{newId};
        }
        // Most names are short: length and prefix decide without reading the names' text.
        const NameSpan& n = nameSpans_[id];
        if (n.length == name.size() && n.prefix == prefix &&
            (name.size() <= 8 ||
             std::memcmp(names_.data() + n.offset + 8, name.data() + 8, name.size() - 8) == 0))
            return NameRef{id};
    }
}

void CScriptCompiler::GrowNameIndex() {
    BulkVector<uint32_t> index(nameIndex_.size() * 2, 0);
    const std::size_t mask = index.size() - 1;
    for (uint32_t id = 1; id < nameSpans_.size(); ++id) {
        std::size_t i = HashName(Name(NameRef{id}), nameSpans_[id].prefix) & mask;
        while (index[i] != 0) i = (i + 1) & mask;
        index[i] = id;
    }
    nameIndex_.swap(index);
}

bool CScriptCompiler::UsesHelpers() const { return split_.at != 0 && split_.helpers; }

void CScriptCompiler::Pass2() {
    dataCounter_ = 0;
    lineFaults_.clear();
    const std::string_view text = Source();
    // A long script is parsed in two halves at once, split where pass 1 chose: lines are parsed
    // one by one, with nothing carried from a line to the next but the tables' numbering, which
    // the second half's tables take on when they are appended.
    const std::size_t split = helper_ ? split_.at : 0;
    if (split == 0) {
        CompileLines(text, 0);
        return;
    }
    const std::string_view first = text.substr(0, split);
    const std::string_view second = text.substr(split);
    CScriptCompiler part;
    std::atomic<bool> partDone{false};
    // Waited for on the way out, also when this thread's half runs out of memory; what the
    // second half's parse throws is thrown by the task's end.
    StandingHelper::Task task(*helper_, [this, &part, &partDone, second] {
        struct Done {
            std::atomic<bool>& flag;
            ~Done() { flag.store(true, std::memory_order_release); }
        } done{partDone};
        // The records sized for the whole script, as this compiler's: a table that large has
        // pages of its own, and those never written cost nothing. The smaller tables lie side by
        // side in shared pages, where room never written still costs: they are sized for this
        // half, from pass 1's counts.
        part.lineCount_ = lineCount_;
        part.labelCount_ = labelCount_ - split_.labels;
        part.initWordCount_ = initWordCount_ - split_.initWords;
        part.stringCount_ = (quoteCount_ - split_.quotes) / 2 + 1;
        part.sourceHasNul_ = sourceHasNul_;
        part.SizeTables();
        part.CompileLines(second, static_cast<int32_t>(std::min<std::size_t>(split_.lines, INT32_MAX)));
    });
    CompileLines(first, 0);
    // While the second half is still being parsed, the pages that its records will be copied to
    // are made ready here, a large page at a time, for about as many records as this half made:
    // the system's first touch of a page can take longer than the copy into it.
    const std::size_t ownRecords = records_.size();
    const std::size_t expected = std::min(records_.capacity(), 2 * ownRecords);
    for (std::size_t from = ownRecords; from < expected && !partDone.load(std::memory_order_acquire);) {
        const std::size_t step = std::min(expected - from, kPrepareStep / sizeof(CommandRecord) + 1);
        PrepareBulk(records_.data() + from, step * sizeof(CommandRecord));
        from += step;
    }
    task.Finish();
    Absorb(part);
}

void CScriptCompiler::CompileLines(std::string_view text, int32_t firstLine) {
    ForEachLine(
        text,
        [&](std::string_view raw, int32_t number, bool slash) {
            // Most labels name something new, and the name's place in the index is a wait for
            // memory: the place of the next line's label is asked for while this line is read.
            std::size_t next = static_cast<std::size_t>(raw.data() + raw.size() - text.data());
            if (next < text.size() && text[next] == '\r') ++next;
            if (++next < text.size()) {
                const std::size_t label =
                    LabelLength(text.substr(next, std::min(text.size() - next, kMaxLabelNameLength)));
                if (label > 0) PrefetchName(text.substr(next, label));
            }
            if (raw.size() > kMaxLineLength) {
                lineFaults_.push_back({number, FormatMessage(kMsgLineTooLong, number)});
                raw = raw.substr(0, kMaxLineLength);
            }
            // A NUL ends the line's text (looked for only in a script that has one).
            if (sourceHasNul_) {
                const std::size_t nul = raw.find('\0');
                if (nul != std::string_view::npos) raw = raw.substr(0, nul);
            }
            CompileLine(raw, number, slash);
        },
        firstLine);
}

void CScriptCompiler::Absorb(CScriptCompiler& part) {
    const auto recordBase = static_cast<int32_t>(records_.size());
    const auto stringBase = static_cast<int32_t>(strings_.size());
    const auto moreBase = static_cast<int32_t>(moreSlots_.size());
    // The part's names get their numbers here, in the order it met them: those new here are
    // numbered in that order, as one pass over the whole script numbers them.
    BulkVector<uint32_t> ids(part.nameSpans_.size(), 0);
    auto renumber = [&](ParamSlot& slot) {
        slot.name.id = ids[slot.name.id];
        slot.indexName.id = ids[slot.indexName.id];
        if (slot.kind == kKindString) slot.value += stringBase;
    };
    // The records are most of it: copied whole on a helper while the names are numbered here
    // (a plain copy of megabytes is the fastest), then renumbered in place once the numbers are
    // there, while the other tables are appended here.
    std::atomic<uint32_t> numbered{0};
    std::exception_ptr copyFailure;
    auto copyRecords = [this, &part] {
        records_.insert(records_.end(), part.records_.begin(), part.records_.end());
    };
    auto renumberRecords = [this, &renumber, recordBase, moreBase] {
        for (std::size_t i = static_cast<std::size_t>(recordBase); i < records_.size(); ++i) {
            CommandRecord& rec = records_[i];
            for (ParamSlot& slot : rec.slots) renumber(slot);
            if (rec.moreSlots >= 0) rec.moreSlots += moreBase;
        }
    };
    std::optional<StandingHelper::Task> copying;
    if (helper_) {
        copying.emplace(*helper_, [&] {
            try {
                copyRecords();
            } catch (...) {
                copyFailure = std::current_exception();
            }
            AwaitChange(numbered, 0);
            if (!copyFailure) renumberRecords();
        });
    }
    {
        // The helper waits for the numbers also when numbering them runs out of memory.
        struct Announce {
            std::atomic<uint32_t>& flag;
            ~Announce() {
                flag.store(1, std::memory_order_release);
                flag.notify_one();
            }
        } announce{numbered};
        // Most of the part's names are new here, and each one's place in the index (a quarter of
        // a megabyte, read in no order) is a wait for memory: the places of the names a few
        // further on are asked for while this one is looked up.
        constexpr uint32_t kAhead = 8;
        const auto count = static_cast<uint32_t>(part.nameSpans_.size());
        std::array<uint64_t, kAhead> hashes{};
        auto hashOf = [&](uint32_t id) {
            const uint64_t h = HashName(part.Name(NameRef{id}), part.nameSpans_[id].prefix);
            __builtin_prefetch(nameIndex_.data() + (h & (nameIndex_.size() - 1)));
            return h;
        };
        for (uint32_t id = 1; id < count && id <= kAhead; ++id) hashes[id % kAhead] = hashOf(id);
        for (uint32_t id = 1; id < count; ++id) {
            const uint64_t hash = hashes[id % kAhead];
            if (id + kAhead < count) hashes[id % kAhead] = hashOf(id + kAhead);
            ids[id] = FindOrAddName(part.Name(NameRef{id}), hash, part.nameSpans_[id].prefix).id;
        }
    }
    if (!copying) {
        copyRecords();
        renumberRecords();
    }
    const std::size_t moreFrom = moreSlots_.size();
    moreSlots_.insert(moreSlots_.end(), part.moreSlots_.begin(), part.moreSlots_.end());
    for (std::size_t i = moreFrom; i < moreSlots_.size(); ++i)
        for (ParamSlot& slot : moreSlots_[i]) renumber(slot);
    opcodes_.insert(opcodes_.end(), part.opcodes_.begin(), part.opcodes_.end());
    // Data locations count on from where this compiler's own lines left the counter (every
    // step adds, and stops at the ceiling, so the part's counts add on).
    const std::size_t labelsFrom = labels_.size();
    labels_.insert(labels_.end(), part.labels_.begin(), part.labels_.end());
    for (std::size_t i = labelsFrom; i < labels_.size(); ++i) {
        LabelEntry& e = labels_[i];
        if (!e.name.Empty()) {
            e.name.id = ids[e.name.id];
            e.commandIndex += recordBase;  // a named entry names the record after it
        }
        if (e.counted)
            e.location = ClampToInt32(std::min<int64_t>(dataCounter_ + e.location, kNumberCeiling));
    }
    dataCounter_ = std::min<int64_t>(dataCounter_ + part.dataCounter_, kNumberCeiling);
    for (std::string& text : part.strings_) strings_.push_back(std::move(text));
    for (LineFault& f : part.lineFaults_) lineFaults_.push_back(std::move(f));
    if (copying) copying->Finish();
    if (copyFailure) std::rethrow_exception(copyFailure);
}

void CScriptCompiler::CompileLine(std::string_view raw, int32_t lineNumber, bool slash) {
    std::string scratch;
    std::string_view line = slash ? ApplyCommentRules(raw, scratch) : raw;
    if (line.empty() || IsCommentLine(line)) return;

    // A letter or '_' in column 1 starts a label: it names the next record.
    int labelEntry = -1;
    std::size_t pos = LabelLength(line);
    if (pos > 0) {
        LabelEntry e;
        std::string_view name = line.substr(0, pos);
        if (name.size() > kMaxLabelNameLength) {
            lineFaults_.push_back(
                {lineNumber, FormatMessage(kMsgLabelTooLong, lineNumber, kMaxLabelNameLength)});
            name = name.substr(0, kMaxLabelNameLength);
            e.nameFault = true;
        }
        e.name = StoreName(name);
        e.kind = kKindLabel;
        e.commandIndex = static_cast<int32_t>(records_.size());
        e.line = lineNumber;
        labels_.push_back(e);
        labelEntry = static_cast<int>(labels_.size()) - 1;
    }

    pos = FindKeyword(line, pos);
    if (pos == std::string_view::npos) return;
    std::size_t keywordLength = 0;
    const int entry = MatchKeyword(line.substr(pos), keywordLength);
    const int32_t opcode = kCommandTable[entry].opcode;
    std::string_view rest = line.substr(pos + keywordLength);
    if (opcode == kOpWord || opcode == kOpBuffer || opcode == kOpConst)
        Declare(labelEntry, kCommandTable[entry].name, rest, opcode, lineNumber);
    else
        ParseCommand(rest, entry, lineNumber);
}

void CScriptCompiler::Declare(int entry, std::string_view keyword, std::string_view rest, int32_t opcode,
                              int32_t lineNumber) {
    if (entry < 0) {
        lineFaults_.push_back({lineNumber, FormatMessage(kMsgDeclarationWithoutLabel, lineNumber, keyword)});
        return;
    }
    // The values: numbers; a name (or anything else) in their place counts as 0.
    std::vector<DeclaredValue>& values = declaredValues_;
    values.clear();
    Lexer lexer(rest, 0);
    for (Token t = lexer.Next(); t.type != TokenType::End; t = lexer.Next()) {
        if (t.type == TokenType::ConstIndex || t.type == TokenType::VarIndex || t.type == TokenType::Operator)
            continue;  // part of the value before it, or no value at all
        DeclaredValue v{0, t.type == TokenType::Sign};
        if (t.type == TokenType::Number || t.type == TokenType::Sign) v.number = ClampToInt32(t.number);
        values.push_back(v);
        if (opcode != kOpWord) break;  // buffer and const take one value
    }

    LabelEntry& e = labels_[static_cast<std::size_t>(entry)];
    const bool firstSigned = !values.empty() && values[0].isSigned;
    if (opcode == kOpConst) {
        e.kind = firstSigned ? kKindSigned : kKindConstant;
        e.value = values.empty() ? 0 : values[0].number;
        return;
    }
    e.kind = firstSigned ? kKindSigned : kKindVariable;
    e.location = ClampToInt32(dataCounter_);
    e.counted = true;
    if (opcode == kOpBuffer) {
        e.isBuffer = 1;
        e.value = 0;
        if (!values.empty() && !firstSigned) {
            e.words = values[0].number;
            dataCounter_ = std::min<int64_t>(dataCounter_ + values[0].number, kNumberCeiling);
        }
        return;
    }
    e.isBuffer = 0;
    e.words = values.empty() ? 1 : ClampToInt32(static_cast<int64_t>(values.size()));
    e.value = values.empty() ? kUnresolved : values[0].number;
    dataCounter_ = std::min<int64_t>(dataCounter_ + 1, kNumberCeiling);
    for (std::size_t i = 1; i < values.size(); ++i) {
        LabelEntry w;
        w.kind = values[i].isSigned ? kKindSigned : kKindInitWord;
        w.value = values[i].number;
        w.location = ClampToInt32(dataCounter_);
        w.counted = true;
        w.line = lineNumber;
        labels_.push_back(w);
        dataCounter_ = std::min<int64_t>(dataCounter_ + 1, kNumberCeiling);
    }
}

namespace {

// Never written: blank slots to copy (see ParseCommand).
std::array<ParamSlot, kSlotCount> blankSlots;

const std::array<ParamSlot, kSlotCount>& BlankSlots() { return blankSlots; }

}  // namespace

void CScriptCompiler::ParseCommand(std::string_view rest, int tableIndex, int32_t lineNumber) {
    // Records are copied from a blank one: faster than clearing one, a record per line.
    static const CommandRecord kBlankRecord{};
    CommandRecord& rec = records_.emplace_back(kBlankRecord);
    // All six positions while parsing; slots 3..5 are stored apart at the end. Copied from
    // blank slots the compiler cannot see are all zeros: it clears known zeros with a string
    // instruction, whose start costs more than this copy and which stalls the reads of the
    // slots that follow.
    std::array<ParamSlot, kSlotCount> parsed = BlankSlots();
    rec.opcode = kCommandTable[tableIndex].opcode;
    rec.tableIndex = tableIndex;
    rec.line = lineNumber;

    bool nameFaultReported = false;
    auto storeParamName = [&](std::string_view name, ParamSlot& slot, NameRef& into) {
        if (name.size() > kMaxParamNameLength) {
            if (!nameFaultReported)
                lineFaults_.push_back(
                    {lineNumber, FormatMessage(kMsgNameTooLong, lineNumber, kMaxParamNameLength)});
            nameFaultReported = true;
            slot.nameFault = true;
            name = name.substr(0, kMaxParamNameLength);
        }
        into = StoreName(name);
    };

    int used = 0;
    bool afterName = false;
    Lexer lexer(rest, 0);
    while (used < kSlotCount) {
        Token t = lexer.Next();
        if (t.type == TokenType::End) {
            parsed[used].kind = kKindUnrecognised;
            break;
        }
        const bool wasAfterName = afterName;
        afterName = false;
        ParamSlot& slot = parsed[used];
        switch (t.type) {
            case TokenType::Number:
                if (t.number > 0xFFFF) {
                    slot.kind = kKindLongConstant;
                    slot.value = static_cast<int32_t>(t.number & 0xFFFF);
                    slot.ref = static_cast<int32_t>((t.number & 0xFF0000) >> 12);
                } else {
                    slot.kind = t.kind;
                    slot.value = static_cast<int32_t>(t.number);
                }
                ++used;
                break;
            case TokenType::Name:
                slot.kind = t.kind;
                storeParamName(t.text, slot, slot.name);
                ++used;
                afterName = true;
                break;
            case TokenType::ConstIndex:
            case TokenType::VarIndex:
                if (!wasAfterName) {
                    slot.kind = kKindUnrecognised;  // an index with no name before it
                    ++used;
                    break;
                }
                if (t.type == TokenType::ConstIndex) {
                    parsed[used - 1].ref = ClampToInt32(t.number);
                    parsed[used - 1].constantIndex = true;
                } else {
                    ParamSlot& prev = parsed[used - 1];
                    prev.kind = t.kind;
                    storeParamName(t.text, prev, prev.indexName);
                }
                break;
            case TokenType::String:
                slot.kind = kKindString;
                slot.value = static_cast<int32_t>(strings_.size());
                strings_.emplace_back(t.text.substr(0, kMaxStringLength));
                ++used;
                break;
            case TokenType::Operator:
                rec.condition = t.condition;
                rec.hasOperator = true;
                if (rec.opcode == kOpJump)
                    rec.opcode = kJumpIfTrue[t.condition];
                else if (rec.opcode == kOpCall)
                    rec.opcode = kCallIfTrue[t.condition];
                break;
            case TokenType::Sign:
                slot.kind = kKindSigned;
                slot.value = ClampToInt32(t.number);
                ++used;
                break;
            case TokenType::Unrecognised:
            case TokenType::End:
                slot.kind = kKindUnrecognised;
                ++used;
                break;
        }
    }
    rec.paramCount = static_cast<int8_t>(used);
    rec.tokenCount = static_cast<int8_t>(2 * used + 1);
    std::copy_n(parsed.begin(), kBoardSlotCount, rec.slots);
    // A position as never written, or holding only the end of the line: compared field by field
    // (a comparison of the bytes read them in words just after they were written in parts,
    // which waits; the fields are the whole of the bytes, without padding).
    auto isBlankWith = [](const ParamSlot& p, int32_t kind) {
        return p.kind == kind && p.value == 0 && p.ref == 0 && p.name.id == 0 && p.indexName.id == 0 &&
               !p.constantIndex && !p.nameFault;
    };
    auto isUnused = [&](const ParamSlot& p) { return isBlankWith(p, kKindLocation); };
    if (isUnused(parsed[4]) && isUnused(parsed[5]) &&
        (isUnused(parsed[3]) || isBlankWith(parsed[3], kKindUnrecognised))) {
        rec.endAfterThird = !isUnused(parsed[3]);
    } else {
        rec.moreSlots = static_cast<int32_t>(moreSlots_.size());
        moreSlots_.push_back({parsed[3], parsed[4], parsed[5]});
    }
    opcodes_.push_back(rec.opcode);
    if (rec.opcode == kOpElseif) {
        // Kept free: block rewriting puts the elseif's own condition here.
        records_.emplace_back(kBlankRecord).reserved = true;
        opcodes_.push_back(kReservedRecord);
    }
}

// ---------------------------------------------------------------------------------------------
// Variable placement: single-word variables take the lowest locations, the last declared at 0,
// so that index variables can lie below 4096; multi-value words and buffers follow in
// declaration order. Each single variable in turn moves to 0 and everything below it moves up
// one; since locations grow with declaration order, an entry ends up moved by the number of
// single variables declared at a higher location than its own.

void CScriptCompiler::PlaceVariables() {
    BulkVector<int32_t> singleLocations;  // ascending: locations grow with declaration order
    BulkVector<std::size_t> singles;
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        const LabelEntry& e = labels_[i];
        const bool nextIsInitWord = i + 1 < labels_.size() && labels_[i + 1].kind == kKindInitWord;
        if (e.kind == kKindVariable && !e.isBuffer && !nextIsInitWord) {
            singles.push_back(i);
            singleLocations.push_back(e.location);
        }
    }
    if (singles.empty()) return;
    const std::size_t k = singles.size();
    // The singles above a location: found by walking on while the locations asked for grow, as
    // the data entries' do; the entries without a location of their own ask for 0.
    auto aboveOf = [&](int32_t location) {
        return static_cast<std::size_t>(singleLocations.end() - std::upper_bound(singleLocations.begin(),
                                                                                 singleLocations.end(),
                                                                                 location));
    };
    const std::size_t aboveZero = aboveOf(0);
    std::size_t walked = 0;  // singles at or below `last`
    int32_t last = INT32_MIN;
    std::size_t nextSingle = 0;
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        LabelEntry& e = labels_[i];
        if (nextSingle < k && singles[nextSingle] == i) {
            // The j-th single (from 0) ends at k - 1 - j.
            e.location = static_cast<int32_t>(k - 1 - nextSingle);
            ++nextSingle;
            continue;
        }
        std::size_t above;
        if (e.location == 0) {
            above = aboveZero;
        } else if (e.location >= last) {
            while (walked < k && singleLocations[walked] <= e.location) ++walked;
            last = e.location;
            above = k - walked;
        } else {
            above = aboveOf(e.location);
        }
        e.location = ClampToInt32(int64_t{e.location} + static_cast<int64_t>(above));
    }
}

// ---------------------------------------------------------------------------------------------
// Block rewriting. Blocks are taken innermost first, in the order their closing records
// appear, which is what a stack gives in one pass. Records keep their pass-2 numbers while
// blocks are rewritten; a matched endif is only marked, and all marked records are dropped at
// the end, when every jump target and code label is renumbered. A target that named a dropped
// record then names the record after it.

void CScriptCompiler::PrepareCondition(int r) {
    CommandRecord& o = records_[static_cast<std::size_t>(r)];
    // Only a condition that ends after its first operand is one: a second operand that is no
    // value, or an operator with nothing after it, stays as written and is reported.
    if (o.slots[1].kind == kKindUnrecognised && o.paramCount == 1 && !o.hasOperator) {
        // `if x` means `if x != 0`.
        o.condition = 1;
        o.slots[1] = ParamSlot{};
        o.slots[1].kind = kKindConstant;
        o.slots[1].value = 0;
        o.tokenCount = 4;
        o.singleOperand = o.paramCount == 1;
    }
    o.slots[2].kind = kKindLabel;
}

void CScriptCompiler::SetJumpIfFalse(int r, int32_t target) {
    CommandRecord& o = records_[static_cast<std::size_t>(r)];
    o.opcode = kJumpIfFalse[o.condition];
    o.slots[2].value = target;
}

void CScriptCompiler::RewriteIfBlocks() {
    const int n = static_cast<int>(records_.size());
    deleted_.assign(static_cast<std::size_t>(n), false);
    // Every jump of an if block goes to a record at or before the endif being looked at, and
    // only endifs are dropped: the numbers those records take after the drop are known by then,
    // and the jumps get them at once.
    newIndex_.clear();
    newIndex_.resize(static_cast<std::size_t>(n) + 1);
    int32_t keptRecords = 0;

    // The open blocks, innermost last, and their else/elseif records not yet used, all in one
    // row: the items of the innermost block are the row from its start on, and what a block
    // leaves over moves down over its own items, where it is the enclosing block's.
    struct Frame {
        int open;
        std::size_t start;  // where its items begin in `items`
    };
    std::vector<Frame> stack;
    std::vector<int> items;

    auto makeJump = [&](int r, int32_t target) {
        CommandRecord& j = records_[static_cast<std::size_t>(r)];
        j.opcode = kOpJump;
        j.slots[0].kind = kKindLabel;
        j.slots[0].value = newIndex_[static_cast<std::size_t>(target)];
        j.tokenCount = 2;
        j.blockJump = true;
    };
    auto jumpIfFalse = [&](int r, int32_t target) {
        SetJumpIfFalse(r, newIndex_[static_cast<std::size_t>(target)]);
    };

    // Rewriting only touches records before the one being looked at, so the opcodes as
    // pass 2 left them tell where blocks open and close.
    for (int d = 0; d < n; ++d) {
        newIndex_[static_cast<std::size_t>(d)] = keptRecords;
        const int32_t op = opcodes_[static_cast<std::size_t>(d)];
        if (op == kOpIf) {
            stack.push_back({d, items.size()});
        } else if ((op == kOpElse || op == kOpElseif) && !stack.empty()) {
            items.push_back(d);
        } else if (op == kOpEndif && !stack.empty()) {
            const int e = d;
            const Frame f = stack.back();
            stack.pop_back();
            // The items are in record order (those an inner block left over lie between the
            // items around it), so each link of an elseif chain takes the items after it by
            // moving a start position, not by copying them: a chain stays linear in its length.
            // What is left over is written below the position being read.
            const std::size_t end = items.size();
            std::size_t kept = f.start;
            auto keep = [&](std::size_t from, std::size_t to) {
                for (std::size_t i = from; i < to; ++i) items[kept++] = items[i];
            };
            int o = f.open;
            std::size_t from = f.start;
            auto firstOf = [&](int32_t want) {
                std::size_t i = from;
                // An item not used yet is as pass 2 made it.
                while (i < end && opcodes_[static_cast<std::size_t>(items[i])] != want) ++i;
                return i;
            };
            for (;;) {
                PrepareCondition(o);
                const std::size_t elseifAt = firstOf(kOpElseif);
                if (elseifAt < end) {
                    // The elseif's condition moves to its reserved record as a new if, which
                    // pairs with the same endif; the elseif itself jumps past the block.
                    const int l = items[elseifAt];
                    CommandRecord copy = records_[static_cast<std::size_t>(l)];
                    copy.opcode = kOpIf;
                    copy.reserved = false;
                    CopyRecord(static_cast<std::size_t>(l) + 1, copy);
                    makeJump(l, e);
                    jumpIfFalse(o, l + 1);
                    keep(from, elseifAt);
                    o = l + 1;
                    from = elseifAt + 1;
                    continue;
                }
                const std::size_t elseAt = firstOf(kOpElse);
                if (elseAt < end) {
                    const int x = items[elseAt];
                    jumpIfFalse(o, x + 1);
                    makeJump(x, e);
                    keep(from, elseAt);
                    keep(elseAt + 1, end);
                } else {
                    jumpIfFalse(o, e);
                    keep(from, end);
                }
                deleted_[static_cast<std::size_t>(e)] = true;
                break;
            }
            // What this block did not use belongs to the block around it.
            items.resize(stack.empty() ? f.start : kept);
        }
        if (!deleted_[static_cast<std::size_t>(d)]) ++keptRecords;
    }
    newIndex_[static_cast<std::size_t>(n)] = keptRecords;
    // An if without endif is reported itself; the else/elseif inside it are not.
    for (int item : items) records_[static_cast<std::size_t>(item)].insideUnmatched = true;
}

void CScriptCompiler::RewriteWhileBlocks(BulkVector<int>& copies) {
    const int n = static_cast<int>(records_.size());
    targets_.clear();
    std::vector<int> stack;
    for (int d = 0; d < n; ++d) {
        const int32_t op = opcodes_[static_cast<std::size_t>(d)];
        if (op == kOpWhile) {
            stack.push_back(d);
        } else if (op == kOpEndwhile && !stack.empty()) {
            const int o = stack.back();
            const int e = d;
            stack.pop_back();
            PrepareCondition(o);
            SetJumpIfFalse(o, e + 1);
            targets_.emplace_back(o, 2);
            const int32_t line = records_[static_cast<std::size_t>(e)].line;
            CommandRecord& bottom = records_[static_cast<std::size_t>(e)];
            bottom = records_[static_cast<std::size_t>(o)];
            if (bottom.moreSlots >= 0) copies.push_back(e);  // still shares the while's slots 3..5
            bottom.line = line;
            bottom.opcode = kJumpIfTrue[bottom.condition];
            bottom.slots[2].value = o + 1;
            bottom.blockJump = true;
            targets_.emplace_back(e, 2);
        }
    }
}

void CScriptCompiler::DropMatchedEndifsAndResolve() {
    const std::size_t n = records_.size();
    auto renumber = [&](int32_t v) {
        return v >= 0 && static_cast<std::size_t>(v) <= n ? newIndex_[static_cast<std::size_t>(v)] : v;
    };
    for (auto [r, s] : targets_) {
        ParamSlot& slot = records_[static_cast<std::size_t>(r)].slots[s];
        slot.value = renumber(slot.value);
    }
    for (LabelEntry& e : labels_)
        if (e.kind == kKindLabel) e.commandIndex = renumber(e.commandIndex);
    for (NameValue& v : nameValues_)
        if (v.found && v.kind == kKindLabel) v.value = renumber(v.value);
    // One pass over the records both closes the gaps and resolves the names: the records of a
    // long script take many megabytes. There the second half is resolved in place beside the
    // first half's pass, and only moved down after it.
    const std::size_t middle = UsesHelpers() ? n / 2 : n;
    std::size_t out = 0;
    RunBeside(
        middle < n ? helper_ : nullptr,
        [this, middle, n] {
            for (std::size_t i = middle; i < n; ++i)
                if (!deleted_[i]) ResolveRecord(records_[i]);
        },
        [this, middle, &out] {
            for (std::size_t i = 0; i < middle; ++i) {
                if (deleted_[i]) continue;
                if (out != i) records_[out] = records_[i];
                ResolveRecord(records_[out]);
                ++out;
            }
        });
    for (std::size_t i = middle; i < n; ++i) {
        if (deleted_[i]) continue;
        if (out != i) records_[out] = records_[i];
        ++out;
    }
    records_.resize(out);
    deleted_.clear();
    targets_.clear();
    opcodes_.clear();
    BulkVector<int32_t>().swap(newIndex_);
}

// ---------------------------------------------------------------------------------------------
// Name resolution: the first entry of a name decides (code labels, variables, buffers,
// constants; never initialiser words). Done record by record while the matched endifs are
// dropped.

void CScriptCompiler::BuildNameLookup() {
    // What each name stands for, from its first entry: a table of a few bytes a name, which the
    // records' names look up in place of the label entries themselves (a long script's label
    // table takes megabytes, and its entries would be read in no order).
    nameValues_.assign(nameSpans_.size(), NameValue{});
    for (std::size_t i = labels_.size(); i-- > 0;) {
        const LabelEntry& e = labels_[i];
        if (e.kind == kKindInitWord || e.kind == 0 || e.nameFault || e.name.Empty()) continue;
        NameValue& v = nameValues_[e.name.id];
        v.found = true;
        v.kind = static_cast<int16_t>(e.kind);
        switch (e.kind) {
            case kKindLabel: v.value = e.commandIndex; break;  // renumbered with the records
            case kKindVariable: v.value = e.location; break;
            default: v.value = e.value; break;  // constants, and entries declared with a sign
        }
    }
}

void CScriptCompiler::ResolveRecord(CommandRecord& rec) {
    auto lookup = [&](NameRef name) -> const NameValue* {
        const NameValue& v = nameValues_[name.id];
        return v.found ? &v : nullptr;
    };
    auto resolve = [&](ParamSlot& slot) {
        const int32_t k = slot.kind;
        const bool named = k == kKindVariable || k == kKindPendingLocation || k == kKindPendingConstant;
        const bool indexed = k == kKindIndexed || k == kKindIndexedInc || k == kKindIndexedDec;
        if (!named && !indexed) return;
        if (slot.nameFault) {
            slot.value = kUnresolved;
            return;
        }
        const NameValue* e = lookup(slot.name);
        if (named) {
            if (!e) {
                slot.value = kUnresolved;
                return;
            }
            int64_t v = e->value;
            if (slot.constantIndex) v += slot.ref;
            slot.value = static_cast<int32_t>(static_cast<uint32_t>(v));
            if (k == kKindPendingLocation)
                slot.kind = kKindLocation;
            else if (k == kKindPendingConstant)
                slot.kind = kKindConstant;
            else
                slot.kind = e->kind == kKindSigned ? static_cast<int16_t>(kKindConstant) : e->kind;
            if (slot.kind == kKindConstant && v > 0xFFFF) {
                // A value beyond 16 bits, as if the number were written here: a long constant,
                // which only the parameters that take one accept.
                slot.kind = kKindLongConstant;
                slot.value = static_cast<int32_t>(v & 0xFFFF);
                slot.ref = static_cast<int32_t>((v & 0xFF0000) >> 12);
            }
        } else {
            slot.value = e ? e->value : kUnresolved;
            const NameValue* index = lookup(slot.indexName);
            slot.ref = index ? index->value : kUnresolved;
        }
    };
    for (ParamSlot& slot : rec.slots) resolve(slot);
    if (rec.moreSlots >= 0)
        for (ParamSlot& slot : moreSlots_[static_cast<std::size_t>(rec.moreSlots)]) resolve(slot);
}

// ---------------------------------------------------------------------------------------------
// Validation: the label table first, then our own line findings, then the records, then the
// image's size.

void CScriptCompiler::FindErrors() {
    errors_.clear();

    // For each entry the next later entry of the same name: one pass from the end.
    BulkVector<int32_t> nextSame(labels_.size(), -1);
    {
        BulkVector<int32_t> seen(nameSpans_.size(), -1);
        for (std::size_t i = labels_.size(); i-- > 0;) {
            const LabelEntry& e = labels_[i];
            if (e.name.Empty() || e.nameFault) continue;
            nextSame[i] = seen[e.name.id];
            seen[e.name.id] = static_cast<int32_t>(i);
        }
    }
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        const LabelEntry& e = labels_[i];
        if (e.kind == kKindSigned) {
            errors_.push_back(FormatMessage(kMsgVariablesUnsigned, e.line));
        } else if (e.kind != kKindInitWord && nextSame[i] >= 0) {
            const LabelEntry& later = labels_[static_cast<std::size_t>(nextSame[i])];
            errors_.push_back(FormatMessage(kMsgDuplicateLabel, later.line, Name(e.name)));
        }
        // Data words and their initial values are 16 bits wide on the board.
        if (e.kind == kKindVariable && (e.location > 0xFFFF || int64_t{e.location} + e.words > 0x10000))
            errors_.push_back(FormatMessage(kMsgLocationPastEnd, e.line));
        if ((e.kind == kKindVariable || e.kind == kKindInitWord) && e.value > 0xFFFF)
            errors_.push_back(FormatMessage(kMsgValueTooWide, e.line));
    }

    for (const LineFault& f : lineFaults_) errors_.push_back(f.text);

    for (std::size_t r = 0; r < records_.size(); ++r) CheckRecord(static_cast<int>(r), errors_);

    // Whether the image fits the board matters only for a script that is otherwise right.
    if (errors_.empty() && records_.size() > kMaxImageRecords) errors_.emplace_back(kMsgScriptTooLarge);
}

void CScriptCompiler::CheckRecord(int index, BulkVector<std::string>& findings) const {
    const CommandRecord& rec = records_[static_cast<std::size_t>(index)];
    const int32_t line = rec.line;
    switch (rec.opcode) {
        case kOpUnrecognised: findings.push_back(FormatMessage(kMsgUnrecognisedCommand, line)); return;
        case kOpIf:
        case kOpWhile: findings.push_back(FormatMessage(kMsgOpenWithoutClose, line)); return;
        case kOpEndif:
        case kOpEndwhile: findings.push_back(FormatMessage(kMsgCloseWithoutOpen, line)); return;
        case kOpElse:
        case kOpElseif:
            if (!rec.insideUnmatched) findings.push_back(FormatMessage(kMsgElseWithoutIf, line));
            return;
        default: break;
    }
    if (rec.reserved || rec.blockJump) return;

    const CommandEntry& entry = kCommandTable[rec.tableIndex];
    // Conditions of if/elseif/while keep their parameters as written; `if x` counts as two.
    int n = IsBlockCondition(rec.tableIndex) ? (rec.singleOperand ? 2 : rec.paramCount) : rec.tokenCount / 2;
    if (n != entry.maxParams) {
        for (int i = 0; i < std::min(n, kSlotCount); ++i) {
            if (Slot(rec, i).kind == kKindSigned) {
                findings.push_back(FormatMessage(kMsgConstantsUnsigned, line));
                return;
            }
        }
        bool missingOptional = n < entry.maxParams;
        for (int i = n; i < entry.maxParams && missingOptional; ++i)
            missingOptional = (entry.masks[i] & kMaskOptional) != 0;
        if (!missingOptional) {
            if (entry.maxParams == entry.minParams)
                findings.push_back(FormatMessage(kMsgRequiresParams, line, entry.name, entry.maxParams));
            else
                findings.push_back(
                    FormatMessage(kMsgRequiresBetween, line, entry.name, entry.minParams, entry.maxParams));
            return;
        }
    }
    for (int i = 0; i < n && i < kBoardSlotCount; ++i) {
        const ParamSlot& slot = rec.slots[i];
        if (slot.nameFault) continue;  // reported with its line already
        const int32_t k = slot.kind;
        const bool nameKind = k == kKindPendingLocation || k == kKindPendingConstant ||
                              (k >= kKindVariable && k <= kKindIndexedDec);
        bool unresolved = false;
        if (nameKind && slot.value == kUnresolved) {
            findings.push_back(FormatMessage(kMsgUnresolvedLabel, line, Name(slot.name)));
            unresolved = true;
        }
        if (slot.ref == kUnresolved) {
            findings.push_back(FormatMessage(kMsgUnresolvedLabel, line, Name(slot.indexName)));
            unresolved = true;
        }
        if (unresolved) continue;
        if (k == kKindSigned) {
            findings.push_back(FormatMessage(kMsgConstantsUnsigned, line));
            continue;
        }
        const bool allowed = k >= 0 && k < 32 && (entry.masks[i] & (1u << k)) != 0;
        if (allowed) {
            if (k >= kKindIndexed && k <= kKindIndexedDec && slot.ref >= kIndexLocationLimit)
                findings.push_back(FormatMessage(kMsgBadIndexLocation, line));
            // A data location goes to the board in 16 bits.
            const bool location = k == kKindLocation || (k >= kKindVariable && k <= kKindIndexedDec);
            if (location && static_cast<uint32_t>(slot.value) > 0xFFFF)
                findings.push_back(FormatMessage(kMsgLocationPastEnd, line));
        } else {
            findings.push_back(FormatMessage(kMsgTypeNotAllowed, line, entry.name));
        }
    }
}

std::optional<std::string> CScriptCompiler::NextError(bool reset) {
    if (reset) {
        nextError_ = 0;
        return std::nullopt;
    }
    if (state_ != State::Compiled || nextError_ >= errors_.size()) return std::nullopt;
    return errors_[nextError_++];
}

std::vector<std::string> CScriptCompiler::TakeErrors() {
    std::vector<std::string> taken;
    if (state_ != State::Compiled) return taken;
    taken.reserve(errors_.size());
    for (std::string& e : errors_) taken.push_back(std::move(e));
    errors_.clear();
    nextError_ = 0;
    return taken;
}

ParamSlot CScriptCompiler::Slot(const CommandRecord& rec, int i) const {
    if (i < kBoardSlotCount) return rec.slots[i];
    if (rec.moreSlots >= 0)
        return moreSlots_[static_cast<std::size_t>(rec.moreSlots)]
                         [static_cast<std::size_t>(i - kBoardSlotCount)];
    ParamSlot unused;
    if (i == kBoardSlotCount && rec.endAfterThird) unused.kind = kKindUnrecognised;
    return unused;
}

void CScriptCompiler::CopyRecord(std::size_t to, const CommandRecord& rec) {
    records_[to] = rec;
    GiveOwnMoreSlots(to);
}

void CScriptCompiler::GiveOwnMoreSlots(std::size_t r) {
    CommandRecord& rec = records_[r];
    if (rec.moreSlots < 0) return;
    const auto shared = static_cast<std::size_t>(rec.moreSlots);
    rec.moreSlots = static_cast<int32_t>(moreSlots_.size());
    moreSlots_.push_back(moreSlots_[shared]);
}

// ---------------------------------------------------------------------------------------------
// Emitters

bool CScriptCompiler::NextRecord(bool reset, ImageRecord& out) {
    if (reset) {
        nextRecord_ = 0;
        return false;
    }
    if (state_ != State::Compiled || nextRecord_ >= records_.size()) return false;
    const CommandRecord& rec = records_[nextRecord_++];
    out[0] = static_cast<uint16_t>(rec.opcode);
    for (int s = 0; s < kSlotCount; ++s) {
        const ParamSlot slot = Slot(rec, s);
        out[1 + 2 * s] = static_cast<uint16_t>((slot.kind & 0xF) | ((slot.ref & 0xFFF) << 4));
        out[2 + 2 * s] = static_cast<uint16_t>(slot.value);
    }
    return true;
}

bool CScriptCompiler::NextInitialiser(bool reset, DataInitialiser& out) {
    if (reset) {
        nextInitialiser_ = 0;
        return false;
    }
    if (state_ != State::Compiled) return false;
    while (nextInitialiser_ < labels_.size()) {
        const LabelEntry& e = labels_[nextInitialiser_++];
        if ((e.kind == kKindVariable || e.kind == kKindInitWord) && e.value != 0) {
            out.location = static_cast<uint16_t>(e.location);
            out.value = static_cast<uint16_t>(e.value);
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Run-time text

bool CScriptCompiler::FormatForFile(int stringIndex, uint16_t value, int mode, std::string& out) const {
    if (state_ == State::Idle || stringIndex < 0 ||
        static_cast<std::size_t>(stringIndex) >= strings_.size()) {
        out = kMsgNoSuchString;
        return false;
    }
    const std::string& text = strings_[static_cast<std::size_t>(stringIndex)];
    if (mode == 0) {
        out = text;
        return true;
    }
    return FormatValueForFile(text, value, out);
}

bool CScriptCompiler::FormatForDisplay(int stringIndex, uint16_t value, std::string& out) const {
    if (state_ == State::Idle || stringIndex < 0 ||
        static_cast<std::size_t>(stringIndex) >= strings_.size()) {
        out = kMsgNoSuchString;
        return false;
    }
    return FormatValueForDisplay(strings_[static_cast<std::size_t>(stringIndex)], value, out);
}

int CScriptCompiler::LineOfRecord(int recordIndex) const {
    if (state_ == State::Idle || recordIndex < 0 || static_cast<std::size_t>(recordIndex) >= records_.size())
        return 0;
    return records_[static_cast<std::size_t>(recordIndex)].line;
}

void CScriptCompiler::Release() {
    state_ = State::Idle;
    listingWritten_ = false;
    decltype(source_)().swap(source_);
    BulkString().swap(names_);
    BulkVector<NameSpan>().swap(nameSpans_);
    BulkVector<uint32_t>().swap(nameIndex_);
    recentNames_.fill(RecentName{});
    BulkVector<CommandRecord>().swap(records_);
    BulkVector<MoreSlots>().swap(moreSlots_);
    BulkVector<LabelEntry>().swap(labels_);
    BulkVector<std::string>().swap(strings_);
    BulkVector<LineFault>().swap(lineFaults_);
    BulkVector<std::string>().swap(errors_);
    BulkVector<bool>().swap(deleted_);
    BulkVector<std::pair<int, int>>().swap(targets_);
    BulkVector<int32_t>().swap(newIndex_);
    BulkVector<int32_t>().swap(opcodes_);
    BulkVector<NameValue>().swap(nameValues_);
    lineCount_ = labelCount_ = initWordCount_ = stringCount_ = quoteCount_ = 0;
    split_ = SplitPoint{};
    dataCounter_ = 0;
    nextError_ = nextRecord_ = nextInitialiser_ = 0;
}

}  // namespace script
