#pragma once
// The main window: a tab control with the five pages and the sheet's own bottom row of buttons
// "Serial", "Options", "Close". The window keeps the fixed geometry of a property sheet so that
// the relayout between the short pages and the taller register tables moves exact pixels.
#include "app/SheetWindow.h"
#include "app/TR805QSheet.h"
#include "link/ui/PaintingLine.h"

#include <QEvent>
#include <QList>
#include <QWidget>

class QAction;
class QPushButton;
class QTabWidget;

class CTR805QSheetView final : public QWidget, public SheetWindow {
    Q_OBJECT
public:
    static constexpr int kMargin = 7;  // around the tab control and below the buttons
    static constexpr int kButtonGap = 7;  // between the bottom buttons
    static constexpr int kTabWidth = 880;  // the tab control, wide enough for two table halves
    static constexpr int kShortTabHeight = 472;  // the tab control with a short page
    static constexpr int kMinButtonWidth = 75;
    static constexpr int kMinButtonHeight = 23;
    // How long a window just shown may take to be placed and mapped by the window system.
    static constexpr int kPlacementWaitMs = 1000;

    explicit CTR805QSheetView(const SheetPlatform& platform, QWidget* parent = nullptr);
    ~CTR805QSheetView() override;

    CTR805QSheet& Sheet() { return sheet_; }
    // Puts a page widget in a tab in place of what is there (the window takes it over).
    void SetPage(int tab, QWidget* page);

    // SheetWindow
    bool RunComPortDialog(CComPortDialog& dialog) override;
    void RunOptionsDialog(COptions& options) override;
    void RunAboutBox(CAboutBox& box) override;
    void BuildControls(const std::string& aboutEntryText) override;
    void ResizeBy(int dy) override;
    void EnableAndActivate() override;
    void SetTitle(const std::string& title) override;
    void SetSheetControlsEnabled(bool enable) override;
    void PostLoaderReady() override;

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    // The platform as the sheet gets it: its clock and its line keep the window painted while a
    // board operation runs.
    static SheetPlatform Painting(SheetPlatform platform, Clock& clock);
    QWidget* DialogParent();
    // While a script runs the worker thread reads the link: only the tab it runs from may be
    // chosen; every other tab and its page are disabled and given back as they were.
    void LockToCurrentTab();
    void UnlockTabs();

    CPaintingClock clock_;
    CTR805QSheet sheet_;
    QEvent::Type loaderReady_ = QEvent::None;
    QTabWidget* tabs_ = nullptr;
    QPushButton* close_ = nullptr;
    QPushButton* options_ = nullptr;
    QPushButton* serial_ = nullptr;
    QAction* about_ = nullptr;
    int lockedTab_ = -1;  // the one tab that can be chosen while a script runs; -1: all
    QList<bool> tabsEnabledBeforeLock_;
};
