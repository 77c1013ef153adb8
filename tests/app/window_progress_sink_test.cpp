// What the window shows for each long operation's progress (CWindowProgress): the board's
// "Flashing Device..." gets its line, the Kernlet page keeps its own bar, the others get a
// dialog of their own once they have run for a moment.
#include "app/ui/WindowProgress.h"
#include "link/Messages.h"
#include "loading/KernletTexts.h"
#include "registers/RegisterTable.h"
#include "registers/Trace.h"
#include "script/RunTexts.h"
#include "tests/support/GuiSupport.h"

#include <QLabel>
#include <QProgressBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using guitest::App;

// The sink's own progress dialog while it is on screen, whatever window it belongs to.
QDialog* OperationDialog() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String("operationProgress")) return qobject_cast<QDialog*>(w);
    }
    return nullptr;
}

TEST(WindowProgress, LineOfEachOperation) {
    struct Case {
        const char* caption;
        uint64_t done, total;
        const char* unit;
        const char* text;
    } cases[] = {
        {kCaptionFlashing, 12, 40, kProgressUnitFirmwareBlocks, "Block 12 of 40"},
        {kProgressSavingTrace, 0x1800, 0x20000, kProgressUnitTraceEntries,
         "Entries read: 0x01800 of 0x20000"},
        {kProgressSavingTrace, 0, 0x20000, kProgressUnitTraceEntries, "Entries read: 0x00000 of 0x20000"},
        {script::kProgressDownloadingScript, 7, 1201, script::kProgressUnitScriptRecords,
         "7 of 1201 records"},
        {kProgressWritingRows, 3, 40, kProgressUnitRows, "3 of 40 rows"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CWindowProgress::Text(c.caption, c.done, c.total, c.unit), QString::fromLatin1(c.text));
    }
}

TEST(WindowProgress, OwnDialogComesUpAfterTheDelayAndGoesAtTheEnd) {
    App();
    QWidget window;
    window.show();
    CProgressDialog firmware(&window);
    CWindowProgress sink(firmware, 20);
    sink.SetOwner(&window);
    sink.Begin(kProgressSavingTrace, 0x20000, kProgressUnitTraceEntries);
    sink.Advance(2048);
    EXPECT_EQ(OperationDialog(), nullptr) << "a short operation must not flash a window";
    ASSERT_TRUE(guitest::PumpUntil([&] { return OperationDialog() != nullptr; }, 2000));
    QDialog* d = OperationDialog();
    EXPECT_EQ(d->windowTitle(), "Saving trace");
    EXPECT_EQ(d->parentWidget(), &window);
    EXPECT_TRUE(d->isVisible());
    sink.Advance(4096);
    EXPECT_EQ(d->findChild<QProgressBar*>()->maximum(), 0x20000);
    EXPECT_EQ(d->findChild<QProgressBar*>()->value(), 4096);
    EXPECT_EQ(d->findChild<QLabel*>()->text(), "Entries read: 0x01000 of 0x20000");
    sink.End();
    EXPECT_EQ(OperationDialog(), nullptr);
    // Ended before the delay: nothing comes up later.
    sink.Begin(kProgressReadingRows, 40, kProgressUnitRows);
    sink.End();
    QTest::qWait(40);
    EXPECT_EQ(OperationDialog(), nullptr);
}

TEST(WindowProgress, FirmwareWritesIntoItsDialogAndTheKernletShowsNone) {
    App();
    QWidget window;
    window.show();
    CProgressDialog firmware(&window);
    CWindowProgress sink(firmware, 0);
    firmware.Create(kCaptionFlashing);
    sink.Begin(kCaptionFlashing, 40, kProgressUnitFirmwareBlocks);
    sink.Advance(3);
    EXPECT_EQ(OperationDialog(), nullptr);
    EXPECT_EQ(firmware.Dialog()->findChild<QLabel*>()->text(), "Block 3 of 40");
    sink.End();
    sink.Begin(kProgressLoadingKernlet, 2, kProgressUnitKernletBlocks);
    sink.Advance(1);
    EXPECT_EQ(OperationDialog(), nullptr);
    sink.End();
}

}  // namespace
