// The benchmark report: every figure against the floor it should be judged by, measured in the
// same run with slices of the measure and of its baseline taking turns (A B A B ...), so that a
// machine whose speed drifts moves both alike; each ratio is the median of the pairs' ratios.
// Every figure gives the median and the best of its slices.
//
// - Register round trips over a pty to a running mb805q-sim, against raw echo round trips on
//   the same kind of pty.
// - Bulk transfers, against the 115200-baud line and against a floor measured beside them:
//   replies (the trace save) against a reader making one system call per byte; sends (script
//   download, Kernlet load, a file served to a script) against raw pty copying in 512-byte
//   writes. The download's script jumps over its 4094 commands, so that the board's run time
//   stays out of the figure.
// - Compiling 100,000 lines as a whole `tr805q-cli compile` process, listing included, against
//   a process that reads the same file and writes a file of the listing's size.
// - The window's start, from before its process is forked to ready, in fresh processes, and
//   the peak memory of the window and of the long compile.
#include "bench/BenchSupport.h"
#include "bench/Processes.h"
#include "bench/ScriptSamples.h"
#include "cli/commands/RunCommand.h"
#include "core/TextFormat.h"
#include "link/PortTable.h"
#include "loading/Kernlet.h"
#include "registers/Trace.h"
#include "script/DownloadFrames.h"
#include "script/ScriptCompiler.h"
#include "sim/KernletDevice.h"
#include "tests/e2e/Process.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using bench::Seconds;

namespace {

struct Samples {
    std::vector<double> v;
    void Add(double x) { v.push_back(x); }
    double Median() const {
        std::vector<double> s = v;
        std::sort(s.begin(), s.end());
        if (s.empty()) return 0;
        return s.size() % 2 ? s[s.size() / 2] : (s[s.size() / 2 - 1] + s[s.size() / 2]) / 2;
    }
    double Min() const { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }
    double Max() const { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }
};

// Slices of a measure and its baseline in turn; each returns seconds for its slice's units.
struct Pairing {
    Samples program, baseline, ratio;  // ratio: baseline's cost per unit / program's (> 1: faster)
};

Pairing Interleave(int reps, double programUnits, const std::function<double()>& program,
                   double baselineUnits, const std::function<double()>& baseline) {
    Pairing p;
    for (int i = 0; i < reps; ++i) {
        const double a = program() / programUnits;
        const double b = baseline() / baselineUnits;
        p.program.Add(a);
        p.baseline.Add(b);
        p.ratio.Add(b / a);
    }
    return p;
}

struct Row {
    std::string measure, program, baseline, ratio, aim;
};
std::vector<Row> rows;

// The report's own number formats: only constants are passed to them.
__attribute__((format(printf, 1, 0))) std::string Fmt(const char* format, double v);
__attribute__((format(printf, 1, 0))) std::string Fmt2(const char* format, double a, double b);

// Rate and Ratio take one of the report's format constants from their callers.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
std::string Fmt(const char* format, double v) {
    char buf[96];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}
std::string Fmt2(const char* format, double a, double b) {
    char buf[96];
    std::snprintf(buf, sizeof buf, format, a, b);
    return buf;
}

// A rate from costs per unit: the median and the best slice.
std::string Rate(const Samples& cost, double scale, const char* format = "%.0f (%.0f)") {
    return Fmt2(format, scale / cost.Median(), scale / cost.Min());
}
std::string Ratio(const Samples& r, const char* format = nullptr) {
    // Small ratios (a paced transfer against raw copying) keep three digits.
    if (format) return FormatText(format, r.Median(), r.Min(), r.Max());
    return r.Median() < 0.1 ? FormatText("%.3f (%.3f-%.3f)", r.Median(), r.Min(), r.Max())
                            : FormatText("%.2f (%.2f-%.2f)", r.Median(), r.Min(), r.Max());
}
#pragma GCC diagnostic pop

// A bulk transfer of `bytes`: its rate beside the floor's, then its time beside the line's.
void Bulk(const std::string& what, double bytes, const Pairing& p, const std::string& floorName,
          const std::string& aim) {
    rows.push_back({what + ", KiB/s", Rate(p.program, 1.0 / 1024),
                    Rate(p.baseline, 1.0 / 1024) + " " + floorName, Ratio(p.ratio), aim});
    const double wire = bytes / bench::kWireBytesPerSecond;
    const double median = p.program.Median() * bytes;
    rows.push_back({what + ", s", Fmt2("%.3f (%.3f)", median, p.program.Min() * bytes),
                    Fmt("%.1f at 115200", wire), Fmt("%.0fx", wire / median), ">= 20x"});
}

std::string WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

// A reader making one system call per byte, as the serial code did before it read ahead: the
// far end of a pty writes `bytes` bytes in 4 KiB writes, this end reads them one by one (a
// non-blocking read, and a wait when nothing is there). Returns the seconds it took.
double BytePerCallFloor(size_t bytes) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return 0;
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    std::thread writer([&] {
        std::vector<uint8_t> block(4096, 0x5A);
        for (size_t done = 0; done < bytes;) {
            const ssize_t w = write(master, block.data(), std::min(block.size(), bytes - done));
            if (w <= 0) return;
            done += static_cast<size_t>(w);
        }
    });
    const double s = Seconds([&] {
        uint8_t byte;
        for (size_t got = 0; got < bytes;) {
            if (read(slave, &byte, 1) == 1) {
                ++got;
            } else {
                pollfd p{slave, POLLIN, 0};
                poll(&p, 1, 100);
            }
        }
    });
    writer.join();
    close(slave);
    close(master);
    return s;
}

// Raw pty copying of `bytes` in 512-byte writes; seconds.
double RawCopySeconds(size_t bytes) { return bytes / bench::RawCopyRate(bytes); }

}  // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / ("tr805q-report-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::vector<std::string> env{"XDG_CONFIG_HOME=" + (dir / "config").string()};
    // The board starts with its whole trace memory recorded, for the trace save.
    BackgroundProcess sim({MB805Q_SIM_EXE, "--print-port", "--ports-dir", (dir / "ports").string(),
                           "--fill-trace", std::to_string(CMTrace::kEntries)},
                          env);
    const std::string port = sim.FirstLine(5000);
    const auto device = PortTable(dir / "ports").DevicePath(std::atoi(port.c_str()));
    if (port.empty() || !device) {
        std::fprintf(stderr, "mb805q-sim did not start\n");
        return 1;
    }
    bench::PtyHost host(*device);
    CMB805QBrd& board = host.Board();

    // Round trips: a register write then its read, against raw echo round trips.
    {
        bench::RawPty echo(true);
        constexpr int kPairs = 1000;
        const Pairing p = Interleave(
            7, 2.0 * kPairs,
            [&] {
                uint16_t v = 0;
                return Seconds([&] {
                    for (int i = 0; i < kPairs; ++i) {
                        if (!board.WriteReg16(0x20, 0x1234, 1) || !board.ReadReg16(0x20, v, 1)) break;
                    }
                });
            },
            2.0 * kPairs,
            [&] {
                char buf[4] = {0x7E, 0x05, 0x20, 0x01};
                return Seconds([&] {
                    for (int i = 0; i < 2 * kPairs; ++i) {
                        if (write(echo.Fd(), buf, 4) != 4) break;
                        bench::ReadExactly(echo.Fd(), buf, 4);
                    }
                });
            });
        rows.push_back({"register write then read, round trips/s", Rate(p.program, 1),
                        Rate(p.baseline, 1) + " raw echo", Ratio(p.ratio), ">= 0.5"});
    }

    // Script download of 4096 records: a jump over 4093 commands, the script's stop and the
    // closing stop, so that the board runs two records and the figure is the download.
    {
        std::string text = "x       word\n        jmp done\n";
        for (int i = 0; i < 4093; ++i) text += "        add 1 x\n";
        text += "done    stop\n";
        const std::string path = WriteText(dir / "download.mbs", text);
        script::CScriptCompiler compiler;
        compiler.SetListingDirectory(dir.string());
        compiler.PrepareText(text);
        compiler.Compile();
        double bytes = 0;
        for (const auto& frame : script::BuildDownloadFrames(compiler)) bytes += frame.size();
        script::RunCommandOptions options;
        options.listingDirectory = dir.string();
        const Pairing p = Interleave(
            5, bytes,
            [&] {
                std::istringstream in;
                std::ostringstream out, err;
                int code = -1;
                const double s =
                    Seconds([&] { code = script::RunScriptCommand(host, path, options, in, out, err); });
                if (code != 0) std::fprintf(stderr, "download run: %d %s\n", code, err.str().c_str());
                return s;
            },
            bytes, [&] { return RawCopySeconds(static_cast<size_t>(bytes)); });
        Bulk("script download, 4096 records", bytes, p, "raw pty", "");
    }

    // Kernlet of 50 blocks of 4096 words, loaded and verified as the page does.
    {
        sim::KernletSampleSpec spec;
        spec.blocks = 50;
        spec.wordsPerBlock = 4096;
        const fs::path file = dir / "kernlet.txt";
        sim::WriteKernletFile(file, spec);
        const double bytes = 50.0 * 4096 * 2;
        const Pairing p = Interleave(
            3, bytes,
            [&] {
                CKernlet page(host);
                page.kernletPath = file.string();
                KernletResult r = KernletResult::Failed;
                const double s = Seconds([&] { r = page.OnLoad(); });
                if (r != KernletResult::Ok) std::fprintf(stderr, "Kernlet load did not verify\n");
                return s;
            },
            bytes, [&] { return RawCopySeconds(static_cast<size_t>(bytes)); });
        Bulk("Kernlet load, 50 x 4096 words", bytes, p, "raw pty", "");
    }

    // The whole trace, 0x20000 entries of 14 bytes, saved as the trace window does, against a
    // reader that takes the same kind of reply one byte per system call (a slice of 256 KiB).
    {
        const double bytes = CMTrace::kEntries * 14.0;
        constexpr size_t kFloorSlice = 256 * 1024;
        const Pairing p = Interleave(
            5, bytes,
            [&] {
                CMTrace trace(host);
                PageResult r = PageResult::Failed;
                const double s = Seconds([&] { r = trace.SaveTo((dir / "trace.txt").string()); });
                if (r != PageResult::Ok) std::fprintf(stderr, "trace save failed\n");
                return s;
            },
            kFloorSlice, [&] { return BytePerCallFloor(kFloorSlice); });
        Bulk("trace save, 0x20000 entries", bytes, p, "byte a call", ">= 10");
    }

    // A file of 100,000 values served to a script that reads them all.
    {
        std::string values;
        for (int i = 0; i < 100000; ++i) values += std::to_string(i % 30000) + "\r\n";
        WriteText(dir / "values.txt", values);
        const std::string path = WriteText(dir / "reader.mbs",
                                           "n       word\n"
                                           "k       word\n"
                                           "data    buffer 4000\n"
                                           "        fopenr \"values.txt\" \"%d\" n\n"
                                           "        copy 0 k\n"
                                           "        while k < 25\n"
                                           "          filercs *data 4000\n"
                                           "          add 1 k\n"
                                           "        endwhile\n"
                                           "        disp \"read %u\" n\n"
                                           "        stop\n");
        script::RunCommandOptions options;
        options.listingDirectory = dir.string();
        const double bytes = 100000.0 * 2;
        const Pairing p = Interleave(
            3, bytes,
            [&] {
                std::istringstream in;
                std::ostringstream out, err;
                int code = -1;
                const double s =
                    Seconds([&] { code = script::RunScriptCommand(host, path, options, in, out, err); });
                if (code != 0)
                    std::fprintf(stderr, "file run: %d %s%s\n", code, out.str().c_str(), err.str().c_str());
                return s;
            },
            bytes, [&] { return RawCopySeconds(static_cast<size_t>(bytes)); });
        Bulk("file of 100,000 values served", bytes, p, "raw pty", "");
    }
    sim.Stop();

    // Compiling 100,000 lines as a whole process, listing included, against the I/O floor.
    {
        const fs::path work = dir / "compile";
        fs::create_directories(work);
        const std::string source = WriteText(work / "long.mbs", MakeScript(100000));
        const std::vector<std::string> compile{TR805Q_CLI_EXE, "compile", source};
        bench::RunTimed(compile, work.string(), env);  // a first run, and the listing's size
        const std::string listingSize = std::to_string(fs::file_size(work / script::kListingFileName));
        const std::vector<std::string> floor{IO_FLOOR_EXE, source, listingSize,
                                             (work / "floor.txt").string()};
        Samples wallA, wallB, wallRatio, cpuA, cpuB, cpuRatio, peak;
        // Pairs enough for a steady median: a process's first touch of memory costs this machine
        // anything from a tenth to ten times its work, from one run to the next.
        for (int i = 0; i < 25; ++i) {
            const bench::TimedProcess a = bench::RunTimed(compile, work.string(), env);
            const bench::TimedProcess b = bench::RunTimed(floor, work.string(), env);
            wallA.Add(a.wallSeconds);
            wallB.Add(b.wallSeconds);
            wallRatio.Add(a.wallSeconds / b.wallSeconds);
            cpuA.Add(a.cpuSeconds);
            cpuB.Add(b.cpuSeconds);
            if (b.cpuSeconds > 0) cpuRatio.Add(a.cpuSeconds / b.cpuSeconds);
            peak.Add(a.peakMiB);
        }
        rows.push_back({"compile 100,000 lines (process), ms",
                        Fmt2("%.1f (%.1f)", wallA.Median() * 1000, wallA.Min() * 1000),
                        Fmt2("%.1f (%.1f) I/O floor", wallB.Median() * 1000, wallB.Min() * 1000),
                        Ratio(wallRatio, "%.2fx (%.2f-%.2f)"), "<= 2x"});
        rows.push_back({"  the same, processor time, ms",
                        Fmt2("%.1f (%.1f)", cpuA.Median() * 1000, cpuA.Min() * 1000),
                        Fmt2("%.1f (%.1f) I/O floor", cpuB.Median() * 1000, cpuB.Min() * 1000),
                        Ratio(cpuRatio, "%.2fx (%.2f-%.2f)"), ""});
        rows.push_back(
            {"  peak memory (resident), MiB", Fmt2("%.1f (%.1f)", peak.Median(), peak.Min()), "", "", ""});
    }

#ifdef WINDOW_BENCH_EXE
    // The window's start in fresh processes: from before the fork to the window shown and ready.
    {
        Samples start, peak;
        for (int i = 0; i < 5; ++i) {
            const bench::TimedProcess w =
                bench::RunTimed({WINDOW_BENCH_EXE, "--once"}, dir.string(), {"QT_QPA_PLATFORM=offscreen"});
            long long readyNs = 0;
            if (w.exitCode != 0 || std::sscanf(w.out.c_str(), "ready %lld", &readyNs) != 1) {
                std::fprintf(stderr, "window_bench failed: %d %s\n", w.exitCode, w.out.c_str());
                continue;
            }
            const double ms =
                (readyNs -
                 std::chrono::duration_cast<std::chrono::nanoseconds>(w.started.time_since_epoch()).count()) /
                1e6;
            start.Add(ms);
            peak.Add(w.peakMiB);
        }
        rows.push_back({"window start, exec to ready, ms", Fmt2("%.1f (%.1f)", start.Median(), start.Min()),
                        "", "", ""});
        rows.push_back(
            {"  peak memory (resident), MiB", Fmt2("%.1f (%.1f)", peak.Median(), peak.Min()), "", "", ""});
    }
#endif
    fs::remove_all(dir);

    std::printf("\nmedian (best) of the slices; ratio: median of the pairs (range)\n");
    std::printf("\n%-42s %20s %32s %22s %7s\n", "measure", "program", "baseline", "ratio", "aim");
    for (const Row& r : rows) {
        std::printf("%-42s %20s %32s %22s %7s\n", r.measure.c_str(), r.program.c_str(), r.baseline.c_str(),
                    r.ratio.c_str(), r.aim.c_str());
    }
    return 0;
}
