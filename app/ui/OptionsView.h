#pragma once
// "Options" on screen: the board name field, "Set Name", OK and Cancel.
#include <QDialog>

class COptions;
class QLineEdit;
class QPushButton;

class COptionsView final : public QDialog {
    Q_OBJECT
public:
    // Runs the options' OnInitDialog and shows the name.
    COptionsView(COptions& options, QWidget* parent = nullptr);
    QLineEdit* NameField() const { return name_; }
    QPushButton* SetNameButton() const { return setName_; }

private:
    void SetName();

    COptions& options_;
    QLineEdit* name_ = nullptr;
    QPushButton* setName_ = nullptr;
};
