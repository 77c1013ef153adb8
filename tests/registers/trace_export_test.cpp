// The trace as CSV and VCD: exact texts of a small trace, a full trace read back by a strict
// VCD reader, the 32-bit wrap of the board's timestamp, and the register names.
#include "registers/RegisterTable.h"
#include "registers/TraceExport.h"
#include "tests/support/SimHost.h"
#include "tests/support/VcdReader.h"

#include <gtest/gtest.h>

#include <map>

namespace {

TraceRecord Rec(uint8_t device, bool read, uint8_t address, uint16_t data, uint32_t timestamp,
                uint8_t bytes = 2, uint8_t number = 1, uint8_t count = 1) {
    TraceRecord r;
    r.device = device;
    r.direction = read ? 1 : 0;
    r.address = address;
    r.data = data;
    r.bytesPerAccess = bytes;
    r.accessNumber = number;
    r.accessCount = count;
    r.timestamp = timestamp;
    return r;
}

// Five accesses as the board hands them back, the newest first: two in one microsecond, one
// in the next, and two of different devices four microseconds later.
std::vector<TraceRecord> SmallTrace() {
    return {
        Rec(1, true, 0x21, 0x0002, 1005),          Rec(2, false, 0x05, 0x00AB, 1005, 1),
        Rec(1, true, 0x20, 0x1234, 1001, 2, 3, 4), Rec(1, false, 0x21, 0x0001, 1000),
        Rec(1, false, 0x20, 0x1234, 1000),
    };
}

const TraceRegisterNames kNames = {{{1, 0x20}, "Gain, coarse"}, {{2, 0x05}, "Mode \"fast\""}};

TEST(TraceExport, SmallTraceAsCsv) {
    EXPECT_EQ(TraceCsv(InTimeOrder(SmallTrace()), kNames),
              "index,device,direction,register,data,bytes_per_access,access_count,access_number,"
              "timestamp_us,time_us,trace_address,name\r\n"
              "0,1,write,0x20,0x1234,2,1,1,1000,1000,0x00004,\"Gain, coarse\"\r\n"
              "1,1,write,0x21,0x0001,2,1,1,1000,1000,0x00003,\r\n"
              "2,1,read,0x20,0x1234,2,4,3,1001,1001,0x00002,\"Gain, coarse\"\r\n"
              "3,2,write,0x05,0x00AB,1,1,1,1005,1005,0x00001,\"Mode \"\"fast\"\"\"\r\n"
              "4,1,read,0x21,0x0002,2,1,1,1005,1005,0x00000,\r\n");
    EXPECT_EQ(TraceCsv({}, {}),
              "index,device,direction,register,data,bytes_per_access,access_count,access_number,"
              "timestamp_us,time_us,trace_address,name\r\n");
}

TEST(TraceExport, SmallTraceAsVcd) {
    const std::string vcd = TraceVcd(InTimeOrder(SmallTrace()), kNames, "2024-03-07 09:05:03 UTC");
    EXPECT_EQ(vcd,
              "$date 2024-03-07 09:05:03 UTC $end\n"
              "$version TR805Q 1.3 $end\n"
              "$comment MB805Q Z-LINK bus trace, 5 accesses $end\n"
              "$timescale 1 us $end\n"
              "$scope module tr805q $end\n"
              "$var wire 1 ! dev1_strobe $end\n"
              "$var wire 1 \" dev1_read $end\n"
              "$var reg 8 % dev1_count [7:0] $end\n"
              "$var reg 16 & dev1_reg20_Gain_coarse [15:0] $end\n"
              "$var reg 16 ' dev1_reg21 [15:0] $end\n"
              "$var wire 1 ( dev2_strobe $end\n"
              "$var wire 1 ) dev2_read $end\n"
              "$var reg 8 * dev2_count [7:0] $end\n"
              "$var reg 16 + dev2_reg05_Mode_fast [15:0] $end\n"
              "$upscope $end\n"
              "$enddefinitions $end\n"
              "#1000\n"
              "$dumpvars\n"
              "0!\nx\"\nb0 %\nbx &\nbx '\n"
              "0(\nx)\nb0 *\nbx +\n"
              "$end\n"
              // Two writes in one microsecond: the count steps twice.
              "1!\n0\"\nb1 %\nb1001000110100 &\n"
              "b10 %\nb1 '\n"
              // The next microsecond: the strobe stays up, the value read is no change.
              "#1001\n1\"\nb11 %\n"
              "#1002\n0!\n"
              "#1005\n"
              "1(\n0)\nb1 *\nb10101011 +\n"
              "1!\nb100 %\nb10 '\n"
              "#1006\n0!\n0(\n");
    std::string error;
    EXPECT_TRUE(vcdtest::Parse(vcd, error)) << error;

    // Without a date and without accesses: the header alone.
    EXPECT_EQ(TraceVcd({}, {}, ""),
              "$version TR805Q 1.3 $end\n"
              "$comment MB805Q Z-LINK bus trace, 0 accesses $end\n"
              "$timescale 1 us $end\n"
              "$enddefinitions $end\n");
    EXPECT_TRUE(vcdtest::Parse(TraceVcd({}, {}, ""), error)) << error;
}

TEST(TraceExport, OneBitSignalsForReadersWithoutVectors) {
    const std::vector<TraceRecord> newestFirst = {Rec(1, true, 0x20, 0x0004, 12),
                                                  Rec(1, false, 0x20, 0x8005, 10)};
    std::string expected =
        "$version TR805Q 1.3 $end\n"
        "$comment MB805Q Z-LINK bus trace, 2 accesses $end\n"
        "$timescale 1 us $end\n"
        "$scope module tr805q $end\n"
        "$var wire 1 ! dev1_strobe $end\n"
        "$var wire 1 \" dev1_read $end\n"
        "$var wire 1 % dev1_toggle $end\n";
    const char codes[] = "&'()*+,-./012345";
    for (int bit = 0; bit < 16; ++bit)
        expected +=
            std::string("$var wire 1 ") + codes[bit] + " dev1_reg20_Gain_" + std::to_string(bit) + " $end\n";
    expected += "$upscope $end\n$enddefinitions $end\n#10\n$dumpvars\n0!\nx\"\n0%\n";
    for (int bit = 0; bit < 16; ++bit) expected += std::string("x") + codes[bit] + "\n";
    expected += "$end\n1!\n0\"\n1%\n";
    // 0x8005: every bit the first time, lowest first.
    for (int bit = 0; bit < 16; ++bit)
        expected += std::string((0x8005 >> bit) & 1 ? "1" : "0") + codes[bit] + "\n";
    // 0x0004 after 0x8005: bits 0 and 15 change.
    expected += "#11\n0!\n#12\n1!\n1\"\n0%\n0&\n05\n#13\n0!\n";
    const std::string vcd = TraceVcd(InTimeOrder(newestFirst), {{{1, 0x20}, "Gain"}}, "", VcdSignals::Bits);
    EXPECT_EQ(vcd, expected);
    std::string error;
    EXPECT_TRUE(vcdtest::Parse(vcd, error)) << error;
}

TEST(TraceExport, TimestampsUnwrapForwardModulo32Bits) {
    struct Case {
        const char* what;
        std::vector<uint32_t> oldestFirst;
        std::vector<uint64_t> times;
    };
    const Case cases[] = {
        {"plain", {5, 9, 9, 100}, {5, 9, 9, 100}},
        {"across the wrap",
         {0xFFFFFFF0u, 0xFFFFFFFFu, 5, 0x10},
         {0xFFFFFFF0u, 0xFFFFFFFFu, 0x100000005u, 0x100000010u}},
        {"onto zero", {0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0x100000000u}},
        {"twice",
         {0x80000000u, 0x1u, 0x80000000u, 0x1u},
         {0x80000000u, 0x100000001u, 0x180000000u, 0x200000001u}},
        {"one entry", {7}, {7}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<TraceRecord> newestFirst;
        for (auto it = c.oldestFirst.rbegin(); it != c.oldestFirst.rend(); ++it)
            newestFirst.push_back(Rec(1, false, 0x20, 0, *it));
        const std::vector<TimedAccess> a = InTimeOrder(newestFirst, 0x100);
        ASSERT_EQ(a.size(), c.times.size());
        for (size_t i = 0; i < a.size(); ++i) {
            EXPECT_EQ(a[i].time, c.times[i]) << i;
            EXPECT_EQ(a[i].record.timestamp, c.oldestFirst[i]);
            EXPECT_EQ(a[i].traceAddress, 0x100 + a.size() - 1 - i);
        }
    }
}

TEST(TraceExport, ACaptureAcrossTheWrapStaysInOrderInBothFormats) {
    const std::vector<TraceRecord> newestFirst = {Rec(1, true, 0x20, 3, 0x00000002u),
                                                  Rec(1, false, 0x20, 2, 0xFFFFFFFFu),
                                                  Rec(1, false, 0x20, 1, 0xFFFFFFFEu)};
    const std::vector<TimedAccess> a = InTimeOrder(newestFirst);
    const std::string csv = TraceCsv(a, {});
    EXPECT_NE(csv.find("\r\n0,1,write,0x20,0x0001,2,1,1,4294967294,4294967294,0x00002,\r\n"
                       "1,1,write,0x20,0x0002,2,1,1,4294967295,4294967295,0x00001,\r\n"
                       "2,1,read,0x20,0x0003,2,1,1,2,4294967298,0x00000,\r\n"),
              std::string::npos)
        << csv;
    std::string error;
    const auto dump = vcdtest::Parse(TraceVcd(a, {}, ""), error);
    ASSERT_TRUE(dump) << error;
    EXPECT_EQ(dump->times,
              (std::vector<uint64_t>{4294967294u, 4294967295u, 4294967296u, 4294967298u, 4294967299u}));
    EXPECT_EQ(dump->ValueAt("tr805q.dev1_reg20", 4294967298u), "11");
    EXPECT_EQ(dump->ValueAt("tr805q.dev1_strobe", 4294967296u), "0");
}

// A full trace memory, 0x20000 entries over three devices and 60 registers, with runs of
// accesses in one microsecond and a wrap of the timestamp on the way, read back from its
// dump signal by signal.
TEST(TraceExport, FullTraceReadsBackToTheSameValues) {
    constexpr size_t kEntries = 0x20000;
    std::vector<TraceRecord> oldestFirst;
    oldestFirst.reserve(kEntries);
    uint32_t seed = 12345, timestamp = 0xFFFF0000u;
    const auto next = [&] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    for (size_t i = 0; i < kEntries; ++i) {
        timestamp += next() % 4;  // 0: the same microsecond as the access before
        oldestFirst.push_back(Rec(static_cast<uint8_t>(1 + next() % 3), next() % 2 == 0,
                                  static_cast<uint8_t>(0x10 + next() % 20), static_cast<uint16_t>(next() % 8),
                                  timestamp));
    }
    const std::vector<TraceRecord> newestFirst(oldestFirst.rbegin(), oldestFirst.rend());
    const std::vector<TimedAccess> accesses = InTimeOrder(newestFirst);
    ASSERT_GT(accesses.back().time, 0xFFFFFFFFu) << "the trace crosses the wrap";

    std::string error;
    const auto dump = vcdtest::Parse(TraceVcd(accesses, {}, ""), error);
    ASSERT_TRUE(dump) << error;
    EXPECT_EQ(dump->vars.size(), 3u * (3 + 20));

    // Every register's changes are its accesses' values in time order, where they change.
    std::map<std::string, std::vector<vcdtest::Change>> expected;
    std::map<int, std::vector<const TimedAccess*>> byDevice;
    for (const TimedAccess& a : accesses) {
        char name[32];
        std::snprintf(name, sizeof name, "tr805q.dev%d_reg%02X", a.record.device, a.record.address);
        auto& changes = expected[name];
        const std::string bits = [&] {
            std::string b;
            for (unsigned v = a.record.data; v; v >>= 1)
                b.insert(b.begin(), static_cast<char>('0' + (v & 1)));
            return b.empty() ? std::string("0") : b;
        }();
        if (changes.empty() || changes.back().value != bits) changes.push_back({a.time, bits, false});
        byDevice[a.record.device].push_back(&a);
    }
    for (auto& [name, changes] : expected) {
        changes.insert(changes.begin(), {accesses.front().time, "x", true});
        const auto got = dump->changes.find(name);
        ASSERT_NE(got, dump->changes.end()) << name;
        ASSERT_EQ(got->second.size(), changes.size()) << name;
        for (size_t i = 0; i < changes.size(); ++i) {
            ASSERT_EQ(got->second[i].time, changes[i].time) << name << " change " << i;
            ASSERT_EQ(got->second[i].value, changes[i].value) << name << " change " << i;
        }
    }
    // The 1-bit flavour: at each time a register changes, its bits make the vector's value.
    const auto bits = vcdtest::Parse(TraceVcd(accesses, {}, "", VcdSignals::Bits), error);
    ASSERT_TRUE(bits) << error;
    EXPECT_EQ(bits->times, dump->times);
    const auto lastPerTime = [](const std::vector<vcdtest::Change>& changes) {
        std::map<uint64_t, std::string> out;
        for (const vcdtest::Change& c : changes) out[c.time] = c.value;
        return out;
    };
    for (const auto& [name, changes] : expected) {
        std::map<uint64_t, std::map<int, char>> bitChanges;
        for (int b = 0; b < 16; ++b) {
            for (const vcdtest::Change& c : bits->changes.at(name + "_" + std::to_string(b))) {
                bitChanges[c.time][b] = c.value[0];
            }
        }
        std::string combined(16, '?');
        std::map<uint64_t, std::string> fromBits;
        for (const auto& [time, set] : bitChanges) {
            for (const auto& [b, v] : set) combined[static_cast<size_t>(15 - b)] = v;
            fromBits[time] = combined;
        }
        const std::map<uint64_t, std::string> fromVector = lastPerTime(dump->changes.at(name));
        ASSERT_EQ(fromBits.size(), fromVector.size()) << name;
        for (const auto& [time, value] : fromVector) {
            const std::optional<uint64_t> number = vcdtest::Number(value);
            if (number) {
                ASSERT_EQ(vcdtest::Number(fromBits[time]), number) << name << " at " << time;
            } else {
                ASSERT_EQ(fromBits[time], std::string(16, 'x')) << name << " at " << time;
            }
        }
    }

    // Per device: the count steps once per access; at every time of the dump the strobe is up
    // exactly when the device has an access then, and the read line shows the latest one's
    // direction.
    for (const auto& [device, list] : byDevice) {
        const std::string d = "tr805q.dev" + std::to_string(device) + "_";
        EXPECT_EQ(dump->changes.at(d + "count").size(), list.size() + 1);
        EXPECT_EQ(vcdtest::Number(*dump->ValueAt(d + "count", accesses.back().time)), list.size() % 256);
        std::map<uint64_t, int> lastDirection;
        for (const TimedAccess* a : list) lastDirection[a->time] = a->record.direction;
        const std::vector<std::string> strobe = dump->ValuesAtTimes(d + "strobe");
        const std::vector<std::string> read = dump->ValuesAtTimes(d + "read");
        ASSERT_EQ(strobe.size(), dump->times.size());
        for (size_t i = 0; i < dump->times.size(); ++i) {
            const auto at = lastDirection.find(dump->times[i]);
            ASSERT_EQ(strobe[i], at != lastDirection.end() ? "1" : "0") << d << dump->times[i];
            if (at != lastDirection.end()) {
                ASSERT_EQ(read[i], at->second ? "1" : "0");
            }
        }
    }
}

TEST(TraceExport, RegisterNamesFromTheTablesAndAsSignals) {
    SimHost host;
    CZLINKControlExt1 first(host);
    first.Row(1) = {"  Gain  ", "20", RowType::Wr16, "", false};
    first.Row(2) = {"", "21", RowType::Wr16, "", false};  // no description
    first.Row(3) = {"Status", "", RowType::Rd16, "", false};  // no address
    first.Row(4) = {"Wide", "123", RowType::Rd16, "", false};  // no register address
    first.Row(5) = {"Lower", "2g", RowType::Rd16, "", false};  // not hex as the page sends it
    first.Row(6) = {"Again", "20", RowType::Rd16, "", false};  // named by row 1 already
    first.Row(40) = {"Last", "0F", RowType::Rd16, "", false};
    CZLINKControlExt2 second(host);
    second.device1 = false;  // device 3
    second.Row(1) = {"Other", "20", RowType::Rd16, "", false};
    TraceRegisterNames names;
    AddRegisterNames(first, names);
    AddRegisterNames(second, names);
    EXPECT_EQ(names, (TraceRegisterNames{{{1, 0x20}, "Gain"}, {{1, 0x0F}, "Last"}, {{3, 0x20}, "Other"}}));

    struct Case {
        uint8_t address;
        const char* description;
        const char* signal;
    };
    const Case cases[] = {
        {0x20, "", "reg20"},
        {0x0A, "Gain", "reg0A_Gain"},
        {0xFF, "  PLL: lock / ready!  ", "regFF_PLL_lock_ready"},
        {0x01, "9 lives", "reg01_9_lives"},
        {0x02, "--- ---", "reg02"},
        {0x03, "Verst\xC3\xA4rkung", "reg03_Verst_rkung"},
        {0x04, "abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyz",
         "reg04_abcdefghijklmnopqrstuvwxyzabcdefghijklmn"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RegisterSignalName(c.address, c.description), c.signal) << c.description;
        EXPECT_TRUE(vcdtest::Identifier(RegisterSignalName(c.address, c.description)));
    }
}

}  // namespace
