#pragma once
// The one formatter of the program's own texts. Every format handed to it is one of the
// program's constant texts, never a string from a file, a script or the board, so the compiler
// checks each format against its arguments.
#include <string>

// The formatted text, whatever its length; empty if the format cannot be applied.
__attribute__((format(printf, 1, 2))) std::string FormatText(const char* format, ...);
