#pragma once
// Offscreen Qt for the view tests: the application, screenshots on request (a folder in
// TR805Q_SCREENSHOTS), modal dialogs answered by handlers, and pumping events until a condition
// holds within a real-time limit.
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <deque>
#include <functional>

namespace guitest {

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "tr805q_ui_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

inline void SaveScreenshot(QWidget* w, const QString& name) {
    const QString folder = qEnvironmentVariable("TR805Q_SCREENSHOTS");
    if (folder.isEmpty() || !w) return;
    w->grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

// Processes events until cond holds; false after limitMs of real time.
inline bool PumpUntil(const std::function<bool()>& cond, int limitMs = 10000) {
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Answers modal dialogs in the order they come up. A dialog with no handler left is a failure
// and is closed, so that a test never hangs on it.
class ModalScript {
public:
    using Handler = std::function<void(QWidget*)>;
    ModalScript() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
        timer_.start();
    }
    void Then(Handler h) { handlers_.push_back(std::move(h)); }
    bool Done() const { return handlers_.empty(); }

private:
    void Tick() {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible()) {
            current_ = nullptr;
            return;
        }
        if (w == current_) return;
        current_ = w;
        if (handlers_.empty()) {
            ADD_FAILURE() << "unexpected dialog: " << w->windowTitle().toStdString();
            if (auto* d = qobject_cast<QDialog*>(w)) d->reject();
            return;
        }
        Handler h = std::move(handlers_.front());
        handlers_.pop_front();
        h(w);
    }

    QTimer timer_;
    std::deque<Handler> handlers_;
    QPointer<QWidget> current_;
};

}  // namespace guitest
