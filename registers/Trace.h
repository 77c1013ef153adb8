#pragma once
// The "Trace" window (CMTrace): the board's trace of Z-LINK accesses, 2048 entries at a time,
// paged with "<<" and ">>", and saved whole to a text file. The view copies the start address
// entry into `startAddress`, calls the operations, and shows Rows().
#include "core/PageHost.h"
#include "link/MB805QBrd.h"
#include "registers/TraceExport.h"
#include "registers/ZLINKControl.h"

#include <array>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

inline constexpr const char* kTraceCaption = "Trace";
inline constexpr const char* kTraceStartLabel = "Trace Start Address 0x";
inline constexpr const char* kTraceRead = "Read";
inline constexpr const char* kTraceBack = "<<";
inline constexpr const char* kTraceForward = ">>";
inline constexpr const char* kTraceSave = "Save...";
inline constexpr const char* kTraceOk = "OK";
inline constexpr const char* kTraceNoData = "NO DATA";
inline constexpr const char kFmtTraceAddressRange[] = "Error - Trace start address must be 0x00000 to 0x%05X";
inline constexpr const char* kTraceSaveTitle = "Save Trace";
inline constexpr const char* kTraceSaveFilter = "Text Files (*.txt)|*.txt|All files (*.*)|*.*||";
inline constexpr const char* kTraceSaveExtension = "*.txt";
inline constexpr const char* kMsgTraceUnableToSave = "Error - Unable to save results";
// Beside the trace file: the whole trace as CSV or VCD, of the type chosen in the dialog.
inline constexpr const char* kTraceExport = "Export...";
inline constexpr const char* kTraceExportTitle = "Export Trace";
inline constexpr const char* kTraceExportFilter =
    "CSV Files (*.csv)|*.csv|VCD Files (*.vcd)|*.vcd|VCD Files, 1-bit signals (*.vcd)|*.vcd||";
inline constexpr const char* kTraceExportExtension = "*.csv";
// What a save or an export counts as it goes (ProgressSink), out of the trace memory's
// entries; the timeline's "Whole Trace" reads.
inline constexpr const char* kProgressSavingTrace = "Saving trace";
inline constexpr const char* kProgressReadingTrace = "Reading trace";
inline constexpr const char* kProgressUnitTraceEntries = "entries";

// The trace file: header lines, then one line per entry (printf formats of numbers only).
inline constexpr const char* kTraceFileNote =
    "Note: Ordered from last Z-LINK access to first Z-LINK access\n\n";
inline constexpr const char kFmtTraceFileName[] = "Trace File: %s\n";
inline constexpr const char kFmtTraceFileCreated[] = "File created: %d/%d/%d - %02d:%02d:%02d\n\n";
inline constexpr const char kFmtTraceFileEntry[] =
    "Trace Address 0x%05X Timestamp %010u Device %1d Operation %5s Address 0x%02X Bytes per Access "
    "%1d Access %3d of %3d Data 0x%04X\n";

struct TraceColumn {
    const char* title;
    int width;  // pixels
};
inline constexpr std::array<TraceColumn, 8> kTraceColumns{{
    {"Trace Address", 85},
    {"Timestamp (us)", 85},
    {"Z-LINK", 75},
    {"Device", 50},
    {"Address", 50},
    {"Bytes per Access", 100},
    {"Access", 75},
    {"Data", 60},
}};

using TraceRow = std::array<std::string, kTraceColumns.size()>;

class CMTrace {
public:
    static constexpr uint32_t kEntries = 0x20000;  // trace addresses 0x00000..0x1FFFF
    static constexpr uint16_t kBlock = 2048;  // entries per request and per page
    static constexpr size_t kAddressChars = 5;

    explicit CMTrace(PageHost& host);

    // The start-address entry as the screen holds it.
    std::string startAddress = "00000";

    const std::vector<TraceRow>& Rows() const { return rows_; }

    // Opening: start address 0, the list filled from there at once.
    PageResult Open();
    // The buttons. Each takes the entered address, checks it, fills the list and rewrites the
    // entry; a bad address shows its message and leaves the list alone.
    PageResult Read();
    PageResult Back();
    PageResult Forward();
    // "Save..." (also Escape and the close box): asks for a file and saves the whole trace.
    PageResult Save();
    // Saves the whole trace from address 0 into path.
    PageResult SaveTo(const std::string& path);
    // "Export...": asks for a file and writes the whole trace to it in the type chosen in the
    // dialog: CSV, VCD, or VCD of 1-bit signals.
    PageResult Export();
    // The whole trace into path in a format; Text is the trace file of SaveTo. As the save, a
    // destination that cannot be written is refused before the board is asked.
    PageResult ExportTo(const std::string& path, TraceFileFormat format);
    // The whole trace from address 0, the newest entry first, as the save reads it.
    PageResult ReadWholeTrace(std::vector<TraceRecord>& records);
    // The entries of the list, in time order.
    std::vector<TimedAccess> PageAccesses() const;
    uint32_t PageStart() const { return pageStart_; }

    // Names of registers for the exports and the timeline (the register tables' descriptions).
    void SetRegisterNames(TraceRegisterNames names) { names_ = std::move(names); }
    const TraceRegisterNames& RegisterNames() const { return names_; }

    // The current UTC time for the file's header; tests fix it.
    void SetUtcNow(std::function<std::tm()> now) { utcNow_ = std::move(now); }

    static TraceRow RowOf(uint32_t address, const TraceRecord& r);
    static TraceRow NoDataRow(uint32_t address);
    static std::string FileEntryLine(uint32_t address, const TraceRecord& r);
    static std::string FileHeader(const std::string& fileName, const std::tm& utc);
    // The time of a VCD file's $date: "2024-03-07 09:05:03 UTC".
    static std::string VcdDate(const std::tm& utc);

private:
    // The entered address, or nothing after its message.
    bool EnteredAddress(uint32_t& address);
    PageResult Fill(uint32_t address);
    // The trace from address 0 in blocks of up to 2048 entries, each handed to onBlock, until
    // the first short block or the end of the trace memory, its progress shown under caption.
    // False when the board did not answer (nothing reported yet; the progress is over).
    bool ReadBlocks(
        const char* caption,
        const std::function<void(uint32_t start, const TraceRecord* records, uint32_t n)>& onBlock);
    bool ReadAll(const char* caption, std::vector<TraceRecord>& records);

    PageHost& host_;
    std::vector<TraceRow> rows_;
    std::vector<TraceRecord> records_;
    uint32_t pageStart_ = 0;
    uint32_t pageCount_ = 0;  // entries of records_ the list shows
    TraceRegisterNames names_;
    std::function<std::tm()> utcNow_;
};
