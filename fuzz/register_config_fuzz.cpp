// Any bytes as a register configuration file: the reader fills at most the 40 rows and a
// saved table reads back as it was.
#include "registers/RegisterConfigFile.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    RegisterRows rows{};
    const int loaded = ParseRegisterConfig(bytes, rows);
    if (loaded < 0 || loaded > CRegisterTablePage::kRows) __builtin_trap();
    // No cell longer than a line may be.
    for (const RegisterRow& row : rows) {
        if (row.description.size() > 2 * kMaxConfigLineBytes || row.data.size() > 2 * kMaxConfigLineBytes) {
            __builtin_trap();
        }
    }
    if (loaded == CRegisterTablePage::kRows) {
        // Saving what was loaded and loading it again gives the same file.
        const std::string saved = FormatRegisterConfig(rows);
        RegisterRows again{};
        if (ParseRegisterConfig(saved, again) != CRegisterTablePage::kRows) __builtin_trap();
        if (FormatRegisterConfig(again) != saved) __builtin_trap();
    }
    (void)Utf8ToLatin1(bytes);
    return 0;
}
