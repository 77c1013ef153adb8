#pragma once
// The lost-board report where the board's link is at hand: the port's own words for its failure,
// if it had one, go beneath the text.
#include "core/LostBoard.h"
#include "link/ComInt.h"

#include <string>

inline void ReportLostBoard(UserPrompts& prompts, const CComInt& link, const std::string& text) {
    ReportLostBoardWithDetail(prompts, text, link.LastPortFailure());
}
inline void ReportLostBoard(UserPrompts& prompts, const CComInt& link, int suffix = 0) {
    ReportLostBoard(prompts, link, LostBoardText(suffix));
}
