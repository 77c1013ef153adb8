#include "app/ui/OptionsView.h"

#include "app/Options.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>

namespace {

// Turns letters to upper case as they are typed and lets through only what the name may hold.
class NameValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        const std::string normal = COptions::NormaliseName(input.toStdString());
        if (QString::fromStdString(normal) != input.toUpper()) return Invalid;
        input = QString::fromStdString(normal);
        return Acceptable;
    }
};

}  // namespace

COptionsView::COptionsView(COptions& options, QWidget* parent) : QDialog(parent), options_(options) {
    setObjectName(QStringLiteral("optionsDialog"));
    setWindowTitle(QString::fromLatin1(COptions::kCaption));

    auto* layout = new QGridLayout(this);
    layout->setHorizontalSpacing(10);
    auto* label = new QLabel(QStringLiteral("Board Name:"), this);
    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("boardName"));
    name_->setMaxLength(static_cast<int>(COptions::kMaxNameChars));
    name_->setValidator(new NameValidator(name_));
    name_->setMinimumWidth(140);
    label->setBuddy(name_);
    auto* setName = new QPushButton(QStringLiteral("Set Name"), this);
    setName->setObjectName(QStringLiteral("setNameButton"));
    setName->setDefault(true);
    setName->setAutoDefault(true);
    connect(setName, &QPushButton::clicked, this, &COptionsView::SetName);
    layout->addWidget(label, 0, 0);
    layout->addWidget(name_, 0, 1);
    layout->addWidget(setName, 0, 2);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    // Enter presses the focused push button; "Set Name" stays the default for the rest (the
    // name field): an auto-default button takes the default while it has the focus.
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Ok)->setAutoDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
    buttons->button(QDialogButtonBox::Cancel)->setAutoDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->setRowMinimumHeight(1, 8);
    layout->addWidget(buttons, 2, 0, 1, 3);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    options_.OnInitDialog();
    name_->setText(QString::fromStdString(options_.name));
}

void COptionsView::SetName() {
    options_.name = name_->text().toStdString();
    options_.OnSetName();
    name_->setText(QString::fromStdString(options_.name));
}
