#include "registers/RegisterConfigFile.h"

#include "registers/HexText.h"

#include <cstdio>

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

// Hands out the file's lines without their ends; past the end, empty lines.
class LineReader {
public:
    explicit LineReader(std::string_view bytes) : bytes_(bytes) {}
    std::string Next() {
        if (pos_ >= bytes_.size()) return {};
        size_t end = bytes_.find('\n', pos_);
        if (end == std::string_view::npos) end = bytes_.size();
        std::string_view line = bytes_.substr(pos_, end - pos_);
        pos_ = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return std::string(line);
    }

private:
    std::string_view bytes_;
    size_t pos_ = 0;
};

}  // namespace

std::string FormatRegisterConfig(const RegisterRows& rows) {
    std::string out;
    char buf[32];
    for (int r = 1; r <= CRegisterTablePage::kRows; ++r) {
        const RegisterRow& row = rows[static_cast<size_t>(r - 1)];
        std::snprintf(buf, sizeof buf, "Register:%03d\r\n", r);
        out += buf;
        out += CellLine(row.description);
        out += CellLine(row.address);
        std::snprintf(buf, sizeof buf, "%02d\r\n", static_cast<int>(row.type) + 1);
        out += buf;
        out += CellLine(row.data);
        std::snprintf(buf, sizeof buf, "%01d\r\n", row.enabled ? 1 : 0);
        out += buf;
    }
    return out;
}

int ParseRegisterConfig(std::string_view bytes, RegisterRows& rows) {
    LineReader lines(bytes);
    char header[32];
    for (int r = 1; r <= CRegisterTablePage::kRows; ++r) {
        std::snprintf(header, sizeof header, "Register:%03d", r);
        if (lines.Next().find(header) == std::string::npos) return r - 1;
        RegisterRow& row = rows[static_cast<size_t>(r - 1)];
        row.description = Latin1ToUtf8(lines.Next());
        row.address = Latin1ToUtf8(lines.Next());
        const uint32_t n = HexTextToNumber(lines.Next());
        row.type = n >= 1 && n <= 4 ? static_cast<RowType>(n - 1) : RowType::None;
        row.data = Latin1ToUtf8(lines.Next());
        row.enabled = HexTextToNumber(lines.Next()) != 0;
    }
    return CRegisterTablePage::kRows;
}
