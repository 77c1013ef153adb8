#pragma once
// The script page's results list: at most 500 lines, the first removed before a line is added
// to a full list, the last one selected after each addition. A script text that ends with the
// two characters "\c" is shown without them and leaves its line open: the next script text is
// appended to it.
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

namespace script {

// Told of every change, in order, after the list has changed.
class ResultsObserver {
public:
    virtual ~ResultsObserver() = default;
    virtual void OnCleared() = 0;
    virtual void OnFirstRemoved() = 0;
    virtual void OnLineAdded(const std::string& text) = 0;
    // The open last line grew.
    virtual void OnLastLineChanged(const std::string& text) = 0;
};

class CResultsList {
public:
    static constexpr size_t kMaxLines = 500;

    void SetObserver(ResultsObserver* observer) { observer_ = observer; }

    // A line of its own (the program's texts): it closes an open line.
    void AddLine(std::string text);
    // A script's text, with the continuation rule.
    void AddText(std::string text);
    void Clear();
    // Forgets an open line without touching the text: the next script text starts a new line.
    void CloseContinuation() { open_ = false; }

    const std::deque<std::string>& Lines() const { return lines_; }
    size_t Count() const { return lines_.size(); }
    bool Empty() const { return lines_.empty(); }
    bool ContinuationOpen() const { return open_; }
    // The selected line (the last one), or -1 when the list is empty.
    int Selected() const { return lines_.empty() ? -1 : static_cast<int>(lines_.size()) - 1; }

    // The text with its "\c" taken off, and whether it had one.
    static bool TakeContinuation(std::string& text);
    // A line as one row of a list or terminal shows it: CR and LF around it removed (the
    // run-time errors start with a line break, compile errors end with one).
    static std::string_view DisplayText(std::string_view line);
    // The list as "Save Results..." writes it: each line once, as it is shown, ended by "\n";
    // a line break inside a line's text becomes one "\n", with no CR and no blank line.
    std::string FileText() const;

private:
    void Push(std::string text);

    std::deque<std::string> lines_;
    bool open_ = false;
    ResultsObserver* observer_ = nullptr;
};

}  // namespace script
