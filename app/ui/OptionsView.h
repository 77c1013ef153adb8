#pragma once
// "Options" on screen: the board name field, "Set Name", OK and Cancel.
#include <QDialog>

class COptions;
class QLineEdit;

class COptionsView final : public QDialog {
    Q_OBJECT
public:
    // Runs the options' OnInitDialog and shows the name.
    COptionsView(COptions& options, QWidget* parent = nullptr);

private:
    void SetName();

    COptions& options_;
    QLineEdit* name_ = nullptr;
};
