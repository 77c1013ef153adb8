#pragma once
// tr805q-cli's Kernlet commands: load a Kernlet file into a device and verify it as the page
// does, or list what a file holds without a board.
#include "link/PageHost.h"

#include <cstdint>
#include <iosfwd>
#include <string>

// Exit codes, the same numbers as the other tr805q-cli commands use.
inline constexpr int kKernletExitOk = 0;
inline constexpr int kKernletExitFailed = 1;      // no file, bad file, refused, not completed
inline constexpr int kKernletExitLostBoard = 2;   // the board did not answer
inline constexpr int kKernletExitChecksums = 5;   // the device's checksums differ from the file's

struct KernletCommandOptions {
    uint8_t device = 1;             // 1..3
    bool ignoreChecksums = false;   // a checksum difference is reported but the load goes on
};

// Loads `file` into the device on the host's board and verifies it. The board's information
// is read first for its Kernlet options, which choose the verification. What the page would
// show in message boxes goes to the host's prompts; a summary line goes to `out`, the
// command's own errors to `err`.
int RunKernletCommand(PageHost& host, const std::string& file, const KernletCommandOptions& options,
                      std::ostream& out, std::ostream& err);

// Lists the blocks of `file` (address, words, checksum, chunk count) and the end record's
// address, without a board. kKernletExitFailed when the file cannot be opened.
int RunKernletInspect(const std::string& file, std::ostream& out, std::ostream& err);
