#pragma once
// Test doubles of the platform interfaces: they record what the logic asked of the user.
#include "core/ProgressSink.h"
#include "core/UserPrompts.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

struct ShownMessage {
    std::string text;
    std::string caption;
    MsgIcon icon;
    MsgButtons buttons;
    std::string detail = {};  // the system's reason under an error box
};

class RecordingPrompts : public UserPrompts {
public:
    MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                         MsgButtons buttons) override;
    void ErrorWithDetail(const std::string& text, const std::string& caption,
                         const std::string& detail) override {
        MessageBox(text, caption, MsgIcon::Error, MsgButtons::Ok);
        messages.back().detail = detail;
    }
    void PostQuit(int exitCode) override { quitCodes.push_back(exitCode); }
    std::optional<std::string> AskOpenFile(const FileDialogSpec& spec) override;
    std::optional<std::string> AskSaveFile(const FileDialogSpec& spec) override;
    std::optional<SaveFileChoice> AskSaveFileOfType(const FileDialogSpec& spec) override;

    // Answers handed out in order; Ok (or Yes for yes/no boxes) once they run out.
    std::deque<MsgAnswer> answers;
    std::vector<ShownMessage> messages;
    std::vector<int> quitCodes;
    // Paths the file dialogs hand out in order; nothing (Cancel) once they run out.
    std::deque<std::optional<std::string>> filePaths;
    std::vector<FileDialogSpec> fileDialogs;
    // Filters a save of a chosen type hands out with its path, in order; 0 once they run out.
    std::deque<size_t> fileFilters;
    bool QuitPosted() const { return !quitCodes.empty(); }
};

// What a long operation said of its progress, one line per call: "Begin Saving trace 131072
// entries", "Advance 2048", "End". With prompts set, End also notes how many messages had been
// shown by then ("End after 0 messages"), so a test sees that the progress ends before a message.
class RecordingProgressSink : public ProgressSink {
public:
    void Begin(const std::string& caption, uint64_t total, const std::string& unit) override;
    void Advance(uint64_t done) override;
    void End() override;

    const RecordingPrompts* prompts = nullptr;
    std::vector<std::string> events;
};

class RecordingProgress : public ProgressDialog {
public:
    void Create(const std::string& c) override {
        created = true;
        caption = c;
    }
    void SetRange(int low, int high) override {
        rangeLow = low;
        rangeHigh = high;
    }
    void SetStep(int s) override { step = s; }
    void SetPos(int p) override {
        pos = p;
        positions.push_back(p);
    }
    int GetPos() const override { return pos; }
    void StepIt() override;
    void Destroy() override { destroyed = true; }

    bool created = false, destroyed = false;
    std::string caption;
    int rangeLow = 0, rangeHigh = 100, step = 10, pos = 0;
    std::vector<int> positions;  // every position the bar took, in order
};
