#include "link/LostBoard.h"

#include "link/Messages.h"
#include "link/PageHost.h"

std::string LostBoardText(int suffix) {
    std::string text = kMsgNoCommunication;
    if (suffix > 0) text += std::to_string(suffix);
    return text;
}

void ReportLostBoard(UserPrompts& prompts, const CComInt& link, const std::string& text) {
    ReportLostBoardWithDetail(prompts, text, link.LastPortFailure());
}

void ReportLostBoardWithDetail(UserPrompts& prompts, const std::string& text, const std::string& detail) {
    prompts.ErrorWithDetail(text, kCaptionError, detail);
    prompts.PostQuit(kExitLostBoard);
}
