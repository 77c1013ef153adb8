#include "link/ui/ProgressView.h"

#include "link/ui/BoardActivity.h"
#include "link/ui/WindowPlacement.h"

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

void CProgressBarControl::SetRange(int low, int high) {
    low_ = low;
    high_ = high;
    Show();
}

void CProgressBarControl::SetPos(int pos) {
    pos_ = pos;
    Show();
}

void CProgressBarControl::StepIt() {
    pos_ += step_;
    if (pos_ > high_) pos_ = low_ + (pos_ - high_);  // starts over, as a progress bar does
    Show();
}

void CProgressBarControl::Show() {
    if (!bar_) return;
    bar_->setRange(low_, high_);
    bar_->setValue(pos_);
    KeepWindowPainted();
}

CProgressDialog::~CProgressDialog() { Destroy(); }

void CProgressDialog::Create(const std::string& caption) {
    Destroy();
    dialog_ = new QDialog(owner_, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    dialog_->setObjectName(QStringLiteral("progressDialog"));
    dialog_->setAttribute(Qt::WA_DeleteOnClose, false);
    dialog_->setWindowTitle(QString::fromStdString(caption));
    dialog_->setModal(false);
    auto* layout = new QVBoxLayout(dialog_);
    layout->setContentsMargins(16, 14, 16, 16);
    layout->setSpacing(8);
    label_ = new QLabel(text_, dialog_);
    label_->setObjectName(QStringLiteral("progressText"));
    // The line keeps its height while it is still empty.
    label_->setMinimumHeight(label_->fontMetrics().height());
    layout->addWidget(label_);
    auto* bar = new QProgressBar(dialog_);
    bar->setObjectName(QStringLiteral("progressBar"));
    bar->setMinimumWidth(300);
    bar->setTextVisible(false);
    layout->addWidget(bar);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    SetBar(bar);
    Show();
    dialog_->adjustSize();
    CentreOnOwner(dialog_, owner_);
    dialog_->show();
    CBoardActivity::ShowsProgress(dialog_);
    PaintWindowNow();
}

void CProgressDialog::SetText(const QString& text) {
    text_ = text;
    if (label_) label_->setText(text);
    KeepWindowPainted();
}

void CProgressDialog::Destroy() {
    SetBar(nullptr);
    label_ = nullptr;
    delete dialog_.data();
    dialog_ = nullptr;
}
