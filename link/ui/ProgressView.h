#pragma once
// Progress bars of long board operations, driven through ProgressDialog. The position moves by
// steps and starts over past the end of the range, as the bar always has; every change keeps the
// window painted (KeepWindowPainted), so a bar advances on screen while the operation holds the
// window's thread.
#include "link/UserPrompts.h"

#include <QDialog>
#include <QPointer>
#include <QProgressBar>
#include <QString>

#include <string>

class QLabel;

// A bar that lives on a page (the Kernlet page's).
class CProgressBarControl : public ProgressDialog {
public:
    explicit CProgressBarControl(QProgressBar* bar = nullptr) : bar_(bar) {}

    void Create(const std::string& caption) override { (void)caption; }
    void SetRange(int low, int high) override;
    void SetStep(int step) override { step_ = step; }
    void SetPos(int pos) override;
    int GetPos() const override { return pos_; }
    void StepIt() override;
    void Destroy() override {}

protected:
    // Shows the position and paints.
    void Show();
    void SetBar(QProgressBar* bar) { bar_ = bar; }

private:
    QPointer<QProgressBar> bar_;
    int low_ = 0, high_ = 100, step_ = 10, pos_ = 0;
};

// A modeless dialog with its caption, a line of text and the bar: the firmware replacement's
// "Flashing Device...", and the progress of a trace save, a script download and the register
// tables' all-rows runs. It has no close box: the operation closes it.
class CProgressDialog final : public CProgressBarControl {
public:
    explicit CProgressDialog(QWidget* owner = nullptr) : owner_(owner) {}
    ~CProgressDialog() override;
    CProgressDialog(const CProgressDialog&) = delete;
    CProgressDialog& operator=(const CProgressDialog&) = delete;

    void SetOwner(QWidget* owner) { owner_ = owner; }
    // The line above the bar (what has been done of how much); kept for the next Create.
    void SetText(const QString& text);

    // Makes the dialog and shows it centred over its owner, painted at once.
    void Create(const std::string& caption) override;
    void Destroy() override;

    QDialog* Dialog() const { return dialog_; }

private:
    QPointer<QWidget> owner_;
    QPointer<QDialog> dialog_;
    QLabel* label_ = nullptr;
    QString text_;
};
