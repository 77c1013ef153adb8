#pragma once
// What a page reaches through the sheet: the board object, the user's screen, the clock and the
// connection state it shares with the other pages. The window's sheet implements it; tr805q-cli
// and tests have their own.
#include "link/Clock.h"
#include "link/MB805QBrd.h"
#include "link/UserPrompts.h"

#include <cstdint>

class PageHost {
public:
    virtual ~PageHost() = default;
    virtual CMB805QBrd& Board() = 0;
    virtual UserPrompts& Prompts() = 0;
    virtual Clock& GetClock() = 0;
    // One flag per target device 1..3: a Kernlet that the device confirmed is running in it.
    virtual bool KernletLoaded(uint8_t device) const = 0;
    virtual void SetKernletLoaded(uint8_t device, bool loaded) = 0;
    // The board's kernletOptions mask, by device number.
    virtual uint8_t KernletOptions() const = 0;
};

// Exit code when the program ends because the board stopped answering: a failure, so that a
// caller running the program can tell it from a normal close.
inline constexpr int kExitLostBoard = 1;
