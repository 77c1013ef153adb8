// The three register pages in the main window at its own sizes: every control inside its tab,
// the halves of the tables aligned, the pages working through the sheet's board.
// With TR805Q_SCREENSHOTS set to a folder, the window is saved there on each of the three tabs.
#include "app/ui/TR805QSheetView.h"
#include "registers/ui/EntryField.h"
#include "registers/ui/RegisterTableView.h"
#include "registers/ui/ZLINKControlView.h"
#include "tests/registers_ui/UiTestSupport.h"
#include "tests/support/GuiSupport.h"
#include "tests/support/Recorders.h"
#include "tests/support/SimHost.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

namespace {

using guitest::Child;

// The window as the program shows it once connected, its board the simulated one in this process.
class RegisterWindow : public ::testing::Test, protected SimLine {
protected:
    // appPoints: the desktop's font size, when it is not the platform's own.
    explicit RegisterWindow(qreal appPoints = 0) {
        if (appPoints > 0) {
            desktopFont_ = QApplication::font();
            QFont font = *desktopFont_;
            font.setPointSizeF(appPoints);
            QApplication::setFont(font);
        }
        platform.clock = &clock;
        platform.prompts = &prompts;
        platform.progress = &progress;
        platform.deviceOpener = [this](int) { return NewDevice(); };
        view = std::make_unique<CTR805QSheetView>(platform);
        Connect(view->Sheet().Board().Link().Port(), 3);
        // What the sheet's initialisation does once the port is open: build the tabs and shrink
        // the window, made for the tall table pages, to the first one.
        view->BuildControls("");
        view->ResizeBy(-kTableTabExtraHeight);
        view->SetTitle(CTR805QSheet::FormatTitle("", 3));
        view->EnableAndActivate();
    }
    ~RegisterWindow() override {
        view.reset();
        if (desktopFont_) QApplication::setFont(*desktopFont_);
    }

    CZLINKControlView* ZLink() {
        return qobject_cast<CZLINKControlView*>(Child<QTabWidget>(view.get(), "tabs")->widget(0));
    }
    CRegisterTableView* Table(int tab) {
        return qobject_cast<CRegisterTableView*>(Child<QTabWidget>(view.get(), "tabs")->widget(tab));
    }

    QApplication& app_ = TestApp();
    RecordingPrompts prompts;
    RecordingProgress progress;
    SheetPlatform platform;
    std::unique_ptr<CTR805QSheetView> view;
    std::optional<QFont> desktopFont_;
};

class LargeFontWindow : public RegisterWindow {
protected:
    LargeFontWindow() : RegisterWindow(14) {}
};

// Every visible control lies wholly inside the page, and no two controls overlap.
void ExpectFits(QWidget* page, const char* name) {
    ASSERT_TRUE(page->isVisible()) << name;
    const QRect area = page->rect();
    EXPECT_LE(page->minimumSizeHint().height(), area.height()) << name;
    EXPECT_LE(page->minimumSizeHint().width(), area.width()) << name;
    QList<QWidget*> leaves;
    for (QWidget* w : page->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(page)) continue;
        const bool control = w->inherits("QLabel") || w->inherits("QLineEdit") || w->inherits("QComboBox") ||
                             w->inherits("QAbstractButton") || w->inherits("QGroupBox");
        if (!control || (w->parentWidget() && w->parentWidget()->inherits("QComboBox"))) continue;
        const QRect r(w->mapTo(page, QPoint(0, 0)), w->size());
        EXPECT_TRUE(area.contains(r))
            << name << ": " << w->objectName().toStdString() << " " << w->metaObject()->className() << " at "
            << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
        // Text that does not fit its control is cut off on screen.
        if (auto* label = qobject_cast<QLabel*>(w)) {
            EXPECT_LE(label->sizeHint().width(), label->width()) << label->text().toStdString();
        }
        if (auto* button = qobject_cast<QPushButton*>(w)) {
            const int textWidth = button->fontMetrics().horizontalAdvance(button->text());
            EXPECT_LE(textWidth + 8, button->width()) << button->text().toStdString();
        }
        if (!w->inherits("QGroupBox")) leaves << w;
    }
    for (int i = 0; i < leaves.size(); ++i) {
        for (int j = i + 1; j < leaves.size(); ++j) {
            const QRect a(leaves[i]->mapTo(page, QPoint(0, 0)), leaves[i]->size());
            const QRect b(leaves[j]->mapTo(page, QPoint(0, 0)), leaves[j]->size());
            EXPECT_FALSE(a.intersects(b)) << name << ": " << leaves[i]->objectName().toStdString() << " over "
                                          << leaves[j]->objectName().toStdString();
        }
    }
}

void ExpectPagesFitTheirTabs(CTR805QSheetView& window) {
    QTabWidget* tabs = Child<QTabWidget>(&window, "tabs");
    auto* zlink = qobject_cast<CZLINKControlView*>(tabs->widget(0));
    ASSERT_NE(zlink, nullptr);
    EXPECT_EQ(tabs->height(), CTR805QSheetView::kShortTabHeight);
    ExpectFits(zlink, "Z-LINK Control");
    for (int tab : {1, 2}) {
        tabs->setCurrentIndex(tab);
        EXPECT_EQ(tabs->height(), CTR805QSheetView::kShortTabHeight + kTableTabExtraHeight);
        auto* t = qobject_cast<CRegisterTableView*>(tabs->widget(tab));
        ASSERT_NE(t, nullptr);
        ExpectFits(t, tab == 1 ? "Ext.1" : "Ext.2");
        auto top = [t](QWidget* w) { return w->mapTo(t, QPoint(0, 0)).y(); };
        auto left = [t](QWidget* w) { return w->mapTo(t, QPoint(0, 0)).x(); };
        for (int r = 1; r <= 20; ++r) {
            // Row r and row r + 20 share a line; the cells of a column share a left edge.
            EXPECT_EQ(top(t->Row(r).address), top(t->Row(r + 20).address)) << r;
            EXPECT_EQ(top(t->Row(r).type), top(t->Row(r).data)) << r;
            EXPECT_EQ(left(t->Row(r).type), left(t->Row(1).type)) << r;
            EXPECT_EQ(left(t->Row(r + 20).data), left(t->Row(21).data)) << r;
            EXPECT_GT(left(t->Row(r + 20).description), left(t->Row(r).enable)) << r;
            if (r > 1) {
                EXPECT_GT(top(t->Row(r).address), top(t->Row(r - 1).address)) << r;
            }
        }
        // The column captions stand just above the first row of each half.
        for (QLabel* caption : t->findChildren<QLabel*>()) {
            if (caption->text() != "Address") continue;
            const int bottom = top(caption) + caption->height();
            EXPECT_LE(bottom, top(t->Row(1).address));
            EXPECT_GE(bottom, top(t->Row(1).address) - 6);
        }
    }
}

TEST_F(RegisterWindow, PagesFitTheirTabsWithTheTableHalvesAligned) { ExpectPagesFitTheirTabs(*view); }

// A desktop with a large font: the pages keep to a dialog font and still fit.
TEST_F(LargeFontWindow, PagesStillFitTheirTabs) { ExpectPagesFitTheirTabs(*view); }

TEST_F(RegisterWindow, PagesReachTheBoardThroughTheSheet) {
    simBoard.SetRegister(1, 0x41, 0x1234);
    simBoard.SetRegister(1, 0xC6, 0x0001);
    simBoard.SetRegister(1, 0x10, 0x00A5);

    CZLINKControlView* z = ZLink();
    QTest::keyClicks(Child<CEntryField>(z, "writeAddress"), QStringLiteral("2a"));
    QTest::keyClicks(Child<CEntryField>(z, "writeData"), QStringLiteral("beef"));
    QTest::mouseClick(Child<QPushButton>(z, "writeButton"), Qt::LeftButton);
    QTest::keyClicks(Child<CEntryField>(z, "readAddress"), QStringLiteral("41"));
    QTest::mouseClick(Child<QPushButton>(z, "readButton"), Qt::LeftButton);
    EXPECT_EQ(Child<CEntryField>(z, "readData")->text(), "1234");
    SaveScreenshot(view.get(), QStringLiteral("register-tab0"));

    struct Fill {
        int row;
        const char* description;
        const char* address;
        RowType type;
        const char* data;
        bool enable;
    };
    const Fill fills[] = {
        {1, "Chip ID", "41", RowType::Rd16, "", true},
        {2, "Kernlet status", "C6", RowType::Rd16, "", true},
        {3, "Gain stage A", "2A", RowType::Wr16, "BEEF", true},
        {4, "Mode select", "10", RowType::Rd8, "", true},
        {5, "Output level", "11", RowType::Wr8, "7F", false},
        {21, "Filter coefficient", "30", RowType::Wr16, "0100", true},
        {22, "Spare", "31", RowType::Wr8, "", false},
        {40, "Last register", "FF", RowType::Rd16, "", false},
    };
    for (int tab : {1, 2}) {
        Child<QTabWidget>(view.get(), "tabs")->setCurrentIndex(tab);
        CRegisterTableView* t = Table(tab);
        for (const Fill& f : fills) {
            const auto& row = t->Row(f.row);
            QTest::keyClicks(row.description, QString::fromLatin1(f.description));
            QTest::keyClicks(row.address, QString::fromLatin1(f.address));
            ChooseItem(row.type, static_cast<int>(f.type));
            QTest::keyClicks(row.data, QString::fromLatin1(f.data));
            if (f.enable) QTest::mouseClick(row.enable, Qt::LeftButton);
        }
        if (auto* delay = t->findChild<CEntryField*>(QStringLiteral("delay")))
            QTest::keyClicks(delay, QStringLiteral("10"));
        QTest::mouseClick(Child<QPushButton>(t, "bothAll"), Qt::LeftButton);
        EXPECT_TRUE(prompts.messages.empty());
        EXPECT_EQ(t->Row(1).data->text(), "1234");
        EXPECT_EQ(t->Row(2).data->text(), "0001");
        EXPECT_EQ(t->Row(4).data->text(), "A5");
        if (tab == 2) QTest::mouseClick(Child<QPushButton>(t, "lock"), Qt::LeftButton);
        SaveScreenshot(view.get(), QStringLiteral("register-tab%1").arg(tab));
    }
    EXPECT_EQ(simBoard.Register(1, 0x2A), 0xBEEF);
    EXPECT_EQ(simBoard.Register(1, 0x30), 0x0100);
}

}  // namespace
