#include "app/ui/AboutBoxView.h"

#include "app/AboutBox.h"
#include "app/ui/ProgramIcon.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

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
    for (size_t i = 0; i < texts_.size(); ++i) {
        texts_[i] = new QLabel(QString::fromStdString(box.texts[i]), this);
        texts_[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        textColumn->addWidget(texts_[i]);
        // The program's own version stands apart from what the board reported.
        if (i == CAboutBox::ProgramVersion) {
            QFont bold = texts_[i]->font();
            bold.setBold(true);
            texts_[i]->setFont(bold);
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
