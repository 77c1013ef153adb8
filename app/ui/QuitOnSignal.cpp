#include "app/ui/QuitOnSignal.h"

#include "app/ui/QtPrompts.h"

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

namespace {

int g_signalPipe[2] = {-1, -1};

// Only what is safe in a signal handler: one write to the pipe.
void OnSignal(int signalNumber) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t n = write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

void QuitOnSignals(QtUserPrompts& prompts) {
    if (g_signalPipe[0] < 0 && pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &prompts);
    QObject::connect(notifier, &QSocketNotifier::activated, &prompts, [&prompts] {
        unsigned char byte = 0;
        while (read(g_signalPipe[0], &byte, 1) == 1) prompts.PostQuit(128 + byte);
        // The quit waits for open dialogs; close them, including any that open on the way out.
        auto* closer = new QTimer(&prompts);
        QObject::connect(closer, &QTimer::timeout, &prompts, [] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                    // Closed, not cancelled: a dialog whose Cancel does something else (the
                    // Trace window's starts a save) would otherwise never go.
                    dialog->done(QDialog::Rejected);
                } else {
                    modal->close();
                }
            }
        });
        closer->start(20);
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
