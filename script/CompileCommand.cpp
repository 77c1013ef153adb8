#include "script/CompileCommand.h"

#include "script/CompileMessages.h"
#include "script/DownloadFrames.h"
#include "script/ScriptCompiler.h"

#include <ostream>
#include <string>

namespace script {

int RunCompileCommand(const std::string& path, bool image, std::ostream& out, std::ostream& err,
                      const std::string& listingDirectory)
{
    CScriptCompiler compiler;
    compiler.SetListingDirectory(listingDirectory);
    if (!compiler.Prepare(path)) {
        err << kMsgUnableToOpenFile << '\n';
        return 1;
    }
    if (!compiler.Compile()) {
        err << kMsgUnableToOpenFile << '\n';
        return 1;
    }
    // The errors go out in one piece: the error stream writes each insertion at once, and a
    // long script can have thousands of them.
    std::string errors;
    compiler.NextError(true);
    while (std::optional<std::string> e = compiler.NextError(false)) {
        std::string_view text = *e;
        if (text.size() >= 2 && text.substr(text.size() - 2) == "\r\n")
            text.remove_suffix(2);
        errors.append(text);
        errors.push_back('\n');
    }
    if (!errors.empty()) {
        err << errors;
        return 1;
    }
    if (CountImageRecords(compiler) > kMaxImageRecords) {
        err << kMsgScriptTooLarge << '\n';
        return 1;
    }
    if (image)
        for (const Frame& f : BuildDownloadFrames(compiler))
            out << FrameToHex(f) << '\n';
    out.flush();
    return 0;
}

} // namespace script
