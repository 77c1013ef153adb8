// How fast the board link is over a pseudo-terminal, next to what the same kind of pty does
// with no protocol at all: request round trips against the simulated board beside raw echo
// round trips, and the paced firmware download beside raw byte copying.
#include "link/MB805QBrd.h"
#include "link/ComSettings.h"
#include "sim/FirmwareImage.h"
#include "sim/PtyServer.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

namespace {

class QuietPrompts final : public UserPrompts {
public:
    MsgAnswer MessageBox(const std::string& text, const std::string&, MsgIcon, MsgButtons) override {
        std::fprintf(stderr, "%s\n", text.c_str());
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
    void StepIt() override {}
    void Destroy() override {}

private:
    int pos_ = 0;
};

// The program's board object on the pty of an in-process simulated board. Its fixed waits run
// on a fake clock so that only the wire is measured; the port's time-outs stay real.
struct BoardOnPty {
    sim::PtyServer server;
    FakeClock clock;
    QuietPrompts prompts;
    NoProgress progress;
    CMB805QBrd board{clock, prompts, progress};

    BoardOnPty() {
        if (!server.Start()) throw std::runtime_error("no pty");
        board.Link().Port().OpenPath(server.DevicePath(), SerialLineSettings{});
        board.Link().Port().SetTimeouts(kBoardTimeouts);
    }
};

// A raw pty pair: whatever the slave writes, the master side echoes or swallows.
struct RawPty {
    int master = -1, slave = -1;
    std::thread peer;
    std::atomic<bool> stop{false};

    explicit RawPty(bool echo) {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master);
        unlockpt(master);
        slave = open(ptsname(master), O_RDWR | O_NOCTTY);
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
        peer = std::thread([this, echo] {
            char buf[4096];
            while (!stop) {
                pollfd p{master, POLLIN, 0};
                if (poll(&p, 1, 50) <= 0) continue;
                const ssize_t n = read(master, buf, sizeof buf);
                if (n <= 0) break;
                if (echo) {
                    for (ssize_t done = 0; done < n;) {
                        const ssize_t w = write(master, buf + done, static_cast<size_t>(n - done));
                        if (w <= 0) return;
                        done += w;
                    }
                }
            }
        });
    }
    ~RawPty() {
        stop = true;
        peer.join();
        close(slave);
        close(master);
    }
};

void ReadExactly(int fd, char* buf, size_t n) {
    size_t got = 0;
    while (got < n) {
        const ssize_t r = read(fd, buf + got, n - got);
        if (r <= 0) return;
        got += static_cast<size_t>(r);
    }
}

void BM_RawPtyEchoRoundTrip(benchmark::State& state) {
    RawPty pty(/*echo=*/true);
    char buf[6] = {0x7E, 0x05, 0x20, 0x01, 0, 0};
    for (auto _ : state) {
        if (write(pty.slave, buf, 4) != 4) state.SkipWithError("write");
        ReadExactly(pty.slave, buf, 4);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RawPtyEchoRoundTrip)->UseRealTime()->MinTime(1.0);

void BM_ReadRegisterRoundTrip(benchmark::State& state) {
    BoardOnPty b;
    uint16_t v = 0;
    for (auto _ : state) {
        if (!b.board.ReadReg16(0x20, v, 1)) state.SkipWithError("board did not answer");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadRegisterRoundTrip)->UseRealTime()->MinTime(1.0);

void BM_WriteThenReadRegister(benchmark::State& state) {
    BoardOnPty b;
    uint16_t v = 0;
    for (auto _ : state) {
        if (!b.board.WriteReg16(0x20, 0x1234, 1) || !b.board.ReadReg16(0x20, v, 1)) {
            state.SkipWithError("board did not answer");
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteThenReadRegister)->UseRealTime()->MinTime(1.0);

constexpr size_t kFirmwareBytes = 120 * 1024;

void BM_RawPtyCopy(benchmark::State& state) {
    RawPty pty(/*echo=*/false);
    std::vector<char> block(512, 0x55);
    for (auto _ : state) {
        for (size_t done = 0; done < kFirmwareBytes; done += block.size()) {
            if (write(pty.slave, block.data(), block.size()) != 512) state.SkipWithError("write");
        }
        tcdrain(pty.slave);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFirmwareBytes));
}
BENCHMARK(BM_RawPtyCopy)->UseRealTime()->MinTime(1.0);

void BM_FirmwareDownload(benchmark::State& state) {
    BoardOnPty b;
    const auto dir = std::filesystem::temp_directory_path() / ("tr805q-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto path = sim::WriteFirmwareFile(dir, {2, 1, 0, 0x805, 0}, kFirmwareBytes);
    for (auto _ : state) {
        if (!b.board.StartFirmwareLoader() || !b.board.DownloadFirmware(path->string())) {
            state.SkipWithError("download failed");
        }
    }
    std::filesystem::remove_all(dir);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFirmwareBytes));
}
BENCHMARK(BM_FirmwareDownload)->UseRealTime()->MinTime(1.0);

// Keeps each run's rate to print the ratios once everything has run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            const auto it = r.counters.find(r.counters.count("bytes_per_second") ? "bytes_per_second" : "items_per_second");
            if (it != r.counters.end()) rates[r.benchmark_name()] = it->second;
        }
    }
    std::map<std::string, double> rates;
};

double Rate(const RatioReporter& r, const std::string& prefix) {
    for (const auto& [name, value] : r.rates) {
        if (name.rfind(prefix, 0) == 0) return value;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double echo = Rate(reporter, "BM_RawPtyEchoRoundTrip");
    const double read = Rate(reporter, "BM_ReadRegisterRoundTrip");
    const double writeRead = Rate(reporter, "BM_WriteThenReadRegister");
    const double copy = Rate(reporter, "BM_RawPtyCopy");
    const double firmware = Rate(reporter, "BM_FirmwareDownload");
    std::printf("\n%-44s %14s %14s %7s\n", "measure (over a pty)", "program", "raw pty", "ratio");
    if (echo > 0) {
        std::printf("%-44s %14.0f %14.0f %7.2f\n", "register read, round trips/s", read, echo, read / echo);
        std::printf("%-44s %14.0f %14.0f %7.2f\n", "write then read, pairs/s", writeRead, echo / 2, writeRead / (echo / 2));
    }
    if (copy > 0) {
        std::printf("%-44s %14.0f %14.0f %7.2f\n", "firmware download, KiB/s", firmware / 1024, copy / 1024, firmware / copy);
    }
    return 0;
}
