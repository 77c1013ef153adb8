#pragma once
// Every board exchange but a running script's reads happens on the window's thread, so a long
// one (a firmware download, a Kernlet load, a trace save, a script download) holds that thread
// for seconds or minutes on the kit's line. A CBoardActivity marks such an operation for its
// whole length. Inside it the waits of the operation (each call to the line, each fixed sleep,
// each step of a progress bar) call KeepWindowPainted, which lets Qt paint and handle the window
// system's events at a bounded rate, so the window never looks hung. Meanwhile nothing else may
// reach the board:
// - the user's input (mouse buttons, wheel, keys, the close box) reaches only a dialog that the
//   operation itself opened (its message boxes); the windows it runs over ignore it and show
//   the busy cursor;
// - the events that would start a board exchange of their own (the loader-ready message, the
//   script worker's posts) are held back by their receivers and posted again when the operation
//   has ended, in the order they came;
// - the request to end the program waits for the operation's end.
// Operations nest: only the outermost one counts.
#include <QEvent>
#include <QObject>

#include <functional>

class CBoardActivity {
public:
    // At most this often the window is painted during an operation.
    static constexpr int kPaintIntervalMs = 30;

    CBoardActivity();
    ~CBoardActivity();
    CBoardActivity(const CBoardActivity&) = delete;
    CBoardActivity& operator=(const CBoardActivity&) = delete;

    // Whether an operation runs on the window's thread (false on any other thread).
    static bool Running();
    // For the receiver of an event that starts a board exchange: while an operation runs, the
    // event is not handled now; `remake` builds it again, and it is posted to `receiver` when
    // the operation has ended (nothing, when the receiver is gone by then). False when no
    // operation runs: the receiver handles the event at once.
    static bool HoldBack(QObject* receiver, std::function<QEvent*()> remake);
    // The widgets the user's input reaches now: inside an operation, only what belongs to a
    // modal dialog it opened; outside one, everything.
    static bool Reachable(const QWidget* widget);
    // A window that shows the operation's progress: when the user clicks the windows it runs
    // over (and the window system raises them), it is raised above them again. Only for the
    // running operation.
    static void ShowsProgress(QWidget* window);
};

// Inside an operation, on the window's thread: paints what changed and handles the window
// system's events, unless that was done less than kPaintIntervalMs ago. Elsewhere nothing.
void KeepWindowPainted();
// The same without the interval: for a window the operation has just shown.
void PaintWindowNow();
