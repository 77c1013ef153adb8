#include "script/CompiledScript.h"

#include "script/CompileMessages.h"
#include "script/DownloadFrames.h"
#include "script/ScriptCompiler.h"

#include <string>

namespace script {

CompiledScript CompileScriptFile(const std::string& path, const std::string& listingDirectory) {
    CompiledScript result;
    CScriptCompiler compiler;
    compiler.SetListingDirectory(listingDirectory);
    if (!compiler.Prepare(path) || !compiler.Compile()) return result;
    result.readable = true;
    compiler.NextError(true);
    while (std::optional<std::string> e = compiler.NextError(false)) result.errors.push_back(std::move(*e));
    if (result.errors.empty()) result.frames = BuildDownloadFrames(compiler);
    return result;
}

}  // namespace script
