#pragma once
// The "Z-LINK Ctrl Ext.1" and "Z-LINK Ctrl Ext.2" tabs: a thin view over a register table page.
// Typed cells go into the page's rows as they change; after every operation the rows are shown
// again from the page, and the focus moves to the cell the page names after a failed check.
#include "registers/RegisterTable.h"

#include <QWidget>

#include <array>
#include <memory>

class CEntryField;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

enum class TablePageKind { Ext1, Ext2 };

class CRegisterTableView final : public QWidget {
    Q_OBJECT
public:
    // The controls of one row.
    struct RowControls {
        CEntryField* description = nullptr;
        CEntryField* address = nullptr;
        QComboBox* type = nullptr;
        QPushButton* update = nullptr;
        CEntryField* data = nullptr;
        QCheckBox* enable = nullptr;
    };

    // Row geometry: compact enough for 20 rows a half in the taller tab.
    static constexpr int kRowHeight = 22;
    static constexpr int kRowGap = 2;

    CRegisterTableView(PageHost& host, TablePageKind kind, QWidget* parent = nullptr);
    ~CRegisterTableView() override;

    CRegisterTablePage& Page() { return *page_; }
    const RowControls& Row(int number) const { return rows_.at(static_cast<size_t>(number - 1)); }
    QWidget* CellWidget(int row, RowCell cell) const;

    // Shows every row, the lock and the device choice from the page.
    void ShowPage();

private:
    QWidget* BuildHalf(int firstRow, const char* firstRowLabel);
    QWidget* BuildButtons(TablePageKind kind);
    void ConnectRow(int number);
    void ShowRow(int number);
    void ShowLock();
    void TakeDevice();
    // Runs an operation of the page, then shows its result and moves the focus where it says.
    template <typename Operation>
    void Run(Operation op);

    std::unique_ptr<CRegisterTablePage> page_;
    std::array<RowControls, CRegisterTablePage::kRows> rows_{};
    QPushButton* openConfig_ = nullptr;
    QPushButton* saveConfig_ = nullptr;
    QPushButton* writeAll_ = nullptr;
    QPushButton* readAll_ = nullptr;
    QPushButton* bothAll_ = nullptr;
    QPushButton* clearAll_ = nullptr;
    QPushButton* clearData_ = nullptr;
    QPushButton* lock_ = nullptr;
    std::array<QRadioButton*, 3> devices_{};
    CEntryField* delay_ = nullptr;
};
