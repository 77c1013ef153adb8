#include "registers/Trace.h"

#include "core/TextFormat.h"
#include "link/ReplacingFile.h"
#include "registers/HexText.h"

#include <cstdio>

namespace {

std::tm SystemUtcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    return utc;
}

// The trace file is a text file whose lines end CR LF.
std::string WithCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

}  // namespace

CMTrace::CMTrace(PageHost& host) : host_(host), records_(kBlock), utcNow_(SystemUtcNow) {}

TraceRow CMTrace::RowOf(uint32_t address, const TraceRecord& r) {
    return {FormatText("0x%05X", address),
            FormatText("%010u", static_cast<unsigned>(r.timestamp)),
            r.direction ? "Read" : "Write",
            FormatText("%d", r.device),
            FormatText("0x%02X", r.address),
            FormatText("%d", r.bytesPerAccess),
            FormatText("%d of %d", r.accessNumber, r.accessCount),
            FormatText("0x%04X", r.data)};
}

TraceRow CMTrace::NoDataRow(uint32_t address) {
    TraceRow row;
    row[0] = FormatText("0x%05X", address);
    row[1] = kTraceNoData;
    return row;
}

std::string CMTrace::FileEntryLine(uint32_t address, const TraceRecord& r) {
    return FormatText(kFmtTraceFileEntry, address, static_cast<unsigned>(r.timestamp), r.device,
                      r.direction ? "Read" : "Write", r.address, r.bytesPerAccess, r.accessNumber,
                      r.accessCount, r.data);
}

std::string CMTrace::FileHeader(const std::string& fileName, const std::tm& utc) {
    std::string text = kTraceFileNote;
    // The name is put in by hand: a file name is never a format.
    const std::string nameLine = kFmtTraceFileName;
    text += nameLine.substr(0, nameLine.find("%s")) + fileName + nameLine.substr(nameLine.find("%s") + 2);
    text += FormatText(kFmtTraceFileCreated, utc.tm_mday, utc.tm_mon + 1, utc.tm_year + 1900, utc.tm_hour,
                       utc.tm_min, utc.tm_sec);
    return text;
}

PageResult CMTrace::Fill(uint32_t address) {
    rows_.clear();
    uint32_t n = 0;
    pageStart_ = address;
    pageCount_ = 0;
    if (!host_.Board().ReadTrace(address, kBlock, records_.data(), n)) return PageLostBoard(host_);
    pageCount_ = n;
    for (uint32_t i = 0; i < n; ++i) rows_.push_back(RowOf(address + i, records_[i]));
    if (n < kBlock) rows_.push_back(NoDataRow(address + n));
    return PageResult::Ok;
}

PageResult CMTrace::Open() {
    startAddress = "00000";
    return Fill(0);
}

bool CMTrace::EnteredAddress(uint32_t& address) {
    if (!IsHexText(startAddress)) {
        ShowError(host_.Prompts(), kMsgAddressNotHex);
        return false;
    }
    // Leading zeros aside, more than five digits is out of range whatever they are.
    const size_t first = startAddress.find_first_not_of('0');
    const bool tooLong = first != std::string::npos && startAddress.size() - first > kAddressChars;
    const uint32_t value = tooLong ? kEntries : HexTextToNumber(startAddress);
    if (value >= kEntries) {
        ShowError(host_.Prompts(), FormatText(kFmtTraceAddressRange, kEntries));
        return false;
    }
    address = value;
    return true;
}

PageResult CMTrace::Read() {
    uint32_t a = 0;
    if (!EnteredAddress(a)) return PageResult::Invalid;
    startAddress = FormatText("%05X", a);
    return Fill(a);
}

PageResult CMTrace::Forward() {
    uint32_t a = 0;
    if (!EnteredAddress(a)) return PageResult::Invalid;
    a = (a + kBlock) % kEntries;
    startAddress = FormatText("%05X", a);
    return Fill(a);
}

PageResult CMTrace::Back() {
    uint32_t a = 0;
    if (!EnteredAddress(a)) return PageResult::Invalid;
    a = a >= kBlock ? a - kBlock : a + kEntries - kBlock;
    startAddress = FormatText("%05X", a);
    return Fill(a);
}

PageResult CMTrace::Save() {
    FileDialogSpec spec;
    spec.title = kTraceSaveTitle;
    spec.filter = kTraceSaveFilter;
    spec.defaultExtension = kTraceSaveExtension;
    spec.confirmOverwrite = true;
    const std::optional<std::string> path = host_.Prompts().AskSaveFile(spec);
    if (!path) return PageResult::Ok;
    return SaveTo(*path);
}

PageResult CMTrace::SaveTo(const std::string& path) {
    // The trace goes to a file beside the chosen one that replaces it only when the whole
    // trace is in: a board lost half way leaves an older trace file as it was. A destination
    // that cannot be written is refused here, before anything is read from the board.
    ReplacingFile file(path);
    if (!file.Open()) {
        ShowError(host_.Prompts(), kMsgTraceUnableToSave);
        return PageResult::Failed;
    }
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string text = WithCrLf(FileHeader(name, utcNow_()));
    bool written = file.Write(text);
    const bool read =
        ReadBlocks(kProgressSavingTrace, [&](uint32_t start, const TraceRecord* records, uint32_t n) {
            text.clear();
            for (uint32_t i = 0; i < n; ++i) text += WithCrLf(FileEntryLine(start + i, records[i]));
            written = written && file.Write(text);
        });
    if (!read) {
        file.Abandon();
        return PageLostBoard(host_);
    }
    if (!written || !file.Commit()) {
        ShowError(host_.Prompts(), kMsgTraceUnableToSave);
        return PageResult::Failed;
    }
    return PageResult::Ok;
}

bool CMTrace::ReadBlocks(
    const char* caption,
    const std::function<void(uint32_t start, const TraceRecord* records, uint32_t n)>& onBlock) {
    std::vector<TraceRecord> records(kBlock);
    // Counted against the whole trace memory: how many entries the board holds shows only at
    // the block that is not full. The progress is over before the caller shows any message.
    ProgressScope shown(host_.Progress(), caption, kEntries, kProgressUnitTraceEntries);
    // The trace ends at the first block with fewer than 2048 entries, and at the end of the
    // trace memory even when the board keeps answering full blocks.
    for (uint32_t start = 0; start < kEntries; start += kBlock) {
        uint32_t n = 0;
        if (!host_.Board().ReadTrace(start, kBlock, records.data(), n)) return false;
        onBlock(start, records.data(), n);
        shown.Advance(start + n);
        if (n != kBlock) break;
    }
    return true;
}

bool CMTrace::ReadAll(const char* caption, std::vector<TraceRecord>& records) {
    records.clear();
    return ReadBlocks(caption, [&](uint32_t, const TraceRecord* block, uint32_t n) {
        records.insert(records.end(), block, block + n);
    });
}

PageResult CMTrace::ReadWholeTrace(std::vector<TraceRecord>& records) {
    return ReadAll(kProgressReadingTrace, records) ? PageResult::Ok : PageLostBoard(host_);
}

std::vector<TimedAccess> CMTrace::PageAccesses() const {
    return InTimeOrder(records_.data(), pageCount_, pageStart_);
}

std::string CMTrace::VcdDate(const std::tm& utc) {
    return FormatText("%04d-%02d-%02d %02d:%02d:%02d UTC", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                      utc.tm_hour, utc.tm_min, utc.tm_sec);
}

PageResult CMTrace::Export() {
    FileDialogSpec spec;
    spec.title = kTraceExportTitle;
    spec.filter = kTraceExportFilter;
    spec.defaultExtension = kTraceExportExtension;
    spec.confirmOverwrite = true;
    const std::optional<SaveFileChoice> chosen = host_.Prompts().AskSaveFileOfType(spec);
    if (!chosen) return PageResult::Ok;
    const TraceFileFormat format = chosen->filter == 1   ? TraceFileFormat::Vcd
                                   : chosen->filter == 2 ? TraceFileFormat::VcdBits
                                                         : TraceFileFormat::Csv;
    return ExportTo(chosen->path, format);
}

PageResult CMTrace::ExportTo(const std::string& path, TraceFileFormat format) {
    if (format == TraceFileFormat::Text) return SaveTo(path);
    // As the save: refused before the board is asked, in place only once all is in.
    ReplacingFile file(path);
    if (!file.Open()) {
        ShowError(host_.Prompts(), kMsgTraceUnableToSave);
        return PageResult::Failed;
    }
    std::vector<TraceRecord> records;
    if (!ReadAll(kProgressSavingTrace, records)) {
        file.Abandon();
        return PageLostBoard(host_);
    }
    const std::vector<TimedAccess> accesses = InTimeOrder(records);
    const std::string text =
        format == TraceFileFormat::Csv
            ? TraceCsv(accesses, names_)
            : TraceVcd(accesses, names_, VcdDate(utcNow_()),
                       format == TraceFileFormat::VcdBits ? VcdSignals::Bits : VcdSignals::Vectors);
    if (!file.Write(text) || !file.Commit()) {
        ShowError(host_.Prompts(), kMsgTraceUnableToSave);
        return PageResult::Failed;
    }
    return PageResult::Ok;
}
