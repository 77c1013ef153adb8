#include "loading/ui/KernletView.h"

#include "core/PageHost.h"
#include "link/MB805QBrd.h"
#include "link/Messages.h"
#include "link/ui/BoardActivity.h"
#include "link/ui/ProgressView.h"
#include "loading/KernletTexts.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString Text(const char* text) { return QString::fromLatin1(text); }

// The page's groups share one width, centred on the page like the other short pages; the
// buttons have the width of the sheet's other page buttons.
constexpr int kColumnWidth = 640;
constexpr int kButtonWidth = 88;

void GroupMargins(QLayout* layout) { layout->setContentsMargins(14, 10, 14, 12); }

}  // namespace

class CKernletView::ChecksumsDialog final : public ChecksumsPrompt {
public:
    explicit ChecksumsDialog(QWidget* owner) : owner_(owner) {}
    bool Ignore(const CChecksums& checksums) override {
        CChecksumsView dialog(checksums, owner_->window());
        return dialog.exec() == QDialog::Accepted;
    }

private:
    QWidget* owner_;
};

CChecksumsView::CChecksumsView(const CChecksums& checksums, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("checksumsDialog"));
    setWindowTitle(Text(kChecksumsCaption));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 12);
    layout->setSpacing(6);
    layout->addWidget(new QLabel(Text(kChecksumsHeading), this));
    auto* block1 = new QLabel(QString::fromStdString(checksums.Block1Text()), this);
    auto* block2 = new QLabel(QString::fromStdString(checksums.Block2Text()), this);
    block1->setObjectName(QStringLiteral("block1Checksum"));
    block2->setObjectName(QStringLiteral("block2Checksum"));
    for (QLabel* label : {block1, block2}) {
        label->setIndent(12);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(label);
    }
    layout->addSpacing(10);
    auto* buttons = new QHBoxLayout;
    auto* ignore = new QPushButton(Text(kChecksumsIgnore), this);
    auto* cancel = new QPushButton(Text(kChecksumsCancel), this);
    ignore->setObjectName(QStringLiteral("ignoreButton"));
    cancel->setObjectName(QStringLiteral("cancelButton"));
    ignore->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(ignore);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(ignore, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

CKernletView::CKernletView(PageHost& host, QWidget* parent) : QWidget(parent), host_(host), page_(host) {
    setObjectName(QStringLiteral("kernletPage"));
    auto* column = new QVBoxLayout;
    column->setSpacing(16);

    auto* fileGroup = new QGroupBox(Text(kKernletGroupSelect), this);
    auto* fileLayout = new QGridLayout(fileGroup);
    GroupMargins(fileLayout);
    fileLayout->setHorizontalSpacing(12);
    auto* label = new QLabel(Text(kKernletLabel), fileGroup);
    path_ = new QLineEdit(fileGroup);
    path_->setObjectName(QStringLiteral("kernletPath"));
    label->setBuddy(path_);
    browse_ = new QPushButton(Text(kKernletBrowse), fileGroup);
    browse_->setObjectName(QStringLiteral("browseButton"));
    fileLayout->addWidget(label, 0, 0);
    fileLayout->addWidget(path_, 0, 1);
    fileLayout->addWidget(browse_, 0, 2);
    fileLayout->setColumnStretch(1, 1);
    column->addWidget(fileGroup);

    auto* deviceGroup = new QGroupBox(Text(kKernletGroupDevice), this);
    auto* deviceLayout = new QVBoxLayout(deviceGroup);
    GroupMargins(deviceLayout);
    const char* names[] = {kKernletDevice1, kKernletDevice2, kKernletDevice3};
    for (size_t i = 0; i < devices_.size(); ++i) {
        devices_[i] = new QRadioButton(Text(names[i]), deviceGroup);
        devices_[i]->setObjectName(QStringLiteral("device%1").arg(i + 1));
        deviceLayout->addWidget(devices_[i]);
    }
    // The kit is driven as one device: the other two choices stay hidden.
    devices_[1]->hide();
    devices_[2]->hide();
    column->addWidget(deviceGroup);

    auto* loadGroup = new QGroupBox(Text(kKernletGroupLoad), this);
    auto* loadLayout = new QHBoxLayout(loadGroup);
    GroupMargins(loadLayout);
    loadLayout->setSpacing(12);
    progress_ = new QProgressBar(loadGroup);
    progress_->setObjectName(QStringLiteral("kernletProgress"));
    progress_->setTextVisible(false);
    load_ = new QPushButton(Text(kKernletLoad), loadGroup);
    load_->setObjectName(QStringLiteral("loadButton"));
    loadLayout->addWidget(progress_, 1);
    loadLayout->addWidget(load_);
    column->addWidget(loadGroup);

    for (QGroupBox* group : {fileGroup, deviceGroup, loadGroup}) group->setFixedWidth(kColumnWidth);
    for (QPushButton* button : {browse_, load_}) {
        button->setFixedWidth(std::max(kButtonWidth, button->sizeHint().width()));
        button->setAutoDefault(false);
    }

    auto* centred = new QHBoxLayout;
    centred->addStretch();
    centred->addLayout(column);
    centred->addStretch();
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(16, 16, 16, 16);
    page->addStretch(2);
    page->addLayout(centred);
    page->addStretch(3);

    bar_ = std::make_unique<CProgressBarControl>(progress_);
    checksumsDialog_ = std::make_unique<ChecksumsDialog>(this);
    page_.SetProgressBar(bar_.get());
    page_.SetChecksumsPrompt(checksumsDialog_.get());
    page_.OnInitDialog();
    progress_->setValue(0);
    ShowFields();

    connect(browse_, &QPushButton::clicked, this, &CKernletView::OnBrowse);
    connect(load_, &QPushButton::clicked, this, &CKernletView::OnLoad);
}

CKernletView::~CKernletView() {
    // The page may still hold the bar and the dialog; they go first.
    page_.SetProgressBar(nullptr);
    page_.SetChecksumsPrompt(nullptr);
}

void CKernletView::TakeFields() {
    page_.kernletPath = path_->text().toStdString();
    page_.device1 = devices_[0]->isChecked();
    page_.device2 = devices_[1]->isChecked();
}

void CKernletView::ShowFields() {
    path_->setText(QString::fromStdString(page_.kernletPath));
    devices_[page_.Device() - 1]->setChecked(true);
}

void CKernletView::OnBrowse() {
    TakeFields();
    if (page_.OnBrowse()) ShowFields();
}

void CKernletView::OnLoad() {
    TakeFields();
    // A load holds the window's thread for as long as the line takes (half a minute for a large
    // Kernlet); the bar advances and the window stays painted meanwhile.
    const CBoardActivity activity;
    (void)page_.OnLoad();
}
