// The benchmark report: everything measured side by side in one run, each against the limit it
// should be judged by. Request round trips and bulk transfers go over a pty to a running
// mb805q-sim, next to the same pty kind with no protocol (echo and copy) and to the time the
// same bytes take on a 115200-baud line; compiling a long script is set against reading it; the
// window's start and memory come from window_bench.
#include "bench/BenchSupport.h"
#include "bench/ScriptSamples.h"
#include "link/PortTable.h"
#include "loading/Kernlet.h"
#include "registers/Trace.h"
#include "script/DownloadFrames.h"
#include "script/RunCommand.h"
#include "script/ScriptCompiler.h"
#include "sim/KernletDevice.h"
#include "tests/e2e/Process.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using bench::Seconds;

namespace {

struct Row {
    std::string measure;
    std::string program, baseline, ratio, aim;
};
std::vector<Row> rows;

std::string Fmt(const char* format, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

// A bulk transfer: achieved rate beside the raw pty copy and the 115200-baud line.
void Bulk(const std::string& what, double bytes, double seconds, double rawCopy) {
    const double rate = bytes / seconds;
    rows.push_back({what + ", KiB/s", Fmt("%.0f", rate / 1024), Fmt("%.0f raw pty", rawCopy / 1024),
                    Fmt("%.3f", rate / rawCopy), ""});
    rows.push_back({what + ", s", Fmt("%.3f", seconds),
                    Fmt("%.1f at 115200", bytes / bench::kWireBytesPerSecond),
                    Fmt("%.0fx", bench::kWireBytesPerSecond * seconds > 0 ? (bytes / bench::kWireBytesPerSecond) / seconds : 0),
                    ">= 20x"});
}

std::string WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

}  // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / ("tr805q-report-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::vector<std::string> env{"XDG_CONFIG_HOME=" + (dir / "config").string()};
    BackgroundProcess sim({MB805Q_SIM_EXE, "--print-port", "--ports-dir", (dir / "ports").string()}, env);
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
        const double echo = bench::RawEchoRoundTrips(1.0);
        long pairs = 0;
        uint16_t v = 0;
        const double s = Seconds([&] {
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
            while (std::chrono::steady_clock::now() < end) {
                if (!board.WriteReg16(0x20, 0x1234, 1) || !board.ReadReg16(0x20, v, 1)) break;
                ++pairs;
            }
        });
        const double trips = 2 * pairs / s;
        rows.push_back({"register write then read, round trips/s", Fmt("%.0f", trips),
                        Fmt("%.0f raw echo", echo), Fmt("%.2f", trips / echo), ">= 0.5"});
    }

    const double rawCopy = bench::RawCopyRate(16u << 20);

    // Script download of 4096 records: 4094 commands, the script's stop and the closing stop.
    {
        std::string text = "x       word\n";
        for (int i = 0; i < 4094; ++i) text += "        add 1 x\n";
        text += "        stop\n";
        const std::string path = WriteText(dir / "download.mbs", text);
        script::CScriptCompiler compiler;
        compiler.SetListingDirectory(dir.string());
        compiler.PrepareText(text);
        compiler.Compile();
        double bytes = 0;
        for (const auto& frame : script::BuildDownloadFrames(compiler)) bytes += frame.size();
        script::RunCommandOptions options;
        options.listingDirectory = dir.string();
        std::istringstream in;
        std::ostringstream out, err;
        int code = -1;
        const double s = Seconds([&] { code = script::RunScriptCommand(host, path, options, in, out, err); });
        if (code != 0) std::fprintf(stderr, "download run: %d %s\n", code, err.str().c_str());
        Bulk("script download, 4096 records", bytes, s, rawCopy);
    }

    // Kernlet of 50 blocks of 4096 words, loaded and verified as the page does.
    {
        sim::KernletSampleSpec spec;
        spec.blocks = 50;
        spec.wordsPerBlock = 4096;
        const fs::path file = dir / "kernlet.txt";
        sim::WriteKernletFile(file, spec);
        CKernlet page(host);
        page.kernletPath = file.string();
        KernletResult r = KernletResult::Failed;
        const double s = Seconds([&] { r = page.OnLoad(); });
        if (r != KernletResult::Ok) std::fprintf(stderr, "Kernlet load did not verify\n");
        Bulk("Kernlet load, 50 x 4096 words", 50.0 * 4096 * 2, s, rawCopy);
    }

    // The whole trace, 0x20000 entries, saved as the trace window does. The board's trace
    // memory is filled first with register writes sent back to back.
    {
        CSerialPort& p = board.Link().Port();
        std::vector<uint8_t> requests;
        for (int i = 0; i < 4096; ++i) requests.insert(requests.end(), {0x7E, 0x03, 0x20, 0x00, 0x01, 0x01});
        std::vector<uint8_t> replies(4096);
        for (uint32_t sent = 0; sent < CMTrace::kEntries; sent += 4096) {
            p.Write(requests.data(), requests.size());
            size_t got = 0;
            while (got < replies.size()) {
                const size_t n = p.Read(replies.data() + got, replies.size() - got);
                if (n == 0) break;
                got += n;
            }
        }
        CMTrace trace(host);
        PageResult r = PageResult::Failed;
        const double s = Seconds([&] { r = trace.SaveTo((dir / "trace.txt").string()); });
        if (r != PageResult::Ok) std::fprintf(stderr, "trace save failed\n");
        Bulk("trace save, 0x20000 entries", CMTrace::kEntries * 14.0, s, rawCopy);
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
        std::istringstream in;
        std::ostringstream out, err;
        int code = -1;
        const double s = Seconds([&] { code = script::RunScriptCommand(host, path, options, in, out, err); });
        if (code != 0) std::fprintf(stderr, "file run: %d %s%s\n", code, out.str().c_str(), err.str().c_str());
        Bulk("file of 100,000 values served", 100000.0 * 2, s, rawCopy);
    }

    // Compiling a 100,000-line script against reading the same file line by line.
    {
        const std::string path = WriteText(dir / "long.mbs", MakeScript(100000));
        std::vector<double> read, compile;
        for (int i = 0; i < 5; ++i) {
            read.push_back(Seconds([&] {
                std::ifstream in(path);
                std::string line;
                size_t n = 0;
                while (std::getline(in, line)) n += line.size();
                if (n == 0) std::fprintf(stderr, "empty\n");
            }));
            compile.push_back(Seconds([&] {
                script::CScriptCompiler c;
                c.SetListingDirectory(dir.string());
                if (!c.Prepare(path) || !c.Compile()) std::fprintf(stderr, "compile failed\n");
            }));
        }
        std::sort(read.begin(), read.end());
        std::sort(compile.begin(), compile.end());
        rows.push_back({"compile 100,000 lines, ms", Fmt("%.1f", compile[2] * 1000),
                        Fmt("%.1f reading", read[2] * 1000), Fmt("%.1fx", compile[2] / read[2]), "<= 5x"});
    }
    sim.Stop();

#ifdef WINDOW_BENCH_EXE
    {
        const ProcessResult w = RunProcess({WINDOW_BENCH_EXE}, {"QT_QPA_PLATFORM=offscreen"});
        std::istringstream lines(w.out);
        std::string line;
        while (std::getline(lines, line)) {
            const size_t colon = line.rfind(": ");
            if (colon != std::string::npos) rows.push_back({line.substr(0, colon), line.substr(colon + 2), "", "", ""});
        }
    }
#endif
    fs::remove_all(dir);

    std::printf("\n%-46s %14s %20s %8s %7s\n", "measure", "program", "baseline", "ratio", "aim");
    for (const Row& r : rows) {
        std::printf("%-46s %14s %20s %8s %7s\n", r.measure.c_str(), r.program.c_str(), r.baseline.c_str(),
                    r.ratio.c_str(), r.aim.c_str());
    }
    return 0;
}
