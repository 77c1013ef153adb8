#pragma once
// tr805q-cli's Kernlet commands: load a Kernlet file into a device and verify it as the page
// does, or list what a file holds without a board.
#include "cli/commands/CommandLine.h"
#include "core/ExitCodes.h"
#include "core/PageHost.h"
#include "link/MB805QBrd.h"

#include <cstdint>
#include <iosfwd>
#include <string>

struct KernletCommandOptions {
    uint8_t device = 1;  // 1..3
    bool ignoreChecksums = false;  // a checksum difference is reported but the load goes on
};

// Loads `file` into the device on the host's board and verifies it. The board's information
// is read first for its Kernlet options, which choose the verification. What the page would
// show in message boxes goes to the host's prompts; a summary line goes to `out`, the
// command's own errors to `err`.
int RunKernletCommand(PageHost& host, const std::string& file, const KernletCommandOptions& options,
                      std::ostream& out, std::ostream& err);

// Lists the blocks of `file` (address, words, checksum, chunk count) and the end record's
// address, without a board. kCliInvalid when the file cannot be opened.
int RunKernletInspect(const std::string& file, std::ostream& out, std::ostream& err);

// `kernlet FILE [--inspect] [--ignore-checksums]`.
void AddKernletCommand(CLI::App& app, CommandLine& line);
