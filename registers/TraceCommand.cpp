#include "registers/TraceCommand.h"

#include "registers/HexText.h"
#include "registers/Trace.h"

#include <ostream>

int RunTraceCommand(PageHost& host, const std::string& start, const std::string& savePath,
                    std::ostream& out) {
    CMTrace trace(host);
    auto code = [](PageResult r) {
        switch (r) {
        case PageResult::Ok: return kCliOk;
        case PageResult::LostBoard: return kCliLostBoard;
        case PageResult::Invalid:
        case PageResult::Failed: break;
        }
        return kCliInvalid;
    };
    if (!savePath.empty()) return code(trace.SaveTo(savePath));

    // As the entry field takes typed text: upper case; an empty entry counts as 0.
    trace.startAddress = EntryText(start, start.size());
    if (trace.startAddress.empty()) trace.startAddress.assign(1, '0');
    const PageResult r = trace.Read();
    if (r != PageResult::Ok) return code(r);
    for (size_t i = 0; i < kTraceColumns.size(); ++i) out << (i ? "\t" : "") << kTraceColumns[i].title;
    out << '\n';
    for (const TraceRow& row : trace.Rows()) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            if (i) line += '\t';
            line += row[i];
        }
        while (!line.empty() && line.back() == '\t') line.pop_back();
        out << line << '\n';
    }
    return kCliOk;
}
