// Compiling a 100,000-line script against merely reading it line by line, and compile time as
// the number of labels grows (the duplicate-label check and name resolution must stay linear)
// and as one elseif chain grows (its block rewriting must stay linear too).
#include "bench/ScriptSamples.h"
#include "script/ScriptCompiler.h"
#include "tests/support/TempFolder.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>

namespace {

const std::string& Folder() {
    static const TempFolder temp("compile_bench");
    static const std::string folder = temp.Path().string();
    return folder;
}

// Mostly labels: one code label per line, every one referred to.
std::string MakeLabelScript(int lines) {
    std::string s;
    for (int i = 0; i < lines; ++i)
        s += "l" + std::to_string(i) + "  jmp l" + std::to_string((i * 7919) % lines) + "\n";
    return s;
}

std::string WriteScript(const std::string& name, const std::string& text) {
    const std::string path = Folder() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

const std::string& BigScript() {
    static const std::string path = WriteScript("big.mbs", MakeScript(100000));
    return path;
}

void BM_ReadLineByLine(benchmark::State& state) {
    const std::string& path = BigScript();
    for (auto _ : state) {
        std::ifstream in(path);
        std::string line;
        std::size_t bytes = 0, lines = 0;
        while (std::getline(in, line)) {
            bytes += line.size();
            ++lines;
        }
        benchmark::DoNotOptimize(bytes);
        benchmark::DoNotOptimize(lines);
    }
}
BENCHMARK(BM_ReadLineByLine)->Unit(benchmark::kMillisecond);

// What the script page does: Prepare, Compile (listing included), every error.
void CompileOnce(const std::string& path, benchmark::State& state, bool listing = true) {
    script::CScriptCompiler compiler;
    // A folder that does not exist: the listing cannot be created and is not built.
    compiler.SetListingDirectory(listing ? Folder() : Folder() + "/none");
    if (!compiler.Prepare(path) || !compiler.Compile()) {
        state.SkipWithError("compile failed");
        return;
    }
    std::size_t errors = 0;
    while (compiler.NextError(false)) ++errors;
    benchmark::DoNotOptimize(errors);
    state.counters["records"] = static_cast<double>(compiler.Records().size());
    state.counters["errors"] = static_cast<double>(errors);
}

void BM_Compile(benchmark::State& state) {
    const std::string& path = BigScript();
    for (auto _ : state) CompileOnce(path, state);
}
BENCHMARK(BM_Compile)->Unit(benchmark::kMillisecond);

// The same without the listing "debug_file.txt" (some 12 MB for this script), to show its share.
void BM_CompileWithoutListing(benchmark::State& state) {
    const std::string& path = BigScript();
    for (auto _ : state) CompileOnce(path, state, false);
}
BENCHMARK(BM_CompileWithoutListing)->Unit(benchmark::kMillisecond);

void BM_CompileLabels(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::string path = WriteScript("labels" + std::to_string(n) + ".mbs", MakeLabelScript(n));
    for (auto _ : state) CompileOnce(path, state);
    state.SetComplexityN(n);
}
BENCHMARK(BM_CompileLabels)
    ->RangeMultiplier(2)
    ->Range(12500, 100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

// One if with an elseif chain of n/2 links (n lines).
std::string MakeElseifChain(int lines) {
    std::string s = "x       word 7\n        if x = 0\n";
    for (int k = 1; 2 * k < lines; ++k)
        s += "        elseif x = " + std::to_string(k) + "\n          add 1 x\n";
    s += "        endif\n        stop\n";
    return s;
}

void BM_CompileElseifChain(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::string path = WriteScript("chain" + std::to_string(n) + ".mbs", MakeElseifChain(n));
    for (auto _ : state) CompileOnce(path, state);
    state.SetComplexityN(n);
}
BENCHMARK(BM_CompileElseifChain)
    ->RangeMultiplier(2)
    ->Range(12500, 100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

// Keeps each benchmark's time (the median when repeated) so that the ratios can be printed.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            const std::string& name = r.run_name.function_name;
            if (r.run_type == Run::RT_Iteration && !medians.count(name))
                times[name] = r.GetAdjustedRealTime();
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
                times[name] = r.GetAdjustedRealTime();
                medians[name] = true;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
    std::map<std::string, bool> medians;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto read = reporter.times.find("BM_ReadLineByLine");
    if (read != reporter.times.end() && read->second > 0) {
        for (const char* name : {"BM_Compile", "BM_CompileWithoutListing"}) {
            const auto t = reporter.times.find(name);
            if (t != reporter.times.end())
                std::cout << name
                          << " / BM_ReadLineByLine (100,000-line script): " << t->second / read->second
                          << "x (" << t->second << " ms vs " << read->second << " ms)\n";
        }
    }
    return 0;
}
