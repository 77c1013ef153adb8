#pragma once
// What a page reaches through the sheet: the board object, the user's screen, the clock and the
// connection state it shares with the other pages. The window's sheet implements it; tr805q-cli
// and tests have their own.
#include "link/Clock.h"
#include "link/MB805QBrd.h"
#include "link/ProgressSink.h"
#include "link/SettingsKey.h"
#include "link/UserPrompts.h"

#include <cstdint>
#include <memory>

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
    // A new per-user settings key, not yet opened: the page opens it with its tab name and keeps
    // it for the run. Null where there is no settings store.
    virtual std::unique_ptr<SettingsKey> NewSettingsKey() { return nullptr; }
    // A running script disables the sheet's tabs, its "Serial" button and the About entry, and
    // enables them again when the run ends. Nothing to do where there is no window.
    virtual void EnableSheetControls(bool enable) { (void)enable; }
    // Where the long operations of the pages (Kernlet load, trace save, script download) say
    // how far they have come. Nowhere by default.
    virtual ProgressSink& Progress() { return NoProgressSink::Instance(); }
};

// Exit code when the program ends because the board stopped answering: a failure, so that a
// caller running the program can tell it from a normal close.
inline constexpr int kExitLostBoard = 1;
