#pragma once
// The exit codes of the programs, in one table so that a caller running them (a shell script,
// a test bench) reads the same number for the same outcome from every command.

// tr805q, the window.
inline constexpr int kExitClosed = 0;  // closed by the user
inline constexpr int kExitLostBoard = 1;  // the board stopped answering: the program ended
// The board's firmware could not be replaced: the program ended.
inline constexpr int kExitBoardFailure = 1;
inline constexpr int kExitCancelled = 2;  // the COM port dialog was cancelled at start

// tr805q-cli: every command.
inline constexpr int kCliOk = 0;
inline constexpr int kCliInvalid = 1;  // a value or file was refused, or the command did not complete
inline constexpr int kCliLostBoard = 2;  // the board did not answer, or the port did not open
// tr805q-cli run: what the script's run came to.
inline constexpr int kCliScriptError = 3;  // a run-time error, a data file that failed, a full queue
inline constexpr int kCliAborted = 4;  // aborted (a dialog's Cancel/Abort, an interrupt)
// tr805q-cli kernlet: the device's checksums differ from the file's.
inline constexpr int kCliChecksums = 5;
