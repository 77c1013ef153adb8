#pragma once
#include "core/ExitCodes.h"
// `tr805q-cli compile FILE [--image]`: compiles a script as the script page does, without a
// board. Prints every compile error (one per line, without its CR LF) or, with --image and a
// clean compile, the download frames one per line. Leaves "debug_file.txt" in the listing
// directory (the current directory unless given).
#include "script/DownloadFrames.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace script {

// A script compiled as the script page compiles it before a run.
struct CompiledScript {
    bool readable = false;            // false: "Error - Unable to open file"
    std::vector<std::string> errors;  // each as the compiler gives it (ending in CR LF), then
                                      // "Error Script too large" for an image the board cannot hold
    std::vector<Frame> frames;        // the download frames, when there are no errors
};
CompiledScript CompileScriptFile(const std::string& path, const std::string& listingDirectory);

// Returns the exit code: 0 for a clean compile, 1 for an unreadable file, compile errors, or
// a script too large for the board. Images go to out, errors to err.
int RunCompileCommand(const std::string& path, bool image, std::ostream& out, std::ostream& err,
                      const std::string& listingDirectory = std::string());

} // namespace script
