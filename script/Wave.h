#pragma once
// WAVE files that scripts read and write: RIFF form "WAVE" with a "fmt " and a "data" chunk of
// 16-bit samples, little-endian. Our own reader and writer, bounds-checked against the bytes
// that are really there.
#include <cstdint>
#include <cstdio>
#include <string>

namespace script {

// Random access to the bytes of a file or of memory.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Copies up to n bytes from offset; returns how many it copied (fewer only at the end).
    virtual size_t ReadAt(uint64_t offset, uint8_t* out, size_t n) = 0;
};

class MemorySource final : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint64_t Size() const override { return size_; }
    size_t ReadAt(uint64_t offset, uint8_t* out, size_t n) override;

private:
    const uint8_t* data_;
    size_t size_;
};

// What the header says, as a script needs it.
struct WaveFormat {
    uint16_t channels = 0;
    uint32_t sampleRate = 0;  // average bytes per second / block align
    uint16_t bitsPerSample = 0;
    uint64_t dataOffset = 0;  // first sample byte
    uint32_t samples = 0;  // 16-bit samples in the data chunk (both channels counted)
    bool Stereo() const { return channels == 2; }
};

// Walks the RIFF chunks. False for anything but a WAVE form with a whole "fmt " chunk and a
// "data" chunk holding at least one 16-bit sample; a data chunk that claims more bytes than the
// source holds counts only those that are there.
bool ParseWaveHeader(ByteSource& source, WaveFormat& format);

class WaveReader {
public:
    WaveReader() = default;
    ~WaveReader() { Close(); }
    WaveReader(const WaveReader&) = delete;
    WaveReader& operator=(const WaveReader&) = delete;

    bool Open(const std::string& path);
    bool IsOpen() const { return file_ != nullptr; }
    const WaveFormat& Format() const { return format_; }
    // The next sample; false after the last one or on a read failure.
    bool NextSample(uint16_t& sample);
    void Close();

private:
    std::FILE* file_ = nullptr;
    WaveFormat format_;
    uint32_t taken_ = 0;
};

class WaveWriter {
public:
    // The header written at creation counts this many samples until Close writes the real count.
    static constexpr uint32_t kInitialSamples = 10;
    static constexpr uint32_t kHeaderSize = 46;  // RIFF 12, "fmt " 8 + 18, "data" 8
    static constexpr uint32_t kMaxSamples = (0xFFFFFFFFu - 38u) / 2u;

    WaveWriter() = default;
    ~WaveWriter() { Close(); }
    WaveWriter(const WaveWriter&) = delete;
    WaveWriter& operator=(const WaveWriter&) = delete;

    // channels 1 or 2, rate above 0; false if the file cannot be created.
    bool Create(const std::string& path, uint32_t sampleRate, uint16_t channels);
    bool IsOpen() const { return file_ != nullptr; }
    bool WriteSample(uint16_t sample);
    uint32_t SamplesWritten() const { return samples_; }
    // Rewrites the header with the samples written and closes; false if that failed.
    bool Close();

    // The 46 header bytes for a file of `samples` samples.
    static void BuildHeader(uint32_t sampleRate, uint16_t channels, uint32_t samples,
                            uint8_t (&out)[kHeaderSize]);

private:
    std::FILE* file_ = nullptr;
    uint32_t rate_ = 0;
    uint16_t channels_ = 0;
    uint32_t samples_ = 0;
    bool failed_ = false;
};

}  // namespace script
