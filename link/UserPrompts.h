#pragma once
// What the logic asks of the user's screen: message boxes and the request to end the program.
// The window implements it with Qt; tests record what was asked.
#include <cstddef>
#include <optional>
#include <string>

// An open or save file dialog, described as the logic wants it.
struct FileDialogSpec {
    std::string title;
    // Pairs "description|pattern|" as the Windows filter string writes them, ending in "||".
    std::string filter;
    std::string defaultExtension;
    std::string initialDirectory;
    std::string initialName;
    bool confirmOverwrite = false;  // save: ask before replacing an existing file
};

// A save dialog's answer where its filters stand for file types: the path, and the filter
// selected when the user accepted (0: the first pair of the filter string).
struct SaveFileChoice {
    std::string path;
    size_t filter = 0;
};

enum class MsgIcon { None, Error, Warning, Information, Question };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
// Same numbers as the answers a script receives.
enum class MsgAnswer { Ok = 1, Cancel = 2, Abort = 3, Yes = 6, No = 7 };

class UserPrompts {
public:
    virtual ~UserPrompts() = default;
    virtual MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                                 MsgButtons buttons = MsgButtons::Ok) = 0;
    // An error box whose text stays as documented, with the system's reason beneath it (empty:
    // none). Screens that cannot show a detail show the text alone.
    virtual void ErrorWithDetail(const std::string& text, const std::string& caption,
                                 const std::string& detail) {
        (void)detail;
        MessageBox(text, caption, MsgIcon::Error);
    }
    // Ends the program once the current action returns.
    virtual void PostQuit(int exitCode) = 0;
    // The chosen path, or nothing when the user cancels.
    virtual std::optional<std::string> AskOpenFile(const FileDialogSpec&) { return std::nullopt; }
    virtual std::optional<std::string> AskSaveFile(const FileDialogSpec&) { return std::nullopt; }
    // A save whose file type the user picks by the filter. Screens without a choice of filter
    // answer the first.
    virtual std::optional<SaveFileChoice> AskSaveFileOfType(const FileDialogSpec& spec) {
        std::optional<std::string> path = AskSaveFile(spec);
        if (!path) return std::nullopt;
        return SaveFileChoice{std::move(*path), 0};
    }
};

// The progress bar of a long board operation (the firmware replacement's "Flashing Device...").
class ProgressDialog {
public:
    virtual ~ProgressDialog() = default;
    virtual void Create(const std::string& caption) = 0;
    virtual void SetRange(int low, int high) = 0;
    virtual void SetStep(int step) = 0;
    virtual void SetPos(int pos) = 0;
    virtual int GetPos() const = 0;
    virtual void StepIt() = 0;
    virtual void Destroy() = 0;
};

// A bar that only keeps its position, where nothing shows it.
class SilentProgressDialog final : public ProgressDialog {
public:
    void Create(const std::string&) override {}
    void SetRange(int low, int high) override {
        low_ = low;
        high_ = high;
    }
    void SetStep(int step) override { step_ = step; }
    void SetPos(int pos) override { pos_ = pos; }
    int GetPos() const override { return pos_; }
    // Past the end it starts over, as a progress bar does.
    void StepIt() override {
        pos_ += step_;
        if (pos_ > high_) pos_ = low_;
    }
    void Destroy() override {}

private:
    int low_ = 0, high_ = 100, step_ = 10, pos_ = 0;
};
