#pragma once
// `tr805q-cli run SCRIPT [--answer VALUE ...]`: compiles, downloads and runs a script as the
// script page does, prints every results-list line to `out` as soon as it is complete, and
// answers the script's dialogs from the given answers in order, then from `in` (printing the
// prompt to `err`). Data files live beside the script, as with the page.
//
// Answers: a message box takes anything for OK and "cancel" or "abort" for Cancel; a yes/no
// question "yes"/"y" (or an empty answer, the default button), "no"/"n", or "abort"; an entry
// the text to enter (empty keeps the proposed value) or "abort". When the answers run out and
// `in` has ended, a dialog is answered as if Escape were pressed (the script is aborted).
#include "cli/commands/CommandLine.h"
#include "core/ExitCodes.h"
#include "core/PageHost.h"
#include "link/MB805QBrd.h"

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

namespace script {

struct RunCommandOptions {
    std::vector<std::string> answers;
    // Where "debug_file.txt" goes; empty: the current directory, as with the page.
    std::string listingDirectory;
    // Set from elsewhere (a SIGINT handler) to abort the running script.
    const std::atomic<bool>* interrupt = nullptr;
};

// Returns the exit code above. The host's own prompts show the program's message boxes
// (communication errors, entry errors) and take its request to quit.
int RunScriptCommand(PageHost& host, const std::string& path, const RunCommandOptions& options,
                     std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace script

// `run FILE [--answer V]...`: dialogs answered from standard input after the answers given;
// Ctrl-C aborts the script, as the page's Abort button does.
void AddRunCommand(CLI::App& app, CommandLine& line);
