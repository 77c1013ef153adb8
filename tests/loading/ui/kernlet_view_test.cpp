// The "Kernlet Load" view on the offscreen platform against the in-process simulated board.
// With TR805Q_SCREENSHOTS set to a folder, it saves PNGs of the page during and after a load
// and of the checksum warning.
#include "loading/KernletTexts.h"
#include "loading/ui/KernletView.h"
#include "tests/loading/KernletTestSupport.h"
#include "tests/support/GuiSupport.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <vector>

#include <gtest/gtest.h>

// Fontconfig keeps a cache for the whole process that it never frees; not the program's leak.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

using guitest::App;
using guitest::Child;
using guitest::SaveScreenshot;
using kltest::KernletHost;
using kltest::TempFiles;

// The size a page gets inside the sheet's tab control.
constexpr QSize kPageSize(874, 446);

QStringList GroupTitles(QWidget* w) {
    QStringList titles;
    for (QGroupBox* g : w->findChildren<QGroupBox*>()) titles << g->title();
    return titles;
}

// Runs `handle` on the next modal dialog that comes up.
void OnNextModal(std::function<void(QWidget*)> handle) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, handle] {
        if (QWidget* w = QApplication::activeModalWidget(); w && w->isVisible()) {
            timer->stop();
            timer->deleteLater();
            handle(w);
        }
    });
    timer->start();
}

TEST(KernletView, ControlsAsTheTemplateHasThem) {
    App();
    KernletHost host;
    CKernletView view(host);
    view.resize(kPageSize);
    view.show();
    EXPECT_EQ(GroupTitles(&view), (QStringList{"Select Kernlet", "Select Target Device", "Load Kernlet"}));
    EXPECT_EQ(Child<QPushButton>(&view, "browseButton")->text(), "Browse");
    EXPECT_EQ(Child<QPushButton>(&view, "loadButton")->text(), "Load");
    EXPECT_EQ(Child<QRadioButton>(&view, "device1")->text(), "Z-LINK Device 1");
    EXPECT_EQ(Child<QRadioButton>(&view, "device2")->text(), "Z-LINK Device 2");
    EXPECT_EQ(Child<QRadioButton>(&view, "device3")->text(), "Z-LINK Device 3");
    EXPECT_TRUE(Child<QRadioButton>(&view, "device1")->isChecked());
    EXPECT_TRUE(Child<QRadioButton>(&view, "device1")->isVisible());
    EXPECT_TRUE(Child<QRadioButton>(&view, "device2")->isHidden());
    EXPECT_TRUE(Child<QRadioButton>(&view, "device3")->isHidden());
    EXPECT_EQ(Child<QProgressBar>(&view, "kernletProgress")->minimum(), 0);
    EXPECT_EQ(Child<QProgressBar>(&view, "kernletProgress")->maximum(), 100);
    EXPECT_EQ(Child<QProgressBar>(&view, "kernletProgress")->value(), 0);
    EXPECT_EQ(host.store.openedTabs, std::vector<std::string>{"ImageTab"});
    // Nothing sticks out of the page or overlaps.
    const QRect page = view.rect();
    for (QWidget* child : view.findChildren<QWidget*>()) {
        if (!child->isVisible()) continue;
        const QRect r(child->mapTo(&view, QPoint(0, 0)), child->size());
        EXPECT_TRUE(page.contains(r))
            << child->metaObject()->className() << " " << child->objectName().toStdString();
    }
    auto* pathEdit = Child<QLineEdit>(&view, "kernletPath");
    auto* browseButton = Child<QPushButton>(&view, "browseButton");
    const QRect edit(pathEdit->mapTo(&view, QPoint(0, 0)), pathEdit->size());
    const QRect browse(browseButton->mapTo(&view, QPoint(0, 0)), browseButton->size());
    EXPECT_FALSE(edit.intersects(browse));
    EXPECT_EQ(browseButton->width(), Child<QPushButton>(&view, "loadButton")->width());
}

TEST(KernletView, BrowseThenLoadShowsProgressAndEndsAtZero) {
    App();
    TempFiles files;
    sim::KernletSampleSpec spec;
    spec.blocks = 4;
    spec.wordsPerBlock = 1200;
    const std::string path = files.Sample("sample.h", spec);
    KernletHost host;
    host.prompts.filePaths = {path};
    CKernletView view(host);
    view.resize(kPageSize);
    view.show();
    Child<QPushButton>(&view, "browseButton")->click();
    EXPECT_EQ(Child<QLineEdit>(&view, "kernletPath")->text().toStdString(), path);
    EXPECT_EQ(host.store.String("ImageTab", "WorkingDirectoryKL"), files.Path().string() + "/");

    std::vector<int> values;
    QObject::connect(Child<QProgressBar>(&view, "kernletProgress"), &QProgressBar::valueChanged, [&](int v) {
        values.push_back(v);
        if (v == 60) SaveScreenshot(&view, QStringLiteral("kernlet-tab-loading"));
    });
    Child<QPushButton>(&view, "loadButton")->click();
    ASSERT_EQ(host.prompts.messages.size(), 1u);
    EXPECT_EQ(host.prompts.messages[0].text,
              "Kernlet Load complete\nProductID ($C5): 0x0805 \nKL Version ($C9): 0x0103");
    EXPECT_TRUE(host.KernletLoaded(1));
    EXPECT_EQ(Child<QProgressBar>(&view, "kernletProgress")->value(), 0);
    EXPECT_NE(std::find(values.begin(), values.end(), 50), values.end()) << "the bar moved during the load";
    EXPECT_NE(std::find(values.begin(), values.end(), 100), values.end());
    SaveScreenshot(&view, QStringLiteral("kernlet-tab-after"));
}

// On a line that takes real time the load holds the window's thread for as long as the bytes
// take: the page is painted meanwhile and its bar advances on screen.
TEST(KernletView, LoadOnASlowLineKeepsThePagePaintedAndItsBarAdvancing) {
    App();
    TempFiles files;
    sim::KernletSampleSpec spec;
    spec.blocks = 4;
    spec.wordsPerBlock = 1200;
    KernletHost host;
    host.SetLineRate(2 * 115200);
    CKernletView view(host);
    view.resize(kPageSize);
    view.show();
    Child<QLineEdit>(&view, "kernletPath")->setText(QString::fromStdString(files.Sample("sample.h", spec)));
    QProgressBar* bar = Child<QProgressBar>(&view, "kernletProgress");
    struct Shot {
        int value;
        QImage shown;
    };
    std::vector<Shot> shots;
    QTimer look;
    look.setInterval(10);
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (bar->value() == 0 || (!shots.empty() && shots.back().value == bar->value())) return;
        shots.push_back({bar->value(), guitest::ShownImage(&view)});
    });
    look.start();
    Child<QPushButton>(&view, "loadButton")->click();
    ASSERT_EQ(host.prompts.messages.size(), 1u);
    EXPECT_TRUE(host.prompts.messages[0].text.rfind("Kernlet Load complete", 0) == 0);
    ASSERT_GE(shots.size(), 2u) << "the page did not come round to its timers during the load";
    const QRect inside = QRect(bar->mapTo(&view, QPoint(0, 0)), bar->size()).adjusted(3, 3, -3, -3);
    const QColor chunk = bar->palette().color(QPalette::Highlight);
    const Shot& first = shots.front();
    const Shot& last = shots.back();
    EXPECT_LT(first.value, last.value);
    EXPECT_LT(guitest::ColumnsLike(first.shown, inside, chunk),
              guitest::ColumnsLike(last.shown, inside, chunk))
        << "the bar painted on screen did not advance from " << first.value << " to " << last.value;
    EXPECT_GT(guitest::InkPixels(last.shown, last.shown.rect()), 1000) << "the page is not painted";
    const QString folder = qEnvironmentVariable("TR805Q_SCREENSHOTS");
    if (!folder.isEmpty())
        shots[shots.size() / 2].shown.save(folder + QStringLiteral("/progress-Kernlet.png"));
}

TEST(KernletView, DifferingChecksumsShowTheWarningDialog) {
    App();
    TempFiles files;
    sim::KernletSampleSpec spec;
    spec.corruptBlock = 1;
    KernletHost host;
    CKernletView view(host);
    view.resize(kPageSize);
    view.show();
    Child<QLineEdit>(&view, "kernletPath")->setText(QString::fromStdString(files.Sample("bad.h", spec)));
    QString title, block1, block2;
    bool sawDialog = false;
    OnNextModal([&](QWidget* w) {
        auto* dialog = qobject_cast<CChecksumsView*>(w);
        ASSERT_NE(dialog, nullptr);
        sawDialog = true;
        title = dialog->windowTitle();
        block1 = Child<QLabel>(dialog, "block1Checksum")->text();
        block2 = Child<QLabel>(dialog, "block2Checksum")->text();
        SaveScreenshot(dialog, QStringLiteral("kernlet-checksums-dialog"));
        Child<QPushButton>(dialog, "cancelButton")->click();
    });
    Child<QPushButton>(&view, "loadButton")->click();
    EXPECT_TRUE(sawDialog);
    EXPECT_EQ(title, "Warning");
    const auto& device = host.Device(1).Checksums();
    ASSERT_EQ(device.size(), 2u);
    EXPECT_EQ(block1.toStdString(), "Block 1 Checksum: 0x" + CChecksums::Digits(device[0].Value()));
    EXPECT_EQ(block2.toStdString(), "Block 2 Checksum: 0x" + CChecksums::Digits(device[1].Value()));
    EXPECT_TRUE(host.prompts.messages.empty()) << "Cancel ends the load quietly";
    EXPECT_FALSE(host.KernletLoaded(1));
    EXPECT_EQ(Child<QProgressBar>(&view, "kernletProgress")->value(), 0);
}

TEST(KernletView, ChecksumDialogTextsAndButtons) {
    App();
    CChecksums c;
    c.block1 = 0x1A2B;
    c.block2 = 0;
    CChecksumsView dialog(c);
    EXPECT_EQ(dialog.windowTitle(), "Warning");
    QStringList labels;
    for (QLabel* l : dialog.findChildren<QLabel*>()) labels << l->text();
    EXPECT_EQ(labels, (QStringList{"Checksums do not match:", "Block 1 Checksum: 0x00001A2B",
                                   "Block 2 Checksum: 0x00000000"}));
    EXPECT_EQ(Child<QPushButton>(&dialog, "ignoreButton")->text(), "Ignore");
    EXPECT_EQ(Child<QPushButton>(&dialog, "cancelButton")->text(), "Cancel");
    dialog.show();
    Child<QPushButton>(&dialog, "ignoreButton")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    dialog.show();
    Child<QPushButton>(&dialog, "cancelButton")->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST(KernletView, APortFailureIsALostBoard) {
    App();
    TempFiles files;
    KernletHost host;
    host.simBoard.faults().closeAfterBytes = 12;
    CKernletView view(host);
    Child<QLineEdit>(&view, "kernletPath")->setText(QString::fromStdString(files.Sample("k.h", {})));
    Child<QPushButton>(&view, "loadButton")->click();
    ASSERT_EQ(host.prompts.messages.size(), 1u);
    EXPECT_EQ(host.prompts.messages[0].caption, "Error");
    EXPECT_EQ(host.prompts.messages[0].icon, MsgIcon::Error);
    EXPECT_EQ(host.prompts.messages[0].text,
              "Error - Unable to communicate with KOVA kit\nCheck connections and restart the program");
    EXPECT_NE(host.prompts.messages[0].detail, "");
    EXPECT_EQ(host.prompts.quitCodes, std::vector<int>{1});
}

TEST(KernletView, EmptyPathAsksForAFile) {
    App();
    KernletHost host;
    CKernletView view(host);
    Child<QPushButton>(&view, "loadButton")->click();
    ASSERT_EQ(host.prompts.messages.size(), 1u);
    EXPECT_EQ(host.prompts.messages[0].text, "Error - Select Kernlet");
    EXPECT_TRUE(host.Requests().empty());
}

}  // namespace
