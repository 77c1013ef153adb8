#pragma once
// The program's version: the About box shows the text, and every executable's --version
// prints its name, the number and the same text.
inline constexpr const char* kProgramVersionNumber = "1.3";
inline constexpr const char* kProgramVersionText = "TR8051B Version 1.3";
// After the program's name in --version.
inline constexpr const char* kVersionSuffix = "1.3 (TR8051B Version 1.3)";
