#pragma once
// "COM PORT" on screen: the port list with OK and Cancel; the line settings are kept in hidden
// controls that carry the stored values through unchanged.
#include <QDialog>

#include <array>

class CComPortDialog;
class QButtonGroup;
class QComboBox;
class QWidget;

class CComPortDialogView final : public QDialog {
    Q_OBJECT
public:
    // Runs the logic's OnInitDialog and shows its fields.
    CComPortDialogView(CComPortDialog& dialog, QWidget* parent = nullptr);

    void accept() override;
    void reject() override;

private:
    CComPortDialog& dialog_;
    QComboBox* portList_ = nullptr;
    QComboBox* baudList_ = nullptr;
    std::array<QButtonGroup*, 4> groups_{};
};

// Shows the dialog modally; true for OK.
bool RunComPortDialogView(CComPortDialog& dialog, QWidget* parent);
