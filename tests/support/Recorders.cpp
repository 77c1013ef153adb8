#include "tests/support/Recorders.h"

MsgAnswer RecordingPrompts::MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                                       MsgButtons buttons) {
    messages.push_back({text, caption, icon, buttons});
    if (!answers.empty()) {
        MsgAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    return buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel ? MsgAnswer::Yes
                                                                              : MsgAnswer::Ok;
}

void RecordingProgressSink::Begin(const std::string& caption, uint64_t total, const std::string& unit) {
    events.push_back("Begin " + caption + " " + std::to_string(total) + " " + unit);
}

void RecordingProgressSink::Advance(uint64_t done) { events.push_back("Advance " + std::to_string(done)); }

void RecordingProgressSink::End() {
    events.push_back(prompts ? "End after " + std::to_string(prompts->messages.size()) + " messages" : "End");
}

void RecordingProgress::StepIt() {
    pos += step;
    if (pos > rangeHigh) pos = rangeLow + (pos - rangeHigh);  // wraps like a progress bar
    positions.push_back(pos);
}

std::optional<std::string> RecordingPrompts::AskOpenFile(const FileDialogSpec& spec) {
    fileDialogs.push_back(spec);
    if (filePaths.empty()) return std::nullopt;
    auto p = filePaths.front();
    filePaths.pop_front();
    return p;
}

std::optional<std::string> RecordingPrompts::AskSaveFile(const FileDialogSpec& spec) {
    return AskOpenFile(spec);
}

std::optional<SaveFileChoice> RecordingPrompts::AskSaveFileOfType(const FileDialogSpec& spec) {
    std::optional<std::string> path = AskOpenFile(spec);
    size_t filter = 0;
    if (!fileFilters.empty()) {
        filter = fileFilters.front();
        fileFilters.pop_front();
    }
    if (!path) return std::nullopt;
    return SaveFileChoice{std::move(*path), filter};
}
