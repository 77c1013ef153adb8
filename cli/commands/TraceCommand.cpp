#include "registers/TraceCommand.h"

#include "registers/HexText.h"
#include "registers/RegisterTable.h"
#include "registers/Trace.h"

#include <ostream>

int RunTraceCommand(PageHost& host, const std::string& start, const std::string& savePath,
                    std::ostream& out) {
    TraceCommandOptions options;
    options.start = start;
    options.savePath = savePath;
    return RunTraceCommand(host, options, out);
}

int RunTraceCommand(PageHost& host, const TraceCommandOptions& options, std::ostream& out) {
    const std::string& start = options.start;
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
    if (!options.savePath.empty()) {
        // The files are read as the table pages open them, with their messages.
        TraceRegisterNames names;
        for (const std::string& file : options.nameFiles) {
            CZLINKControlExt1 table(host);
            table.device1 = options.device == 1;
            table.device2 = options.device == 2;
            if (!table.LoadConfigFile(file)) return 1;
            AddRegisterNames(table, names);
        }
        trace.SetRegisterNames(std::move(names));
        return code(trace.ExportTo(options.savePath, options.format));
    }

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
