#include "registers/RegisterConfigFile.h"

#include "core/TextFormat.h"
#include "registers/HexText.h"

#include <algorithm>
#include <cstdio>
#include <istream>
#include <sstream>

std::string Utf8ToLatin1(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        // Length of the sequence from its lead byte; a broken sequence counts as one '?'.
        size_t len = c >= 0xF0 && c < 0xF8 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        uint32_t cp = len == 2 ? c & 0x1F : len == 3 ? c & 0x0F : c & 0x07;
        bool ok = len > 1 && i + len <= utf8.size();
        for (size_t k = 1; ok && k < len; ++k) {
            const auto cc = static_cast<unsigned char>(utf8[i + k]);
            ok = (cc & 0xC0) == 0x80;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok) len = 1;
        out += ok && cp <= 0xFF ? static_cast<char>(cp) : '?';
        i += len;
    }
    return out;
}

std::string Latin1ToUtf8(std::string_view latin1) {
    std::string out;
    out.reserve(latin1.size());
    for (char ch : latin1) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

namespace {

std::string CellLine(const std::string& text) {
    std::string line = Utf8ToLatin1(text);
    for (char& c : line) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return line + "\r\n";
}

// Hands out the file's lines without their ends; past the end, empty lines. Reads the stream in
// blocks, and no further than the lines asked for; a line over kMaxConfigLineBytes is not read
// to its end. A UTF-8 byte-order mark at the very start of the file is no text of its first line.
class LineReader {
public:
    enum class Got { Line, TooLong, ReadError };

    explicit LineReader(std::istream& in) : in_(in) {}

    Got Next(std::string& line) {
        line.clear();
        for (;;) {
            if (pos_ == length_ && !Fill()) {
                if (error_) return Got::ReadError;
                return Finish(line);  // the last line may have no line end
            }
            const char* begin = buffer_.data() + pos_;
            const char* end = buffer_.data() + length_;
            const char* newline = std::find(begin, end, '\n');
            line.append(begin, newline);
            pos_ = static_cast<size_t>(newline - buffer_.data());
            // One byte more than the bound may be the CR of a CR LF line end.
            if (line.size() > kMaxConfigLineBytes + 1) return Got::TooLong;
            if (newline != end) {
                ++pos_;
                return Finish(line);
            }
        }
    }

private:
    static Got Finish(std::string& line) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line.size() > kMaxConfigLineBytes ? Got::TooLong : Got::Line;
    }

    bool Fill() {
        if (end_) return false;
        // istream::read turns a failed read of the file (EIO from a pulled stick) into badbit
        // rather than letting the library's exception through.
        in_.read(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        length_ = static_cast<size_t>(in_.gcount());
        pos_ = 0;
        if (in_.bad()) {
            error_ = end_ = true;
            return false;
        }
        if (length_ < buffer_.size()) end_ = true;
        if (first_) {
            first_ = false;
            constexpr std::string_view kBom = "\xEF\xBB\xBF";
            if (std::string_view(buffer_.data(), length_).substr(0, kBom.size()) == kBom) pos_ = kBom.size();
        }
        return pos_ < length_;
    }

    std::istream& in_;
    std::array<char, 4096> buffer_{};
    size_t pos_ = 0;
    size_t length_ = 0;
    bool first_ = true;
    bool end_ = false;
    bool error_ = false;
};

}  // namespace

std::string FormatRegisterConfig(const RegisterRows& rows) {
    std::string out;
    for (int r = 1; r <= CRegisterTablePage::kRows; ++r) {
        const RegisterRow& row = rows[static_cast<size_t>(r - 1)];
        out += FormatText("Register:%03d\r\n", r);
        out += CellLine(row.description);
        out += CellLine(row.address);
        out += FormatText("%02d\r\n", static_cast<int>(row.type) + 1);
        out += CellLine(row.data);
        out += FormatText("%01d\r\n", row.enabled ? 1 : 0);
    }
    return out;
}

RegisterConfigRead ReadRegisterConfig(std::istream& in, RegisterRows& rows) {
    LineReader lines(in);
    // Header, description, address, type, data, enabled.
    std::array<std::string, 6> cells;
    for (int r = 1; r <= CRegisterTablePage::kRows; ++r) {
        const std::string header = FormatText("Register:%03d", r);
        for (size_t k = 0; k < cells.size(); ++k) {
            // A record that breaks off (a line over the bound) is not loaded; a read error
            // makes the whole file unusable.
            const LineReader::Got got = lines.Next(cells[k]);
            if (got != LineReader::Got::Line) return {r - 1, got == LineReader::Got::ReadError};
            if (k == 0 && cells[0].find(header) == std::string::npos) return {r - 1, false};
        }
        RegisterRow& row = rows[static_cast<size_t>(r - 1)];
        row.description = Latin1ToUtf8(cells[1]);
        row.address = Latin1ToUtf8(cells[2]);
        const uint32_t n = HexTextToNumber(cells[3]);
        row.type = n >= 1 && n <= 4 ? static_cast<RowType>(n - 1) : RowType::None;
        row.data = Latin1ToUtf8(cells[4]);
        row.enabled = HexTextToNumber(cells[5]) != 0;
    }
    return {CRegisterTablePage::kRows, false};
}

int ParseRegisterConfig(std::string_view bytes, RegisterRows& rows) {
    std::istringstream in{std::string(bytes)};
    return ReadRegisterConfig(in, rows).records;
}
