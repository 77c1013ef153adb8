#include "app/ui/ComPortDialogView.h"

#include "app/ComPortDialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

template <size_t N>
QButtonGroup* AddChoiceGroup(QWidget* parent, QLayout* into, const char* title, const char* name,
                             const std::array<const char*, N>& choices) {
    auto* box = new QGroupBox(QString::fromLatin1(title), parent);
    auto* layout = new QVBoxLayout(box);
    auto* group = new QButtonGroup(box);
    group->setObjectName(QLatin1String(name));
    for (size_t i = 0; i < N; ++i) {
        auto* radio = new QRadioButton(QString::fromLatin1(choices[i]), box);
        layout->addWidget(radio);
        group->addButton(radio, static_cast<int>(i));
    }
    into->addWidget(box);
    return group;
}

void Check(QButtonGroup* group, int choice) {
    if (QAbstractButton* button = group->button(choice)) {
        button->setChecked(true);
    } else if (QAbstractButton* checked = group->checkedButton()) {
        group->setExclusive(false);
        checked->setChecked(false);
        group->setExclusive(true);
    }
}

}  // namespace

CComPortDialogView::CComPortDialogView(CComPortDialog& dialog, QWidget* parent)
    : QDialog(parent), dialog_(dialog) {
    setWindowTitle(QString::fromLatin1(kComPortDialogTitle));
    setObjectName(QStringLiteral("comPortDialog"));

    auto* layout = new QVBoxLayout(this);
    auto* portRow = new QGridLayout;
    auto* portLabel = new QLabel(QStringLiteral("Port"), this);
    portList_ = new QComboBox(this);
    portList_->setObjectName(QStringLiteral("portList"));
    portList_->setMinimumWidth(200);
    portLabel->setBuddy(portList_);
    portRow->addWidget(portLabel, 0, 0);
    portRow->addWidget(portList_, 0, 1);
    portRow->setColumnStretch(1, 1);
    portRow->setHorizontalSpacing(12);
    layout->addLayout(portRow);

    // The line settings: filled and read like the port list, never shown.
    auto* hidden = new QWidget(this);
    hidden->setObjectName(QStringLiteral("lineSettings"));
    auto* hiddenLayout = new QHBoxLayout(hidden);
    auto* baudBox = new QGroupBox(QStringLiteral("Baudrate"), hidden);
    auto* baudLayout = new QVBoxLayout(baudBox);
    baudList_ = new QComboBox(baudBox);
    baudList_->setObjectName(QStringLiteral("baudList"));
    baudLayout->addWidget(baudList_);
    hiddenLayout->addWidget(baudBox);
    groups_[0] =
        AddChoiceGroup(hidden, hiddenLayout, "Parity", "parityGroup", CComPortDialog::kParityChoices);
    groups_[1] =
        AddChoiceGroup(hidden, hiddenLayout, "Stop Bits", "stopBitsGroup", CComPortDialog::kStopBitsChoices);
    groups_[2] =
        AddChoiceGroup(hidden, hiddenLayout, "Data Bits", "dataBitsGroup", CComPortDialog::kDataBitsChoices);
    groups_[3] =
        AddChoiceGroup(hidden, hiddenLayout, "Flow Control", "flowGroup", CComPortDialog::kFlowChoices);
    hidden->hide();
    layout->addWidget(hidden);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addSpacing(6);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    dialog_.OnInitDialog();
    for (const std::string& entry : dialog_.portEntries) portList_->addItem(QString::fromStdString(entry));
    for (const std::string& entry : dialog_.baudEntries) baudList_->addItem(QString::fromStdString(entry));
    portList_->setCurrentIndex(dialog_.portSelection);
    baudList_->setCurrentIndex(dialog_.baudSelection);
    Check(groups_[0], dialog_.parityChoice);
    Check(groups_[1], dialog_.stopBitsChoice);
    Check(groups_[2], dialog_.dataBitsChoice);
    Check(groups_[3], dialog_.flowChoice);
}

void CComPortDialogView::accept() {
    dialog_.portSelection = portList_->currentIndex();
    dialog_.baudSelection = baudList_->currentIndex();
    dialog_.parityChoice = groups_[0]->checkedId();
    dialog_.stopBitsChoice = groups_[1]->checkedId();
    dialog_.dataBitsChoice = groups_[2]->checkedId();
    dialog_.flowChoice = groups_[3]->checkedId();
    dialog_.OnOK();
    QDialog::accept();
}

void CComPortDialogView::reject() {
    dialog_.OnCancel();
    QDialog::reject();
}

bool RunComPortDialogView(CComPortDialog& dialog, QWidget* parent) {
    CComPortDialogView view(dialog, parent);
    return view.exec() == QDialog::Accepted;
}
