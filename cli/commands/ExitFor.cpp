#include "cli/commands/ExitFor.h"

int ExitFor(PageResult result) {
    switch (result) {
        case PageResult::Ok: return kCliOk;
        case PageResult::LostBoard: return kCliLostBoard;
        case PageResult::Invalid:
        case PageResult::Failed: break;
    }
    return kCliInvalid;
}
