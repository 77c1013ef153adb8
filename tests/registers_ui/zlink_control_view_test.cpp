// The "Z-LINK Control" page on screen, on the in-process simulated board.
#include "registers/ui/EntryField.h"
#include "registers/ui/ZLINKControlView.h"
#include "tests/registers_ui/UiTestSupport.h"
#include "tests/support/SimHost.h"

#include <QApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class ZLinkView : public ::testing::Test {
protected:
    QApplication& app_ = TestApp();
    SimHost host;
    CZLINKControlView view{host};
};

TEST_F(ZLinkView, TypedHexShowsUpperCaseWithinItsLimit) {
    struct Case { CEntryField* field; const char* typed; const char* shown; };
    const Case cases[] = {{view.WriteAddressField(), "2fa", "2F"},
                          {view.WriteDataField(), "abcd9", "ABCD"},
                          {view.ReadAddressField(), "c6", "C6"}};
    for (const Case& c : cases) {
        QTest::keyClicks(c.field, QString::fromLatin1(c.typed));
        EXPECT_EQ(c.field->text(), c.shown);
        EXPECT_EQ(c.field->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    }
    EXPECT_TRUE(view.ReadDataField()->isReadOnly());
}

TEST_F(ZLinkView, EightBitWriteSendsTheLowByte) {
    QTest::keyClicks(view.WriteAddressField(), QStringLiteral("20"));
    QTest::keyClicks(view.WriteDataField(), QStringLiteral("1234"));
    EXPECT_TRUE(view.WriteWidth16()->isChecked());
    QTest::mouseClick(view.WriteWidth8(), Qt::LeftButton);
    QTest::mouseClick(view.WriteButton(), Qt::LeftButton);
    EXPECT_EQ(host.Requests(), (std::vector<std::string>{"7E 02 20 34 01"}));
    EXPECT_TRUE(host.prompts.messages.empty());
    EXPECT_EQ(view.WriteDataField()->text(), "1234");  // the fields keep what was typed
}

TEST_F(ZLinkView, EmptyAddressIsReportedBeforeEmptyData) {
    QTest::mouseClick(view.WriteButton(), Qt::LeftButton);
    ASSERT_EQ(host.prompts.messages.size(), 1u);
    EXPECT_EQ(host.prompts.messages[0].text, "Error - A null register address is not valid");
    EXPECT_EQ(host.prompts.messages[0].caption, "Error");
    EXPECT_TRUE(host.Requests().empty());
}

TEST_F(ZLinkView, ReadShowsThePaddedValue) {
    struct Case { bool eightBit; uint16_t value; const char* shown; };
    const Case cases[] = {{false, 0x0001, "0001"}, {true, 0x0000, "00"}, {false, 0xAB, "00AB"}};
    QTest::keyClicks(view.ReadAddressField(), QStringLiteral("41"));
    for (const Case& c : cases) {
        host.simBoard.SetRegister(1, 0x41, c.value);
        QTest::mouseClick(c.eightBit ? view.ReadWidth8() : view.ReadWidth16(), Qt::LeftButton);
        QTest::mouseClick(view.ReadButton(), Qt::LeftButton);
        EXPECT_EQ(view.ReadDataField()->text(), c.shown);
    }
    EXPECT_EQ(host.Requests(), (std::vector<std::string>{"7E 05 41 01", "7E 04 41 01", "7E 05 41 01"}));
}

TEST_F(ZLinkView, OnlyDeviceOneIsOffered) {
    EXPECT_TRUE(view.DeviceChoice(1)->isChecked());
    EXPECT_FALSE(view.DeviceChoice(2)->isVisibleTo(&view));
    EXPECT_FALSE(view.DeviceChoice(3)->isVisibleTo(&view));
    QStringList groups;
    for (QGroupBox* g : view.findChildren<QGroupBox*>()) groups << g->title();
    groups.sort();
    EXPECT_EQ(groups, (QStringList{"Read a Register", "Reset Device", "Select Target Device",
                                   "Write a Register"}));
    QTest::mouseClick(view.ResetButton(), Qt::LeftButton);
    EXPECT_EQ(host.Requests(), (std::vector<std::string>{"7E 01 01"}));
}

}  // namespace
