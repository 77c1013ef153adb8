// libFuzzer target: any text typed into the entry dialog of a paused script, through the entry
// rules; the verdict and its message must agree.
#include "script/RunTexts.h"
#include "script/ScriptDialogs.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const script::EntryCheck c = script::CheckEntryText(text);
    switch (c.verdict) {
        case script::EntryVerdict::Accept:
            if (!c.message.empty()) std::abort();
            break;
        case script::EntryVerdict::AskAgain:
            if (c.message != script::kMsgValueNotNumber && c.message != script::kMsgValueOutOfRange)
                std::abort();
            break;
        case script::EntryVerdict::Abort:
            if (c.message != script::kMsgValueNotNumber) std::abort();
            break;
    }
    return 0;
}
