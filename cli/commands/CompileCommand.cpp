#include "cli/commands/CompileCommand.h"

#include "script/CompileMessages.h"
#include "script/CompiledScript.h"
#include "script/DownloadFrames.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>
#include <string>

namespace script {

int RunCompileCommand(const std::string& path, bool image, std::ostream& out, std::ostream& err,
                      const std::string& listingDirectory) {
    const CompiledScript compiled = CompileScriptFile(path, listingDirectory);
    if (!compiled.readable) {
        err << kMsgUnableToOpenFile << '\n';
        return kCliInvalid;
    }
    // The errors go out in one piece: the error stream writes each insertion at once, and a
    // long script can have thousands of them.
    std::string errors;
    for (std::string_view text : compiled.errors) {
        if (text.size() >= 2 && text.substr(text.size() - 2) == "\r\n") text.remove_suffix(2);
        errors.append(text);
        errors.push_back('\n');
    }
    if (!errors.empty()) {
        err << errors;
        return kCliInvalid;
    }
    if (image)
        for (const Frame& f : compiled.frames) out << FrameToHex(f) << '\n';
    out.flush();
    return kCliOk;
}

}  // namespace script

void AddCompileCommand(CLI::App& app, CommandLine& line) {
    struct Args {
        std::string path;
        bool image = false;
    };
    auto args = std::make_shared<Args>();
    auto* compile =
        app.add_subcommand("compile", "Compile a script as the script page does (no board needed)");
    compile->add_option("FILE", args->path, "Script file (.mbs)")->required();
    compile->add_flag("--image", args->image, "Print the frames a run would send, one per line");
    compile->callback([&line, args] {
        line.offline = [&line, args] {
            return script::RunCompileCommand(args->path, args->image, line.out, line.err);
        };
    });
}
