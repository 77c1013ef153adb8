// The register table pages on screen, on the in-process simulated board.
#include "registers/ui/EntryField.h"
#include "registers/ui/RegisterTableView.h"
#include "tests/registers_ui/UiTestSupport.h"
#include "tests/support/GuiSupport.h"
#include "tests/support/SimHost.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using guitest::Child;

class TableView : public ::testing::Test {
protected:
    QApplication& app_ = TestApp();
    SimHost host;
    CRegisterTableView view{host, TablePageKind::Ext1};
    void SetUp() override { view.show(); }

    // Fills a row the way a user does: type chosen, cells typed, box ticked.
    void Fill(int row, RowType type, const char* address, const char* data, bool enable = true) {
        const auto& r = view.Row(row);
        if (type != RowType::None) ChooseItem(r.type, static_cast<int>(type));
        QTest::keyClicks(r.address, QString::fromLatin1(address));
        QTest::keyClicks(r.data, QString::fromLatin1(data));
        if (enable != r.enable->isChecked()) QTest::mouseClick(r.enable, Qt::LeftButton);
    }
};

TEST_F(TableView, TypedCellsShowUpperCaseWithinTheirLimits) {
    const auto& row = view.Row(7);
    QTest::keyClicks(row.address, QStringLiteral("7fa"));
    EXPECT_EQ(row.address->text(), "7F");
    EXPECT_EQ(view.Page().Row(7).address, "7F");
    QTest::keyClicks(row.data, QStringLiteral("abcde"));  // no type yet: 4 digits
    EXPECT_EQ(row.data->text(), "ABCD");
    QTest::keyClicks(row.description, QString(70, QLatin1Char('d')));
    EXPECT_EQ(row.description->text(), QString(64, QLatin1Char('d')));  // not upper case
    EXPECT_EQ(row.address->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    EXPECT_EQ(row.data->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
}

TEST_F(TableView, ChosenTypeSetsCaptionDataLimitAndReadOnly) {
    struct Case {
        RowType type;
        const char* caption;
        const char* typed;
        bool readOnly;
    };
    const Case cases[] = {{RowType::Wr8, "W", "AB", false},
                          {RowType::Wr16, "W", "ABCD", false},
                          {RowType::Rd8, "R", "", true},
                          {RowType::Rd16, "R", "", true}};
    const auto& row = view.Row(21);
    EXPECT_EQ(row.update->text(), "X");
    EXPECT_EQ(row.type->currentIndex(), -1);
    for (const Case& c : cases) {
        // Whatever the cell held before, a new type empties it.
        row.data->SetFieldText("12");
        view.Page().Row(21).data = "12";
        ChooseItem(row.type, static_cast<int>(c.type));
        EXPECT_EQ(view.Page().Row(21).type, c.type);
        EXPECT_EQ(row.update->text(), c.caption);
        EXPECT_EQ(row.data->isReadOnly(), c.readOnly);
        EXPECT_EQ(view.Page().Row(21).data, "") << c.caption;
        QTest::keyClicks(row.data, QStringLiteral("abcdef"));
        EXPECT_EQ(row.data->text(), c.typed) << static_cast<int>(c.type);
    }
}

TEST_F(TableView, FailedWriteAllMovesTheFocusToTheCellAtFault) {
    struct Case {
        RowType type;
        const char* address;
        const char* data;
        RowCell cell;
        const char* message;
    };
    const Case cases[] = {
        {RowType::None, "20", "", RowCell::Type, "Error - Select Z-LINK register type"},
        {RowType::Wr8, "", "12", RowCell::Address, "Error - A null register address is not valid"},
        {RowType::Wr16, "20", "", RowCell::Data, "Error - Null register data is not valid"},
    };
    for (const Case& c : cases) {
        SimHost h;
        CRegisterTableView v(h, TablePageKind::Ext2);
        v.show();
        const auto& good = v.Row(3);
        ChooseItem(good.type, static_cast<int>(RowType::Wr16));
        QTest::keyClicks(good.address, QStringLiteral("30"));
        QTest::keyClicks(good.data, QStringLiteral("1234"));
        QTest::mouseClick(good.enable, Qt::LeftButton);
        const auto& bad = v.Row(25);
        if (c.type != RowType::None) ChooseItem(bad.type, static_cast<int>(c.type));
        QTest::keyClicks(bad.address, QString::fromLatin1(c.address));
        QTest::keyClicks(bad.data, QString::fromLatin1(c.data));
        QTest::mouseClick(bad.enable, Qt::LeftButton);

        QTest::mouseClick(Child<QPushButton>(&v, "writeAll"), Qt::LeftButton);
        ASSERT_EQ(h.prompts.messages.size(), 1u);
        EXPECT_EQ(h.prompts.messages[0].text, c.message);
        EXPECT_EQ(v.focusWidget(), v.CellWidget(25, c.cell)) << c.message;
        EXPECT_TRUE(h.Requests().empty()) << "row 3 must not be written";
    }
}

TEST_F(TableView, LockDisablesTheRowDefinitionsAndClearAllOnly) {
    Fill(1, RowType::Wr16, "20", "1234");
    QTest::mouseClick(Child<QPushButton>(&view, "lock"), Qt::LeftButton);
    EXPECT_TRUE(Child<QPushButton>(&view, "lock")->isChecked());
    EXPECT_TRUE(view.Page().Locked());
    for (int r : {1, 20, 21, 40}) {
        const auto& row = view.Row(r);
        EXPECT_FALSE(row.description->isEnabled()) << r;
        EXPECT_FALSE(row.address->isEnabled()) << r;
        EXPECT_FALSE(row.type->isEnabled()) << r;
        EXPECT_TRUE(row.data->isEnabled()) << r;
        EXPECT_TRUE(row.update->isEnabled()) << r;
        EXPECT_TRUE(row.enable->isEnabled()) << r;
    }
    EXPECT_FALSE(Child<QPushButton>(&view, "clearAll")->isEnabled());
    for (const char* name : {"clearData", "writeAll", "readAll", "bothAll", "openConfig", "saveConfig"}) {
        QPushButton* b = Child<QPushButton>(&view, name);
        EXPECT_TRUE(b->isEnabled()) << b->text().toStdString();
    }
    // Clear data still works while locked and keeps the definition.
    QTest::mouseClick(Child<QPushButton>(&view, "clearData"), Qt::LeftButton);
    EXPECT_EQ(view.Row(1).data->text(), "");
    EXPECT_EQ(view.Row(1).address->text(), "20");

    QTest::mouseClick(Child<QPushButton>(&view, "lock"), Qt::LeftButton);
    EXPECT_TRUE(view.Row(40).type->isEnabled());
    EXPECT_TRUE(Child<QPushButton>(&view, "clearAll")->isEnabled());
    QTest::mouseClick(Child<QPushButton>(&view, "clearAll"), Qt::LeftButton);
    EXPECT_EQ(view.Row(1).address->text(), "");
    EXPECT_EQ(view.Row(1).type->currentIndex(), -1);
    EXPECT_EQ(view.Row(1).update->text(), "X");
    EXPECT_FALSE(view.Row(1).enable->isChecked());
}

TEST_F(TableView, ReadsFillTheDataCells) {
    host.simBoard.SetRegister(1, 0x41, 0xBEEF);
    host.simBoard.SetRegister(1, 0x42, 0x0005);
    Fill(2, RowType::Rd16, "41", "", /*enable=*/false);
    QTest::mouseClick(view.Row(2).update, Qt::LeftButton);
    EXPECT_EQ(host.Requests(), (std::vector<std::string>{"7E 05 41 01"}));
    EXPECT_EQ(view.Row(2).data->text(), "BEEF");

    Fill(40, RowType::Rd8, "42", "");
    Fill(39, RowType::Wr8, "43", "77");
    host.requests.clear();
    QTest::mouseClick(Child<QPushButton>(&view, "readAll"), Qt::LeftButton);
    EXPECT_EQ(host.Requests(), (std::vector<std::string>{"7E 04 42 01"}));
    EXPECT_EQ(view.Row(40).data->text(), "05");
    EXPECT_TRUE(host.prompts.messages.empty());
}

TEST_F(TableView, OpenConfigShowsEveryRowAndPressesLock) {
    namespace fs = std::filesystem;
    const fs::path file = fs::temp_directory_path() / ("tr805q-view-" + std::to_string(::getpid()) + ".txt");
    std::string text;
    for (int r = 1; r <= 40; ++r) {
        char header[24];
        std::snprintf(header, sizeof header, "Register:%03d\r\n", r);
        text += header;
        if (r == 1)
            text += "Gain\r\n20\r\n02\r\n12345\r\n1\r\n";  // Data longer than typing allows
        else if (r == 33)
            text += "status\r\nc6\r\n01\r\nBEEF\r\n0\r\n";
        else
            text += "\r\n\r\n00\r\n\r\n0\r\n";
    }
    std::ofstream(file, std::ios::binary) << text;
    host.prompts.filePaths.push_back(file.string());
    QTest::mouseClick(Child<QPushButton>(&view, "openConfig"), Qt::LeftButton);
    fs::remove(file);

    EXPECT_TRUE(host.prompts.messages.empty());
    EXPECT_TRUE(Child<QPushButton>(&view, "lock")->isChecked());
    EXPECT_FALSE(view.Row(33).address->isEnabled());
    EXPECT_EQ(view.Row(1).description->text(), "Gain");
    EXPECT_EQ(view.Row(1).type->currentText(), "16 bit Wr");
    EXPECT_EQ(view.Row(1).update->text(), "W");
    EXPECT_EQ(view.Row(1).data->text(), "12345");  // shown whole
    EXPECT_TRUE(view.Row(1).enable->isChecked());
    EXPECT_EQ(view.Row(33).address->text(), "c6");  // as the file holds it
    EXPECT_EQ(view.Row(33).type->currentText(), "16 bit Rd");
    EXPECT_TRUE(view.Row(33).data->isReadOnly());
    EXPECT_EQ(view.Row(33).data->text(), "BEEF");
    // The long text can only be shortened; once it fits, the limit holds again.
    CEntryField* data = view.Row(1).data;
    data->setFocus();
    data->end(false);
    QTest::keyClick(data, Qt::Key_7);
    EXPECT_EQ(data->text(), "12345");
    QTest::keyClick(data, Qt::Key_Backspace);
    QTest::keyClick(data, Qt::Key_Backspace);
    EXPECT_EQ(data->text(), "123");
    QTest::keyClicks(data, QStringLiteral("9ab"));
    EXPECT_EQ(data->text(), "1239");
    EXPECT_EQ(view.Page().Row(1).data, "1239");
}

TEST(TablePages, CarryTheirOwnLabelsAndDeviceChoice) {
    TestApp();
    SimHost host;
    CRegisterTableView one(host, TablePageKind::Ext1), two(host, TablePageKind::Ext2);
    auto labels = [](const QWidget& page) {
        QStringList texts;
        for (QLabel* l : page.findChildren<QLabel*>()) texts << l->text();
        return texts;
    };
    const QStringList first = labels(one), second = labels(two);
    for (const char* caption : {"Description", "Address", "Type", "Update", "Data", "Enable"}) {
        EXPECT_EQ(first.count(QString::fromLatin1(caption)), 2) << caption;
        EXPECT_EQ(second.count(QString::fromLatin1(caption)), 2) << caption;
    }
    EXPECT_EQ(first.count(QStringLiteral("1")), 1);
    EXPECT_EQ(first.count(QStringLiteral("21")), 0);
    EXPECT_EQ(first.count(QStringLiteral("Delay by instruction(ms)")), 1);
    CEntryField* delay = Child<CEntryField>(&one, "delay");
    QTest::keyClicks(delay, QStringLiteral("1x2345"));
    EXPECT_EQ(delay->text(), "12345");
    EXPECT_EQ(static_cast<CZLINKControlExt1&>(one.Page()).delayText, "12345");
    EXPECT_EQ(second.count(QStringLiteral("1")), 1);
    EXPECT_EQ(second.count(QStringLiteral("21")), 1);
    EXPECT_EQ(second.count(QStringLiteral("Delay by instruction(ms)")), 0);
    EXPECT_EQ(two.findChild<CEntryField*>(QStringLiteral("delay")), nullptr);
    EXPECT_EQ(Child<QPushButton>(&one, "bothAll")->text(), "Wr\\Rd all");
    EXPECT_TRUE(Child<QPushButton>(&one, "lock")->isCheckable());
    for (const CRegisterTableView* v : {&one, &two}) {
        EXPECT_TRUE(Child<QRadioButton>(v, "device1")->isChecked());
        EXPECT_FALSE(Child<QRadioButton>(v, "device2")->isVisibleTo(v));
        EXPECT_FALSE(Child<QRadioButton>(v, "device3")->isVisibleTo(v));
        EXPECT_EQ(v->Row(1).type->count(), 4);
        EXPECT_EQ(v->Row(1).type->itemText(3), "8 bit Wr");
    }
}

}  // namespace
