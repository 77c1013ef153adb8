// The trace window's timeline and the exports with a full trace memory, 0x20000 entries over
// three devices and sixty registers: building the lanes, one paint of the timeline at several
// zooms (offscreen, into an image the size of the pane), and the CSV and VCD texts. With an
// argument, saves each zoom's picture under that name.
#include "registers/TraceExport.h"
#include "registers/TraceTimeline.h"
#include "registers/ui/TraceTimelineView.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double MedianMs(int runs, const std::function<void()>& work) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

std::vector<TraceRecord> FullTrace() {
    std::vector<TraceRecord> newestFirst(0x20000);
    uint32_t seed = 99, timestamp = 0xFFF80000u;  // wraps on the way
    for (size_t i = newestFirst.size(); i-- > 0;) {
        seed = seed * 1103515245u + 12345u;
        timestamp += 1 + (seed >> 16) % 30;
        TraceRecord& r = newestFirst[i];
        r.device = static_cast<uint8_t>(1 + (seed >> 8) % 3);
        r.direction = (seed >> 4) & 1;
        r.address = static_cast<uint8_t>(0x10 + (seed >> 20) % 20);
        r.data = static_cast<uint16_t>(seed >> 3);
        r.bytesPerAccess = 2;
        r.accessCount = 1;
        r.accessNumber = 1;
        r.timestamp = timestamp;
    }
    return newestFirst;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::vector<TraceRecord> records = FullTrace();
    std::vector<TimedAccess> accesses;
    std::printf("%-52s %12s\n", "measure (0x20000 entries, 60 lanes)", "median");
    std::printf("%-52s %9.1f ms\n", "time order and unwrap",
                MedianMs(9, [&] { accesses = InTimeOrder(records); }));
    TraceTimeline timeline;
    std::printf("%-52s %9.1f ms\n", "timeline lanes",
                MedianMs(9, [&] { timeline = TraceTimeline(accesses, {}); }));

    CTraceTimelineView view;
    view.resize(1000, 500);  // about the pane of a maximised trace window: 18 lanes in view
    view.SetTimeline(timeline);
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    const auto paint = [&] { view.render(&image); };
    const int lanesWidth = view.width() - CTraceTimelineView::kLabelWidth;
    struct Zoom {
        const char* what;
        double factor;
    };
    for (const Zoom& z : {Zoom{"whole trace (fit)", 1}, Zoom{"zoomed in 100 times", 100},
                          Zoom{"zoomed in 10000 times", 10000}}) {
        // The widget zooms by wheel steps; reach the same scale through them.
        view.SetTimeline(timeline);
        const int steps = static_cast<int>(std::lround(std::log(z.factor) / std::log(1.25)));
        for (int i = 0; i < steps; ++i) {
            QWheelEvent e(QPointF(CTraceTimelineView::kLabelWidth + lanesWidth / 2.0, 100), QPointF(),
                          QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(&view, &e);
        }
        char label[80];
        std::snprintf(label, sizeof label, "paint, %s", z.what);
        std::printf("%-52s %9.2f ms\n", label, MedianMs(21, paint));
        // A picture of each zoom, to look at: timeline-1.png, ... beside the name given.
        if (argc > 1) image.save(QString::fromLocal8Bit(argv[1]) + QStringLiteral("-%1.png").arg(steps));
    }

    std::string text;
    const auto exportTime = [&](const char* what, const std::function<std::string()>& make) {
        const double ms = MedianMs(5, [&] { text = make(); });
        std::printf("%-52s %9.1f ms  (%zu KiB)\n", what, ms, text.size() / 1024);
    };
    exportTime("CSV text", [&] { return TraceCsv(accesses, {}); });
    exportTime("VCD text", [&] { return TraceVcd(accesses, {}, ""); });
    exportTime("VCD text, 1-bit signals", [&] { return TraceVcd(accesses, {}, "", VcdSignals::Bits); });
    return 0;
}
