// "Options" on the offscreen platform: Enter does what the focused control offers.
#include "app/Options.h"
#include "app/ui/OptionsView.h"
#include "tests/support/GuiSupport.h"
#include "tests/support/app/AppTestSupport.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

enum class Outcome { StillOpen, Accepted, Rejected };

struct EnterCase {
    std::vector<const char*> focused;  // in turn: a button's text, or "" for the name field
    std::string boardName;  // the sheet's name afterwards
    Outcome outcome;
};

QPushButton* ButtonWithText(QWidget& dialog, const QString& text) {
    for (QPushButton* b : dialog.findChildren<QPushButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

TEST(OptionsDialog, EnterPressesTheFocusedButtonAndSetNameElsewhere) {
    guitest::App();
    const EnterCase cases[] = {
        {{""}, "BENCH", Outcome::StillOpen},
        {{"Set Name"}, "BENCH", Outcome::StillOpen},
        {{"OK"}, "", Outcome::Accepted},
        {{"Cancel"}, "", Outcome::Rejected},
        // A button that had the focus gives the default back when the focus moves on.
        {{"Cancel", ""}, "BENCH", Outcome::StillOpen},
        {{"OK", "Cancel"}, "", Outcome::Rejected},
    };
    for (const EnterCase& c : cases) {
        SCOPED_TRACE(std::string(c.focused.front()) + " .. " + c.focused.back());
        SimRig rig;
        FakeSheetWindow window;
        CTR805QSheet sheet(rig.Platform(), window);
        COptions options(sheet);
        COptionsView view(options);
        view.show();
        QApplication::setActiveWindow(&view);
        auto* name = view.findChild<QLineEdit*>(QStringLiteral("boardName"));
        ASSERT_NE(name, nullptr);
        QTest::keyClicks(name, QStringLiteral("bench"));

        QWidget* target = nullptr;
        for (const char* focused : c.focused) {
            target =
                *focused ? static_cast<QWidget*>(ButtonWithText(view, QString::fromLatin1(focused))) : name;
            ASSERT_NE(target, nullptr);
            target->setFocus(Qt::TabFocusReason);
            ASSERT_TRUE(guitest::PumpUntil([&] { return target->hasFocus(); }));
        }
        QTest::keyClick(target, Qt::Key_Return);

        EXPECT_EQ(sheet.BoardName(), c.boardName);
        const Outcome outcome = view.isVisible()                     ? Outcome::StillOpen
                                : view.result() == QDialog::Accepted ? Outcome::Accepted
                                                                     : Outcome::Rejected;
        EXPECT_EQ(outcome, c.outcome);
    }
}

}  // namespace
