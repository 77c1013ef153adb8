#pragma once
// The bus trace as data for other tools, beside the trace window's own text file: CSV for
// spreadsheets and pandas, and a value change dump (VCD) for waveform viewers such as GTKWave
// and PulseView. Pure functions over the entries as the board hands them back.
//
// Time: the board's timestamp counts microseconds in 32 bits and wraps after about 71 minutes.
// A capture is put in time order by unwrapping it into 64 bits along the trace, from the
// oldest entry on, each step taken forward modulo 2^32: the oldest entry keeps its board
// timestamp, so that times agree with the trace file until the counter wraps.
#include "link/MB805QBrd.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

class CRegisterTablePage;

// The documented trace file, and the two exports.
enum class TraceFileFormat { Text, Csv, Vcd, VcdBits };

// One entry of the trace in time order.
struct TimedAccess {
    uint64_t time = 0;  // microseconds, the board's timestamp unwrapped past 2^32
    uint32_t traceAddress = 0;  // where the board keeps the entry (0: the newest)
    TraceRecord record;
};

// Entries as the board returns them, the newest first (entry i at trace address first + i),
// turned into time order: the oldest first.
std::vector<TimedAccess> InTimeOrder(const TraceRecord* newestFirst, size_t count, uint32_t firstAddress = 0);
std::vector<TimedAccess> InTimeOrder(const std::vector<TraceRecord>& newestFirst, uint32_t firstAddress = 0);

// Register names by (device, register address): the descriptions of the register table rows.
using RegisterKey = std::pair<uint8_t, uint8_t>;
using TraceRegisterNames = std::map<RegisterKey, std::string>;
// Adds the descriptions of a table page's rows whose address is a register address (one or two
// hex digits), for the page's device. A register named already keeps its first name, so that
// rows 1 to 40 of the first page given win over later ones.
void AddRegisterNames(const CRegisterTablePage& page, TraceRegisterNames& names);
// The name of a register in the exports' signal lists: "reg20", or with a description
// "reg20_" and the description reduced to letters, digits and single underscores (at most 40
// characters of it), so that it is an identifier in every VCD reader.
std::string RegisterSignalName(uint8_t address, const std::string& description);

// CSV (RFC 4180, UTF-8 without a byte-order mark, lines ending CR LF): a header row, then one
// row per entry, the oldest first. Columns: index (0 for the oldest), device, direction (read
// or write), register (0x-hex), data (0x-hex), bytes_per_access, access_count, access_number,
// timestamp_us (the board's timestamp), time_us (the same, unwrapped), trace_address (0x-hex,
// as the window's list names it), name (the register's description, quoted where needed).
std::string TraceCsv(const std::vector<TimedAccess>& accesses, const TraceRegisterNames& names);

// VCD (IEEE 1364 value change dump, timescale 1 us, lines ending LF). One scope, "tr805q",
// holding for each device N (in number order) signals whose names begin "devN_":
//   devN_strobe  1 bit: 1 in each microsecond that holds an access of the device, back to 0 at
//                the next microsecond that holds none (accesses in consecutive microseconds
//                make one longer pulse);
//   devN_read    1 bit: the direction of the device's latest access, 1 read, 0 write;
//   devN_count   8 bits: the device's accesses so far, modulo 256. Every access adds one, so
//                that two accesses in one microsecond show as a step of two, and bit 0 toggles
//                with each access for a viewer that splits vectors into bits;
//   devN_regXX   16 bits per register the trace touches, in address order, named by
//                RegisterSignalName: the value of its latest access, read or write; unknown
//                (x) before the first.
// Value changes follow at each access's time; accesses in one microsecond keep their order,
// each with its own changes. `date` (may be empty) goes into $date.
//
// VcdSignals::Bits writes the same with 1-bit signals only, for readers that take no vectors
// (PulseView 0.4 with libsigrok 0.5, as Debian 12 ships them, stops reading at the first
// vector value): devN_toggle in place of devN_count (its bit 0), and each register as 16
// signals devN_regXX_0 (the lowest bit) to devN_regXX_15, each changing when its bit does.
enum class VcdSignals { Vectors, Bits };
std::string TraceVcd(const std::vector<TimedAccess>& accesses, const TraceRegisterNames& names,
                     const std::string& date, VcdSignals style = VcdSignals::Vectors);
