// How long the window takes from start to ready on a simulated board served on a pty, and the
// process's peak memory: the port dialog is answered at once, the board identified, the window
// shown with its five pages. With --once, a single start whose moment of readiness is printed
// as "ready <steady clock in ns>", so that the caller can time it from before the process began.
#include "app/ui/ComPortDialogView.h"
#include "app/ui/QtPrompts.h"
#include "app/ui/RegisteredMessages.h"
#include "app/ui/TR805QApp.h"
#include "app/ui/TR805QSheetView.h"
#include "link/PortTable.h"
#include "settings/QtSettingsKey.h"
#include "sim/port/PtyServer.h"

#include <QApplication>
#include <QSettings>
#include <QThread>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    const bool once = argc > 1 && std::string(argv[argc - 1]) == "--once";
    if (once) --argc;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    CTR805QApplication app(argc, argv);
    RegisterMessages();
    const fs::path config = fs::temp_directory_path() / ("tr805q-window-bench-" + std::to_string(getpid()));
    fs::create_directories(config);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(config.string()));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(config.string()));
    PortTable table(config / "ports");

    sim::PtyServer server;
    if (!server.Start(table)) {
        std::fprintf(stderr, "no pty\n");
        return 1;
    }

    std::vector<double> startMs;
    std::chrono::steady_clock::time_point readyAt{};
    for (int run = 0; run < (once ? 1 : 5); ++run) {
        QtUserPrompts prompts;
        CProgressDialog progress;
        SheetPlatform platform;
        platform.clock = &SystemClock::Instance();
        platform.prompts = &prompts;
        platform.progress = &progress;
        platform.newSettingsKey = [] { return std::make_unique<QtSettingsKey>(); };
        platform.activePorts = [&table] { return table.ActivePorts(); };
        platform.programDirectory = config.string();
        platform.deviceOpener = [&table](int number) -> std::unique_ptr<SerialDevice> {
            const std::optional<std::string> path = table.DevicePath(number);
            return path ? OpenPosixSerialDevice(*path) : nullptr;
        };
        platform.preselectPort = server.PortNumber();

        const auto t0 = std::chrono::steady_clock::now();
        CTR805QSheetView view(platform);
        prompts.SetOwner(&view);
        progress.SetOwner(&view);
        double readyMs = -1;
        // The user presses OK in the port dialog as soon as it shows; the window is ready once
        // it is shown with no dialog over it and the program's event loop runs.
        QTimer poll;
        poll.setInterval(0);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* dialog = qobject_cast<CComPortDialogView*>(QApplication::activeModalWidget())) {
                dialog->accept();
                return;
            }
            if (view.isVisible() && !QApplication::activeModalWidget() &&
                QThread::currentThread()->loopLevel() == 1) {
                readyAt = std::chrono::steady_clock::now();
                readyMs = std::chrono::duration<double, std::milli>(readyAt - t0).count();
                poll.stop();
                prompts.PostQuit(0);
            }
        });
        poll.start();
        RunSheet(view, prompts);
        view.Sheet().Board().Link().Port().Close();
        startMs.push_back(readyMs);
    }
    server.Stop();
    fs::remove_all(config);

    if (once) {
        std::printf(
            "ready %lld\n",
            static_cast<long long>(
                std::chrono::duration_cast<std::chrono::nanoseconds>(readyAt.time_since_epoch()).count()));
        return startMs.empty() || startMs[0] < 0 ? 1 : 0;
    }
    std::sort(startMs.begin(), startMs.end());
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("window start to ready (median of %zu): %.1f ms\n", startMs.size(),
                startMs[startMs.size() / 2]);
    std::printf("peak memory (resident): %.1f MiB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
