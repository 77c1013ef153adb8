// The compiler's listing "debug_file.txt": every record, string and label as the compiler
// built them. Written at the end of every Compile, errors or not.
#include "script/ScriptCompiler.h"

#include <cstdio>
#include <initializer_list>

namespace script {

namespace {

constexpr std::string_view kTitleCommands = "Command table\n";
constexpr std::string_view kRecordLine =
    "Line %5d Location %3x Command=%2x Param1=%2x %4x[%3x] Param2=%2x %4x[%3x] Param3=%2x "
    "%4x[%3x] RefLabels=%s[%s],%s[%s],%s[%s]\n";
constexpr std::string_view kTitleStrings = "\nString table\n";
constexpr std::string_view kStringLine = "%4x %s\n";
constexpr std::string_view kTitleLabels = "\nLabel table\n";
constexpr std::string_view kLabelStart = "Line %5d Label no %4d %20s ";
constexpr std::string_view kLabelCommand = "Command,                   Location=%d\n";
constexpr std::string_view kLabelConstant = "Constant, value=%d\n";
constexpr std::string_view kLabelVariable = "Variable, value=%4d,      Location=%d\n";
constexpr std::string_view kLabelInitWord = "Initbuf,  value=%4d,      Location=%d\n";

struct Arg {
    Arg(int32_t v) : number(v) {}
    Arg(uint32_t v) : number(v) {}
    Arg(std::string_view s) : text(s), isText(true) {}
    int64_t number = 0;
    std::string_view text;
    bool isText = false;
};

// One of the listing's printf-style line formats, taken apart once so that a long listing is
// quick to write. Knows %d, %x and %s with an optional width, right-aligned, as printf does.
class LineFormat {
public:
    explicit LineFormat(std::string_view format)
    {
        std::size_t literal = 0;
        for (std::size_t i = 0; i < format.size(); ++i) {
            if (format[i] != '%')
                continue;
            Piece p;
            p.literal = format.substr(literal, i - literal);
            std::size_t j = i + 1;
            while (j < format.size() && format[j] >= '0' && format[j] <= '9')
                p.width = p.width * 10 + (format[j++] - '0');
            p.conversion = j < format.size() ? format[j] : 's';
            pieces_.push_back(p);
            i = j;
            literal = j + 1;
        }
        tail_ = format.substr(std::min(literal, format.size()));
    }

    void Append(std::string& out, std::initializer_list<Arg> args) const
    {
        auto arg = args.begin();
        for (const Piece& p : pieces_) {
            out += p.literal;
            if (arg == args.end())
                break;
            char digits[24];
            std::string_view text;
            if (p.conversion == 's') {
                text = arg->text;
            } else if (p.conversion == 'x') {
                uint32_t v = static_cast<uint32_t>(arg->number);
                char* end = digits + sizeof digits;
                char* q = end;
                do {
                    *--q = "0123456789abcdef"[v & 0xF];
                    v >>= 4;
                } while (v);
                text = std::string_view(q, static_cast<std::size_t>(end - q));
            } else {
                int64_t v = arg->number;
                const bool negative = v < 0;
                uint64_t m = negative ? static_cast<uint64_t>(-v) : static_cast<uint64_t>(v);
                char* end = digits + sizeof digits;
                char* q = end;
                do {
                    *--q = static_cast<char>('0' + m % 10);
                    m /= 10;
                } while (m);
                if (negative)
                    *--q = '-';
                text = std::string_view(q, static_cast<std::size_t>(end - q));
            }
            if (text.size() < p.width)
                out.append(p.width - text.size(), ' ');
            out += text;
            ++arg;
        }
        out += tail_;
    }

private:
    struct Piece {
        std::string_view literal;
        std::size_t width = 0;
        char conversion = 's';
    };
    std::vector<Piece> pieces_;
    std::string_view tail_;
};

} // namespace

std::string CScriptCompiler::ListingText() const
{
    static const LineFormat recordLine(kRecordLine);
    static const LineFormat stringLine(kStringLine);
    static const LineFormat labelStart(kLabelStart);
    static const LineFormat labelCommand(kLabelCommand);
    static const LineFormat labelConstant(kLabelConstant);
    static const LineFormat labelVariable(kLabelVariable);
    static const LineFormat labelInitWord(kLabelInitWord);

    std::string out;
    out.reserve(records_.size() * 160 + strings_.size() * 40 + labels_.size() * 90 + 64);
    out += kTitleCommands;
    for (std::size_t r = 0; r < records_.size(); ++r) {
        const CommandRecord& rec = records_[r];
        const ParamSlot* s = rec.slots;
        auto kind = [](const ParamSlot& p) { return static_cast<uint32_t>(p.kind & 0xFF); };
        auto value = [](const ParamSlot& p) { return static_cast<uint32_t>(p.value & 0xFFFF); };
        auto ref = [](const ParamSlot& p) { return static_cast<uint32_t>(p.ref & 0xFFFF); };
        recordLine.Append(out, {rec.line, static_cast<uint32_t>(r), static_cast<uint32_t>(rec.opcode),
                                kind(s[0]), value(s[0]), ref(s[0]), kind(s[1]), value(s[1]),
                                ref(s[1]), kind(s[2]), value(s[2]), ref(s[2]), Name(s[0].name),
                                Name(s[0].indexName), Name(s[1].name), Name(s[1].indexName),
                                Name(s[2].name), Name(s[2].indexName)});
    }
    out += kTitleStrings;
    for (std::size_t i = 0; i < strings_.size(); ++i)
        stringLine.Append(out, {static_cast<uint32_t>(i), std::string_view(strings_[i])});
    out += kTitleLabels;
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        const LabelEntry& e = labels_[i];
        labelStart.Append(out, {e.line, static_cast<int32_t>(i), Name(e.name)});
        switch (e.kind) {
        case kKindLabel:
            labelCommand.Append(out, {e.commandIndex});
            break;
        case kKindConstant:
            labelConstant.Append(out, {e.value});
            break;
        case kKindVariable:
            labelVariable.Append(out, {e.value, e.location});
            break;
        case kKindInitWord:
            if (e.value != kUnresolved)
                labelInitWord.Append(out, {e.value, e.location});
            break;
        default:
            break; // nothing after the name, not even a line end
        }
    }
    return out;
}

void CScriptCompiler::WriteListing()
{
    listingWritten_ = false;
    std::string path = listingDir_.empty() ? std::string(kListingFileName)
                                           : listingDir_ + "/" + kListingFileName;
    std::string text = ListingText();
    std::FILE* f = std::fopen(path.c_str(), "w+");
    if (!f)
        return;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    listingWritten_ = (std::fclose(f) == 0) && ok;
}

} // namespace script
