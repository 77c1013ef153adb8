#pragma once
// The window's side of the long operations' progress (ProgressSink): what each one shows while
// it holds the window's thread.
// - the firmware download: its line in "Flashing Device...", the board's own dialog ("Block 12
//   of 40");
// - the Kernlet load: nothing more, the page has its bar;
// - a trace save, a script download, the register tables' all-rows runs: a progress dialog of
//   their own, with the operation's caption, the bar and a line of what is done of how much. It
//   comes up only when the operation is still running after kShowDelayMs, so that a short one
//   does not flash a window; the painting of the operation's waits (CBoardActivity) shows it.
// Every step keeps the window painted.
#include "core/ProgressSink.h"
#include "link/ui/ProgressView.h"

#include <QPointer>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <string>

class QWidget;

class CWindowProgress final : public ProgressSink {
public:
    static constexpr int kShowDelayMs = 500;

    // `firmware` is the board's "Flashing Device..." dialog.
    explicit CWindowProgress(CProgressDialog& firmware, int showDelayMs = kShowDelayMs);
    ~CWindowProgress() override;
    // The window the dialogs belong to when no modal dialog is open (the Trace window is one).
    void SetOwner(QWidget* owner) { owner_ = owner; }

    void Begin(const std::string& caption, uint64_t total, const std::string& unit) override;
    void Advance(uint64_t done) override;
    void End() override;

    // The line that shows what is done of how much.
    static QString Text(const std::string& caption, uint64_t done, uint64_t total, const std::string& unit);

private:
    enum class Kind { None, Firmware, PageBar, Dialog };
    void ShowDialog();
    void Update();

    CProgressDialog& firmware_;
    int showDelayMs_;
    QPointer<QWidget> owner_;
    Kind kind_ = Kind::None;
    std::string caption_, unit_;
    uint64_t total_ = 0, done_ = 0;
    std::unique_ptr<CProgressDialog> dialog_;
    QTimer showTimer_;
};
