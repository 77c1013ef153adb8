#include "script/ui/ScriptDialogViews.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace script {
namespace {

QLabel* NewPrompt(const std::string& text, QWidget* parent) {
    auto* label = new QLabel(QString::fromStdString(text), parent);
    label->setObjectName(QStringLiteral("prompt"));
    label->setTextFormat(Qt::PlainText);  // a script's text is shown as it is written
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QPushButton* NewButton(std::string_view text, const char* name, QWidget* parent) {
    auto* b = new QPushButton(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), parent);
    b->setObjectName(QLatin1String(name));
    b->setMinimumWidth(75);
    return b;
}

}  // namespace

CDialog_EntryView::CDialog_EntryView(CDialog_Entry& dialog, QWidget* parent)
    : QDialog(parent), dialog_(dialog) {
    setObjectName(QStringLiteral("entryDialog"));
    setWindowTitle(QString::fromStdString(dialog_.caption));
    prompt_ = NewPrompt(dialog_.prompt, this);
    entry_ = new QLineEdit(QString::fromStdString(dialog_.entry), this);
    entry_->setObjectName(QStringLiteral("entry"));
    entry_->selectAll();
    ok_ = NewButton(kTextOk, "okButton", this);
    abort_ = NewButton(kTextAbort, "abortButton", this);
    ok_->setDefault(true);
    abort_->setAutoDefault(false);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok_);
    buttons->addWidget(abort_);
    buttons->addStretch();
    auto* fields = new QVBoxLayout;
    // Room for a prompt of three lines above the entry.
    prompt_->setMinimumHeight(prompt_->fontMetrics().lineSpacing() * 3);
    fields->addWidget(prompt_);
    fields->addWidget(entry_);
    fields->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(fields, 1);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setFixedSize(kEntryDialogWidth, kEntryDialogHeight);

    connect(ok_, &QPushButton::clicked, this, &CDialog_EntryView::accept);
    connect(abort_, &QPushButton::clicked, this, &QDialog::reject);
    entry_->setFocus();
}

void CDialog_EntryView::accept() {
    dialog_.entry = entry_->text().toStdString();
    QDialog::accept();
}

CDialog_Entry::Result CDialog_EntryView::Run() {
    return exec() == QDialog::Accepted ? CDialog_Entry::Result::Ok : CDialog_Entry::Result::Abort;
}

CDialog_YesNoView::CDialog_YesNoView(CDialog_YesNo& dialog, QWidget* parent)
    : QDialog(parent), dialog_(dialog) {
    setObjectName(QStringLiteral("yesNoDialog"));
    setWindowTitle(QString::fromStdString(dialog_.caption));
    prompt_ = NewPrompt(dialog_.prompt, this);
    yes_ = NewButton(kTextYes, "yesButton", this);
    no_ = NewButton(kTextNo, "noButton", this);
    abort_ = NewButton(kTextAbort, "abortButton", this);
    // Yes is the default button: Enter answers Yes.
    yes_->setDefault(true);
    no_->setAutoDefault(false);
    abort_->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(yes_);
    buttons->addWidget(no_);
    buttons->addWidget(abort_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt_, 1);
    layout->addLayout(buttons);
    setFixedSize(kYesNoDialogWidth, kYesNoDialogHeight);

    // Each button stores its answer and closes the dialog as OK does.
    connect(yes_, &QPushButton::clicked, this, [this] {
        dialog_.OnYes();
        QDialog::accept();
    });
    connect(no_, &QPushButton::clicked, this, [this] {
        dialog_.OnNo();
        QDialog::accept();
    });
    connect(abort_, &QPushButton::clicked, this, [this] {
        dialog_.OnAbort();
        QDialog::accept();
    });
    yes_->setFocus();
}

void CDialog_YesNoView::reject() {
    dialog_.OnAbort();
    QDialog::reject();
}

void CDialog_YesNoView::Run() { exec(); }

}  // namespace script
