#include "script/ScriptPage.h"

#include "link/Messages.h"
#include "link/ReplacingFile.h"

#include <filesystem>

namespace script {

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

CScript::CScript(PageHost& host, ScriptPoster& poster, ScriptDialogPrompts& dialogs)
    : host_(host), runHost_(host, poster, dialogs, results_, *this) {}

CScript::~CScript() { Close(); }

void CScript::Changed() {
    if (controlsChanged_) controlsChanged_();
}

bool CScript::ReadString(const std::string& name, std::string& value) {
    switch (key_->QueryString(name, value)) {
        case SettingsStatus::Ok: return true;
        case SettingsStatus::Missing:
            value.clear();
            if (key_->SetString(name, value)) return true;
            host_.Prompts().MessageBox(kMsgCannotCreateEntry, kCaptionError, MsgIcon::Error);
            return false;
        case SettingsStatus::Failed: break;
    }
    host_.Prompts().MessageBox(kMsgCannotReadEntry, kCaptionError, MsgIcon::Error);
    return false;
}

bool CScript::Initialise() {
    key_ = host_.NewSettingsKey();
    if (!key_) return true;  // no settings store (tr805q-cli): nothing to remember
    if (!key_->Open(std::string(kScriptTab))) {
        host_.Prompts().MessageBox(kMsgCannotCreateKey, kCaptionError, MsgIcon::Error);
        key_.reset();
        return false;
    }
    auto fail = [this] {
        key_->Close();
        key_.reset();
        return false;
    };
    for (size_t i = 0; i < kRecentMax; ++i) {
        const std::string n = std::to_string(i);
        if (!ReadString(std::string(kValueRecentDirectory) + n, recent_[i].directory) ||
            !ReadString(std::string(kValueRecentName) + n, recent_[i].name)) {
            return fail();
        }
    }
    uint32_t count = 0;
    switch (key_->QueryDword(std::string(kValueFileCount), count)) {
        case SettingsStatus::Ok: break;
        case SettingsStatus::Missing:
            count = 0;
            if (!key_->SetDword(std::string(kValueFileCount), 0)) {
                host_.Prompts().MessageBox(kMsgCannotCreateEntry, kCaptionError, MsgIcon::Error);
                return fail();
            }
            break;
        case SettingsStatus::Failed:
            host_.Prompts().MessageBox(kMsgCannotReadEntry, kCaptionError, MsgIcon::Error);
            return fail();
    }
    // A count the list cannot hold (a damaged store) would index past the six entries.
    recentCount_ = std::min<uint32_t>(count, kRecentMax);
    if (!ReadString(std::string(kValueWorkingDirectory), workingDirectory_)) return fail();
    return true;
}

void CScript::Close() {
    runHost_.Close();
    if (key_) {
        key_->Close();
        key_.reset();
    }
}

void CScript::StoreWorkingDirectory() {
    if (key_ && !key_->SetString(std::string(kValueWorkingDirectory), workingDirectory_)) {
        host_.Prompts().MessageBox(kMsgCannotCreateEntry, kCaptionError, MsgIcon::Error);
    }
}

void CScript::StoreRecent() {
    if (!key_) return;
    bool ok = true;
    for (size_t i = 0; i < kRecentMax; ++i) {
        const std::string n = std::to_string(i);
        ok = key_->SetString(std::string(kValueRecentName) + n, recent_[i].name) && ok;
        ok = key_->SetString(std::string(kValueRecentDirectory) + n, recent_[i].directory) && ok;
    }
    ok = key_->SetDword(std::string(kValueFileCount), recentCount_) && ok;
    if (!ok) host_.Prompts().MessageBox(kMsgCannotCreateEntry, kCaptionError, MsgIcon::Error);
}

void CScript::SelectedState() {
    controls_.selectScript = true;
    controls_.recentFiles = true;
    controls_.run = true;
    controls_.runText = std::string(kTextRun);
    controls_.saveResults = false;
    controls_.clearResults = false;
    controls_.seeTrace = false;
    Changed();
}

void CScript::SetScript(const std::string& fullPath) {
    fullPath_ = fullPath;
    fileName_ = NameOf(fullPath);
    workingDirectory_ = DirectoryOf(fullPath);
}

void CScript::SelectScript() {
    if (!Idle()) return;
    FileDialogSpec spec;
    spec.title = std::string(kTitleSelectScript);
    spec.filter = std::string(kFilterScripts);
    spec.defaultExtension = std::string(kDefaultExtension);
    if (!workingDirectory_.empty()) {
        spec.initialDirectory = workingDirectory_;
    } else {
        std::error_code ec;
        spec.initialDirectory = std::filesystem::current_path(ec).string();
    }
    const std::optional<std::string> chosen = host_.Prompts().AskOpenFile(spec);
    if (!chosen) return;

    SetScript(*chosen);
    StoreWorkingDirectory();
    results_.Clear();
    const RecentFile entry{fileName_, workingDirectory_};
    bool known = false;
    for (uint32_t i = 0; i < recentCount_; ++i) {
        known = known || (recent_[i].name == entry.name && recent_[i].directory == entry.directory);
    }
    if (!known) {
        if (recentCount_ == kRecentMax) {
            for (size_t i = 0; i + 1 < kRecentMax; ++i) recent_[i] = recent_[i + 1];
            recent_[kRecentMax - 1] = entry;
        } else {
            recent_[recentCount_++] = entry;
        }
        StoreRecent();
    }
    SelectedState();
}

std::vector<RecentMenuItem> CScript::RecentMenu() const {
    std::vector<RecentMenuItem> items;
    items.push_back({std::string(kTextClearRecent), recentCount_ > 0, false, -1});
    if (recentCount_ > 0) {
        items.push_back({std::string(), true, true, -1});
        for (uint32_t i = 0; i < recentCount_; ++i) {
            items.push_back({recent_[i].name, true, false, static_cast<int>(i)});
        }
    }
    return items;
}

void CScript::ChooseRecent(int entry) {
    if (!Idle() || entry < 0 || static_cast<uint32_t>(entry) >= recentCount_) return;
    const RecentFile& r = recent_[static_cast<size_t>(entry)];
    workingDirectory_ = r.directory;
    fullPath_ = r.directory + r.name;
    fileName_ = r.name;
    StoreWorkingDirectory();
    SelectedState();
}

void CScript::ClearRecentList() {
    recentCount_ = 0;
    if (key_ && !key_->SetDword(std::string(kValueFileCount), 0)) {
        host_.Prompts().MessageBox(kMsgCannotCreateEntry, kCaptionError, MsgIcon::Error);
    }
}

void CScript::RunOrAbort() {
    if (Idle()) {
        if (fullPath_.empty()) return;
        runHost_.Run(fullPath_);
    } else {
        runHost_.Abort();
    }
}

void CScript::ClearResults() {
    results_.Clear();
    controls_.clearResults = false;
    controls_.saveResults = false;
    Changed();
}

void CScript::SaveResults() {
    FileDialogSpec spec;
    spec.title = std::string(kTitleSaveResults);
    spec.filter = std::string(kFilterText);
    spec.defaultExtension = std::string(kDefaultExtension);
    spec.initialDirectory = workingDirectory_;
    spec.confirmOverwrite = true;
    const std::optional<std::string> chosen = host_.Prompts().AskSaveFile(spec);
    if (!chosen) return;
    if (!WriteFileReplacing(*chosen, results_.FileText())) {
        host_.Prompts().MessageBox(std::string(kMsgUnableToSaveResults), kCaptionError, MsgIcon::Error);
    }
}

void CScript::RunStarted() {
    controls_.selectScript = false;
    controls_.recentFiles = false;
    controls_.saveResults = false;
    controls_.clearResults = false;
    controls_.seeTrace = false;
    controls_.run = true;
    controls_.runText = std::string(kTextAbort);
    Changed();
}

void CScript::RunStopped(bool seeTrace) {
    controls_.selectScript = true;
    controls_.recentFiles = true;
    controls_.run = true;
    controls_.runText = std::string(kTextRun);
    controls_.saveResults = true;
    controls_.clearResults = true;
    controls_.seeTrace = seeTrace;
    Changed();
}

void CScript::CompileFailed() {
    controls_.saveResults = true;
    controls_.clearResults = true;
    controls_.seeTrace = false;
    Changed();
}

}  // namespace script
