// libFuzzer target: any bytes as a WAVE file, through the header walk and, when it is taken,
// every sample the reader hands out from a file holding the same bytes.
#include "script/Wave.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const std::string& FilePath() {
    static const std::string path = [] {
        std::string pattern =
            access("/dev/shm", W_OK) == 0 ? "/dev/shm/wave_fuzzXXXXXX" : "/tmp/wave_fuzzXXXXXX";
        const char* made = mkdtemp(pattern.data());
        if (!made) std::abort();
        return std::string(made) + "/in.wav";
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    script::MemorySource source(data, size);
    script::WaveFormat format;
    if (!script::ParseWaveHeader(source, format)) return 0;
    // The samples it promises are all within the bytes.
    if (format.dataOffset + uint64_t{format.samples} * 2 > size || format.samples == 0) std::abort();

    if (std::FILE* f = std::fopen(FilePath().c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    script::WaveReader reader;
    if (!reader.Open(FilePath())) std::abort();
    uint32_t n = 0;
    for (uint16_t s; reader.NextSample(s);) ++n;
    if (n != format.samples) std::abort();
    return 0;
}
