#include "cli/commands/InfoCommand.h"

#include "cli/commands/ExitFor.h"
#include "link/BoardInfoText.h"

#include <CLI/CLI.hpp>

#include <ostream>
#include <string>

int RunInfoCommand(PageHost& host, std::ostream& out) {
    BoardInfo info;
    FirmwareVersion version;
    FirmwareCode code = 0;
    CMB805QBrd& board = host.Board();
    if (!board.GetBoardInfo(info) || !board.GetFirmwareVersion(version) || !board.GetFirmwareCode(code)) {
        return ExitFor(PageLostBoard(host));
    }
    for (const std::string& text : BoardInfoLines(info, version, code)) out << text << '\n';
    return kCliOk;
}

void AddInfoCommand(CLI::App& app, CommandLine& line) {
    auto* info = app.add_subcommand("info", "Print what the board reports about itself");
    info->callback(
        [&line] { line.onBoard = [&line](CliSession& s) { return RunInfoCommand(s, line.out); }; });
}
