#include "app/AboutBox.h"

#include "link/BoardInfoText.h"

void CAboutBox::OnInitDialog() {
    caption = kCaption;
    // The board lines are the ones `tr805q-cli info` prints, in the same order.
    const auto lines = BoardInfoLines(info_, version_, code_);
    for (int line = 0; line < kBoardInfoLineCount; ++line) texts[BoardVersion + line] = lines[line];
    texts[ProgramVersion] = kProgramVersion;
}
