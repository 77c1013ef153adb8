#include "registers/ui/TraceView.h"

#include "link/ui/BoardActivity.h"
#include "registers/RegisterTable.h"
#include "registers/ui/EntryField.h"
#include "registers/ui/RegisterTableView.h"
#include "registers/ui/TraceTimelineView.h"

#include <algorithm>

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// The descriptions of the register table pages in the window that opens the trace, the first
// page's rows first.
TraceRegisterNames TableNames(QWidget* opener) {
    TraceRegisterNames names;
    if (!opener) return names;
    QList<CRegisterTableView*> tables = opener->window()->findChildren<CRegisterTableView*>();
    std::sort(tables.begin(), tables.end(), [](CRegisterTableView* a, CRegisterTableView* b) {
        return std::string(a->Page().Caption()) < b->Page().Caption();
    });
    for (CRegisterTableView* t : tables) AddRegisterNames(t->Page(), names);
    return names;
}

}  // namespace

double CMTraceView::ColumnScale(const QFontMetrics& header) {
    // The widths are those of the board's original window at its small dialog font. A wider
    // font keeps their proportions and grows them all alike until every title fits.
    constexpr int kTitlePadding = 12;
    double scale = 1.0;
    for (const TraceColumn& c : kTraceColumns) {
        const int needed = header.horizontalAdvance(QString::fromLatin1(c.title)) + kTitlePadding;
        scale = std::max(scale, static_cast<double>(needed) / c.width);
    }
    return scale;
}

CMTraceView::CMTraceView(PageHost& host, QWidget* parent) : QDialog(parent), trace_(host) {
    setObjectName(QStringLiteral("traceWindow"));
    setWindowTitle(QString::fromLatin1(kTraceCaption));
    UseDialogFont(this);

    auto* label = new QLabel(QString::fromLatin1(kTraceStartLabel), this);
    start_ = NewHexField(CMTrace::kAddressChars, this);
    start_->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("WWWWWW")) + 12);
    read_ = new QPushButton(QString::fromLatin1(kTraceRead), this);
    back_ = new QPushButton(QString::fromLatin1(kTraceBack), this);
    forward_ = new QPushButton(QString::fromLatin1(kTraceForward), this);
    save_ = new QPushButton(QString::fromLatin1(kTraceSave), this);
    export_ = new QPushButton(QString::fromLatin1(kTraceExport), this);
    export_->setObjectName(QStringLiteral("traceExport"));
    ok_ = new QPushButton(QString::fromLatin1(kTraceOk), this);
    start_->setObjectName(QStringLiteral("traceStart"));
    read_->setObjectName(QStringLiteral("readButton"));
    back_->setObjectName(QStringLiteral("backButton"));
    forward_->setObjectName(QStringLiteral("forwardButton"));
    save_->setObjectName(QStringLiteral("saveButton"));
    ok_->setObjectName(QStringLiteral("okButton"));
    for (QPushButton* b : {read_, back_, forward_, save_, export_, ok_}) b->setAutoDefault(false);
    // Enter in the address field reads from it.
    read_->setDefault(true);

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("traceList"));
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAlternatingRowColors(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    QStringList titles;
    int listWidth = 0;
    for (const TraceColumn& c : kTraceColumns) titles << QString::fromLatin1(c.title);
    list_->setHeaderLabels(titles);
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(QHeaderView::Fixed);
    const double scale = ColumnScale(list_->header()->fontMetrics());
    for (size_t i = 0; i < kTraceColumns.size(); ++i) {
        const int width = static_cast<int>(kTraceColumns[i].width * scale + 0.5);
        list_->setColumnWidth(static_cast<int>(i), width);
        listWidth += width;
    }
    list_->setMinimumSize(listWidth + list_->frameWidth() * 2 + 20, 200);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(list_);
    splitter->addWidget(BuildTimeline());
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 1);
    // The list as tall as it was before the timeline came under it.
    splitter->setSizes({360, 240});

    auto* top = new QHBoxLayout;
    top->addWidget(label);
    top->addWidget(start_);
    top->addSpacing(8);
    top->addWidget(read_);
    top->addWidget(back_);
    top->addWidget(forward_);
    top->addStretch();
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(export_);
    bottom->addWidget(save_);
    bottom->addWidget(ok_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(splitter, 1);
    layout->addLayout(bottom);

    connect(read_, &QPushButton::clicked, this, [this] { Do(&CMTrace::Read); });
    connect(back_, &QPushButton::clicked, this, [this] { Do(&CMTrace::Back); });
    connect(forward_, &QPushButton::clicked, this, [this] { Do(&CMTrace::Forward); });
    connect(save_, &QPushButton::clicked, this, &CMTraceView::Save);
    connect(export_, &QPushButton::clicked, this, [this] {
        const CBoardActivity activity;
        trace_.Export();
    });
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

    trace_.SetRegisterNames(TableNames(parent));
    {
        // 2048 entries take seconds on the kit's line; the window it opens from stays painted.
        const CBoardActivity activity;
        trace_.Open();
    }
    ShowRows();
}

QWidget* CMTraceView::BuildTimeline() {
    auto* pane = new QWidget(this);
    timelineRange_ = new QLabel(pane);
    timelineRange_->setObjectName(QStringLiteral("timelineRange"));
    auto* whole = new QPushButton(QString::fromLatin1(kTimelineWholeTrace), pane);
    whole->setObjectName(QStringLiteral("timelineWholeTrace"));
    auto* fit = new QPushButton(QString::fromLatin1(kTimelineFit), pane);
    fit->setObjectName(QStringLiteral("timelineFit"));
    for (QPushButton* b : {whole, fit}) b->setAutoDefault(false);
    timeline_ = new CTraceTimelineView(pane);
    timeline_->setMinimumHeight(CTraceTimelineView::kRulerHeight + 5 * CTraceTimelineView::kLaneHeight);
    auto* cursor = new QLabel(pane);
    cursor->setObjectName(QStringLiteral("timelineCursor"));
    cursor->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // One line high even while the pointer is elsewhere, so the lanes do not jump; a long
    // line is cut at the window's edge rather than widening the window.
    cursor->setMinimumHeight(cursor->fontMetrics().height() + 4);
    cursor->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);

    auto* header = new QHBoxLayout;
    header->addWidget(timelineRange_);
    header->addStretch();
    header->addWidget(whole);
    header->addWidget(fit);
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->addLayout(header);
    layout->addWidget(timeline_, 1);
    layout->addWidget(cursor);

    connect(whole, &QPushButton::clicked, this, &CMTraceView::ShowWholeTrace);
    connect(fit, &QPushButton::clicked, timeline_, &CTraceTimelineView::Fit);
    connect(timeline_, &CTraceTimelineView::cursorTextChanged, cursor, &QLabel::setText);
    return pane;
}

void CMTraceView::ShowWholeTrace() {
    // Read as the save reads it, blocking the window until the board has answered.
    std::vector<TraceRecord> records;
    {
        const CBoardActivity activity;
        if (trace_.ReadWholeTrace(records) != PageResult::Ok) return;
    }
    timelineRange_->setText(QString::fromStdString(TimelineRangeText(0, records.size())));
    timeline_->SetTimeline(TraceTimeline(InTimeOrder(records), trace_.RegisterNames()));
}

void CMTraceView::reject() { Save(); }

void CMTraceView::Save() {
    const CBoardActivity activity;
    trace_.Save();
}

void CMTraceView::Do(PageResult (CMTrace::*operation)()) {
    trace_.startAddress = start_->FieldText();
    PageResult r;
    {
        const CBoardActivity activity;
        r = (trace_.*operation)();
    }
    if (r == PageResult::Invalid) return;  // the list stays as it was
    ShowRows();
}

void CMTraceView::ShowRows() {
    start_->SetFieldText(trace_.startAddress);
    list_->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(trace_.Rows().size()));
    for (const TraceRow& row : trace_.Rows()) {
        QStringList cells;
        for (const std::string& c : row) cells << QString::fromStdString(c);
        items << new QTreeWidgetItem(cells);
    }
    list_->addTopLevelItems(items);
    const std::vector<TimedAccess> page = trace_.PageAccesses();
    timelineRange_->setText(QString::fromStdString(TimelineRangeText(trace_.PageStart(), page.size())));
    timeline_->SetTimeline(TraceTimeline(page, trace_.RegisterNames()));
}
