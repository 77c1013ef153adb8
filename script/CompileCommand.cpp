#include "script/CompileCommand.h"

#include "script/CompileMessages.h"
#include "script/DownloadFrames.h"
#include "script/ScriptCompiler.h"

#include <ostream>

namespace script {

int RunCompileCommand(const std::string& path, bool image, std::ostream& out, std::ostream& err,
                      const std::string& listingDirectory)
{
    CScriptCompiler compiler;
    compiler.SetListingDirectory(listingDirectory);
    if (!compiler.Prepare(path)) {
        err << kMsgUnableToOpenFile << '\n';
        return kCliInvalid;
    }
    if (!compiler.Compile()) {
        err << kMsgUnableToOpenFile << '\n';
        return kCliInvalid;
    }
    bool anyError = false;
    compiler.NextError(true);
    while (std::optional<std::string> e = compiler.NextError(false)) {
        std::string_view text = *e;
        if (text.size() >= 2 && text.substr(text.size() - 2) == "\r\n")
            text.remove_suffix(2);
        err << text << '\n';
        anyError = true;
    }
    if (anyError)
        return kCliInvalid;
    if (CountImageRecords(compiler) > kMaxImageRecords) {
        err << kMsgScriptTooLarge << '\n';
        return kCliInvalid;
    }
    if (image)
        for (const Frame& f : BuildDownloadFrames(compiler))
            out << FrameToHex(f) << '\n';
    out.flush();
    return kCliOk;
}

} // namespace script
