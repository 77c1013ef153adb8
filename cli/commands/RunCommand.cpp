#include "cli/commands/RunCommand.h"

#include "script/ResultsList.h"
#include "script/ScriptRunLoop.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <deque>
#include <iostream>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>

namespace script {
namespace {

// The answers of the command line, then the lines of the input, each asked for with a prompt
// on `err`.
class Answers final : public DialogAnswerer {
public:
    Answers(const std::vector<std::string>& given, std::istream& in, std::ostream& err)
        : given_(given.begin(), given.end()), in_(in), err_(err) {}

    std::optional<std::string> Answer(DialogKind kind, const std::string& caption, const std::string& prompt,
                                      const std::string& field, int) override {
        switch (kind) {
            case DialogKind::Message:
                return Ask(caption + ": " + std::string(CResultsList::DisplayText(prompt)) + " [OK/cancel] ");
            case DialogKind::YesNo: return Ask(caption + ": " + prompt + " [Yes/no/abort] ");
            case DialogKind::Entry: return Ask(caption + ": " + prompt + " [" + field + "] ");
        }
        return std::nullopt;
    }

private:
    // Shows the prompt and returns the answer; nothing once both sources have run out.
    std::optional<std::string> Ask(const std::string& prompt) {
        err_ << prompt;
        if (!given_.empty()) {
            std::string a = std::move(given_.front());
            given_.pop_front();
            err_ << a << '\n';
            return a;
        }
        err_.flush();
        std::string line;
        if (!std::getline(in_, line)) {
            err_ << '\n';
            return std::nullopt;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }

    std::deque<std::string> given_;
    std::istream& in_;
    std::ostream& err_;
};

int ExitCode(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::Finished: return kCliOk;
        case RunOutcome::Aborted: return kCliAborted;
        case RunOutcome::RunTimeError:
        case RunOutcome::FileError:
        case RunOutcome::QueueFull: return kCliScriptError;
        case RunOutcome::CompileFailed: return kCliInvalid;
        case RunOutcome::LostBoard:
        case RunOutcome::None: break;
    }
    return kCliLostBoard;
}

}  // namespace

int RunScriptCommand(PageHost& host, const std::string& path, const RunCommandOptions& options,
                     std::istream& in, std::ostream& out, std::ostream& err) {
    Answers answers(options.answers, in, err);
    RunLoopOptions loop;
    loop.listingDirectory = options.listingDirectory;
    if (options.interrupt) loop.interrupted = [flag = options.interrupt] { return flag->load(); };
    loop.onLine = [&out](const std::string& line) { out << line << '\n' << std::flush; };
    const RunLoopResult r = RunScriptToEnd(host, path, answers, loop);
    if (r.boardLost) return kCliLostBoard;
    return ExitCode(r.outcome);
}

}  // namespace script

namespace {

// Ctrl-C while a script runs aborts the script, as the page's Abort button does.
std::atomic<bool> gInterrupted{false};
extern "C" void OnInterrupt(int) { gInterrupted = true; }

}  // namespace

void AddRunCommand(CLI::App& app, CommandLine& line) {
    struct Args {
        std::string path;
        script::RunCommandOptions options;
    };
    auto args = std::make_shared<Args>();
    auto* run = app.add_subcommand(
        "run", "Compile and run a script on the board, serving its text, dialogs and files");
    run->add_option("FILE", args->path, "Script file (.mbs); its data files lie beside it")->required();
    run->add_option("--answer", args->options.answers,
                    "Answers to the script's dialogs, in order; then standard input is asked");
    run->callback([&line, args] {
        line.onBoard = [&line, args](CliSession& s) {
            gInterrupted = false;
            args->options.interrupt = &gInterrupted;
            auto previous = std::signal(SIGINT, OnInterrupt);
            const int code =
                script::RunScriptCommand(s, args->path, args->options, std::cin, line.out, line.err);
            std::signal(SIGINT, previous);
            return code;
        };
    });
}
