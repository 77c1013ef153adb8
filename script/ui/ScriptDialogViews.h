#pragma once
// The two dialogs of a paused script on screen: thin views over CDialog_Entry and CDialog_YesNo.
#include "script/ScriptDialogs.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace script {

// Sizes in pixels of the dialogs' 248 x 89 and 216 x 73 dialog units at the usual dialog font.
inline constexpr int kEntryDialogWidth = 372;
inline constexpr int kEntryDialogHeight = 145;
inline constexpr int kYesNoDialogWidth = 324;
inline constexpr int kYesNoDialogHeight = 119;

class CDialog_EntryView final : public QDialog {
    Q_OBJECT
public:
    CDialog_EntryView(CDialog_Entry& dialog, QWidget* parent = nullptr);
    // Shows the dialog modally; OK copies the entry into the dialog's field.
    CDialog_Entry::Result Run();

public Q_SLOTS:
    void accept() override;

private:
    CDialog_Entry& dialog_;
    QLabel* prompt_ = nullptr;
    QLineEdit* entry_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* abort_ = nullptr;
};

class CDialog_YesNoView final : public QDialog {
    Q_OBJECT
public:
    CDialog_YesNoView(CDialog_YesNo& dialog, QWidget* parent = nullptr);
    // Shows the dialog modally; the answer is in the dialog's result afterwards.
    void Run();

public Q_SLOTS:
    // Escape and the close box: Abort.
    void reject() override;

private:
    CDialog_YesNo& dialog_;
    QLabel* prompt_ = nullptr;
    QPushButton* yes_ = nullptr;
    QPushButton* no_ = nullptr;
    QPushButton* abort_ = nullptr;
};

}  // namespace script
