#pragma once
// How a screen that nobody watches answers a message box: the shell's program and the Python
// module go on with the operation their caller started, so a question gets Yes and every other
// box OK.
#include "core/UserPrompts.h"

inline MsgAnswer UnattendedAnswer(MsgButtons buttons) {
    return buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel ? MsgAnswer::Yes
                                                                              : MsgAnswer::Ok;
}
