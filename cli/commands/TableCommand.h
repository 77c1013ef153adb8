#pragma once
// `tr805q-cli table FILE [--write|--read|--both]`: a register table page with a configuration
// file loaded, running its enabled rows as "Wr all", "Rd all" or "Wr\Rd all" does.
#include "cli/commands/CommandLine.h"
#include "core/PageHost.h"
#include "registers/RegisterTable.h"

#include <iosfwd>
#include <string>

// One line per row the run reaches, tab-separated: row number, type, address, data.
int RunTableCommand(PageHost& host, const std::string& path, AllRowsRun run, int device, std::ostream& out);
void AddTableCommand(CLI::App& app, CommandLine& line);
