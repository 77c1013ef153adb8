#pragma once
// The PC files a running script reads and writes, beside the script: WAVE (16-bit samples),
// binary (16-bit words, high byte first) and text (one value per line). The kind follows the
// name: ".wav" anywhere in it means WAVE, ".bin" binary, anything else text.
#include "script/Wave.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace script {

enum class DataFileKind { None, Text, Binary, Wave };

DataFileKind KindOfName(std::string_view name);

// The one numeric conversion a script's text-file format may hold (%d %i %u %x %X %o, with an
// optional width and h/hh/l/ll), with literal text around it. The format is the script's own
// string: it is read here, never handed to scanf.
class ValueScanFormat {
public:
    // False for a format without exactly one such conversion.
    bool Parse(std::string_view format);
    // True when the text yields a value, as scanf would report one conversion done.
    bool Scan(std::string_view text, uint16_t& value) const;

private:
    std::string before_;  // literal text before the conversion
    char conversion_ = 0;
    size_t width_ = 0;  // 0: no width
};

// The part of a text-file line that holds a value: cut at the first ';' and trimmed at both
// ends. Empty: the line holds none.
std::string_view DataLineText(std::string_view line);

// The file a script reads (code 5 opens it, code 11 asks for its values).
class ReadDataFile {
public:
    ReadDataFile() = default;
    ~ReadDataFile() { Close(); }
    ReadDataFile(const ReadDataFile&) = delete;
    ReadDataFile& operator=(const ReadDataFile&) = delete;

    // Opens, counts the values and starts again at the first. format is used for text files.
    bool Open(const std::string& path, std::string_view format);
    void Close();
    bool IsOpen() const { return kind_ != DataFileKind::None; }
    DataFileKind Kind() const { return kind_; }
    const std::string& Path() const { return path_; }
    // Values in the file: samples, words, or text lines that yield one.
    uint32_t ItemCount() const { return items_; }
    // "Opened ... file, ..." as the results list shows it.
    std::string Report() const;
    // The next value; false at the end of the file.
    bool Next(uint16_t& value);

private:
    // Text files are read in pieces of at most this many characters, as a line buffer would:
    // a longer line counts as several.
    static constexpr size_t kLineBuffer = 4096;
    bool NextTextValue(uint16_t& value);

    DataFileKind kind_ = DataFileKind::None;
    std::string path_;
    std::FILE* file_ = nullptr;  // text and binary
    WaveReader wave_;
    ValueScanFormat format_;
    uint32_t items_ = 0;
};

// The file a script writes (code 6 creates it, codes 9 and 24 fill it).
class WriteDataFile {
public:
    WriteDataFile() = default;
    ~WriteDataFile() { Close(); }
    WriteDataFile(const WriteDataFile&) = delete;
    WriteDataFile& operator=(const WriteDataFile&) = delete;

    // rate and channels are used for WAVE files: channels 1 or 2, rate above 0.
    bool Create(const std::string& path, uint32_t rate, uint8_t channels);
    // False when the file could not be closed whole (a WAVE header not rewritten, data lost).
    bool Close();
    bool IsOpen() const { return kind_ != DataFileKind::None; }
    DataFileKind Kind() const { return kind_; }
    const std::string& Path() const { return path_; }
    // WAVE: one little-endian sample; binary: high byte, low byte; text: `text` (the script's
    // string with the value in it) and a line end, unless it ends with "\c", which is removed.
    bool Write(uint16_t value, std::string_view text);

private:
    DataFileKind kind_ = DataFileKind::None;
    std::string path_;
    std::FILE* file_ = nullptr;
    WaveWriter wave_;
};

}  // namespace script
