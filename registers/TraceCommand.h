#pragma once
// `tr805q-cli trace [--start HEX] [--save FILE]`: the trace window without a window. Without
// --save it prints the rows the window's list would show from the start address (a header line
// with the eight column titles, then one line per row, cells separated by tabs); with --save it
// writes the whole trace to FILE exactly as the window's "Save..." does.
#include "core/ExitCodes.h"
#include "core/PageHost.h"
#include "link/MB805QBrd.h"

#include <iosfwd>
#include <string>

// Exit codes, as tr805q-cli's: 0 done, 1 a bad start address or a file that cannot be written,
// 2 the board did not answer. Messages go to the host's prompts.
int RunTraceCommand(PageHost& host, const std::string& start, const std::string& savePath,
                    std::ostream& out);
