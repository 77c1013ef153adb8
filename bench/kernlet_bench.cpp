// How fast a large Kernlet (50 blocks of 4096 words) loads over a pseudo-terminal into the
// simulated board, next to raw byte copying over the same kind of pty and to the time the same
// bytes take on a 115200-baud line. The load is the page's own: the paced writes, the completion
// reply and the register verification.
#include "link/ComSettings.h"
#include "link/PageHost.h"
#include "loading/Kernlet.h"
#include "loading/KernletFileReader.h"
#include "sim/KernletDevice.h"
#include "sim/PtyServer.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr unsigned kBlocks = 50;
constexpr unsigned kWordsPerBlock = 4096;
constexpr size_t kImageBytes = size_t{kBlocks} * kWordsPerBlock * 2;

class QuietPrompts final : public UserPrompts {
public:
    MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgIcon, MsgButtons) override {
        if (caption != "Kernlet Load") std::fprintf(stderr, "%s\n", text.c_str());
        return MsgAnswer::Ok;
    }
    void PostQuit(int) override {}
};

class NoProgress final : public ProgressDialog {
public:
    void Create(const std::string&) override {}
    void SetRange(int, int) override {}
    void SetStep(int) override {}
    void SetPos(int p) override { pos_ = p; }
    int GetPos() const override { return pos_; }
    void StepIt() override { ++pos_; }
    void Destroy() override {}

private:
    int pos_ = 0;
};

// The Kernlet page's surroundings on the pty of an in-process simulated board (the server that
// mb805q-sim runs). The 100 ms wait after the reset runs on a fake clock so that only the
// transfer is measured; the port's time-outs stay real.
class PtyHost final : public PageHost {
public:
    PtyHost() {
        if (!server_.Start()) throw std::runtime_error("no pty");
        board_.Link().Port().OpenPath(server_.DevicePath(), SerialLineSettings{});
        board_.Link().Port().SetTimeouts(kBoardTimeouts);
    }
    CMB805QBrd& Board() override { return board_; }
    UserPrompts& Prompts() override { return prompts_; }
    Clock& GetClock() override { return clock_; }
    bool KernletLoaded(uint8_t device) const override { return loaded_[device - 1]; }
    void SetKernletLoaded(uint8_t device, bool loaded) override { loaded_[device - 1] = loaded; }
    uint8_t KernletOptions() const override { return 0; }

private:
    sim::PtyServer server_;
    FakeClock clock_;
    QuietPrompts prompts_;
    NoProgress progress_;
    CMB805QBrd board_{clock_, prompts_, progress_};
    std::array<bool, 3> loaded_{};
};

struct SampleFile {
    std::filesystem::path dir = std::filesystem::temp_directory_path() / ("tr805q-kernlet-bench-" + std::to_string(getpid()));
    std::string path;
    SampleFile() {
        std::filesystem::create_directories(dir);
        sim::KernletSampleSpec spec;
        spec.blocks = kBlocks;
        spec.wordsPerBlock = kWordsPerBlock;
        path = (dir / "large.h").string();
        if (!sim::WriteKernletFile(path, spec)) throw std::runtime_error("cannot write the sample");
    }
    ~SampleFile() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

// Bytes on the line for one load of the sample: from the PC the reset and load start, a count
// byte before every paced write and the image's bytes; from the board the acknowledgements, a
// pacing byte before every write and the completion. The verification is left out.
size_t WireBytes() {
    const size_t headerWrites = 4 * kBlocks;
    const size_t chunkWrites = kBlocks * ((kWordsPerBlock * 2 + KernletFileReader::kChunkBytes - 1) / KernletFileReader::kChunkBytes);
    const size_t endWrites = 4;
    const size_t writes = headerWrites + chunkWrites + endWrites;
    const size_t fromPc = 3 + 3 + writes + 4 * kBlocks + kImageBytes + 4;
    const size_t fromBoard = 1 + 1 + writes;  // the last pacing byte is the completion
    return fromPc + fromBoard;
}

void BM_RawPtyCopy(benchmark::State& state) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(master);
    unlockpt(master);
    int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    std::atomic<bool> stop{false};
    std::thread sink([&] {
        char buf[4096];
        while (!stop) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            if (read(master, buf, sizeof buf) <= 0) break;
        }
    });
    // The same bytes in the chunk size of the load.
    std::vector<char> chunk(KernletFileReader::kChunkBytes + 1, 0x55);
    for (auto _ : state) {
        for (size_t done = 0; done < kImageBytes; done += KernletFileReader::kChunkBytes) {
            if (write(slave, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size())) state.SkipWithError("write");
        }
        tcdrain(slave);
    }
    stop = true;
    sink.join();
    close(slave);
    close(master);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kImageBytes));
}
BENCHMARK(BM_RawPtyCopy)->UseRealTime()->MinTime(1.0);

void BM_KernletLoad(benchmark::State& state) {
    SampleFile file;
    PtyHost host;
    CKernlet page(host);
    page.kernletPath = file.path;
    for (auto _ : state) {
        if (page.OnLoad() != KernletResult::Ok) state.SkipWithError("the load failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kImageBytes));
}
BENCHMARK(BM_KernletLoad)->UseRealTime()->MinTime(2.0);

class RateReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            const auto it = r.counters.find("bytes_per_second");
            if (it != r.counters.end()) rates[r.benchmark_name()] = it->second;
        }
    }
    double Rate(const std::string& prefix) const {
        for (const auto& [name, value] : rates) {
            if (name.rfind(prefix, 0) == 0) return value;
        }
        return 0;
    }
    std::map<std::string, double> rates;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double load = reporter.Rate("BM_KernletLoad");
    const double copy = reporter.Rate("BM_RawPtyCopy");
    // 10 bits per byte on the line: start, 8 data, stop.
    const double wireSeconds = static_cast<double>(WireBytes()) * 10.0 / 115200.0;
    const double wireRate = static_cast<double>(kImageBytes) / wireSeconds;
    std::printf("\nKernlet of %u blocks of %u words (%zu image bytes, %zu bytes on the line)\n", kBlocks, kWordsPerBlock,
                kImageBytes, WireBytes());
    std::printf("%-40s %12s %12s %12s\n", "image bytes, KiB/s", "load", "raw pty", "115200 baud");
    std::printf("%-40s %12.0f %12.0f %12.1f\n", "", load / 1024, copy / 1024, wireRate / 1024);
    if (load > 0) {
        std::printf("%-40s %12.2f %12s %12.1f\n", "one load, seconds", kImageBytes / load, "",
                    wireSeconds);
    }
    return 0;
}
