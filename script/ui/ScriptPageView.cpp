#include "script/ui/ScriptPageView.h"

#include "link/ui/BoardActivity.h"

#include "registers/ui/EntryField.h"
#include "registers/ui/TraceView.h"
#include "script/ScriptPage.h"
#include "script/ui/ScriptDialogViews.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace script {
namespace {

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QPushButton* NewButton(std::string_view text, const char* name, QWidget* parent) {
    auto* b = new QPushButton(Q(text), parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

ScriptEventTypes Registered(ScriptEventTypes types) {
    for (QEvent::Type& t : types) {
        if (t == QEvent::None) t = static_cast<QEvent::Type>(QEvent::registerEventType());
    }
    return types;
}

}  // namespace

CScriptView::CScriptView(PageHost& host, ScriptEventTypes types, QWidget* parent)
    : QWidget(parent),
      host_(host),
      types_(Registered(types)),
      page_(std::make_unique<CScript>(host, static_cast<ScriptPoster&>(*this),
                                      static_cast<ScriptDialogPrompts&>(*this))) {
    setObjectName(QStringLiteral("scriptPage"));
    UseDialogFont(this);

    select_ = NewButton(kTextSelectScript, "selectScript", this);
    recent_ = NewButton(kTextRecentButton, "recentFiles", this);
    recent_->setFixedWidth(28);
    fileName_ = new QLineEdit(this);
    fileName_->setObjectName(QStringLiteral("fileName"));
    fileName_->setReadOnly(true);
    fileName_->setFocusPolicy(Qt::NoFocus);
    run_ = NewButton(kTextRunScript, "runScript", this);
    clear_ = NewButton(kTextClearResults, "clearResults", this);
    save_ = NewButton(kTextSaveResults, "saveResults", this);
    trace_ = NewButton(kTextSeeTrace, "seeTrace", this);
    for (QPushButton* b : {select_, run_, clear_, save_, trace_}) b->setMinimumWidth(110);
    results_ = new QListWidget(this);
    results_->setObjectName(QStringLiteral("results"));
    results_->setSelectionMode(QAbstractItemView::SingleSelection);
    results_->setUniformItemSizes(true);

    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(select_);
    fileRow->addWidget(recent_);
    fileRow->addWidget(fileName_, 1);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(run_);
    buttonRow->addWidget(clear_);
    buttonRow->addWidget(save_);
    buttonRow->addStretch();
    buttonRow->addWidget(trace_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(11, 11, 11, 11);
    layout->addLayout(fileRow);
    layout->addLayout(buttonRow);
    layout->addWidget(results_, 1);

    connect(select_, &QPushButton::clicked, this, [this] {
        page_->SelectScript();
        ShowControls();
    });
    connect(recent_, &QPushButton::clicked, this, &CScriptView::ShowRecentMenu);
    connect(run_, &QPushButton::clicked, this, [this] {
        {
            // The download (thousands of records) and the abort's wait of a second hold the
            // window's thread.
            const CBoardActivity activity;
            page_->RunOrAbort();
        }
        ShowControls();
    });
    connect(clear_, &QPushButton::clicked, this, [this] { page_->ClearResults(); });
    connect(save_, &QPushButton::clicked, this, [this] { page_->SaveResults(); });
    connect(trace_, &QPushButton::clicked, this, &CScriptView::SeeTrace);

    page_->SetResultsObserver(this);
    page_->SetControlsChanged([this] { ShowControls(); });
    page_->Initialise();
    ShowControls();
}

CScriptView::~CScriptView() {
    page_->Close();
    page_->SetResultsObserver(nullptr);
    page_->SetControlsChanged(nullptr);
    page_.reset();
}

void CScriptView::ShowControls() {
    const ScriptControls& c = page_->Controls();
    select_->setEnabled(c.selectScript);
    recent_->setEnabled(c.recentFiles);
    run_->setEnabled(c.run);
    run_->setText(QString::fromStdString(c.runText));
    clear_->setEnabled(c.clearResults);
    save_->setEnabled(c.saveResults);
    trace_->setEnabled(c.seeTrace);
    fileName_->setText(QString::fromStdString(page_->FileName()));
}

std::unique_ptr<QMenu> CScriptView::MakeRecentMenu() {
    auto menu = std::make_unique<QMenu>(this);
    menu->setObjectName(QStringLiteral("recentMenu"));
    for (const RecentMenuItem& item : page_->RecentMenu()) {
        if (item.separator) {
            menu->addSeparator();
            continue;
        }
        QAction* a = menu->addAction(QString::fromStdString(item.text));
        a->setEnabled(item.enabled);
        const int entry = item.entry;
        connect(a, &QAction::triggered, this, [this, entry] {
            if (entry < 0) {
                page_->ClearRecentList();
            } else {
                page_->ChooseRecent(entry);
            }
            ShowControls();
        });
    }
    return menu;
}

void CScriptView::ShowRecentMenu() {
    std::unique_ptr<QMenu> menu = MakeRecentMenu();
    menu->exec(recent_->mapToGlobal(recent_->rect().topRight()));
}

void CScriptView::SeeTrace() {
    CMTraceView view(host_, this);
    view.exec();
}

bool CScriptView::event(QEvent* e) {
    for (QEvent::Type t : types_) {
        if (e->type() == t) {
            const ScriptPost& post = static_cast<CScriptEvent*>(e)->Post();
            // A board operation of the window's thread runs: the post waits for its end, as
            // the worker does for the post (its handler may answer the board).
            if (CBoardActivity::HoldBack(this, [t, post] { return new CScriptEvent(t, post); })) {
                return true;
            }
            const CBoardActivity activity;
            page_->Handle(post);
            return true;
        }
    }
    return QWidget::event(e);
}

void CScriptView::Post(ScriptPost post) {
    const QEvent::Type type = types_[static_cast<size_t>(post.msg)];
    QCoreApplication::postEvent(this, new CScriptEvent(type, std::move(post)));
}

void CScriptView::RemovePending() {
    for (QEvent::Type t : types_) QCoreApplication::removePostedEvents(this, t);
}

CDialog_Entry::Result CScriptView::RunEntry(CDialog_Entry& dialog) {
    CDialog_EntryView view(dialog, this);
    return view.Run();
}

void CScriptView::RunYesNo(CDialog_YesNo& dialog) {
    CDialog_YesNoView view(dialog, this);
    view.Run();
}

void CScriptView::SelectLast() {
    if (results_->count() == 0) return;
    results_->setCurrentRow(results_->count() - 1);
    results_->scrollToBottom();
}

void CScriptView::OnCleared() { results_->clear(); }

void CScriptView::OnFirstRemoved() { delete results_->takeItem(0); }

void CScriptView::OnLineAdded(const std::string& text) {
    results_->addItem(Q(CResultsList::DisplayText(text)));
    SelectLast();
}

void CScriptView::OnLastLineChanged(const std::string& text) {
    if (results_->count() == 0) return;
    results_->item(results_->count() - 1)->setText(Q(CResultsList::DisplayText(text)));
    SelectLast();
}

}  // namespace script
