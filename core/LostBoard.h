#pragma once
// The one report of a lost board: a board that stopped answering, answered wrongly, or whose
// port failed (an unplugged adapter). Every page, the Kernlet load and the script run host
// end up here; the program then ends, as nothing reconnects.
#include "core/UserPrompts.h"

#include <string>

// "Error - Unable to communicate with KOVA kit\n...", followed by the digit that tells the
// script engine's place (none for 0).
std::string LostBoardText(int suffix = 0);

// Shows the text (caption "Error", error icon) with the port's reason as its detail (empty:
// none), and asks the program to end with kExitLostBoard.
void ReportLostBoardWithDetail(UserPrompts& prompts, const std::string& text, const std::string& detail);
