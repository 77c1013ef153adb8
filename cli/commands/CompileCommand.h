#pragma once
// `tr805q-cli compile FILE [--image]`: compiles a script as the script page does, without a
// board. Prints every compile error (one per line, without its CR LF) or, with --image and a
// clean compile, the download frames one per line. Leaves "debug_file.txt" in the listing
// directory (the current directory unless given).
#include "cli/commands/CommandLine.h"
#include "core/ExitCodes.h"

#include <iosfwd>
#include <string>

namespace script {

// Returns the exit code: 0 for a clean compile, 1 for an unreadable file, compile errors, or
// a script too large for the board. Images go to out, errors to err.
int RunCompileCommand(const std::string& path, bool image, std::ostream& out, std::ostream& err,
                      const std::string& listingDirectory = std::string());

}  // namespace script

void AddCompileCommand(CLI::App& app, CommandLine& line);
