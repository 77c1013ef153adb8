#include "registers/RegisterTable.h"

#include "link/ReplacingFile.h"
#include "registers/RegisterConfigFile.h"

#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

namespace {

const FileDialogSpec kConfigFilter{"",   "Text Files (*.txt)|*.txt|All files (*.*)|*.*||", "*.txt", "", "",
                                   false};

bool InRun(const RegisterRow& row, AllRowsRun run) {
    switch (run) {
        case AllRowsRun::Write: return row.IsWrite() || row.type == RowType::None;
        case AllRowsRun::Read: return row.IsRead() || row.type == RowType::None;
        case AllRowsRun::Both: return true;
    }
    return false;
}

}  // namespace

void CRegisterTablePage::ApplyType(int row, RowType type) {
    RegisterRow& r = Row(row);
    r.type = type;
    if (type != RowType::None) r.data.clear();
}

bool CRegisterTablePage::CheckRow(int number) {
    const RegisterRow& row = Row(number);
    auto fail = [&](const char* text, RowCell cell) {
        focus = FocusTarget{number, cell};
        ShowError(host_.Prompts(), text);
        return false;
    };
    if (row.type == RowType::None) return fail(kMsgSelectType, RowCell::Type);
    if (row.address.empty()) return fail(kMsgNullAddress, RowCell::Address);
    if (!IsHexText(row.address)) return fail(kMsgAddressNotHex, RowCell::Address);
    if (row.IsWrite()) {
        if (row.data.empty()) return fail(kMsgNullData, RowCell::Data);
        if (!IsHexText(row.data)) return fail(kMsgDataNotHex, RowCell::Data);
    }
    return true;
}

PageResult CRegisterTablePage::AccessRow(int number) {
    const uint8_t device = Device();
    if (!CheckRow(number)) return PageResult::Invalid;
    RegisterRow& row = Row(number);
    const auto addr = static_cast<uint8_t>(HexTextToNumber(row.address));
    CMB805QBrd& board = host_.Board();
    bool ok = false;
    switch (row.type) {
        case RowType::Wr16:
            ok = board.WriteReg16(addr, static_cast<uint16_t>(HexTextToNumber(row.data)), device);
            break;
        case RowType::Wr8:
            ok = board.WriteReg8(addr, static_cast<uint8_t>(HexTextToNumber(row.data)), device);
            break;
        case RowType::Rd8: {
            uint8_t v = 0;
            ok = board.ReadReg8(addr, v, device);
            if (ok) row.data = RegisterValueText(v, RegWidth::Bits8);
            break;
        }
        case RowType::Rd16: {
            uint16_t v = 0;
            ok = board.ReadReg16(addr, v, device);
            if (ok) row.data = RegisterValueText(v, RegWidth::Bits16);
            break;
        }
        case RowType::None: break;
    }
    if (!ok) return PageLostBoard(host_);
    if (onRowAccessed) onRowAccessed(number, row);
    return PageResult::Ok;
}

PageResult CRegisterTablePage::UpdateRow(int row) {
    focus.reset();
    return AccessRow(row);
}

PageResult CRegisterTablePage::RunAll(AllRowsRun run) {
    focus.reset();
    // Every row is checked before the first access, so a bad row stops the run with nothing sent.
    for (int r = 1; r <= kRows; ++r) {
        if (Row(r).enabled && InRun(Row(r), run) && !CheckRow(r)) return PageResult::Invalid;
    }
    std::vector<int> rows;
    for (int r = 1; r <= kRows; ++r) {
        if (Row(r).enabled && InRun(Row(r), run)) rows.push_back(r);
    }
    // Forty accesses wait for forty answers on the kit's line: the screen follows them.
    const char* caption = run == AllRowsRun::Write  ? kProgressWritingRows
                          : run == AllRowsRun::Read ? kProgressReadingRows
                                                    : kProgressWritingReadingRows;
    ProgressScope shown(host_.Progress(), caption, rows.size(), kProgressUnitRows);
    for (size_t i = 0; i < rows.size(); ++i) {
        if (const PageResult res = AccessRow(rows[i]); res != PageResult::Ok) return res;
        shown.Advance(i + 1);
    }
    return PageResult::Ok;
}

void CRegisterTablePage::ClearAll() {
    for (auto& row : rows_) row = RegisterRow{};
}

void CRegisterTablePage::ClearData() {
    for (auto& row : rows_) row.data.clear();
}

void CRegisterTablePage::OpenConfig() {
    FileDialogSpec spec = kConfigFilter;
    spec.title = "Select Config";
    if (auto path = host_.Prompts().AskOpenFile(spec)) LoadConfigFile(*path);
}

void CRegisterTablePage::SaveConfig() {
    FileDialogSpec spec = kConfigFilter;
    spec.title = "Save Config";
    spec.confirmOverwrite = true;
    if (auto path = host_.Prompts().AskSaveFile(spec)) SaveConfigFile(*path);
}

bool CRegisterTablePage::LoadConfigFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    // A folder opens like a file here but has no lines: it is no configuration file.
    std::error_code ec;
    if (!in || std::filesystem::is_directory(path, ec)) {
        ShowError(host_.Prompts(), kMsgUnableToOpenConfig);
        return false;
    }
    // Read into rows of its own first: a file that fails to read leaves the table as it was.
    RegisterRows loaded{};
    const RegisterConfigRead read = ReadRegisterConfig(in, loaded);
    if (read.readError) {
        ShowError(host_.Prompts(), kMsgUnableToOpenConfig);
        return false;
    }
    rows_ = std::move(loaded);
    if (read.records < kRows) {
        ShowError(host_.Prompts(), kMsgUnableToReadConfig);
        return false;
    }
    locked_ = true;
    return true;
}

bool CRegisterTablePage::SaveConfigFile(const std::string& path) {
    if (!WriteFileReplacing(path, FormatRegisterConfig(rows_))) {
        ShowError(host_.Prompts(), kMsgUnableToSaveConfig);
        return false;
    }
    return true;
}
