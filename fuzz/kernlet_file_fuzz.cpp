// libFuzzer target: any bytes as a Kernlet file, walked line by line by the reader with a
// loader that checks every event and fails when the input says so, and scanned whole.
#include "loading/KernletFileReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>

namespace {

// Checks what the reader hands over; answers each operation as the first input byte says:
// every n-th operation fails (refused or lost) when n is not 0.
class CheckingLoader final : public KernletLoader {
public:
    explicit CheckingLoader(uint8_t control) : failEvery_(control & 0x0F), refuse_(control & 0x10) {}

    uint8_t BlockHeader(const KernletBlockHeader& header) override {
        if (ended_) std::abort();  // nothing follows the end record
        (void)header;
        inBlock_ = true;
        return Answer();
    }
    uint8_t DataChunk(const uint8_t* bytes, size_t count) override {
        if (ended_ || !inBlock_) std::abort();
        if (count < 2 || count > KernletFileReader::kChunkBytes || count % 2 != 0) std::abort();
        volatile uint8_t sum = 0;
        for (size_t i = 0; i < count; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);  // every byte readable
        return Answer();
    }
    uint8_t EndRecord(uint16_t) override {
        if (ended_) std::abort();
        ended_ = true;
        return Answer();
    }
    bool Failed() const { return failed_; }

private:
    uint8_t Answer() {
        if (failed_) std::abort();  // no call after a failure
        ++calls_;
        if (failEvery_ != 0 && calls_ % failEvery_ == 0) {
            failed_ = true;
            return refuse_ ? kWriteRefused : kWriteFailed;
        }
        return kWriteOk;
    }

    unsigned failEvery_;
    bool refuse_;
    unsigned calls_ = 0;
    bool failed_ = false;
    bool ended_ = false;
    bool inBlock_ = false;
};

// A progress bar that must never pass 100.
class CheckingBar final : public ProgressDialog {
public:
    void Create(const std::string&) override {}
    void SetRange(int, int) override {}
    void SetStep(int) override {}
    void SetPos(int pos) override { pos_ = pos; }
    int GetPos() const override { return pos_; }
    void StepIt() override {
        if (++pos_ > 100) std::abort();
    }
    void Destroy() override {}

private:
    int pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

    CheckingLoader loader(data[0]);
    KernletFileReader reader(loader);
    CheckingBar bar;
    reader.SetProgress(&bar, data[0] >> 5);
    std::istringstream in(text);
    const KernletWalkResult r = reader.Walk(in);
    if ((r.result != kWriteOk) != loader.Failed()) std::abort();
    if ((r.failedStep == KernletStep::None) != (r.result == kWriteOk)) std::abort();

    std::istringstream again(text);
    const KernletFileSummary s = ScanKernletText(again);
    if (s.finalAddress && s.endsInBlock) std::abort();  // the end record comes only between blocks
    // A file the load would take has its count, every block complete and its end record.
    const std::optional<std::string> problem = KernletFileProblem(s);
    if (!problem &&
        (!s.haveCount || s.countWithoutHex || s.lengthWithoutHex != 0 || s.endsInBlock || !s.finalAddress)) {
        std::abort();
    }
    if (problem && problem->rfind("Error - ", 0) != 0) std::abort();
    return 0;
}
