#pragma once
// How a page operation's end reads as tr805q-cli's exit code, for every command that runs one.
#include "core/ExitCodes.h"
#include "registers/ZLINKControl.h"

// Ok: kCliOk; a lost board: kCliLostBoard; a refused value or an operation the board did not
// complete: kCliInvalid.
int ExitFor(PageResult result);
