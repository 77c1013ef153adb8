#include "script/CompileCommand.h"

#include "script/CompileMessages.h"
#include "script/DownloadFrames.h"
#include "script/ScriptCompiler.h"

#include <ostream>
#include <string>

namespace script {

CompiledScript CompileScriptFile(const std::string& path, const std::string& listingDirectory)
{
    CompiledScript result;
    CScriptCompiler compiler;
    compiler.SetListingDirectory(listingDirectory);
    if (!compiler.Prepare(path) || !compiler.Compile())
        return result;
    result.readable = true;
    compiler.NextError(true);
    while (std::optional<std::string> e = compiler.NextError(false))
        result.errors.push_back(std::move(*e));
    if (result.errors.empty())
        result.frames = BuildDownloadFrames(compiler);
    return result;
}

int RunCompileCommand(const std::string& path, bool image, std::ostream& out, std::ostream& err,
                      const std::string& listingDirectory)
{
    const CompiledScript compiled = CompileScriptFile(path, listingDirectory);
    if (!compiled.readable) {
        err << kMsgUnableToOpenFile << '\n';
        return kCliInvalid;
    }
    // The errors go out in one piece: the error stream writes each insertion at once, and a
    // long script can have thousands of them.
    std::string errors;
    for (std::string_view text : compiled.errors) {
        if (text.size() >= 2 && text.substr(text.size() - 2) == "\r\n")
            text.remove_suffix(2);
        errors.append(text);
        errors.push_back('\n');
    }
    if (!errors.empty()) {
        err << errors;
        return kCliInvalid;
    }
    if (image)
        for (const Frame& f : compiled.frames)
            out << FrameToHex(f) << '\n';
    out.flush();
    return kCliOk;
}

} // namespace script
