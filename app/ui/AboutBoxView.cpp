#include "app/ui/AboutBoxView.h"

#include "app/AboutBox.h"
#include "app/ui/ProgramIcon.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <array>

namespace {

// The texts' object names, in CAboutBox::Text order.
constexpr std::array<const char*, CAboutBox::kTextCount> kTextNames = {
    "programVersion", "boardVersion", "commandBuffer", "dataBuffer", "fileBuffer", "firmwareVersion", "code"};

}  // namespace

CAboutBoxView::CAboutBoxView(CAboutBox& box, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("aboutBox"));
    box.OnInitDialog();
    setWindowTitle(QString::fromStdString(box.caption));

    auto* layout = new QGridLayout(this);
    layout->setHorizontalSpacing(16);
    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    layout->addWidget(icon, 0, 0, 2, 1);

    auto* textColumn = new QVBoxLayout;
    textColumn->setSpacing(4);
    for (size_t i = 0; i < box.texts.size(); ++i) {
        auto* text = new QLabel(QString::fromStdString(box.texts[i]), this);
        text->setObjectName(QLatin1String(kTextNames[i]));
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        textColumn->addWidget(text);
        // The program's own version stands apart from what the board reported.
        if (i == CAboutBox::ProgramVersion) {
            QFont bold = text->font();
            bold.setBold(true);
            text->setFont(bold);
            textColumn->addSpacing(10);
        }
    }
    layout->addLayout(textColumn, 0, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons, 2, 0, 1, 2);
    layout->setRowMinimumHeight(1, 8);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
