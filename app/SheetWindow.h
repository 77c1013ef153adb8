#pragma once
// What the sheet's logic asks of its window: the modal dialogs, the controls it builds once the
// port is open, the relayout, the title, and the loader-ready message. The Qt view implements
// it; tests use a recorder.
#include <string>

class CAboutBox;
class CComPortDialog;
class COptions;

class SheetWindow {
public:
    virtual ~SheetWindow() = default;
    // Shows the COM port dialog modally (it calls OnInitDialog, and OnOK or OnCancel);
    // true for OK.
    virtual bool RunComPortDialog(CComPortDialog& dialog) = 0;
    virtual void RunOptionsDialog(COptions& options) = 0;
    virtual void RunAboutBox(CAboutBox& box) = 0;
    // Once the port is open: the five pages, the bottom buttons and, when the text is not empty,
    // the About entry.
    virtual void BuildControls(const std::string& aboutEntryText) = 0;
    // The window, its tab control and the current page change height by dy pixels; the bottom
    // buttons move by dy.
    virtual void ResizeBy(int dy) = 0;
    virtual void EnableAndActivate() = 0;
    virtual void SetTitle(const std::string& title) = 0;
    // The tab control, "Serial" and the About entry, while a script runs.
    virtual void SetSheetControlsEnabled(bool enable) = 0;
    // Called on the loader-wait thread: must only queue the message for the window's thread,
    // which then calls CTR805QSheet::OnLoaderReady.
    virtual void PostLoaderReady() = 0;
};
