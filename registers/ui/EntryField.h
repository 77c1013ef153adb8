#pragma once
// The entry cells of the register pages. Typed letters can be turned to upper case, and the
// length limit holds for typing only: a text the program puts in (a loaded configuration file)
// is shown whole, and the user can then only shorten it until it fits the limit again.
#include <QLineEdit>

#include <string>

class CEntryField final : public QLineEdit {
    Q_OBJECT
public:
    explicit CEntryField(QWidget* parent = nullptr);

    // Letters typed or pasted come out in upper case. Connect to textEdited after this call to
    // see the text in upper case.
    void SetUpperCase();
    void SetLimit(size_t chars);
    size_t Limit() const { return limit_; }
    // Read-only cells are drawn on the page's colour, as a field that cannot be typed into.
    void SetReadOnlyCell(bool readOnly);

    // The text as the logic holds it (UTF-8), put in without the typing limit.
    void SetFieldText(const std::string& text);
    std::string FieldText() const { return text().toStdString(); }

private:
    void FitMaxLength();

    size_t limit_ = 32767;
};

// The register pages are laid out in exact pixels inside a window of fixed size, as a dialog
// is: they keep to a dialog-sized font (at most 9 points) even where the desktop's is larger.
void UseDialogFont(QWidget* page);

// A centred, upper-case hexadecimal entry cell with its limit.
CEntryField* NewHexField(size_t limit, QWidget* parent);
