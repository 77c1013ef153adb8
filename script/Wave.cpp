#include "script/Wave.h"

#include <algorithm>
#include <cstring>

namespace script {
namespace {

uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

void Put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

constexpr size_t kFmtMinimum = 16;  // format tag .. bits per sample

class FileSource final : public ByteSource {
public:
    explicit FileSource(std::FILE* f) : file_(f) {
        if (std::fseek(file_, 0, SEEK_END) == 0) {
            const long end = std::ftell(file_);
            size_ = end > 0 ? static_cast<uint64_t>(end) : 0;
        }
    }
    uint64_t Size() const override { return size_; }
    size_t ReadAt(uint64_t offset, uint8_t* out, size_t n) override {
        if (offset >= size_) return 0;
        if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) return 0;
        return std::fread(out, 1, n, file_);
    }

private:
    std::FILE* file_;
    uint64_t size_ = 0;
};

}  // namespace

size_t MemorySource::ReadAt(uint64_t offset, uint8_t* out, size_t n) {
    if (offset >= size_) return 0;
    const size_t k = static_cast<size_t>(std::min<uint64_t>(n, size_ - offset));
    std::memcpy(out, data_ + offset, k);
    return k;
}

bool ParseWaveHeader(ByteSource& source, WaveFormat& format) {
    const uint64_t size = source.Size();
    uint8_t riff[12];
    if (source.ReadAt(0, riff, sizeof riff) != sizeof riff) return false;
    if (std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) return false;
    // The form ends where its size says, or where the bytes end if that comes first.
    const uint64_t formEnd = std::min<uint64_t>(size, 8 + uint64_t{Le32(riff + 4)});

    bool haveFmt = false, haveData = false;
    WaveFormat f;
    uint64_t dataBytes = 0;
    uint64_t at = 12;
    while (at + 8 <= formEnd && !(haveFmt && haveData)) {
        uint8_t head[8];
        if (source.ReadAt(at, head, sizeof head) != sizeof head) return false;
        const uint64_t chunkSize = Le32(head + 4);
        const uint64_t body = at + 8;
        if (std::memcmp(head, "fmt ", 4) == 0 && !haveFmt) {
            // The format chunk is read whole: a short one is a damaged file.
            if (chunkSize < kFmtMinimum || body + chunkSize > formEnd) return false;
            uint8_t fmt[kFmtMinimum];
            if (source.ReadAt(body, fmt, sizeof fmt) != sizeof fmt) return false;
            f.channels = Le16(fmt + 2);
            const uint32_t bytesPerSecond = Le32(fmt + 8);
            const uint16_t blockAlign = Le16(fmt + 12);
            f.bitsPerSample = Le16(fmt + 14);
            if (blockAlign == 0) return false;
            f.sampleRate = bytesPerSecond / blockAlign;
            haveFmt = true;
        } else if (std::memcmp(head, "data", 4) == 0 && !haveData) {
            f.dataOffset = body;
            dataBytes = std::min<uint64_t>(chunkSize, formEnd > body ? formEnd - body : 0);
            haveData = true;
        }
        at = body + chunkSize + (chunkSize & 1);  // chunks are padded to an even size
    }
    if (!haveFmt || !haveData || f.bitsPerSample != 16) return false;
    f.samples = static_cast<uint32_t>(std::min<uint64_t>(dataBytes / 2, 0xFFFFFFFFu));
    if (f.samples == 0) return false;
    format = f;
    return true;
}

bool WaveReader::Open(const std::string& path) {
    Close();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    FileSource source(f);
    WaveFormat format;
    if (!ParseWaveHeader(source, format) ||
        std::fseek(f, static_cast<long>(format.dataOffset), SEEK_SET) != 0) {
        std::fclose(f);
        return false;
    }
    file_ = f;
    format_ = format;
    taken_ = 0;
    return true;
}

bool WaveReader::NextSample(uint16_t& sample) {
    if (!file_ || taken_ >= format_.samples) return false;
    uint8_t b[2];
    if (std::fread(b, 1, 2, file_) != 2) {
        taken_ = format_.samples;
        return false;
    }
    ++taken_;
    sample = Le16(b);
    return true;
}

void WaveReader::Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    format_ = {};
    taken_ = 0;
}

void WaveWriter::BuildHeader(uint32_t sampleRate, uint16_t channels, uint32_t samples,
                             uint8_t (&out)[kHeaderSize]) {
    const uint16_t blockAlign = static_cast<uint16_t>(2 * channels);
    std::memcpy(out, "RIFF", 4);
    Put32(out + 4, 2 * samples + 38);
    std::memcpy(out + 8, "WAVE", 4);
    std::memcpy(out + 12, "fmt ", 4);
    Put32(out + 16, 18);
    Put16(out + 20, 1);  // PCM
    Put16(out + 22, channels);
    Put32(out + 24, sampleRate);
    Put32(out + 28, sampleRate * blockAlign);
    Put16(out + 32, blockAlign);
    Put16(out + 34, 16);
    Put16(out + 36, 0);  // no extra format bytes
    std::memcpy(out + 38, "data", 4);
    Put32(out + 42, 2 * samples);
}

bool WaveWriter::Create(const std::string& path, uint32_t sampleRate, uint16_t channels) {
    Close();
    if (sampleRate == 0 || (channels != 1 && channels != 2)) return false;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    uint8_t header[kHeaderSize];
    BuildHeader(sampleRate, channels, kInitialSamples, header);
    // The header is on disk from the start, so that a file cut short by a crash still reads.
    if (std::fwrite(header, 1, sizeof header, f) != sizeof header || std::fflush(f) != 0) {
        std::fclose(f);
        return false;
    }
    file_ = f;
    rate_ = sampleRate;
    channels_ = channels;
    samples_ = 0;
    failed_ = false;
    return true;
}

bool WaveWriter::WriteSample(uint16_t sample) {
    if (!file_ || samples_ >= kMaxSamples) return false;
    uint8_t b[2];
    Put16(b, sample);
    if (std::fwrite(b, 1, 2, file_) != 2) {
        failed_ = true;
        return false;
    }
    ++samples_;
    return true;
}

bool WaveWriter::Close() {
    if (!file_) return true;
    uint8_t header[kHeaderSize];
    BuildHeader(rate_, channels_, samples_, header);
    bool ok = !failed_ && std::fseek(file_, 0, SEEK_SET) == 0 &&
              std::fwrite(header, 1, sizeof header, file_) == sizeof header;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    return ok;
}

}  // namespace script
