#include "core/LostBoard.h"

#include "core/ExitCodes.h"
#include "core/Texts.h"

std::string LostBoardText(int suffix) {
    std::string text = kMsgNoCommunication;
    if (suffix > 0) text += std::to_string(suffix);
    return text;
}

void ReportLostBoardWithDetail(UserPrompts& prompts, const std::string& text, const std::string& detail) {
    prompts.ErrorWithDetail(text, kCaptionError, detail);
    prompts.PostQuit(kExitLostBoard);
}
