#pragma once
// `tr805q-cli trace [--start HEX] [--save FILE [--format text|csv|vcd] [--names CONFIG]...]`:
// the trace window without a window. Without --save it prints the rows the window's list would
// show from the start address (a header line with the eight column titles, then one line per
// row, cells separated by tabs); with --save it writes the whole trace to FILE exactly as the
// window's "Save..." does, or as its "Export..." does in CSV or VCD, naming registers from the
// descriptions of register configuration files.
#include "cli/commands/CommandLine.h"
#include "core/ExitCodes.h"
#include "core/PageHost.h"
#include "link/MB805QBrd.h"
#include "registers/TraceExport.h"

#include <iosfwd>
#include <string>
#include <vector>

struct TraceCommandOptions {
    std::string start;
    std::string savePath;
    TraceFileFormat format = TraceFileFormat::Text;
    // Register configuration files whose rows name registers of `device`.
    std::vector<std::string> nameFiles;
    uint8_t device = 1;
};

// Exit codes, as tr805q-cli's: 0 done, 1 a bad start address or a file that cannot be written,
// 2 the board did not answer. Messages go to the host's prompts.
int RunTraceCommand(PageHost& host, const TraceCommandOptions& options, std::ostream& out);
int RunTraceCommand(PageHost& host, const std::string& start, const std::string& savePath, std::ostream& out);
void AddTraceCommand(CLI::App& app, CommandLine& line);
