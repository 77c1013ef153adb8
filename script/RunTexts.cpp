#include "script/RunTexts.h"

namespace script {
namespace {

// Position of the next "%u" or "%d" at or after from, or npos.
size_t FindNumberField(std::string_view format, size_t from) {
    for (size_t i = from; i + 1 < format.size(); ++i) {
        if (format[i] == '%' && (format[i + 1] == 'u' || format[i + 1] == 'd')) return i;
    }
    return std::string_view::npos;
}

}  // namespace

std::string FillNumber(std::string_view format, int64_t value) {
    const size_t at = FindNumberField(format, 0);
    if (at == std::string_view::npos) return std::string(format);
    std::string out(format.substr(0, at));
    out += std::to_string(value);
    out += format.substr(at + 2);
    return out;
}

std::string FillNumbers(std::string_view format, int64_t first, int64_t second) {
    const size_t at = FindNumberField(format, 0);
    if (at == std::string_view::npos) return std::string(format);
    std::string out(format.substr(0, at));
    out += std::to_string(first);
    return out + FillNumber(format.substr(at + 2), second);
}

std::string FillText(std::string_view format, std::string_view text) {
    const size_t at = format.find("%s");
    if (at == std::string_view::npos) return std::string(format);
    std::string out(format.substr(0, at));
    out += text;
    out += format.substr(at + 2);
    return out;
}

}  // namespace script
