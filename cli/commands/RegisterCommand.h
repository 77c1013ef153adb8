#pragma once
// `tr805q-cli read ADDR [--8bit]`, `write ADDR DATA [--8bit]` and `reset`: the three buttons of
// the single-register page. Typed texts are taken as the page's fields take them, letters in
// upper case, but whole: a text the field would not hold is refused, never cut short.
#include "cli/commands/CommandLine.h"
#include "core/PageHost.h"

#include <iosfwd>
#include <string>

// Prints the value read, in hex, on a line of its own.
int RunReadCommand(PageHost& host, const std::string& address, bool bits8, int device, std::ostream& out);
int RunWriteCommand(PageHost& host, const std::string& address, const std::string& data, bool bits8,
                    int device);
int RunResetCommand(PageHost& host, int device);
void AddRegisterCommands(CLI::App& app, CommandLine& line);
