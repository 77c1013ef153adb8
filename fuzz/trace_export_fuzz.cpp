// Trace records of any content, as a board could hand them back (12 bytes each, as on the
// wire), through the exports and the timeline: every dump is one a strict reader takes, with
// time going forward; the CSV has one row per record; no access is lost on the timeline's
// pixel columns.
#include "registers/TraceExport.h"
#include "registers/TraceTimeline.h"
#include "tests/support/VcdReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int width = 1 + data[0] * 8;
    std::vector<TraceRecord> records;
    for (size_t at = 1; at + 12 <= size; at += 12) {
        const uint8_t* b = data + at;
        TraceRecord r;
        r.device = b[0];
        r.direction = b[1];
        r.address = b[2];
        r.data = static_cast<uint16_t>(b[3] << 8 | b[4]);
        r.bytesPerAccess = b[5];
        r.accessCount = b[6];
        r.accessNumber = b[7];
        r.timestamp = static_cast<uint32_t>(b[8]) << 24 | static_cast<uint32_t>(b[9]) << 16 |
                      static_cast<uint32_t>(b[10]) << 8 | b[11];
        records.push_back(r);
    }
    const std::vector<TimedAccess> accesses = InTimeOrder(records);
    const TraceRegisterNames names = {{{1, 0x20}, "Gain, \"coarse\"\r\n"}, {{0, 0}, "--"}};

    const std::string csv = TraceCsv(accesses, names);
    size_t rows = 0;
    for (size_t i = 0; i + 1 < csv.size(); ++i) rows += csv[i] == '\r' && csv[i + 1] == '\n';
    // A name with a line break in quotes adds one CR LF inside its field.
    size_t named = 0;
    for (const TimedAccess& a : accesses) named += a.record.device == 1 && a.record.address == 0x20;
    if (rows != 1 + accesses.size() + named) std::abort();

    for (const VcdSignals style : {VcdSignals::Vectors, VcdSignals::Bits}) {
        std::string error;
        if (!vcdtest::Parse(TraceVcd(accesses, names, "", style), error)) std::abort();
    }

    const TraceTimeline timeline(accesses, names);
    const TimeScale fit = FitScale(timeline.Begin(), timeline.End(), width);
    size_t counted = 0;
    for (const TimelineLane& lane : timeline.Lanes()) {
        for (const TimelineColumn& c : LaneColumns(lane, fit, width)) counted += c.count;
    }
    if (counted != accesses.size()) std::abort();
    return 0;
}
