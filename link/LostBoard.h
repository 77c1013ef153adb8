#pragma once
// The one report of a lost board: a board that stopped answering, answered wrongly, or whose
// port failed (an unplugged adapter). Every page, the Kernlet load and the script run host
// call it; the program then ends, as nothing reconnects.
#include "link/ComInt.h"
#include "link/UserPrompts.h"

#include <string>

// "Error - Unable to communicate with KOVA kit\n...", followed by the digit that tells the
// script engine's place (none for 0).
std::string LostBoardText(int suffix = 0);

// Shows the text (caption "Error", error icon) with the port's reason as its detail when the
// port itself failed, and asks the program to end with kExitLostBoard.
void ReportLostBoard(UserPrompts& prompts, const CComInt& link, const std::string& text);
// The same where the port's words come with its failure rather than from the link (a port
// exception that reached the top of an action).
void ReportLostBoardWithDetail(UserPrompts& prompts, const std::string& text, const std::string& detail);
inline void ReportLostBoard(UserPrompts& prompts, const CComInt& link, int suffix = 0) {
    ReportLostBoard(prompts, link, LostBoardText(suffix));
}
