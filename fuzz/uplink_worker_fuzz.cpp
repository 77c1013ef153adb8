// libFuzzer target: any byte stream as the board's uplink while a script runs, fed to the
// worker's frame parser and its handlers (data files opened, read, served in blocks and
// written, as WAVE, binary and text), with every post handed over at once and its text
// formatted the way the page does.
#include "link/ComInt.h"
#include "script/ResultsList.h"
#include "script/RunWorker.h"
#include "script/ScriptCompiler.h"
#include "script/Wave.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The board's side of the link: takes every write, sends nothing.
class NullDevice final : public SerialDevice {
public:
    void Configure(const SerialLineSettings&) override {}
    void SetTimeouts(const SerialTimeouts& t) override { t_ = t; }
    SerialTimeouts GetTimeouts() const override { return t_; }
    size_t Read(uint8_t*, size_t) override { return 0; }
    size_t Write(const uint8_t*, size_t n) override { return n; }
    void Flush() override {}
    size_t QueuedBytes() override { return 0; }

private:
    SerialTimeouts t_;
};

// Hands every post over at once; script texts go through the page's formatting and list.
class InstantPoster final : public script::ScriptPoster {
public:
    InstantPoster(script::RunShared& shared, const script::CScriptCompiler& compiler)
        : shared_(shared), compiler_(compiler) {}
    void Post(script::ScriptPost post) override {
        std::string text;
        switch (post.msg) {
            case script::ScriptMsg::AddText:
            case script::ScriptMsg::MessageBox:
            case script::ScriptMsg::MessageBoxYesNo:
                compiler_.FormatForFile(static_cast<int>(post.wParam), static_cast<uint16_t>(post.lParam), 1,
                                        text);
                results_.AddText(text);
                break;
            case script::ScriptMsg::MessageBoxEntry:
                compiler_.FormatForDisplay(static_cast<int>(post.wParam), static_cast<uint16_t>(post.lParam),
                                           text);
                results_.AddLine(text);
                break;
            default: results_.AddLine(post.text); break;
        }
        if (results_.Count() > 100) results_.Clear();
        shared_.handOver.Set();
    }
    void RemovePending() override {}

private:
    script::RunShared& shared_;
    const script::CScriptCompiler& compiler_;
    script::CResultsList results_;
};

struct Fixture {
    std::string folder;
    script::CScriptCompiler compiler;
    FakeClock clock;
    CComInt link;

    Fixture() {
        std::string pattern =
            access("/dev/shm", W_OK) == 0 ? "/dev/shm/uplink_fuzzXXXXXX" : "/tmp/uplink_fuzzXXXXXX";
        const char* made = mkdtemp(pattern.data());
        if (!made) std::abort();
        folder = made;
        compiler.SetListingDirectory(folder);
        // String numbers 0.. in order: file names of every kind, then formats.
        const char* script =
            "  fopenr \"in.txt\" \"%d\"\n"
            "  fopenr \"in.bin\" \"%x\"\n"
            "  fopenr \"in.wav\" \"v=%i;\"\n"
            "  fopenr \"bad.wav\" \"%s\"\n"
            "  fopenw \"out.txt\"\n"
            "  fopenw \"out.bin\"\n"
            "  fopenw \"out.wav\"\n"
            "  filew \"v=%u\\c\"\n"
            "  filew \"%b and %q\"\n"
            "  filew \"%4b\"\n"
            "  disp \"%d %f %X %c\"\n"
            "  disp \"100%\"\n"
            "  stop\n";
        if (!compiler.PrepareText(script) || !compiler.Compile()) std::abort();
        link.Port().SetDeviceOpener([](int) { return std::make_unique<NullDevice>(); });
        link.Port().Open(1, 115200, ParityNone, 8, StopOne, FlowNone);
    }

    void Write(const char* name, const std::string& bytes) {
        if (std::FILE* f = std::fopen((folder + "/" + name).c_str(), "wb")) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
    }
    // The read files as every run finds them (a run may have written over them).
    void ResetFiles() {
        Write("in.txt", "; values\n1\n0x20\n-3 ; minus three\n\nabc\n65535\n");
        Write("in.bin", std::string("\x12\x34\x56\x78\x9A", 5));
        uint8_t header[script::WaveWriter::kHeaderSize];
        script::WaveWriter::BuildHeader(8000, 2, 3, header);
        Write("in.wav", std::string(reinterpret_cast<char*>(header), sizeof header) +
                            std::string("\x01\x00\x02\x00\x03\x00", 6));
        std::string bad(reinterpret_cast<char*>(header), sizeof header);
        bad[34] = 8;  // 8 bits per sample
        Write("bad.wav", bad + "xx");
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Fixture fx;
    fx.ResetFiles();
    script::RunShared shared;
    InstantPoster poster(shared, fx.compiler);
    {
        script::CScriptWorker worker(fx.link, fx.compiler, fx.folder, shared, poster, fx.clock);
        for (size_t i = 0; i < size; ++i) {
            if (!worker.OnByte(data[i])) break;
        }
        worker.CloseFiles();
    }
    return 0;
}
