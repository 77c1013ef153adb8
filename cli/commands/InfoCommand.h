#pragma once
// `tr805q-cli info`: the board lines of the About box, from what the board reports about itself.
#include "cli/commands/CommandLine.h"
#include "core/PageHost.h"

#include <iosfwd>

// One line each, as the About box shows them; kCliLostBoard when the board does not answer.
int RunInfoCommand(PageHost& host, std::ostream& out);
void AddInfoCommand(CLI::App& app, CommandLine& line);
