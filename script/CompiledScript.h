#pragma once
// A script compiled as the script page compiles it before a run, without a board: what
// `tr805q-cli compile` prints and what the Python module's compile() reports.
#include "script/DownloadFrames.h"

#include <string>
#include <vector>

namespace script {

struct CompiledScript {
    bool readable = false;  // false: "Error - Unable to open file"
    std::vector<std::string> errors;  // each as the compiler gives it (ending in CR LF), the last
        // "Error Script too large" for an image the board cannot hold
    std::vector<Frame> frames;  // the download frames, when there are no errors
};
// Leaves "debug_file.txt" in the listing directory (the current directory when empty).
CompiledScript CompileScriptFile(const std::string& path, const std::string& listingDirectory);

}  // namespace script
