#pragma once
// The two dialogs of a paused script, as plain classes: the entry dialog (CDialog_Entry) asks
// for a number, the yes/no dialog (CDialog_YesNo) asks a three-way question. Their views show
// the fields and call the operations; the run host reads the results.
#include "script/RunTexts.h"

#include <cstdint>
#include <string>

namespace script {

class CDialog_Entry {
public:
    // The dialog's OK and Abort.
    enum class Result { Ok = 1, Abort = 2 };

    std::string caption{kCaptionEntryDefault};
    std::string prompt;
    std::string entry;  // the entered text, pre-filled with the proposed value

    void SetCaption(std::string text) { caption = std::move(text); }
    void SetPrompt(std::string text) { prompt = std::move(text); }
    void SetProposed(std::string text) { entry = std::move(text); }
};

class CDialog_YesNo {
public:
    static constexpr int kInitial = 1;
    static constexpr int kYes = 6;
    static constexpr int kNo = 7;
    static constexpr int kAbort = 3;

    std::string caption{kCaptionYesNoDefault};
    std::string prompt;
    int result = kInitial;

    void SetCaption(std::string text) { caption = std::move(text); }
    void SetPrompt(std::string text) { prompt = std::move(text); }
    // Yes is the default button: Enter answers Yes. Escape and the close box are Abort.
    void OnYes() { result = kYes; }
    void OnNo() { result = kNo; }
    void OnAbort() { result = kAbort; }
};

// What the entered text of the entry dialog comes to.
enum class EntryVerdict {
    Accept,  // value holds the answer for the board
    AskAgain,  // show message, then the dialog again
    Abort,  // show message, then abort the script
};

struct EntryCheck {
    EntryVerdict verdict = EntryVerdict::Accept;
    uint16_t value = 0;
    std::string message;
};

// Decimal values the entry dialog takes: a 16-bit signed or unsigned number.
inline constexpr int64_t kEntryMinimum = -32768;
inline constexpr int64_t kEntryMaximum = 0xFFFF;

// The entry rules. Text starting with "$" or "0x" is hexadecimal (upper or lower case digits,
// blanks around them ignored); anything else is decimal, made of digits, blanks and '-' only.
EntryCheck CheckEntryText(const std::string& text);

// The screen's side of the two dialogs: show modally, fill the results.
class ScriptDialogPrompts {
public:
    virtual ~ScriptDialogPrompts() = default;
    virtual CDialog_Entry::Result RunEntry(CDialog_Entry& dialog) = 0;
    virtual void RunYesNo(CDialog_YesNo& dialog) = 0;
};

}  // namespace script
