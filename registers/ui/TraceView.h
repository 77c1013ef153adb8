#pragma once
// The "Trace" window: a thin modal view over CMTrace. "Save..." is the dialog's cancel command,
// so Escape and the close box start a save (which does not close the window); "OK" closes it.
// "Export..." writes the whole trace as CSV or VCD. Below the list, a timeline shows the
// entries of the list, or the whole trace after "Whole Trace"; registers are named by the
// descriptions of the register table pages of the same window.
#include "registers/Trace.h"

#include <QDialog>

class CEntryField;
class CTraceTimelineView;
class QFontMetrics;
class QLabel;
class QPushButton;
class QTreeWidget;

class CMTraceView final : public QDialog {
    Q_OBJECT
public:
    // Fills the list from address 0 as it opens.
    explicit CMTraceView(PageHost& host, QWidget* parent = nullptr);

    CMTrace& Trace() { return trace_; }
    // The factor the documented column widths are drawn at: 1, or more where the header's font
    // needs it for the titles.
    static double ColumnScale(const QFontMetrics& header);

public Q_SLOTS:
    void reject() override;

private:
    // "Save...", also from Escape and the close box: asks for a file and saves the whole trace.
    void Save();
    void Do(PageResult (CMTrace::*operation)());
    void ShowRows();
    void ShowWholeTrace();
    QWidget* BuildTimeline();

    CMTrace trace_;
    CEntryField* start_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QPushButton* read_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* forward_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* export_ = nullptr;
    QPushButton* ok_ = nullptr;
    CTraceTimelineView* timeline_ = nullptr;
    QLabel* timelineRange_ = nullptr;
};
