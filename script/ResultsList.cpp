#include "script/ResultsList.h"

#include "script/RunTexts.h"

namespace script {

bool CResultsList::TakeContinuation(std::string& text) {
    if (text.size() >= kContinuation.size() &&
        std::string_view(text).substr(text.size() - kContinuation.size()) == kContinuation) {
        text.resize(text.size() - kContinuation.size());
        return true;
    }
    return false;
}

std::string_view CResultsList::DisplayText(std::string_view line) {
    while (!line.empty() && (line.front() == '\r' || line.front() == '\n')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    return line;
}

std::string CResultsList::FileText() const {
    std::string text;
    for (const std::string& line : lines_) {
        const size_t start = text.size();
        for (const char c : DisplayText(line)) {
            // CR LF, a lone CR and a lone LF are each one line break.
            const bool lineBreak = c == '\r' || c == '\n';
            if (lineBreak && text.size() > start && text.back() == '\n') continue;
            text += lineBreak ? '\n' : c;
        }
        text += '\n';
    }
    return text;
}

void CResultsList::Push(std::string text) {
    if (lines_.size() >= kMaxLines) {
        lines_.pop_front();
        if (observer_) observer_->OnFirstRemoved();
    }
    lines_.push_back(std::move(text));
    if (observer_) observer_->OnLineAdded(lines_.back());
}

void CResultsList::AddLine(std::string text) {
    open_ = false;
    Push(std::move(text));
}

void CResultsList::AddText(std::string text) {
    const bool opens = TakeContinuation(text);
    if (open_ && !lines_.empty()) {
        // The joined line replaces the open one.
        lines_.back() += text;
        open_ = opens;
        if (observer_) observer_->OnLastLineChanged(lines_.back());
        return;
    }
    open_ = opens;
    Push(std::move(text));
}

void CResultsList::Clear() {
    lines_.clear();
    open_ = false;
    if (observer_) observer_->OnCleared();
}

}  // namespace script
