#pragma once
// The script compiler: turns a script file into the command records, string table, label
// table and data initialisers that the board receives. One compiler object holds one script
// at a time, from Prepare until Release; the run host keeps it for the run because the board
// refers to strings and records by number.
//
//   Prepare(path)   pass 1: read the file, count what the tables will need
//   Compile()       pass 2, variable placement, block rewriting, name resolution, listing
//   NextError()     every compile error, one per call, in a fixed order
//   NextRecord()    the image, 13 words per record
//   NextInitialiser() the data words with an initial value
#include "script/BulkMemory.h"
#include "script/CommandTable.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace script {

class StandingHelper;

constexpr int kSlotCount = 6;  // parameter positions while parsing; 3 reach the board
constexpr int kBoardSlotCount = 3;
constexpr std::size_t kMaxLineLength = 1023;
constexpr std::size_t kMaxStringLength = 63;
constexpr std::size_t kMaxParamNameLength = 31;
constexpr std::size_t kMaxLabelNameLength = 35;
constexpr int32_t kIndexLocationLimit = 4096;  // index variables must lie below this location
constexpr int32_t kUnresolved = -1;
// The board holds at most this many command records (the closing record not counted); a
// larger image is a compile error.
constexpr std::size_t kMaxImageRecords = 4096;
constexpr const char* kListingFileName = "debug_file.txt";

// A name in the compiler's name store: every distinct name is kept once (see
// CScriptCompiler::Name). 0 is the empty name.
struct NameRef {
    uint32_t id = 0;
    bool Empty() const { return id == 0; }
};

// The fields are as narrow as their values allow: a long script has a record per line, and
// every megabyte the tables take is time spent by the system handing out memory.
struct ParamSlot {
    int32_t value = 0;  // location, constant, string number or record index; -1 = unresolved
    int32_t ref = 0;  // index variable's location (kinds 3-5), bits 16..23 << 4 (kind 11),
        // or the n of name[n]; -1 = unresolved index variable
    NameRef name;  // name written in this position, to be resolved
    NameRef indexName;  // index variable written in name[index]
    int16_t kind = kKindLocation;  // up to kKindPendingConstant
    bool constantIndex = false;  // name[n]: the value is the name's value plus n
    bool nameFault = false;  // a name too long for the slot; reported on its own
};
static_assert(sizeof(ParamSlot) == 20);

struct CommandRecord {
    int32_t opcode = kOpEnd;
    // The slots that reach the board. Slots 3..5 are kept apart (CScriptCompiler::Slot): only a
    // line with more parameters than any command takes fills them.
    ParamSlot slots[kBoardSlotCount];
    int32_t line = 0;
    int32_t moreSlots = -1;  // where slots 3..5 are kept; -1: as a slot never written
    int16_t tableIndex = 0;
    int8_t condition = 0;  // 0..11
    int8_t tokenCount = 0;  // 2 x parameters + 1
    // Parameters as written, before block rewriting touched tokenCount.
    int8_t paramCount = 0;
    // A comparison operator was written.
    bool hasOperator = false;
    // `if x` rewritten into `if x != 0`.
    bool singleOperand = false;
    // A jump made by block rewriting (from else/elseif, or the bottom of a while loop): it
    // carries no parameters of its own to check.
    bool blockJump = false;
    // The record an elseif keeps free for its rewriting, not yet used.
    bool reserved = false;
    // An else/elseif left over inside an if without endif: that if is reported instead.
    bool insideUnmatched = false;
    // Three parameters were written: slot 3 holds the end of the line (kind 9), and slots 4
    // and 5 are as never written.
    bool endAfterThird = false;
};
static_assert(sizeof(CommandRecord) == 84);

struct LabelEntry {
    NameRef name;  // empty for initialiser words
    int32_t kind = 0;  // 1 constant, 2 variable/buffer, 7 code label, 8 initialiser word,
        // 10 declared with a sign
    int32_t location = 0;  // data location (kinds 2 and 8)
    int32_t commandIndex = 0;  // labelled record (kind 7)
    int32_t line = 0;
    int32_t value = 0;  // initial value (kinds 2, 8; -1 = word without a value), constant
    int32_t isBuffer = 0;
    int32_t words = 0;  // data words from location on (kind 2): a buffer's size, or a
        // word's values (at least 1)
    bool nameFault = false;  // name longer than a label may be: reported, never matched
    bool counted = false;  // location taken from the data counter (word, buffer, their values)
};

// One record as downloaded: opcode, then descriptor and value of each of the six slots.
// A descriptor is (kind & 0xF) | ((ref & 0xFFF) << 4).
using ImageRecord = std::array<uint16_t, 1 + 2 * kSlotCount>;

struct DataInitialiser {
    uint16_t location = 0;
    uint16_t value = 0;
};

class CScriptCompiler {
public:
    CScriptCompiler() = default;
    CScriptCompiler(const CScriptCompiler&) = delete;
    CScriptCompiler& operator=(const CScriptCompiler&) = delete;

    // Folder the listing "debug_file.txt" is written to; empty (the default) = the current
    // directory.
    void SetListingDirectory(std::string dir) { listingDir_ = std::move(dir); }
    const std::string& ListingDirectory() const { return listingDir_; }

    // Pass 1. False if tables are already held, the file cannot be read, or memory runs out;
    // nothing is held then.
    bool Prepare(const std::string& path);
    // Pass 1 over a script held in memory (as if read from a file).
    bool PrepareText(std::string_view text);
    // Scripts of at least this many bytes are parsed in two halves at once where the machine
    // has a second processor; the tables come out as one pass gives them. For tests; set before
    // Prepare, whose pass 1 chooses the split.
    void SetSplitFrom(std::size_t bytes) { splitFrom_ = bytes; }

    // Pass 2 and everything after it; writes the listing. False only when nothing is prepared
    // (or memory ran out). Language errors come from NextError.
    bool Compile();

    // reset = true starts over and returns nothing; otherwise the next error text (each ends
    // in CR LF), or nothing when all have been given. An image too large for the board is
    // reported last, and only when nothing else is.
    std::optional<std::string> NextError(bool reset);
    // Every error text, in the same order, moved out: a long script can have thousands, and
    // whoever takes them keeps no compiler. NextError gives nothing more after it.
    std::vector<std::string> TakeErrors();
    // reset = true starts over and returns false; otherwise fills the next record's words and
    // returns true, or returns false at the end.
    bool NextRecord(bool reset, ImageRecord& out);
    // Data words with a non-zero initial value, in label-table order.
    bool NextInitialiser(bool reset, DataInitialiser& out);

    // The text of string number stringIndex: mode 0 as written, otherwise with its type
    // specifier filled with value. False (and an error text in out) for a missing string or a
    // bad specifier.
    bool FormatForFile(int stringIndex, uint16_t value, int mode, std::string& out) const;
    // Only the value's text, as the entry dialog proposes it.
    bool FormatForDisplay(int stringIndex, uint16_t value, std::string& out) const;

    // Source line of a record of the image; 0 when no tables are held or there is no such
    // record.
    int LineOfRecord(int recordIndex) const;

    // Frees every table.
    void Release();

    bool TablesHeld() const { return state_ != State::Idle; }
    bool Compiled() const { return state_ == State::Compiled; }
    // Whether Compile managed to write the listing.
    bool ListingWritten() const { return listingWritten_; }

    // Read-only views of the tables, for the listing, the run host and tests.
    const BulkVector<CommandRecord>& Records() const { return records_; }
    const BulkVector<LabelEntry>& Labels() const { return labels_; }
    const BulkVector<std::string>& Strings() const { return strings_; }
    // Slot i (0..5) of a record, as parsed, rewritten and resolved.
    ParamSlot Slot(const CommandRecord& rec, int i) const;
    std::string_view Name(NameRef ref) const {
        if (ref.id >= nameSpans_.size()) return std::string_view();
        const NameSpan& n = nameSpans_[ref.id];
        return std::string_view(names_).substr(n.offset, n.length);
    }
    // Length of the longest name held.
    std::size_t LongestName() const {
        std::size_t longest = 0;
        for (const NameSpan& n : nameSpans_) longest = std::max<std::size_t>(longest, n.length);
        return longest;
    }
    // The listing's text, exactly as written to the file.
    std::string ListingText() const;

private:
    enum class State { Idle, Prepared, Compiled };
    struct LineFault {
        int32_t line;
        std::string text;
    };

    // Pass 1 over source_; false (and nothing prepared) when it cannot be taken.
    // `helper`: one already started (for the read), or none.
    bool Accept(StandingHelper* helper);
    void Pass1(std::string_view text, StandingHelper* helper);
    // Reads the `size` bytes of a regular file in two halves at once; false (and source_ to be
    // read again) when the file was not as long as that.
    bool ReadBeside(int fd, std::size_t size, StandingHelper& helper);
    // Reserves the tables for the counts of pass 1.
    void SizeTables();
    void Pass2();
    // Pass 2 over lines of the source, the first numbered firstLine + 1.
    void CompileLines(std::string_view text, int32_t firstLine);
    // Appends the tables that a part made of the lines after this compiler's own.
    void Absorb(CScriptCompiler& part);
    // `slash`: the line may hold a comment ('/' somewhere in it).
    void CompileLine(std::string_view line, int32_t lineNumber, bool slash);
    void Declare(int entry, std::string_view keyword, std::string_view rest, int32_t opcode,
                 int32_t lineNumber);
    void ParseCommand(std::string_view rest, int tableIndex, int32_t lineNumber);
    void PlaceVariables();
    void RewriteIfBlocks();
    // Notes its jumps in targets_, and in `copies` each loop bottom that still shares its
    // while's slots 3..5 (GiveOwnMoreSlots gives it its own).
    void RewriteWhileBlocks(BulkVector<int>& copies);
    void SetJumpIfFalse(int record, int32_t target);
    void PrepareCondition(int record);
    void BuildNameLookup();
    void DropMatchedEndifsAndResolve();
    void ResolveRecord(CommandRecord& rec);
    // Writes the listing, and runs `besides` (once, on this thread or beside it) before the
    // listing is put in place; a listing is kept only when `besides` returns true.
    void WriteListing(const std::function<bool()>& besides);
    void FindErrors();
    void CheckRecord(int index, BulkVector<std::string>& findings) const;
    NameRef StoreName(std::string_view name);
    NameRef FindOrAddName(std::string_view name, uint64_t hash, uint64_t prefix);
    // Asks for the place in the index where a name would be looked up, ahead of the lookup.
    void PrefetchName(std::string_view name) const;
    void GrowNameIndex();

    State state_ = State::Idle;
    std::string listingDir_;
    static constexpr std::size_t kSplitFrom = 256 * 1024;
    std::size_t splitFrom_ = kSplitFrom;
    bool listingWritten_ = false;

    // The script's text: read straight in, never zeroed first.
    std::vector<char, UninitializedBulkAllocator<char>> source_;
    std::string_view Source() const { return {source_.data(), source_.size()}; }
    // Counts from pass 1: what the tables are sized for.
    std::size_t lineCount_ = 0;
    std::size_t labelCount_ = 0;
    std::size_t stringCount_ = 0;
    std::size_t initWordCount_ = 0;
    bool sourceHasNul_ = false;
    std::size_t quoteCount_ = 0;
    // Where pass 2 may split the script (at 0: it is parsed in one pass), and pass 1's counts
    // before that point.
    struct SplitPoint {
        std::size_t at = 0;
        std::size_t lines = 0;
        std::size_t labels = 0;
        std::size_t initWords = 0;
        std::size_t quotes = 0;
        bool helpers = false;  // the machine has more than one processor
    };
    SplitPoint split_;
    // A long script's compile shares its work with helper threads where the machine has more
    // than one processor.
    bool UsesHelpers() const;
    // The helper of the compile under way, where it has one.
    StandingHelper* helper_ = nullptr;

    // Distinct names, back to back; nameSpans_[id] locates name id; nameIndex_ is an
    // open-addressing hash of the ids by name.
    struct NameSpan {
        uint32_t offset;
        uint32_t length;
        uint64_t prefix;  // the first eight characters, zeros after a shorter name
    };
    BulkString names_;
    BulkVector<NameSpan> nameSpans_;
    BulkVector<uint32_t> nameIndex_;
    // Short names met lately, by hash (length 0: none).
    struct RecentName {
        uint64_t prefix = 0;
        uint32_t length = 0;
        uint32_t id = 0;
    };
    static constexpr std::size_t kRecentNames = 64;
    std::array<RecentName, kRecentNames> recentNames_{};
    BulkVector<CommandRecord> records_;
    using MoreSlots = std::array<ParamSlot, kSlotCount - kBoardSlotCount>;
    BulkVector<MoreSlots> moreSlots_;
    // Puts a copy of rec at record `to`, with slots 3..5 of its own (block rewriting).
    void CopyRecord(std::size_t to, const CommandRecord& rec);
    // Record r's slots 3..5, where it has them, made a copy of its own.
    void GiveOwnMoreSlots(std::size_t r);
    BulkVector<LabelEntry> labels_;
    BulkVector<std::string> strings_;
    BulkVector<LineFault> lineFaults_;
    int64_t dataCounter_ = 0;
    struct DeclaredValue {
        int32_t number;
        bool isSigned;
    };
    std::vector<DeclaredValue> declaredValues_;  // kept to spare an allocation per declaration

    // Block rewriting: records to drop (matched endif); the number each record takes once they
    // are dropped (a dropped one: the next kept record's), which the if blocks' jumps get as they
    // are written; the while loops' jumps as (record, slot), in numbers from before the drop.
    BulkVector<bool> deleted_;
    BulkVector<int32_t> newIndex_;
    BulkVector<std::pair<int, int>> targets_;
    // Each record's opcode as pass 2 made it (kReservedRecord for the one an elseif keeps):
    // a small copy to scan for blocks instead of the records themselves.
    static constexpr int32_t kReservedRecord = -1;
    BulkVector<int32_t> opcodes_;
    // For each name, what its first label entry that a name may refer to gives it.
    struct NameValue {
        int32_t value = 0;  // record (code labels), location (variables) or value
        int16_t kind = 0;  // the entry's kind
        bool found = false;  // false: no entry names it
    };
    BulkVector<NameValue> nameValues_;

    // Compile errors, found once after Compile, handed out one by one.
    BulkVector<std::string> errors_;
    std::size_t nextError_ = 0;
    std::size_t nextRecord_ = 0;
    std::size_t nextInitialiser_ = 0;
};

}  // namespace script
