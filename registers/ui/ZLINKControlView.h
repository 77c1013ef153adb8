#pragma once
// The "Z-LINK Control" tab: a thin view over CZLINKControl. It copies the controls into the
// page's fields before each operation and shows the fields again afterwards.
#include "registers/ZLINKControl.h"

#include <QWidget>

class CEntryField;
class QPushButton;
class QRadioButton;

class CZLINKControlView final : public QWidget {
    Q_OBJECT
public:
    explicit CZLINKControlView(PageHost& host, QWidget* parent = nullptr);

    CZLINKControl& Page() { return page_; }

    CEntryField* WriteAddressField() const { return writeAddress_; }
    CEntryField* WriteDataField() const { return writeData_; }
    CEntryField* ReadAddressField() const { return readAddress_; }
    CEntryField* ReadDataField() const { return readData_; }
    QRadioButton* WriteWidth8() const { return write8_; }
    QRadioButton* WriteWidth16() const { return write16_; }
    QRadioButton* ReadWidth8() const { return read8_; }
    QRadioButton* ReadWidth16() const { return read16_; }
    QRadioButton* DeviceChoice(int device) const { return devices_[device - 1]; }
    QPushButton* WriteButton() const { return writeButton_; }
    QPushButton* ReadButton() const { return readButton_; }
    QPushButton* ResetButton() const { return resetButton_; }

private:
    void TakeFields();
    void ShowFields();

    CZLINKControl page_;
    CEntryField* writeAddress_ = nullptr;
    CEntryField* writeData_ = nullptr;
    CEntryField* readAddress_ = nullptr;
    CEntryField* readData_ = nullptr;
    QRadioButton* write8_ = nullptr;
    QRadioButton* write16_ = nullptr;
    QRadioButton* read8_ = nullptr;
    QRadioButton* read16_ = nullptr;
    QRadioButton* devices_[3] = {};
    QPushButton* writeButton_ = nullptr;
    QPushButton* readButton_ = nullptr;
    QPushButton* resetButton_ = nullptr;
};
