// The "Z-LINK Control" page on screen, on the in-process simulated board.
#include "registers/ui/EntryField.h"
#include "registers/ui/ZLINKControlView.h"
#include "tests/registers_ui/UiTestSupport.h"
#include "tests/support/GuiSupport.h"
#include "tests/support/SimHost.h"

#include <QApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using guitest::Child;

class ZLinkView : public ::testing::Test {
protected:
    QApplication& app_ = TestApp();
    SimHost host;
    CZLINKControlView view{host};
};

TEST_F(ZLinkView, TypedHexShowsUpperCaseWithinItsLimit) {
    struct Case {
        CEntryField* field;
        const char* typed;
        const char* shown;
    };
    const Case cases[] = {{Child<CEntryField>(&view, "writeAddress"), "2fa", "2F"},
                          {Child<CEntryField>(&view, "writeData"), "abcd9", "ABCD"},
                          {Child<CEntryField>(&view, "readAddress"), "c6", "C6"}};
    for (const Case& c : cases) {
        QTest::keyClicks(c.field, QString::fromLatin1(c.typed));
        EXPECT_EQ(c.field->text(), c.shown);
        EXPECT_EQ(c.field->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    }
    EXPECT_TRUE(Child<CEntryField>(&view, "readData")->isReadOnly());
}

TEST_F(ZLinkView, EightBitWriteSendsTheLowByte) {
    QTest::keyClicks(Child<CEntryField>(&view, "writeAddress"), QStringLiteral("20"));
    QTest::keyClicks(Child<CEntryField>(&view, "writeData"), QStringLiteral("1234"));
    EXPECT_TRUE(Child<QRadioButton>(&view, "writeWidth16")->isChecked());
    QTest::mouseClick(Child<QRadioButton>(&view, "writeWidth8"), Qt::LeftButton);
    QTest::mouseClick(Child<QPushButton>(&view, "writeButton"), Qt::LeftButton);
    EXPECT_EQ(host.Requests(), (std::vector<std::string>{"7E 02 20 34 01"}));
    EXPECT_TRUE(host.prompts.messages.empty());
    EXPECT_EQ(Child<CEntryField>(&view, "writeData")->text(), "1234");  // the fields keep what was typed
}

TEST_F(ZLinkView, EmptyAddressIsReportedBeforeEmptyData) {
    QTest::mouseClick(Child<QPushButton>(&view, "writeButton"), Qt::LeftButton);
    ASSERT_EQ(host.prompts.messages.size(), 1u);
    EXPECT_EQ(host.prompts.messages[0].text, "Error - A null register address is not valid");
    EXPECT_EQ(host.prompts.messages[0].caption, "Error");
    EXPECT_TRUE(host.Requests().empty());
}

TEST_F(ZLinkView, ReadShowsThePaddedValue) {
    struct Case {
        bool eightBit;
        uint16_t value;
        const char* shown;
    };
    const Case cases[] = {{false, 0x0001, "0001"}, {true, 0x0000, "00"}, {false, 0xAB, "00AB"}};
    QTest::keyClicks(Child<CEntryField>(&view, "readAddress"), QStringLiteral("41"));
    for (const Case& c : cases) {
        host.simBoard.SetRegister(1, 0x41, c.value);
        QTest::mouseClick(Child<QRadioButton>(&view, c.eightBit ? "readWidth8" : "readWidth16"),
                          Qt::LeftButton);
        QTest::mouseClick(Child<QPushButton>(&view, "readButton"), Qt::LeftButton);
        EXPECT_EQ(Child<CEntryField>(&view, "readData")->text(), c.shown);
    }
    EXPECT_EQ(host.Requests(), (std::vector<std::string>{"7E 05 41 01", "7E 04 41 01", "7E 05 41 01"}));
}

TEST_F(ZLinkView, OnlyDeviceOneIsOffered) {
    EXPECT_TRUE(Child<QRadioButton>(&view, "device1")->isChecked());
    EXPECT_FALSE(Child<QRadioButton>(&view, "device2")->isVisibleTo(&view));
    EXPECT_FALSE(Child<QRadioButton>(&view, "device3")->isVisibleTo(&view));
    QStringList groups;
    for (QGroupBox* g : view.findChildren<QGroupBox*>()) groups << g->title();
    groups.sort();
    EXPECT_EQ(groups,
              (QStringList{"Read a Register", "Reset Device", "Select Target Device", "Write a Register"}));
    QTest::mouseClick(Child<QPushButton>(&view, "resetButton"), Qt::LeftButton);
    EXPECT_EQ(host.Requests(), (std::vector<std::string>{"7E 01 01"}));
}

}  // namespace
