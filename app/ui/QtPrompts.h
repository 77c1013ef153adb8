#pragma once
// The user's screen for the logic: message boxes, file dialogs and the request to end the
// program. The progress dialog (CProgressDialog) comes with it.
#include "link/UserPrompts.h"
#include "link/ui/ProgressView.h"

#include <QObject>
#include <QPointer>

#include <optional>

class QWidget;

class QtUserPrompts final : public QObject, public UserPrompts {
    Q_OBJECT
public:
    explicit QtUserPrompts(QObject* parent = nullptr) : QObject(parent) {}

    // The window that owns the message boxes once it is on screen.
    void SetOwner(QWidget* owner) { owner_ = owner; }

    MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                         MsgButtons buttons = MsgButtons::Ok) override;
    // The reason goes in the box's informative text, under the documented words.
    void ErrorWithDetail(const std::string& text, const std::string& caption,
                         const std::string& detail) override;
    // The first request counts. The application's event loop ends with its code as soon as no
    // modal dialog or message box is open, so that a message shown after the request is read.
    void PostQuit(int exitCode) override;
    std::optional<std::string> AskOpenFile(const FileDialogSpec& spec) override;
    std::optional<std::string> AskSaveFile(const FileDialogSpec& spec) override;
    // The filter selected when the dialog was accepted; the extension a save adds follows it.
    std::optional<SaveFileChoice> AskSaveFileOfType(const FileDialogSpec& spec) override;

    std::optional<int> QuitCode() const { return quitCode_; }

    // "desc|pattern|...||" as the file dialogs take it: "desc (pattern);;...".
    static QString QtFileFilter(const std::string& windowsFilter);

private:
    void DeliverQuit();
    QWidget* Owner() const;

    QPointer<QWidget> owner_;
    std::optional<int> quitCode_;
    bool quitQueued_ = false;
};
