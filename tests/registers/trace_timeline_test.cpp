// The timeline's arithmetic without a widget: lanes, time <-> pixel, zoom and pan limits, what
// falls on a pixel column, the entry under the cursor, the ruler.
#include "registers/TraceTimeline.h"

#include <gtest/gtest.h>

#include <array>

namespace {

TraceRecord Rec(uint8_t device, bool read, uint8_t address, uint16_t data, uint32_t timestamp) {
    TraceRecord r;
    r.device = device;
    r.direction = read ? 1 : 0;
    r.address = address;
    r.data = data;
    r.bytesPerAccess = 2;
    r.accessNumber = 1;
    r.accessCount = 1;
    r.timestamp = timestamp;
    return r;
}

// Oldest first, as a test reads best; the board's order is the reverse.
TraceTimeline Timeline(std::vector<TraceRecord> oldestFirst, const TraceRegisterNames& names = {}) {
    return TraceTimeline(InTimeOrder({oldestFirst.rbegin(), oldestFirst.rend()}), names);
}

TEST(TraceTimeline, OneLanePerDeviceAndRegisterInOrder) {
    const TraceTimeline t =
        Timeline({Rec(2, false, 0x05, 1, 10), Rec(1, true, 0x21, 2, 11), Rec(1, false, 0x20, 3, 11),
                  Rec(1, true, 0x21, 4, 12), Rec(2, true, 0x05, 5, 20)},
                 {{{1, 0x21}, "Status"}});
    ASSERT_EQ(t.Lanes().size(), 3u);
    const TimelineLane& a = t.Lanes()[0];
    EXPECT_EQ(a.device, 1);
    EXPECT_EQ(a.address, 0x20);
    EXPECT_EQ(a.entries, (std::vector<uint32_t>{2}));
    const TimelineLane& b = t.Lanes()[1];
    EXPECT_EQ(b.address, 0x21);
    EXPECT_EQ(b.name, "Status");
    EXPECT_EQ(b.entries, (std::vector<uint32_t>{1, 3}));
    EXPECT_EQ(b.times, (std::vector<uint64_t>{11, 12}));
    EXPECT_EQ(b.readsBefore, (std::vector<uint32_t>{0, 1, 2}));
    const TimelineLane& c = t.Lanes()[2];
    EXPECT_EQ(c.device, 2);
    EXPECT_EQ(c.readsBefore, (std::vector<uint32_t>{0, 0, 1}));
    EXPECT_EQ(t.Begin(), 10u);
    EXPECT_EQ(t.End(), 20u);
    EXPECT_TRUE(TraceTimeline().Empty());
}

TEST(TraceTimeline, FitZoomAndPanStayWithinTheCapture) {
    const int w = 1000;
    const TimeScale fit = FitScale(1000, 2000, w);
    EXPECT_NEAR(fit.ToX(1000), 30, 1e-9);
    EXPECT_NEAR(fit.ToX(2000), 970, 1e-9);
    EXPECT_NEAR(fit.ToTime(fit.ToX(1234)), 1234, 1e-9);

    // Zooming keeps the time under the pointer where it is.
    const TimeScale in = ZoomScale(fit, 500, 2, 1000, 2000, w);
    EXPECT_DOUBLE_EQ(in.usPerPixel, fit.usPerPixel / 2);
    EXPECT_NEAR(in.ToTime(500), fit.ToTime(500), 1e-9);
    // Never wider than the whole capture, never closer than 64 columns a microsecond.
    const TimeScale out = ZoomScale(in, 100, 0.01, 1000, 2000, w);
    EXPECT_DOUBLE_EQ(out.usPerPixel, fit.usPerPixel);
    EXPECT_DOUBLE_EQ(out.start, fit.start);
    TimeScale close = fit;
    for (int i = 0; i < 100; ++i) close = ZoomScale(close, 700, 1.25, 1000, 2000, w);
    EXPECT_DOUBLE_EQ(close.usPerPixel, kTimelineMinUsPerPixel);

    // Panning stops where the room at either end of the fitted view ends.
    const TimeScale left = PanScale(in, 1e6, 1000, 2000, w);
    EXPECT_DOUBLE_EQ(left.start, fit.start);
    const TimeScale right = PanScale(in, -1e6, 1000, 2000, w);
    EXPECT_NEAR(right.ToTime(w), fit.ToTime(w), 1e-9);
    const TimeScale moved = PanScale(in, -40, 1000, 2000, w);
    EXPECT_NEAR(moved.start - in.start, 40 * in.usPerPixel, 1e-9);

    // A single access, or a capture shorter than 10 us, is centred.
    const TimeScale one = FitScale(5000, 5000, w);
    EXPECT_NEAR(one.ToX(5000), 500, 1e-6);
    // Far past the 32-bit wrap the columns stay exact.
    const TimeScale late{4294967290.0, 0.5};
    EXPECT_EQ(late.Column(4294967296u), 12);
    EXPECT_EQ(late.Column(4294967289u), -2);
}

TEST(TraceTimeline, AccessesOnAPixelColumnAreCountedAndTheLatestShown) {
    // Lane dev1 0x20: times 0, 0 (read), 1, 5 (read), 9, 100.
    const TraceTimeline t =
        Timeline({Rec(1, false, 0x20, 10, 0), Rec(1, true, 0x20, 11, 0), Rec(1, false, 0x21, 0, 0),
                  Rec(1, false, 0x20, 12, 1), Rec(1, true, 0x20, 13, 5), Rec(1, false, 0x20, 14, 9),
                  Rec(1, false, 0x20, 15, 100)});
    const TimelineLane& lane = t.Lanes()[0];
    struct Case {
        TimeScale scale;
        int width;
        std::vector<std::array<uint32_t, 4>> columns;  // x, count, reads, data of the latest
    };
    const Case cases[] = {
        {{0, 1}, 50, {{0, 2, 1, 11}, {1, 1, 0, 12}, {5, 1, 1, 13}, {9, 1, 0, 14}}},
        {{0, 10}, 10, {{0, 5, 2, 14}}},
        {{0, 10}, 11, {{0, 5, 2, 14}, {10, 1, 0, 15}}},
        {{0.5, 1}, 50, {{0, 1, 0, 12}, {4, 1, 1, 13}, {8, 1, 0, 14}}},  // time 0 is left of the view
        {{-10, 2}, 8, {{5, 3, 1, 12}, {7, 1, 1, 13}}},
        {{200, 1}, 50, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.scale.start << " / " << c.scale.usPerPixel << " x " << c.width);
        const std::vector<TimelineColumn> got = LaneColumns(lane, c.scale, c.width);
        ASSERT_EQ(got.size(), c.columns.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(static_cast<uint32_t>(got[i].x), c.columns[i][0]);
            EXPECT_EQ(got[i].count, c.columns[i][1]);
            EXPECT_EQ(got[i].reads, c.columns[i][2]);
            EXPECT_EQ(t.Accesses()[got[i].last].record.data, c.columns[i][3]);
        }
    }
    // The value in force at a time is the latest access before it.
    EXPECT_FALSE(LaneAccessBefore(lane, 0));
    EXPECT_EQ(t.Accesses()[*LaneAccessBefore(lane, 0.5)].record.data, 11);
    EXPECT_EQ(t.Accesses()[*LaneAccessBefore(lane, 1e9)].record.data, 15);
}

TEST(TraceTimeline, TheEntryUnderTheCursor) {
    const TraceTimeline t = Timeline({Rec(1, false, 0x20, 1, 10), Rec(1, true, 0x20, 2, 10),
                                      Rec(1, false, 0x20, 3, 20), Rec(1, false, 0x20, 4, 30)});
    const TimelineLane& lane = t.Lanes()[0];
    const TimeScale s{0, 1};  // one column a microsecond
    struct Case {
        double x;
        int data;  // 0: none
    };
    const Case cases[] = {
        {10, 2},  // of two in one microsecond, the latest
        {13, 2},  // 3 columns away, within the 4 allowed
        {15, 3},  // as near to 10 as to 20: the later
        {16, 3}, {26, 4}, {34, 4}, {35.5, 0}, {-100, 0}, {1e6, 0},
    };
    for (const Case& c : cases) {
        const std::optional<uint32_t> hit = LaneAccessAt(lane, s, c.x, 5);
        if (c.data == 0) {
            EXPECT_FALSE(hit) << c.x;
        } else {
            ASSERT_TRUE(hit) << c.x;
            EXPECT_EQ(t.Accesses()[*hit].record.data, c.data) << c.x;
        }
    }
    EXPECT_FALSE(LaneAccessAt(lane, s, 14.5, 4));
    EXPECT_EQ(t.Accesses()[*LaneAccessAt(lane, s, 16, 4)].record.data, 3);

    // Which lane lies under the pointer, and how far the lanes scroll.
    const LaneLayout layout{24, 26, 0};
    EXPECT_FALSE(LaneAt(layout, 3, 23));
    EXPECT_EQ(LaneAt(layout, 3, 24), 0u);
    EXPECT_EQ(LaneAt(layout, 3, 24 + 26 * 3 - 1), 2u);
    EXPECT_FALSE(LaneAt(layout, 3, 24 + 26 * 3));
    EXPECT_EQ(LaneAt({24, 26, 30}, 3, 24), 1u);
    EXPECT_EQ(MaxLaneOffset(layout, 10, 24 + 26 * 4), 26 * 6);
    EXPECT_EQ(MaxLaneOffset(layout, 2, 500), 0);
}

TEST(TraceTimeline, RulerTicksAtRoundStepsInTheUnitTheStepSuits) {
    struct Case {
        TimeScale scale;
        std::vector<std::string> labels;
        double firstX;
    };
    const Case cases[] = {
        {{1000, 1}, {"0.0 ms", "0.1 ms", "0.2 ms", "0.3 ms"}, 0},  // 80 px -> 100 us
        {{1000, 0.02}, {"0 us", "2 us", "4 us", "6 us"}, 0},  // 50 columns a microsecond
        {{1000 - 5, 1.0 / 64}, {"-4 us", "-2 us"}, 64},  // 2 us, never under 1 us
        {{1000, 100000}, {"0 s", "10 s", "20 s", "30 s"}, 0},
        {{1037, 1}, {"0.1 ms", "0.2 ms", "0.3 ms"}, 63},
    };
    for (const Case& c : cases) {
        const std::vector<RulerTick> ticks = RulerTicks(c.scale, 320, 1000, 80);
        std::vector<std::string> labels;
        for (const RulerTick& t : ticks) labels.push_back(t.label);
        EXPECT_EQ(labels, c.labels) << c.scale.usPerPixel;
        ASSERT_FALSE(ticks.empty());
        EXPECT_NEAR(ticks[0].x, c.firstX, 1e-6);
    }
    EXPECT_TRUE(RulerTicks({0, 1}, 0, 0, 80).empty());

    const std::pair<std::pair<double, double>, const char*> spans[] = {
        {{40, 10}, "40 us"},     {{1500, 100}, "1.5 ms"}, {{25000, 5000}, "25 ms"},   {{3e6, 1e6}, "3 s"},
        {{1.5e6, 5e5}, "1.5 s"}, {{-40, 10}, "-40 us"},   {{-0.0001, 100}, "0.0 ms"},
    };
    for (const auto& [in, text] : spans) EXPECT_EQ(SpanText(in.first, in.second), text);
}

TEST(TraceTimeline, WhatTheCursorShows) {
    TraceRecord r = Rec(3, true, 0xAB, 0xBEEF, 0x00000010u);
    r.accessNumber = 2;
    r.accessCount = 4;
    const TraceTimeline t(InTimeOrder(std::vector<TraceRecord>{r, Rec(1, false, 0x20, 1, 0xFFFFFFF0u)}, 0x1F),
                          {{{3, 0xAB}, "Gain"}});
    EXPECT_EQ(
        CursorText(t, 1),
        "Trace Address 0x0001F  Timestamp 0000000016 us  +32 us  Device 3  Address 0xAB Gain  Read 0xBEEF  "
        "Access 2 of 4");
    EXPECT_EQ(CursorText(t, 0),
              "Trace Address 0x00020  Timestamp 4294967280 us  +0 us  Device 1  Address 0x20  Write 0x0001  "
              "Access 1 of 1");
    EXPECT_EQ(CursorTimeText(t, 4294967280.0 + 12.26), "+12.3 us");
    EXPECT_EQ(TimelineRangeText(0x800, 2048), "Trace addresses 0x00800 to 0x00FFF (2048 entries)");
    EXPECT_EQ(TimelineRangeText(0x1FFFF, 1), "Trace addresses 0x1FFFF to 0x1FFFF (1 entry)");
    EXPECT_EQ(TimelineRangeText(0, 0), "No trace entries");
}

TEST(TraceTimeline, AFullTraceLosesNoAccessOnItsColumns) {
    std::vector<TraceRecord> oldestFirst;
    uint32_t seed = 7, timestamp = 0xFFFFF000u;
    for (int i = 0; i < 0x20000; ++i) {
        seed = seed * 1103515245u + 12345u;
        timestamp += (seed >> 16) % 5;
        oldestFirst.push_back(Rec(static_cast<uint8_t>(1 + (seed >> 8) % 3), (seed >> 4) & 1,
                                  static_cast<uint8_t>((seed >> 20) % 16), 0, timestamp));
    }
    const TraceTimeline t = Timeline(oldestFirst);
    for (const int width : {1, 640, 1920}) {
        const TimeScale fit = FitScale(t.Begin(), t.End(), width);
        for (const TimelineLane& lane : t.Lanes()) {
            const std::vector<TimelineColumn> columns = LaneColumns(lane, fit, width);
            uint32_t count = 0, reads = 0;
            int previous = -1;
            for (const TimelineColumn& c : columns) {
                ASSERT_GT(c.x, previous);
                ASSERT_LT(c.x, width);
                previous = c.x;
                count += c.count;
                reads += c.reads;
            }
            EXPECT_EQ(count, lane.entries.size());
            EXPECT_EQ(reads, lane.readsBefore.back());
            EXPECT_EQ(columns.back().last, lane.entries.back());
        }
    }
}

}  // namespace
