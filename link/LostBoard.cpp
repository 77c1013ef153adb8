#include "link/LostBoard.h"

#include "link/Messages.h"
#include "link/PageHost.h"

std::string LostBoardText(int suffix) {
    std::string text = kMsgNoCommunication;
    if (suffix > 0) text += std::to_string(suffix);
    return text;
}

void ReportLostBoard(UserPrompts& prompts, const CComInt& link, const std::string& text) {
    prompts.ErrorWithDetail(text, kCaptionError, link.LastPortFailure());
    prompts.PostQuit(kExitLostBoard);
}
