#include "app/ui/TR805QSheetView.h"

#include "app/MessageNames.h"
#include "app/ui/AboutBoxView.h"
#include "app/ui/ComPortDialogView.h"
#include "app/ui/OptionsView.h"
#include "app/ui/Pages.h"
#include "app/ui/ProgramIcon.h"
#include "app/ui/RegisteredMessages.h"
#include "link/ui/BoardActivity.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QThread>
#include <QWindow>

#include <algorithm>

SheetPlatform CTR805QSheetView::Painting(SheetPlatform platform, Clock& clock) {
    platform.clock = &clock;
    platform.deviceOpener = PaintWhileWaiting(std::move(platform.deviceOpener));
    return platform;
}

CTR805QSheetView::CTR805QSheetView(const SheetPlatform& platform, QWidget* parent)
    : QWidget(parent), clock_(*platform.clock), sheet_(Painting(platform, clock_), *this) {
    RegisterMessages();
    loaderReady_ = RegisteredMessage(kMsgLoaderReady);

    setObjectName(QStringLiteral("mainSheet"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromLatin1(kSheetCaption));
    setWindowIcon(ProgramIcon());
    // Nobody works in the window while the port dialog runs; the connection enables it.
    setEnabled(false);

    // Built at the height of the table pages; the initialisation's relayout shrinks it to tab 0.
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("tabs"));
    tabs_->setGeometry(kMargin, kMargin, kTabWidth, kShortTabHeight + kTableTabExtraHeight);
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int tab) {
        // Qt's keyboard and mouse handling skip disabled tabs; any other way that still lands
        // on one during a run goes straight back.
        if (lockedTab_ >= 0 && tab != lockedTab_) {
            tabs_->setCurrentIndex(lockedTab_);
            return;
        }
        if (tab >= 0) sheet_.OnTabChanged(tab);
    });
    setFixedSize(kMargin + kTabWidth + kMargin,
                 kMargin + tabs_->height() + kMargin + kMinButtonHeight + kMargin);
}

CTR805QSheetView::~CTR805QSheetView() {
    sheet_.JoinLoaderWait();
    // The port closes before the pages go, and the pages before the sheet they reach.
    sheet_.ClosePort();
    if (tabs_) {
        const QSignalBlocker block(tabs_);
        while (tabs_->count() > 0) {
            QWidget* page = tabs_->widget(0);
            tabs_->removeTab(0);
            delete page;
        }
    }
}

QWidget* CTR805QSheetView::DialogParent() { return isVisible() ? this : nullptr; }

bool CTR805QSheetView::RunComPortDialog(CComPortDialog& dialog) {
    return RunComPortDialogView(dialog, DialogParent());
}

void CTR805QSheetView::RunOptionsDialog(COptions& options) {
    COptionsView view(options, DialogParent());
    view.exec();
}

void CTR805QSheetView::RunAboutBox(CAboutBox& box) {
    CAboutBoxView view(box, DialogParent());
    view.exec();
}

void CTR805QSheetView::BuildControls(const std::string& aboutEntryText) {
    for (int tab = 0; tab < static_cast<int>(kTabCaptions.size()); ++tab) {
        tabs_->addTab(CreatePage(tab, sheet_), QString::fromLatin1(kTabCaptions[static_cast<size_t>(tab)]));
    }

    close_ = new QPushButton(QStringLiteral("Close"), this);
    options_ = new QPushButton(QStringLiteral("Options"), this);
    serial_ = new QPushButton(QStringLiteral("Serial"), this);
    close_->setObjectName(QStringLiteral("closeButton"));
    options_->setObjectName(QStringLiteral("optionsButton"));
    serial_->setObjectName(QStringLiteral("serialButton"));
    // One size for the three, at least that of a standard dialog button.
    int width = kMinButtonWidth, height = kMinButtonHeight;
    for (QPushButton* b : {close_, options_, serial_}) {
        b->setAutoDefault(false);
        width = std::max(width, b->sizeHint().width());
        height = std::max(height, b->sizeHint().height());
    }
    setFixedHeight(kMargin + tabs_->height() + kMargin + height + kMargin);
    const int top = tabs_->geometry().bottom() + 1 + kMargin;
    const int closeLeft = tabs_->geometry().right() + 1 - width;
    close_->setGeometry(closeLeft, top, width, height);
    options_->setGeometry(closeLeft - (width + kButtonGap), top, width, height);
    serial_->setGeometry(closeLeft - 2 * (width + kButtonGap), top, width, height);
    connect(close_, &QPushButton::clicked, this, [this] { sheet_.OnClose(); });
    connect(options_, &QPushButton::clicked, this, [this] { sheet_.OnOptions(); });
    connect(serial_, &QPushButton::clicked, this, [this] { sheet_.OnSerial(); });
    for (QPushButton* b : {close_, options_, serial_}) b->show();

    // No system menu to put it in: the window's context menu and F1 offer the About entry.
    if (!aboutEntryText.empty()) {
        auto* separator = new QAction(this);
        separator->setSeparator(true);
        about_ = new QAction(QString::fromStdString(aboutEntryText), this);
        about_->setObjectName(QStringLiteral("aboutAction"));
        about_->setShortcut(QKeySequence(Qt::Key_F1));
        about_->setShortcutContext(Qt::WindowShortcut);
        connect(about_, &QAction::triggered, this, [this] { sheet_.OnAbout(); });
        addAction(separator);
        addAction(about_);
        setContextMenuPolicy(Qt::ActionsContextMenu);
    }
}

void CTR805QSheetView::SetPage(int tab, QWidget* page) {
    if (tab < 0 || tab >= tabs_->count() || !page) return;
    const QSignalBlocker block(tabs_);  // replacing a page is no move between tabs
    const int current = tabs_->currentIndex();
    QWidget* old = tabs_->widget(tab);
    const QString caption = tabs_->tabText(tab);
    tabs_->removeTab(tab);
    tabs_->insertTab(tab, page, caption);
    if (lockedTab_ >= 0 && tab != lockedTab_) tabs_->setTabEnabled(tab, false);
    tabs_->setCurrentIndex(current);
    delete old;
}

void CTR805QSheetView::ResizeBy(int dy) {
    setFixedHeight(height() + dy);
    tabs_->resize(tabs_->width(), tabs_->height() + dy);
    for (QPushButton* b : {close_, options_, serial_}) {
        if (b) b->move(b->x(), b->y() + dy);
    }
}

void CTR805QSheetView::EnableAndActivate() {
    setEnabled(true);
    show();
    raise();
    activateWindow();
    // The window system places and maps a new window in its own time. The identification's
    // messages that may follow at once are centred on the window: where it really stands, not
    // where it stood before it was placed. The wait ends for a window system that never says.
    if (QWindow* window = windowHandle(); window != nullptr && !window->isExposed()) {
        const CBoardActivity activity;
        QElapsedTimer waited;
        waited.start();
        while (!window->isExposed() && waited.elapsed() < kPlacementWaitMs) {
            PaintWindowNow();
            if (!window->isExposed()) QThread::msleep(5);
        }
    }
}

void CTR805QSheetView::SetTitle(const std::string& title) { setWindowTitle(QString::fromStdString(title)); }

void CTR805QSheetView::LockToCurrentTab() {
    if (lockedTab_ >= 0) return;  // already locked: keep what is to be given back
    lockedTab_ = tabs_->currentIndex();
    tabsEnabledBeforeLock_.clear();
    for (int tab = 0; tab < tabs_->count(); ++tab) {
        tabsEnabledBeforeLock_.append(tabs_->isTabEnabled(tab));
        // Never the current tab: a disabled current tab makes the tab bar move to another.
        // A disabled page ignores its buttons' mnemonics and shortcuts.
        if (tab != lockedTab_) tabs_->setTabEnabled(tab, false);
    }
}

void CTR805QSheetView::UnlockTabs() {
    if (lockedTab_ < 0) return;
    lockedTab_ = -1;
    for (int tab = 0; tab < tabs_->count(); ++tab) {
        tabs_->setTabEnabled(tab, tab < tabsEnabledBeforeLock_.size() ? tabsEnabledBeforeLock_[tab] : true);
    }
    tabsEnabledBeforeLock_.clear();
}

void CTR805QSheetView::SetSheetControlsEnabled(bool enable) {
    if (enable) {
        UnlockTabs();
    } else {
        LockToCurrentTab();
    }
    tabs_->tabBar()->setEnabled(enable);
    if (serial_) serial_->setEnabled(enable);
    if (about_) about_->setEnabled(enable);
}

void CTR805QSheetView::PostLoaderReady() {
    // postEvent may be called from any thread; the event is handled on the window's.
    QCoreApplication::postEvent(this, new QEvent(loaderReady_));
}

bool CTR805QSheetView::event(QEvent* e) {
    if (loaderReady_ != QEvent::None && e->type() == loaderReady_) {
        const QEvent::Type type = loaderReady_;
        if (CBoardActivity::HoldBack(this, [type] { return new QEvent(type); })) return true;
        // The download holds the window's thread; its dialog advances and the window is painted.
        const CBoardActivity activity;
        sheet_.OnLoaderReady();
        return true;
    }
    return QWidget::event(e);
}

void CTR805QSheetView::closeEvent(QCloseEvent* e) {
    sheet_.OnClose();
    e->accept();
}
