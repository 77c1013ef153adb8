#include "registers/ui/EntryField.h"

#include <algorithm>

CEntryField::CEntryField(QWidget* parent) : QLineEdit(parent) {
    // Once the user has shortened a long loaded text, the field may not grow past that again.
    connect(this, &QLineEdit::textEdited, this, [this] { FitMaxLength(); });
}

void CEntryField::SetUpperCase() {
    // Only what the user types is turned: a text the program puts in stays as it is, so the
    // screen never shows other letters than the page's field holds.
    connect(this, &QLineEdit::textEdited, this, [this](const QString& typed) {
        const QString upper = typed.toUpper();
        if (upper == typed) return;
        const int cursor = cursorPosition();
        setText(upper);
        setCursorPosition(cursor);
    });
}

void CEntryField::SetLimit(size_t chars) {
    limit_ = std::min<size_t>(chars, 32767);
    FitMaxLength();
}

void CEntryField::FitMaxLength() {
    setMaxLength(std::max(static_cast<int>(limit_), static_cast<int>(text().size())));
}

void CEntryField::SetReadOnlyCell(bool readOnly) {
    setReadOnly(readOnly);
    QPalette p = palette();
    const QPalette standard = parentWidget() ? parentWidget()->palette() : QPalette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(
            group, QPalette::Base,
            readOnly ? standard.color(group, QPalette::Window) : standard.color(group, QPalette::Base));
    }
    setPalette(p);
}

void CEntryField::SetFieldText(const std::string& text) {
    const QString t = QString::fromStdString(text);
    // The limit must not cut a text the program puts in, so it widens first.
    setMaxLength(std::max(static_cast<int>(limit_), static_cast<int>(t.size())));
    setText(t);
    FitMaxLength();
}

void UseDialogFont(QWidget* page) {
    constexpr qreal kMaxPoints = 9.0;
    constexpr int kMaxPixels = 12;
    QFont font = page->font();
    if (font.pointSizeF() > kMaxPoints) {
        font.setPointSizeF(kMaxPoints);
    } else if (font.pointSizeF() <= 0 && font.pixelSize() > kMaxPixels) {
        font.setPixelSize(kMaxPixels);
    }
    page->setFont(font);
}

CEntryField* NewHexField(size_t limit, QWidget* parent) {
    auto* field = new CEntryField(parent);
    field->SetUpperCase();
    field->SetLimit(limit);
    field->setAlignment(Qt::AlignCenter);
    return field;
}
