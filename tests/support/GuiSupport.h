#pragma once
// Offscreen Qt for the view tests: the application, widgets found by their object names,
// screenshots on request (a folder in TR805Q_SCREENSHOTS), modal dialogs answered by handlers,
// and pumping events until a condition holds within a real-time limit.
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHash>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <functional>
#include <stdexcept>
#include <string>

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

// The one object of type T named `name` among the children of `parent`, at any depth: how the
// tests reach a view's controls. None, or more than one, fails the test with the name and ends
// it there (an exception, which the test body reports) instead of letting it go on with a null
// pointer or with the wrong control.
template <typename T>
T* Child(const QObject* parent, const QString& name) {
    const QList<T*> found = parent ? parent->findChildren<T*>(name) : QList<T*>{};
    if (found.size() == 1) return found.front();
    const std::string what = std::string(found.isEmpty() ? "no " : "more than one ") +
                             T::staticMetaObject.className() + " named \"" + name.toStdString() + "\" in " +
                             (parent ? parent->metaObject()->className() : "nothing");
    ADD_FAILURE() << what;
    throw std::runtime_error(what);
}

inline void SaveScreenshot(QWidget* w, const QString& name) {
    const QString folder = qEnvironmentVariable("TR805Q_SCREENSHOTS");
    if (folder.isEmpty() || !w) return;
    w->grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

// What the screen shows of a top-level window. On the offscreen platform that is the contents
// of its backing store: what the event loop painted, and nothing where it has not painted yet.
// (QWidget::grab paints the widget anew and so cannot tell.)
inline QImage ShownImage(QWidget* window) {
    if (!window || !window->screen()) return {};
    return window->screen()->grabWindow(window->winId()).toImage();
}

// Pixels of `rect` in `image` that differ from the rect's most common colour: text, a bar's
// chunk, a frame.
inline int InkPixels(const QImage& image, QRect rect) {
    rect = rect.intersected(image.rect());
    QHash<QRgb, int> counts;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) ++counts[image.pixel(x, y)];
    }
    int most = 0;
    for (int n : counts) most = std::max(most, n);
    return rect.width() * rect.height() - most;
}

// Columns of `rect` whose middle pixel is near `colour`: how far a progress bar's chunk reaches.
inline int ColumnsLike(const QImage& image, QRect rect, QColor colour, int tolerance = 48) {
    rect = rect.intersected(image.rect());
    const int y = rect.center().y();
    int columns = 0;
    for (int x = rect.left(); x <= rect.right(); ++x) {
        const QColor c = image.pixelColor(x, y);
        if (std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) +
                std::abs(c.blue() - colour.blue()) <=
            tolerance) {
            ++columns;
        }
    }
    return columns;
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

// Types a name (or a whole path) into a file dialog's name box, as the user does before pressing
// Save or Open. QFileDialog::selectFile leaves the box as it is once the box has the focus, which
// it gets when its window is activated, at a moment of the system's own.
inline void TypeFileName(QFileDialog* d, const QString& name) {
    auto* box = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!box) {
        ADD_FAILURE() << "the file dialog has no name box";
        return;
    }
    box->setText(name);
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
