#include "registers/TraceExport.h"

#include "core/Version.h"
#include "registers/HexText.h"
#include "registers/RegisterTable.h"

#include <array>
#include <cstdio>
#include <functional>

namespace {

std::string Hex(unsigned value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%0*X", digits, value);
    return buffer;
}

// RFC 4180: a field holding a comma, a quote or a line break is quoted, its quotes doubled.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

// Identifier codes of VCD variables: printable ASCII without '#' and '$', which some readers
// take for a time or a keyword at the start of a word. Little-endian digits, so "!" is 0.
std::string VcdCode(size_t n) {
    static const std::string alphabet = [] {
        std::string a;
        for (char c = '!'; c <= '~'; ++c)
            if (c != '#' && c != '$') a += c;
        return a;
    }();
    std::string code;
    do {
        code += alphabet[n % alphabet.size()];
        n /= alphabet.size();
    } while (n > 0);
    return code;
}

// A vector value in binary without leading zeros, as value changes are usually written.
std::string Bits(unsigned value) {
    if (value == 0) return "0";
    std::string bits;
    for (; value; value >>= 1) bits.insert(bits.begin(), static_cast<char>('0' + (value & 1)));
    return bits;
}

// What the dump knows of one device while it walks the trace.
struct DeviceState {
    std::string strobe, read;
    std::vector<std::string> count;  // one code, or bit 0's alone
    std::map<uint8_t, std::vector<std::string>> registers;  // address -> one code, or 16
    std::map<uint8_t, uint16_t> values;  // registers whose value is known
    bool high = false;
    int direction = -1;  // unknown until the first access
    uint8_t accesses = 0;
};

}  // namespace

std::vector<TimedAccess> InTimeOrder(const TraceRecord* newestFirst, size_t count, uint32_t firstAddress) {
    std::vector<TimedAccess> out;
    out.reserve(count);
    uint64_t time = 0;
    for (size_t k = count; k-- > 0;) {
        const TraceRecord& r = newestFirst[k];
        if (out.empty()) {
            time = r.timestamp;
        } else {
            // Forward modulo 2^32 from the entry before it.
            time += static_cast<uint32_t>(r.timestamp - out.back().record.timestamp);
        }
        out.push_back({time, firstAddress + static_cast<uint32_t>(k), r});
    }
    return out;
}

std::vector<TimedAccess> InTimeOrder(const std::vector<TraceRecord>& newestFirst, uint32_t firstAddress) {
    return InTimeOrder(newestFirst.data(), newestFirst.size(), firstAddress);
}

void AddRegisterNames(const CRegisterTablePage& page, TraceRegisterNames& names) {
    for (int row = 1; row <= CRegisterTablePage::kRows; ++row) {
        const RegisterRow& r = page.Row(row);
        // The address as the row would send it: upper-case hex of one byte.
        if (r.address.empty() || r.address.size() > 2 || !IsHexText(r.address)) continue;
        const size_t first = r.description.find_first_not_of(' ');
        if (first == std::string::npos) continue;
        const size_t last = r.description.find_last_not_of(' ');
        const auto address = static_cast<uint8_t>(HexTextToNumber(r.address));
        names.emplace(RegisterKey{page.Device(), address}, r.description.substr(first, last - first + 1));
    }
}

std::string RegisterSignalName(uint8_t address, const std::string& description) {
    char base[8];
    std::snprintf(base, sizeof base, "reg%02X", address);
    constexpr size_t kMaxDescription = 40;
    std::string tail;
    for (char c : description) {
        const bool word = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (word) {
            if (tail.size() >= kMaxDescription) break;
            tail += c;
        } else if (!tail.empty() && tail.back() != '_' && tail.size() < kMaxDescription) {
            tail += '_';
        }
    }
    while (!tail.empty() && tail.back() == '_') tail.pop_back();
    return tail.empty() ? std::string(base) : std::string(base) + "_" + tail;
}

std::string TraceCsv(const std::vector<TimedAccess>& accesses, const TraceRegisterNames& names) {
    std::string out =
        "index,device,direction,register,data,bytes_per_access,access_count,access_number,"
        "timestamp_us,time_us,trace_address,name\r\n";
    out.reserve(out.size() + accesses.size() * 80);
    for (size_t i = 0; i < accesses.size(); ++i) {
        const TimedAccess& a = accesses[i];
        const TraceRecord& r = a.record;
        const auto name = names.find({r.device, r.address});
        out += std::to_string(i) + ',' + std::to_string(r.device) + ',' + (r.direction ? "read" : "write") +
               ',' + Hex(r.address, 2) + ',' + Hex(r.data, 4) + ',' + std::to_string(r.bytesPerAccess) + ',' +
               std::to_string(r.accessCount) + ',' + std::to_string(r.accessNumber) + ',' +
               std::to_string(r.timestamp) + ',' + std::to_string(a.time) + ',' + Hex(a.traceAddress, 5) +
               ',' + (name == names.end() ? std::string() : CsvField(name->second)) + "\r\n";
    }
    return out;
}

std::string TraceVcd(const std::vector<TimedAccess>& accesses, const TraceRegisterNames& names,
                     const std::string& date, VcdSignals style) {
    const bool bits = style == VcdSignals::Bits;
    std::string out;
    out.reserve(256 + accesses.size() * (bits ? 48 : 32));
    if (!date.empty()) out += "$date " + date + " $end\n";
    out += std::string("$version TR805Q ") + kProgramVersionNumber + " $end\n";
    out += "$comment MB805Q Z-LINK bus trace, " + std::to_string(accesses.size()) +
           (accesses.size() == 1 ? " access" : " accesses") + " $end\n";
    out += "$timescale 1 us $end\n";

    // Declarations: the devices in number order, each with its registers in address order.
    // One scope, and every name carries its device: readers that ignore scopes (older
    // PulseView) still tell the devices apart.
    std::map<uint8_t, DeviceState> devices;
    for (const TimedAccess& a : accesses) devices[a.record.device].registers[a.record.address];
    size_t codes = 0;
    if (!devices.empty()) out += "$scope module tr805q $end\n";
    for (auto& [device, d] : devices) {
        const std::string prefix = "dev" + std::to_string(device) + "_";
        d.strobe = VcdCode(codes++);
        d.read = VcdCode(codes++);
        d.count = {VcdCode(codes++)};
        out += "$var wire 1 " + d.strobe + ' ' + prefix + "strobe $end\n";
        out += "$var wire 1 " + d.read + ' ' + prefix + "read $end\n";
        out += bits ? "$var wire 1 " + d.count[0] + ' ' + prefix + "toggle $end\n"
                    : "$var reg 8 " + d.count[0] + ' ' + prefix + "count [7:0] $end\n";
        for (auto& [address, code] : d.registers) {
            const auto name = names.find({device, address});
            const std::string signal =
                prefix + RegisterSignalName(address, name == names.end() ? std::string() : name->second);
            if (!bits) {
                code = {VcdCode(codes++)};
                out += "$var reg 16 " + code[0] + ' ' + signal + " [15:0] $end\n";
                continue;
            }
            for (int bit = 0; bit < 16; ++bit) {
                code.push_back(VcdCode(codes++));
                out += "$var wire 1 " + code.back() + ' ' + signal + '_' + std::to_string(bit) + " $end\n";
            }
        }
    }
    if (!devices.empty()) out += "$upscope $end\n";
    out += "$enddefinitions $end\n";
    if (accesses.empty()) return out;

    const auto strobesDown = [&](const std::function<bool(uint8_t)>& which) {
        for (auto& [device, d] : devices) {
            if (d.high && which(device)) {
                out += '0' + d.strobe + '\n';
                d.high = false;
            }
        }
    };
    uint64_t previous = 0;
    for (size_t i = 0; i < accesses.size();) {
        const uint64_t time = accesses[i].time;
        size_t end = i;
        std::array<bool, 256> accessed{};
        for (; end < accesses.size() && accesses[end].time == time; ++end) {
            accessed[accesses[end].record.device] = true;
        }
        if (i == 0) {
            out += "#" + std::to_string(time) + "\n$dumpvars\n";
            for (const auto& [device, d] : devices) {
                out += '0' + d.strobe + "\nx" + d.read + '\n' + (bits ? "0" : "b0 ") + d.count[0] + '\n';
                for (const auto& [address, code] : d.registers) {
                    for (const std::string& c : code) out += (bits ? "x" : "bx ") + c + '\n';
                }
            }
            out += "$end\n";
        } else {
            // A strobe that is high fell in the microsecond after its device's last access,
            // unless the device is accessed again right then.
            if (previous + 1 < time) {
                out += "#" + std::to_string(previous + 1) + '\n';
                strobesDown([](uint8_t) { return true; });
            }
            out += "#" + std::to_string(time) + '\n';
            strobesDown([&](uint8_t device) { return !accessed[device]; });
        }
        for (; i < end; ++i) {
            const TraceRecord& r = accesses[i].record;
            DeviceState& d = devices[r.device];
            if (!d.high) {
                out += '1' + d.strobe + '\n';
                d.high = true;
            }
            const int direction = r.direction ? 1 : 0;
            if (d.direction != direction) {
                out += static_cast<char>('0' + direction) + d.read + '\n';
                d.direction = direction;
            }
            ++d.accesses;
            out += bits ? static_cast<char>('0' + (d.accesses & 1)) + d.count[0] + '\n'
                        : 'b' + Bits(d.accesses) + ' ' + d.count[0] + '\n';
            const auto known = d.values.find(r.address);
            if (known != d.values.end() && known->second == r.data) continue;
            const std::vector<std::string>& code = d.registers[r.address];
            if (!bits) {
                out += 'b' + Bits(r.data) + ' ' + code[0] + '\n';
            } else {
                // Only the bits that change (all of them the first time).
                for (int bit = 0; bit < 16; ++bit) {
                    const int now = (r.data >> bit) & 1;
                    if (known == d.values.end() || ((known->second >> bit) & 1) != now) {
                        out += static_cast<char>('0' + now) + code[static_cast<size_t>(bit)] + '\n';
                    }
                }
            }
            d.values[r.address] = r.data;
        }
        previous = time;
    }
    out += "#" + std::to_string(previous + 1) + '\n';
    strobesDown([](uint8_t) { return true; });
    return out;
}
