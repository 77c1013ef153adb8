#pragma once
// The "Script Handler" tab: a thin view over CScript. It is also the window's side of the run:
// the worker's posts arrive here as events of the registered message types and go to the page's
// handlers, and the dialogs of a paused script open from here.
#include "core/PageHost.h"
#include "link/MB805QBrd.h"
#include "script/ResultsList.h"
#include "script/ScriptDialogs.h"
#include "script/ScriptPost.h"

#include <QEvent>
#include <QWidget>

#include <array>
#include <memory>

class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;

namespace script {

class CScript;

// The event types of the thirteen script messages, in ScriptMsg order. The window registers
// them at start and hands them in; a type left QEvent::None is registered here.
using ScriptEventTypes = std::array<QEvent::Type, kScriptMsgCount>;

// One posted script message.
class CScriptEvent final : public QEvent {
public:
    CScriptEvent(QEvent::Type type, ScriptPost post) : QEvent(type), post_(std::move(post)) {}
    const ScriptPost& Post() const { return post_; }

private:
    ScriptPost post_;
};

class CScriptView final : public QWidget,
                          private ScriptPoster,
                          private ScriptDialogPrompts,
                          private ResultsObserver {
    Q_OBJECT
public:
    CScriptView(PageHost& host, ScriptEventTypes types, QWidget* parent = nullptr);
    // Page closing: the worker stops before anything it could post to goes.
    ~CScriptView() override;

    CScript& Page() { return *page_; }
    const ScriptEventTypes& EventTypes() const { return types_; }

    // The recent-files menu as ">" shows it; its actions carry out the choice.
    std::unique_ptr<QMenu> MakeRecentMenu();

protected:
    bool event(QEvent* e) override;

private:
    // ScriptPoster, called by the worker thread.
    void Post(ScriptPost post) override;
    void RemovePending() override;
    // ScriptDialogPrompts
    CDialog_Entry::Result RunEntry(CDialog_Entry& dialog) override;
    void RunYesNo(CDialog_YesNo& dialog) override;
    // ResultsObserver
    void OnCleared() override;
    void OnFirstRemoved() override;
    void OnLineAdded(const std::string& text) override;
    void OnLastLineChanged(const std::string& text) override;

    void ShowControls();
    void ShowRecentMenu();
    void SeeTrace();
    void SelectLast();

    PageHost& host_;
    ScriptEventTypes types_;
    std::unique_ptr<CScript> page_;
    QPushButton* select_ = nullptr;
    QPushButton* recent_ = nullptr;
    QLineEdit* fileName_ = nullptr;
    QPushButton* run_ = nullptr;
    QPushButton* clear_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* trace_ = nullptr;
    QListWidget* results_ = nullptr;
};

}  // namespace script
