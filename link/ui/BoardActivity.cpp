#include "link/ui/BoardActivity.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include <exception>
#include <vector>

namespace {

bool OnWindowThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

// The user's input: what an operation's windows must not take, nor the close box's request.
bool IsUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease: return true;
        default: return false;
    }
}

class InputGate final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type != QEvent::Close && !IsUserInput(type)) return false;
        if (!watched->isWidgetType()) return false;  // reaches a widget next, and is judged there
        if (CBoardActivity::Reachable(static_cast<QWidget*>(watched))) return false;
        // The window system raises a window when it is clicked, whatever the program does with
        // the click: the progress goes back on top.
        if (type == QEvent::MouseButtonPress) RaiseProgressSoon();
        // An ignored close event keeps the window open.
        event->ignore();
        return true;
    }

private:
    void RaiseProgressSoon();
};

struct HeldEvent {
    QPointer<QObject> receiver;
    std::function<QEvent*()> remake;
};

struct ActivityState {
    int depth = 0;
    int uncaughtAtStart = 0;
    QPointer<QWidget> modalAtStart;
    QElapsedTimer sincePaint;
    bool painting = false;
    bool painted = false;
    InputGate* gate = nullptr;
    std::vector<QPointer<QWidget>> busyCursors;  // the windows this operation gave the busy cursor
    std::vector<HeldEvent> held;
    std::vector<QPointer<QWidget>> progressWindows;
    bool raiseQueued = false;
};

ActivityState& State() {
    static ActivityState state;
    return state;
}

// The windows the operation runs over show that they are busy; a dialog it opened does not.
// (The program's windows set no cursor of their own: the window's cursor is unset at the end.)
void UpdateBusyCursors() {
    ActivityState& s = State();
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible()) continue;
        const auto mine = std::find(s.busyCursors.begin(), s.busyCursors.end(), w);
        if (CBoardActivity::Reachable(w)) {
            if (mine != s.busyCursors.end()) {
                w->unsetCursor();
                s.busyCursors.erase(mine);
            }
        } else if (mine == s.busyCursors.end()) {
            w->setCursor(Qt::BusyCursor);
            s.busyCursors.emplace_back(w);
        }
    }
}

void InputGate::RaiseProgressSoon() {
    ActivityState& s = State();
    if (s.raiseQueued || s.progressWindows.empty()) return;
    s.raiseQueued = true;
    QMetaObject::invokeMethod(
        this,
        [] {
            ActivityState& state = State();
            state.raiseQueued = false;
            for (const QPointer<QWidget>& w : state.progressWindows) {
                if (w && w->isVisible()) w->raise();
            }
        },
        Qt::QueuedConnection);
}

void Paint() {
    ActivityState& s = State();
    s.painting = true;
    UpdateBusyCursors();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    s.painting = false;
    s.painted = true;
    s.sincePaint.restart();
}

}  // namespace

CBoardActivity::CBoardActivity() {
    if (!OnWindowThread()) return;
    ActivityState& s = State();
    if (s.depth++ > 0) return;
    s.uncaughtAtStart = std::uncaught_exceptions();
    s.modalAtStart = QApplication::activeModalWidget();
    s.sincePaint.start();
    s.painted = false;
    s.gate = new InputGate;
    QCoreApplication::instance()->installEventFilter(s.gate);
}

CBoardActivity::~CBoardActivity() {
    if (!OnWindowThread()) return;
    ActivityState& s = State();
    if (s.depth == 0) return;
    if (s.depth > 1) {
        --s.depth;
        return;
    }
    // A long operation paints its last state, and the input that came since the last paint is
    // dropped with the rest; not while an exception passes, which no event handler may meet.
    if (s.painted && std::uncaught_exceptions() == s.uncaughtAtStart && !s.painting) Paint();
    s.depth = 0;
    delete s.gate;
    s.gate = nullptr;
    for (const QPointer<QWidget>& w : s.busyCursors) {
        if (w) w->unsetCursor();
    }
    s.busyCursors.clear();
    s.progressWindows.clear();
    s.raiseQueued = false;
    s.modalAtStart = nullptr;
    std::vector<HeldEvent> held;
    held.swap(s.held);
    for (HeldEvent& h : held) {
        if (h.receiver) QCoreApplication::postEvent(h.receiver, h.remake());
    }
}

bool CBoardActivity::Running() { return OnWindowThread() && State().depth > 0; }

bool CBoardActivity::HoldBack(QObject* receiver, std::function<QEvent*()> remake) {
    if (!Running()) return false;
    State().held.push_back({receiver, std::move(remake)});
    return true;
}

void CBoardActivity::ShowsProgress(QWidget* window) {
    if (!Running() || window == nullptr) return;
    State().progressWindows.emplace_back(window);
}

bool CBoardActivity::Reachable(const QWidget* widget) {
    if (!Running()) return true;
    const QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == State().modalAtStart) return false;
    // Through parents, not only the top level: a drop-down list or a menu of the dialog is a
    // window of its own.
    for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        if (w == modal) return true;
    }
    // A popup may have no parent (a file name's completion list). Only the user opens one, and
    // the user reaches nothing but the dialog: it belongs to the dialog.
    return widget != nullptr && widget->window()->windowType() == Qt::Popup;
}

void KeepWindowPainted() {
    if (!CBoardActivity::Running()) return;
    const ActivityState& s = State();
    if (s.painting || s.sincePaint.elapsed() < CBoardActivity::kPaintIntervalMs) return;
    Paint();
}

void PaintWindowNow() {
    if (!CBoardActivity::Running() || State().painting) return;
    Paint();
}
