#pragma once
// The two register table pages: 40 rows, each writing or reading one register, alone or in
// all-rows runs, saved to and loaded from configuration files.
#include "link/PageHost.h"
#include "registers/ZLINKControl.h"

#include <array>
#include <functional>
#include <optional>
#include <string>

enum class RowType : int { None = -1, Rd16 = 0, Wr16 = 1, Rd8 = 2, Wr8 = 3 };

inline constexpr std::array<const char*, 4> kRowTypeNames = {"16 bit Rd", "16 bit Wr", "8 bit Rd",
                                                             "8 bit Wr"};
inline constexpr const char* kMsgSelectType = "Error - Select Z-LINK register type";

struct RegisterRow {
    std::string description;
    std::string address;
    RowType type = RowType::None;
    std::string data;
    bool enabled = false;

    bool IsRead() const { return type == RowType::Rd16 || type == RowType::Rd8; }
    bool IsWrite() const { return type == RowType::Wr16 || type == RowType::Wr8; }
    // What the row's type makes of its cells.
    const char* UpdateCaption() const { return IsRead() ? "R" : IsWrite() ? "W" : "X"; }
    size_t DataLimit() const { return type == RowType::Rd8 || type == RowType::Wr8 ? 2 : 4; }
    bool DataReadOnly() const { return IsRead(); }
};

// Where the page puts the keyboard focus after a failed check.
enum class RowCell { Description, Address, Type, Data };
struct FocusTarget {
    int row;  // 1..40
    RowCell cell;
};

enum class AllRowsRun { Write, Read, Both };
// What the all-rows runs count as they go (ProgressSink): the rows they access.
inline constexpr const char* kProgressWritingRows = "Writing registers";
inline constexpr const char* kProgressReadingRows = "Reading registers";
inline constexpr const char* kProgressWritingReadingRows = "Writing and reading registers";
inline constexpr const char* kProgressUnitRows = "rows";

class CRegisterTablePage {
public:
    static constexpr int kRows = 40;
    static constexpr size_t kDescriptionChars = 64;

    explicit CRegisterTablePage(PageHost& host) : host_(host) {}
    virtual ~CRegisterTablePage() = default;

    virtual const char* Caption() const = 0;

    RegisterRow& Row(int number) { return rows_.at(static_cast<size_t>(number - 1)); }
    const RegisterRow& Row(int number) const { return rows_.at(static_cast<size_t>(number - 1)); }

    bool device1 = true, device2 = false;  // neither: device 3
    uint8_t Device() const { return device1 ? 1 : device2 ? 2 : 3; }

    // A type chosen in a row, as the user's choice applies it: the Data cell is emptied.
    void ApplyType(int row, RowType type);
    // The row's Update button.
    PageResult UpdateRow(int row);
    PageResult RunAll(AllRowsRun run);
    void SetLocked(bool locked) { locked_ = locked; }
    bool Locked() const { return locked_; }
    void ClearAll();
    void ClearData();

    // "Open Config..." and "Save Config...": ask for the file, then load or save it.
    void OpenConfig();
    void SaveConfig();
    // The same without the dialog. Loading shows its messages; false when the file was refused.
    bool LoadConfigFile(const std::string& path);
    bool SaveConfigFile(const std::string& path);

    // Set when a check failed: the cell the view moves the focus to.
    std::optional<FocusTarget> focus;
    // Called after each row an access reached the board for, for callers that report rows.
    std::function<void(int row, const RegisterRow& r)> onRowAccessed;

private:
    bool CheckRow(int row);
    PageResult AccessRow(int row);

    PageHost& host_;
    std::array<RegisterRow, kRows> rows_{};
    bool locked_ = false;
};

class CZLINKControlExt1 final : public CRegisterTablePage {
public:
    using CRegisterTablePage::CRegisterTablePage;
    const char* Caption() const override { return "Z-LINK Ctrl Ext.1"; }
    // Shown beside "Delay by instruction(ms)"; kept for the user, no run waits by it.
    std::string delayText;
};

class CZLINKControlExt2 final : public CRegisterTablePage {
public:
    using CRegisterTablePage::CRegisterTablePage;
    const char* Caption() const override { return "Z-LINK Ctrl Ext.2"; }
};
