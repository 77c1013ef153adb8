#include "registers/ui/ZLINKControlView.h"

#include "link/ui/BoardActivity.h"

#include "registers/ui/EntryField.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

constexpr int kGroupWidth = 300;
constexpr int kFieldWidth = 64;
constexpr int kButtonWidth = 88;

// One access group: the width choice, "Register Address", "Register Data" and its button.
QGroupBox* AccessGroup(const char* title, QRadioButton* w8, QRadioButton* w16, CEntryField* address,
                       CEntryField* data, QPushButton* button, QWidget* parent) {
    auto* group = new QGroupBox(QString::fromLatin1(title), parent);
    group->setMinimumWidth(kGroupWidth);
    auto* widths = new QButtonGroup(group);
    widths->addButton(w8);
    widths->addButton(w16);
    w16->setChecked(true);

    auto* grid = new QGridLayout(group);
    grid->setContentsMargins(14, 10, 14, 12);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(8);
    auto* widthRow = new QHBoxLayout;
    widthRow->setSpacing(24);
    widthRow->addWidget(w8);
    widthRow->addWidget(w16);
    widthRow->addStretch();
    grid->addLayout(widthRow, 0, 0, 1, 3);

    auto* addressLabel = new QLabel(QStringLiteral("Register Address"), group);
    auto* dataLabel = new QLabel(QStringLiteral("Register Data"), group);
    addressLabel->setBuddy(address);
    dataLabel->setBuddy(data);
    address->setFixedWidth(kFieldWidth);
    data->setFixedWidth(kFieldWidth);
    grid->addWidget(addressLabel, 1, 0);
    grid->addWidget(address, 1, 1);
    grid->addWidget(dataLabel, 2, 0);
    grid->addWidget(data, 2, 1);
    grid->setColumnStretch(2, 1);
    button->setFixedWidth(kButtonWidth);
    button->setAutoDefault(false);
    grid->addWidget(button, 1, 2, 2, 1, Qt::AlignRight | Qt::AlignVCenter);
    return group;
}

}  // namespace

CZLINKControlView::CZLINKControlView(PageHost& host, QWidget* parent) : QWidget(parent), page_(host) {
    setObjectName(QStringLiteral("zlinkControlPage"));
    UseDialogFont(this);

    write8_ = new QRadioButton(QStringLiteral("8-bit"), this);
    write16_ = new QRadioButton(QStringLiteral("16-bit"), this);
    writeAddress_ = NewHexField(CZLINKControl::kAddressChars, this);
    writeData_ = NewHexField(CZLINKControl::kDataChars, this);
    writeButton_ = new QPushButton(QStringLiteral("Write"), this);
    write8_->setObjectName(QStringLiteral("writeWidth8"));
    write16_->setObjectName(QStringLiteral("writeWidth16"));
    writeAddress_->setObjectName(QStringLiteral("writeAddress"));
    writeData_->setObjectName(QStringLiteral("writeData"));
    writeButton_->setObjectName(QStringLiteral("writeButton"));
    QGroupBox* writeGroup =
        AccessGroup("Write a Register", write8_, write16_, writeAddress_, writeData_, writeButton_, this);

    read8_ = new QRadioButton(QStringLiteral("8-bit"), this);
    read16_ = new QRadioButton(QStringLiteral("16-bit"), this);
    readAddress_ = NewHexField(CZLINKControl::kAddressChars, this);
    readData_ = NewHexField(CZLINKControl::kDataChars, this);
    readData_->SetReadOnlyCell(true);
    readButton_ = new QPushButton(QStringLiteral("Read"), this);
    read8_->setObjectName(QStringLiteral("readWidth8"));
    read16_->setObjectName(QStringLiteral("readWidth16"));
    readAddress_->setObjectName(QStringLiteral("readAddress"));
    readData_->setObjectName(QStringLiteral("readData"));
    readButton_->setObjectName(QStringLiteral("readButton"));
    QGroupBox* readGroup =
        AccessGroup("Read a Register", read8_, read16_, readAddress_, readData_, readButton_, this);

    auto* deviceGroup = new QGroupBox(QStringLiteral("Select Target Device"), this);
    deviceGroup->setMinimumWidth(kGroupWidth);
    auto* deviceLayout = new QVBoxLayout(deviceGroup);
    deviceLayout->setContentsMargins(14, 10, 14, 12);
    auto* deviceButtons = new QButtonGroup(deviceGroup);
    for (int d = 0; d < 3; ++d) {
        devices_[d] = new QRadioButton(QStringLiteral("Z-LINK Device %1").arg(d + 1), deviceGroup);
        devices_[d]->setObjectName(QStringLiteral("device%1").arg(d + 1));
        deviceButtons->addButton(devices_[d]);
        deviceLayout->addWidget(devices_[d]);
    }
    devices_[0]->setChecked(true);
    // The kit is driven as one device: the other two choices stay hidden.
    devices_[1]->hide();
    devices_[2]->hide();

    auto* resetGroup = new QGroupBox(QStringLiteral("Reset Device"), this);
    resetGroup->setMinimumWidth(kGroupWidth);
    auto* resetLayout = new QHBoxLayout(resetGroup);
    resetLayout->setContentsMargins(14, 10, 14, 12);
    resetButton_ = new QPushButton(QStringLiteral("Gen. Reset"), resetGroup);
    resetButton_->setObjectName(QStringLiteral("resetButton"));
    resetButton_->setFixedWidth(kButtonWidth);
    resetButton_->setAutoDefault(false);
    resetLayout->addWidget(resetButton_);
    resetLayout->addStretch();

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(20);
    grid->setVerticalSpacing(16);
    grid->addWidget(writeGroup, 0, 0);
    grid->addWidget(readGroup, 0, 1);
    grid->addWidget(deviceGroup, 1, 0);
    grid->addWidget(resetGroup, 1, 1);
    auto* centred = new QHBoxLayout;
    centred->addStretch();
    centred->addLayout(grid);
    centred->addStretch();
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(16, 16, 16, 16);
    page->addStretch(2);
    page->addLayout(centred);
    page->addStretch(3);

    connect(writeButton_, &QPushButton::clicked, this, [this] {
        TakeFields();
        {
            const CBoardActivity activity;
            page_.Write();
        }
        ShowFields();
    });
    connect(readButton_, &QPushButton::clicked, this, [this] {
        TakeFields();
        {
            const CBoardActivity activity;
            page_.Read();
        }
        ShowFields();
    });
    connect(resetButton_, &QPushButton::clicked, this, [this] {
        TakeFields();
        {
            const CBoardActivity activity;
            page_.GenReset();
        }
        ShowFields();
    });
    ShowFields();
}

void CZLINKControlView::TakeFields() {
    page_.writeAddress = writeAddress_->FieldText();
    page_.writeData = writeData_->FieldText();
    page_.readAddress = readAddress_->FieldText();
    page_.readData = readData_->FieldText();
    page_.writeWidth = write8_->isChecked() ? RegWidth::Bits8 : RegWidth::Bits16;
    page_.readWidth = read8_->isChecked() ? RegWidth::Bits8 : RegWidth::Bits16;
    page_.device1 = devices_[0]->isChecked();
    page_.device2 = devices_[1]->isChecked();
}

void CZLINKControlView::ShowFields() {
    writeAddress_->SetFieldText(page_.writeAddress);
    writeData_->SetFieldText(page_.writeData);
    readAddress_->SetFieldText(page_.readAddress);
    readData_->SetFieldText(page_.readData);
    (page_.writeWidth == RegWidth::Bits8 ? write8_ : write16_)->setChecked(true);
    (page_.readWidth == RegWidth::Bits8 ? read8_ : read16_)->setChecked(true);
    devices_[page_.Device() - 1]->setChecked(true);
}
