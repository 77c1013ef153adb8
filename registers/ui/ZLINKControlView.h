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
