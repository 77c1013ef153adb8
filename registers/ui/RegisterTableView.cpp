#include "registers/ui/RegisterTableView.h"

#include "link/ui/BoardActivity.h"

#include "registers/ui/EntryField.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

constexpr int kRowsPerHalf = CRegisterTablePage::kRows / 2;

// Column widths of a half; Description takes what is left.
constexpr int kNumberWidth = 16;
constexpr int kAddressWidth = 36;
constexpr int kTypeWidth = 86;
constexpr int kUpdateWidth = 26;
constexpr int kDataWidth = 46;
constexpr int kEnableWidth = 42;
enum Column { kNumberCol, kDescriptionCol, kAddressCol, kTypeCol, kUpdateCol, kDataCol, kEnableCol };

constexpr int kButtonWidth = 104;
constexpr int kButtonHeight = 24;

QLabel* Caption(const char* text, Qt::Alignment align, QWidget* parent) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setAlignment(align | Qt::AlignBottom);
    return label;
}

QPushButton* PageButton(const char* text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setFixedSize(kButtonWidth, kButtonHeight);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

CRegisterTableView::CRegisterTableView(PageHost& host, TablePageKind kind, QWidget* parent)
    : QWidget(parent) {
    if (kind == TablePageKind::Ext1) {
        page_ = std::make_unique<CZLINKControlExt1>(host);
    } else {
        page_ = std::make_unique<CZLINKControlExt2>(host);
    }
    setObjectName(kind == TablePageKind::Ext1 ? QStringLiteral("registerTablePage1")
                                              : QStringLiteral("registerTablePage2"));
    UseDialogFont(this);

    auto* halves = new QHBoxLayout;
    halves->setSpacing(8);
    halves->addWidget(BuildHalf(1, "1"));
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    halves->addWidget(line);
    halves->addWidget(BuildHalf(kRowsPerHalf + 1, kind == TablePageKind::Ext2 ? "21" : ""));

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(8, 6, 8, 8);
    page->setSpacing(0);
    page->addLayout(halves);
    page->addStretch();
    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    page->addWidget(rule);
    page->addSpacing(6);
    page->addWidget(BuildButtons(kind));

    for (int r = 1; r <= CRegisterTablePage::kRows; ++r) ConnectRow(r);
    ShowPage();
}

CRegisterTableView::~CRegisterTableView() = default;

QWidget* CRegisterTableView::BuildHalf(int firstRow, const char* firstRowLabel) {
    auto* half = new QWidget(this);
    auto* grid = new QGridLayout(half);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(kRowGap);

    const Qt::Alignment left = Qt::AlignLeft, centre = Qt::AlignHCenter;
    // Left captions start where the text in their cells starts.
    auto* description = Caption("Description", left, half);
    description->setContentsMargins(3, 0, 0, 0);
    grid->addWidget(description, 0, kDescriptionCol);
    grid->addWidget(Caption("Address", centre, half), 0, kAddressCol);
    auto* type = Caption("Type", left, half);
    type->setContentsMargins(3, 0, 0, 0);
    grid->addWidget(type, 0, kTypeCol);
    grid->addWidget(Caption("Update", centre, half), 0, kUpdateCol);
    grid->addWidget(Caption("Data", centre, half), 0, kDataCol);
    grid->addWidget(Caption("Enable", centre, half), 0, kEnableCol);

    grid->setColumnMinimumWidth(kNumberCol, kNumberWidth);
    grid->setColumnStretch(kDescriptionCol, 1);
    grid->setColumnMinimumWidth(kAddressCol, kAddressWidth);
    grid->setColumnMinimumWidth(kTypeCol, kTypeWidth);
    grid->setColumnMinimumWidth(kUpdateCol, kUpdateWidth);
    grid->setColumnMinimumWidth(kDataCol, kDataWidth);
    grid->setColumnMinimumWidth(kEnableCol, kEnableWidth);

    if (*firstRowLabel) {
        auto* number = new QLabel(QString::fromLatin1(firstRowLabel), half);
        number->setObjectName(QStringLiteral("rowLabel%1").arg(firstRow));
        number->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        number->setFixedHeight(kRowHeight);
        grid->addWidget(number, 1, kNumberCol);
    }

    for (int i = 0; i < kRowsPerHalf; ++i) {
        const int number = firstRow + i;
        const int gridRow = i + 1;
        RowControls& row = rows_[static_cast<size_t>(number - 1)];

        row.description = new CEntryField(half);
        row.description->SetLimit(CRegisterTablePage::kDescriptionChars);
        row.description->setObjectName(QStringLiteral("description%1").arg(number));
        row.description->setFixedHeight(kRowHeight);
        row.description->setMinimumWidth(60);
        grid->addWidget(row.description, gridRow, kDescriptionCol);

        row.address = NewHexField(CZLINKControl::kAddressChars, half);
        row.address->setObjectName(QStringLiteral("address%1").arg(number));
        row.address->setFixedSize(kAddressWidth, kRowHeight);
        grid->addWidget(row.address, gridRow, kAddressCol);

        row.type = new QComboBox(half);
        row.type->setObjectName(QStringLiteral("type%1").arg(number));
        for (const char* name : kRowTypeNames) row.type->addItem(QString::fromLatin1(name));
        row.type->setCurrentIndex(-1);
        row.type->setFixedSize(kTypeWidth, kRowHeight);
        grid->addWidget(row.type, gridRow, kTypeCol);

        row.update = new QPushButton(half);
        row.update->setObjectName(QStringLiteral("update%1").arg(number));
        row.update->setFixedSize(kUpdateWidth, kRowHeight);
        row.update->setAutoDefault(false);
        grid->addWidget(row.update, gridRow, kUpdateCol);

        row.data = NewHexField(CZLINKControl::kDataChars, half);
        row.data->setObjectName(QStringLiteral("data%1").arg(number));
        row.data->setFixedSize(kDataWidth, kRowHeight);
        grid->addWidget(row.data, gridRow, kDataCol);

        row.enable = new QCheckBox(half);
        row.enable->setObjectName(QStringLiteral("enable%1").arg(number));
        row.enable->setFixedHeight(kRowHeight);
        grid->addWidget(row.enable, gridRow, kEnableCol, Qt::AlignCenter);
    }
    return half;
}

QWidget* CRegisterTableView::BuildButtons(TablePageKind kind) {
    auto* band = new QWidget(this);
    auto* layout = new QHBoxLayout(band);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);

    writeAll_ = PageButton("Wr all", "writeAll", band);
    readAll_ = PageButton("Rd all", "readAll", band);
    bothAll_ = PageButton("Wr\\Rd all", "bothAll", band);
    lock_ = PageButton("Lock", "lock", band);
    lock_->setCheckable(true);
    clearAll_ = PageButton("Clear all", "clearAll", band);
    clearData_ = PageButton("Clear data", "clearData", band);
    openConfig_ = PageButton("Open Config...", "openConfig", band);
    saveConfig_ = PageButton("Save Config...", "saveConfig", band);

    auto* runs = new QGridLayout;
    runs->setHorizontalSpacing(6);
    runs->setVerticalSpacing(6);
    runs->addWidget(writeAll_, 0, 0);
    runs->addWidget(readAll_, 0, 1);
    runs->addWidget(bothAll_, 0, 2);
    runs->addWidget(lock_, 1, 0);
    runs->addWidget(clearAll_, 1, 1);
    runs->addWidget(clearData_, 1, 2);
    layout->addLayout(runs);

    auto* files = new QGridLayout;
    files->setHorizontalSpacing(6);
    files->setVerticalSpacing(6);
    files->addWidget(openConfig_, 0, 0);
    files->addWidget(saveConfig_, 1, 0);
    layout->addLayout(files);

    if (kind == TablePageKind::Ext1) {
        auto* delayRow = new QHBoxLayout;
        delayRow->setSpacing(6);
        auto* label = new QLabel(QStringLiteral("Delay by instruction(ms)"), band);
        delay_ = new CEntryField(band);
        delay_->setObjectName(QStringLiteral("delay"));
        delay_->SetLimit(5);
        // A number of milliseconds: digits only.
        delay_->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), delay_));
        delay_->setAlignment(Qt::AlignCenter);
        delay_->setFixedSize(48, kRowHeight);
        label->setBuddy(delay_);
        delayRow->addWidget(label);
        delayRow->addWidget(delay_);
        layout->addLayout(delayRow);
        auto* ext1 = static_cast<CZLINKControlExt1*>(page_.get());
        connect(delay_, &QLineEdit::textEdited, this,
                [this, ext1] { ext1->delayText = delay_->FieldText(); });
    }
    layout->addStretch();

    auto* deviceGroup = new QGroupBox(QStringLiteral("Select Target Device"), band);
    auto* deviceLayout = new QVBoxLayout(deviceGroup);
    deviceLayout->setContentsMargins(12, 6, 12, 8);
    auto* deviceButtons = new QButtonGroup(deviceGroup);
    for (size_t d = 0; d < devices_.size(); ++d) {
        devices_[d] = new QRadioButton(QStringLiteral("Z-LINK Device %1").arg(d + 1), deviceGroup);
        devices_[d]->setObjectName(QStringLiteral("device%1").arg(d + 1));
        deviceButtons->addButton(devices_[d]);
        deviceLayout->addWidget(devices_[d]);
    }
    // The kit is driven as one device: the other two choices stay hidden.
    devices_[1]->hide();
    devices_[2]->hide();
    layout->addWidget(deviceGroup, 0, Qt::AlignBottom);

    connect(writeAll_, &QPushButton::clicked, this,
            [this] { Run([this] { page_->RunAll(AllRowsRun::Write); }); });
    connect(readAll_, &QPushButton::clicked, this,
            [this] { Run([this] { page_->RunAll(AllRowsRun::Read); }); });
    connect(bothAll_, &QPushButton::clicked, this,
            [this] { Run([this] { page_->RunAll(AllRowsRun::Both); }); });
    connect(clearAll_, &QPushButton::clicked, this, [this] { Run([this] { page_->ClearAll(); }); });
    connect(clearData_, &QPushButton::clicked, this, [this] { Run([this] { page_->ClearData(); }); });
    connect(openConfig_, &QPushButton::clicked, this, [this] { Run([this] { page_->OpenConfig(); }); });
    connect(saveConfig_, &QPushButton::clicked, this, [this] { Run([this] { page_->SaveConfig(); }); });
    connect(lock_, &QPushButton::toggled, this, [this](bool pressed) {
        page_->SetLocked(pressed);
        ShowLock();
    });
    for (QRadioButton* device : devices_) {
        connect(device, &QRadioButton::toggled, this, [this] { TakeDevice(); });
    }
    return band;
}

void CRegisterTableView::ConnectRow(int number) {
    const RowControls& row = Row(number);
    RegisterRow& r = page_->Row(number);
    connect(row.description, &QLineEdit::textEdited, this,
            [&r, field = row.description] { r.description = field->FieldText(); });
    connect(row.address, &QLineEdit::textEdited, this,
            [&r, field = row.address] { r.address = field->FieldText(); });
    connect(row.data, &QLineEdit::textEdited, this, [&r, field = row.data] { r.data = field->FieldText(); });
    connect(row.enable, &QCheckBox::toggled, this, [&r](bool on) { r.enabled = on; });
    connect(row.type, &QComboBox::activated, this, [this, number](int index) {
        const auto type = static_cast<RowType>(index);
        if (index < 0 || type == page_->Row(number).type) return;
        page_->ApplyType(number, type);
        ShowRow(number);
    });
    connect(row.update, &QPushButton::clicked, this,
            [this, number] { Run([this, number] { page_->UpdateRow(number); }); });
}

template <typename Operation>
void CRegisterTableView::Run(Operation op) {
    TakeDevice();
    page_->focus.reset();
    {
        // An all-rows run sends its accesses one after another on the window's thread.
        const CBoardActivity activity;
        op();
    }
    ShowPage();
    if (page_->focus) {
        if (QWidget* cell = CellWidget(page_->focus->row, page_->focus->cell)) {
            cell->setFocus(Qt::OtherFocusReason);
        }
    }
}

QWidget* CRegisterTableView::CellWidget(int row, RowCell cell) const {
    if (row < 1 || row > CRegisterTablePage::kRows) return nullptr;
    const RowControls& r = Row(row);
    switch (cell) {
        case RowCell::Description: return r.description;
        case RowCell::Address: return r.address;
        case RowCell::Type: return r.type;
        case RowCell::Data: return r.data;
    }
    return nullptr;
}

void CRegisterTableView::TakeDevice() {
    page_->device1 = devices_[0]->isChecked();
    page_->device2 = devices_[1]->isChecked();
}

void CRegisterTableView::ShowRow(int number) {
    const RowControls& row = Row(number);
    const RegisterRow& r = page_->Row(number);
    row.description->SetFieldText(r.description);
    row.address->SetFieldText(r.address);
    {
        const QSignalBlocker block(row.type);
        row.type->setCurrentIndex(static_cast<int>(r.type));
    }
    row.update->setText(QString::fromLatin1(r.UpdateCaption()));
    row.data->SetLimit(r.DataLimit());
    row.data->SetFieldText(r.data);
    row.data->SetReadOnlyCell(r.DataReadOnly());
    {
        const QSignalBlocker block(row.enable);
        row.enable->setChecked(r.enabled);
    }
}

void CRegisterTableView::ShowLock() {
    const bool editable = !page_->Locked();
    for (const RowControls& row : rows_) {
        row.description->setEnabled(editable);
        row.address->setEnabled(editable);
        row.type->setEnabled(editable);
    }
    clearAll_->setEnabled(editable);
    const QSignalBlocker block(lock_);
    lock_->setChecked(page_->Locked());
}

void CRegisterTableView::ShowPage() {
    for (int r = 1; r <= CRegisterTablePage::kRows; ++r) ShowRow(r);
    ShowLock();
    {
        const QSignalBlocker block0(devices_[0]), block1(devices_[1]), block2(devices_[2]);
        devices_[page_->Device() - 1]->setChecked(true);
    }
    if (delay_) delay_->SetFieldText(static_cast<CZLINKControlExt1&>(*page_).delayText);
}
