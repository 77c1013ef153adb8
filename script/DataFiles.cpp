#include "script/DataFiles.h"

#include "script/RunTexts.h"

#include <cctype>
#include <cstring>

namespace script {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// A text line ends as text files end on this system.
constexpr std::string_view kLineEnd = "\n";

}  // namespace

DataFileKind KindOfName(std::string_view name) {
    if (name.find(".wav") != std::string_view::npos) return DataFileKind::Wave;
    if (name.find(".bin") != std::string_view::npos) return DataFileKind::Binary;
    return DataFileKind::Text;
}

bool ValueScanFormat::Parse(std::string_view format) {
    before_.clear();
    conversion_ = 0;
    width_ = 0;
    size_t i = 0;
    bool found = false;
    while (i < format.size()) {
        const char c = format[i++];
        if (c != '%') {
            if (!found) before_ += c;
            continue;
        }
        if (i < format.size() && format[i] == '%') {  // a literal percent sign
            if (!found) before_ += "%%";
            ++i;
            continue;
        }
        if (found) return false;  // a second conversion
        size_t width = 0;
        while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
            width = width * 10 + static_cast<size_t>(format[i++] - '0');
            if (width > 1000) return false;
        }
        if (i < format.size() && (format[i] == 'h' || format[i] == 'l')) {
            const char m = format[i++];
            if (i < format.size() && format[i] == m) ++i;
        }
        if (i >= format.size()) return false;
        const char conv = format[i++];
        if (std::strchr("diuxXo", conv) == nullptr) return false;
        conversion_ = conv;
        width_ = width;
        found = true;
    }
    return found;
}

bool ValueScanFormat::Scan(std::string_view text, uint16_t& value) const {
    if (conversion_ == 0) return false;
    size_t t = 0;
    // The literal text before the conversion: blanks match any run of blanks, "%%" a '%' after
    // optional blanks, every other character itself.
    for (size_t f = 0; f < before_.size(); ++f) {
        const char c = before_[f];
        if (IsBlank(c)) {
            while (t < text.size() && IsBlank(text[t])) ++t;
        } else if (c == '%') {
            ++f;  // the second '%' of the pair
            while (t < text.size() && IsBlank(text[t])) ++t;
            if (t >= text.size() || text[t] != '%') return false;
            ++t;
        } else {
            if (t >= text.size() || text[t] != c) return false;
            ++t;
        }
    }
    while (t < text.size() && IsBlank(text[t])) ++t;
    size_t end = text.size();
    if (width_ > 0 && t + width_ < end) end = t + width_;

    bool negative = false;
    if (t < end && (text[t] == '+' || text[t] == '-')) negative = text[t++] == '-';
    int base = 10;
    if (conversion_ == 'x' || conversion_ == 'X') base = 16;
    if (conversion_ == 'o') base = 8;
    const bool hexPrefix = t + 1 < end && text[t] == '0' && (text[t + 1] == 'x' || text[t + 1] == 'X') &&
                           t + 2 < end && DigitValue(text[t + 2]) < 16;
    if (conversion_ == 'i') {
        if (hexPrefix) {
            base = 16;
            t += 2;
        } else if (t < end && text[t] == '0') {
            base = 8;
        }
    } else if (base == 16 && hexPrefix) {
        t += 2;
    }
    uint64_t v = 0;
    size_t digits = 0;
    while (t < end && DigitValue(text[t]) < base) {
        v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(DigitValue(text[t++]));
        if (v > 0xFFFFFFFFull) v = 0xFFFFFFFFull;  // saturates, as the library's conversion does
        ++digits;
    }
    if (digits == 0) return false;
    const uint64_t word = negative ? (0 - v) : v;
    value = static_cast<uint16_t>(word & 0xFFFF);
    return true;
}

std::string_view DataLineText(std::string_view line) {
    const size_t semicolon = line.find(';');
    if (semicolon != std::string_view::npos) line = line.substr(0, semicolon);
    while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
    while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
    return line;
}

bool ReadDataFile::Open(const std::string& path, std::string_view format) {
    Close();
    const DataFileKind kind = KindOfName(path.substr(path.find_last_of('/') + 1));
    if (kind == DataFileKind::Wave) {
        if (!wave_.Open(path)) return false;
        items_ = wave_.Format().samples;
    } else if (kind == DataFileKind::Binary) {
        file_ = std::fopen(path.c_str(), "rb");
        if (!file_) return false;
        if (std::fseek(file_, 0, SEEK_END) != 0) return Close(), false;
        const long size = std::ftell(file_);
        if (size < 0 || std::fseek(file_, 0, SEEK_SET) != 0) return Close(), false;
        const uint64_t words = static_cast<uint64_t>(size) / 2;
        items_ = words > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(words);
    } else {
        if (!format_.Parse(format)) return false;
        file_ = std::fopen(path.c_str(), "rb");
        if (!file_) return false;
        kind_ = kind;
        uint16_t v = 0;
        uint32_t count = 0;
        while (NextTextValue(v)) {
            if (count < 0xFFFFFFFFu) ++count;
        }
        if (std::fseek(file_, 0, SEEK_SET) != 0) return Close(), false;
        items_ = count;
    }
    kind_ = kind;
    path_ = path;
    return true;
}

void ReadDataFile::Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    wave_.Close();
    kind_ = DataFileKind::None;
    path_.clear();
    items_ = 0;
}

std::string ReadDataFile::Report() const {
    switch (kind_) {
        case DataFileKind::Wave: {
            const WaveFormat& f = wave_.Format();
            std::string r(kTextOpenedWav);
            r += FillNumber(kFmtWavSampleRate, f.sampleRate);
            r += f.Stereo() ? kTextWavStereo : kTextWavMono;
            r += FillNumber(kFmtWavSamples, f.samples);
            return r;
        }
        case DataFileKind::Binary: return FillNumber(kFmtOpenedBinary, items_);
        case DataFileKind::Text: return FillNumber(kFmtOpenedText, items_);
        case DataFileKind::None: break;
    }
    return {};
}

bool ReadDataFile::NextTextValue(uint16_t& value) {
    char buffer[kLineBuffer];
    while (std::fgets(buffer, sizeof buffer, file_)) {
        const std::string_view text = DataLineText(std::string_view(buffer, std::strlen(buffer)));
        if (text.empty()) continue;
        if (format_.Scan(text, value)) return true;
    }
    return false;
}

bool ReadDataFile::Next(uint16_t& value) {
    switch (kind_) {
        case DataFileKind::Wave: return wave_.NextSample(value);
        case DataFileKind::Binary: {
            uint8_t b[2];
            if (std::fread(b, 1, 2, file_) != 2) return false;
            value = static_cast<uint16_t>(b[0] << 8 | b[1]);
            return true;
        }
        case DataFileKind::Text: return NextTextValue(value);
        case DataFileKind::None: break;
    }
    return false;
}

bool WriteDataFile::Create(const std::string& path, uint32_t rate, uint8_t channels) {
    Close();
    const DataFileKind kind = KindOfName(path.substr(path.find_last_of('/') + 1));
    if (kind == DataFileKind::Wave) {
        if (channels != 1 && channels != 2) return false;
        if (rate == 0) return false;
        if (!wave_.Create(path, rate, channels)) return false;
    } else {
        file_ = std::fopen(path.c_str(), "wb");
        if (!file_) return false;
    }
    kind_ = kind;
    path_ = path;
    return true;
}

bool WriteDataFile::Close() {
    bool ok = true;
    if (file_) ok = std::fclose(file_) == 0;
    file_ = nullptr;
    if (wave_.IsOpen()) ok = wave_.Close() && ok;
    kind_ = DataFileKind::None;
    path_.clear();
    return ok;
}

bool WriteDataFile::Write(uint16_t value, std::string_view text) {
    switch (kind_) {
        case DataFileKind::Wave: return wave_.WriteSample(value);
        case DataFileKind::Binary: {
            const uint8_t b[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
            return std::fwrite(b, 1, 2, file_) == 2;
        }
        case DataFileKind::Text: {
            bool lineEnd = true;
            if (text.size() >= kContinuation.size() &&
                text.substr(text.size() - kContinuation.size()) == kContinuation) {
                text.remove_suffix(kContinuation.size());
                lineEnd = false;
            }
            if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file_) != text.size()) return false;
            if (lineEnd && std::fwrite(kLineEnd.data(), 1, kLineEnd.size(), file_) != kLineEnd.size())
                return false;
            return true;
        }
        case DataFileKind::None: break;
    }
    return false;
}

}  // namespace script
