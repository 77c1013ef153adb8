#include "cli/commands/TableCommand.h"

#include "cli/commands/ExitFor.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>

int RunTableCommand(PageHost& host, const std::string& path, AllRowsRun run, int device, std::ostream& out) {
    CZLINKControlExt1 page(host);
    page.device1 = device == 1;
    page.device2 = device == 2;
    if (!page.LoadConfigFile(path)) return kCliInvalid;
    page.onRowAccessed = [&out](int row, const RegisterRow& r) {
        out << row << '\t' << kRowTypeNames[static_cast<size_t>(r.type)] << '\t' << r.address << '\t'
            << r.data << '\n';
    };
    return ExitFor(page.RunAll(run));
}

void AddTableCommand(CLI::App& app, CommandLine& line) {
    struct Args {
        std::string path;
        bool write = false, read = false, both = false;
    };
    auto args = std::make_shared<Args>();
    auto* table = app.add_subcommand(
        "table", "Load a register configuration file and run its enabled rows on the board");
    table->add_option("FILE", args->path, "Configuration file, as saved by a register table page")
        ->required();
    auto* wr = table->add_flag("--write", args->write, "Write the enabled rows of a write type (Wr all)");
    auto* rd = table->add_flag("--read", args->read, "Read the enabled rows of a read type (Rd all)");
    auto* both = table->add_flag("--both", args->both, "Every enabled row (Wr\\Rd all; the default)");
    wr->excludes(rd)->excludes(both);
    rd->excludes(both);
    table->callback([&line, args] {
        line.onBoard = [&line, args](CliSession& s) {
            const AllRowsRun run = args->write  ? AllRowsRun::Write
                                   : args->read ? AllRowsRun::Read
                                                : AllRowsRun::Both;
            return RunTableCommand(s, args->path, run, line.options.device, line.out);
        };
    });
}
