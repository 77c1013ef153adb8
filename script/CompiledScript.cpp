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
    result.errors = compiler.TakeErrors();
    if (result.errors.empty()) result.frames = BuildDownloadFrames(compiler);
    return result;
}

}  // namespace script
