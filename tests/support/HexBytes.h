#pragma once
// Bytes written in tests as the protocol tables write them: "7E 03 20 12 34 02".
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace testbytes {

using Bytes = std::vector<uint8_t>;

inline Bytes Hex(const std::string& text) {
    Bytes out;
    std::istringstream in(text);
    std::string word;
    while (in >> word) out.push_back(static_cast<uint8_t>(std::stoul(word, nullptr, 16)));
    return out;
}

inline std::string ToHex(const Bytes& bytes) {
    std::string out;
    char b[4];
    for (uint8_t v : bytes) {
        std::snprintf(b, sizeof b, "%02X", v);
        if (!out.empty()) out += ' ';
        out += b;
    }
    return out;
}

}  // namespace testbytes
