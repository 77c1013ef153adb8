// libFuzzer target: a script's read format (the first line of the input) and the lines of a
// text data file (the rest), through the format check, the line rule and the scanner.
#include "script/DataFiles.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t firstEnd = input.find('\n');
    const std::string_view format = input.substr(0, firstEnd);
    std::string_view rest =
        firstEnd == std::string_view::npos ? std::string_view() : input.substr(firstEnd + 1);

    script::ValueScanFormat scan;
    const bool usable = scan.Parse(format);
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        const std::string_view text = script::DataLineText(line);
        uint16_t value = 0;
        if (usable && !text.empty()) scan.Scan(text, value);
    }
    return 0;
}
