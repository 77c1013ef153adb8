// libFuzzer target: any bytes as a script file through Prepare, Compile, every NextError,
// every NextRecord and NextInitialiser, the listing, and the run-time string formatting; and the
// same bytes parsed in two halves, which must give the same errors, image and listing.
#include "script/DownloadFrames.h"
#include "script/ScriptCompiler.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// One folder per process for the script file and the listing, in memory where there is a
// memory file system: every run writes both.
const std::string& WorkFolder() {
    static const std::string folder = [] {
        std::string pattern = access("/dev/shm", W_OK) == 0 ? "/dev/shm/script_compile_fuzzXXXXXX"
                                                            : "/tmp/script_compile_fuzzXXXXXX";
        const char* made = mkdtemp(pattern.data());
        if (!made) std::abort();
        return std::string(made);
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = WorkFolder() + "/input.mbs";
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    } else {
        std::abort();
    }

    script::CScriptCompiler compiler;
    compiler.SetListingDirectory(WorkFolder());
    if (!compiler.Prepare(path)) std::abort();  // a readable file always prepares
    if (!compiler.Compile()) std::abort();

    compiler.NextError(true);
    std::size_t errors = 0;
    while (auto e = compiler.NextError(false)) {
        if (e->size() < 2 || e->compare(e->size() - 2, 2, "\r\n") != 0)
            std::abort();  // every error text ends in CR LF
        ++errors;
    }

    script::ImageRecord record;
    compiler.NextRecord(true, record);
    std::size_t records = 0;
    while (compiler.NextRecord(false, record)) {
        if (errors == 0 && compiler.LineOfRecord(static_cast<int>(records)) <= 0)
            std::abort();  // every record of a valid image has its source line
        ++records;
    }
    if (records != compiler.Records().size()) std::abort();
    if (errors == 0 && records > script::kMaxImageRecords)
        std::abort();  // an image the board cannot hold is a compile error

    script::DataInitialiser init;
    compiler.NextInitialiser(true, init);
    while (compiler.NextInitialiser(false, init)) {}

    if (errors == 0) {
        const auto frames = script::BuildDownloadFrames(compiler);
        if (frames.empty() || frames.front()[1] != script::kCmdFirstRecord) std::abort();
    }

    // The same script parsed in two halves gives the same tables, errors and listing.
    {
        script::CScriptCompiler halves;
        halves.SetListingDirectory(WorkFolder());
        halves.SetSplitFrom(1);
        if (!halves.PrepareText(std::string_view(reinterpret_cast<const char*>(data), size)) ||
            !halves.Compile())
            std::abort();
        compiler.NextError(true);
        halves.NextError(true);
        for (;;) {
            const auto a = compiler.NextError(false);
            const auto b = halves.NextError(false);
            if (a != b) std::abort();
            if (!a) break;
        }
        script::ImageRecord a{}, b{};
        compiler.NextRecord(true, a);
        halves.NextRecord(true, b);
        for (;;) {
            const bool more = compiler.NextRecord(false, a);
            if (more != halves.NextRecord(false, b) || a != b) std::abort();
            if (!more) break;
        }
        script::DataInitialiser ia, ib;
        compiler.NextInitialiser(true, ia);
        halves.NextInitialiser(true, ib);
        for (;;) {
            const bool more = compiler.NextInitialiser(false, ia);
            if (more != halves.NextInitialiser(false, ib) || ia.location != ib.location ||
                ia.value != ib.value)
                std::abort();
            if (!more) break;
        }
        if (compiler.ListingText() != halves.ListingText()) std::abort();
    }

    std::string out;
    const int strings = static_cast<int>(compiler.Strings().size());
    for (int i = 0; i < strings && i < 8; ++i) {
        const uint16_t value = static_cast<uint16_t>(size * 2654435761u);
        compiler.FormatForFile(i, value, 1, out);
        compiler.FormatForDisplay(i, value, out);
    }
    compiler.Release();
    return 0;
}
