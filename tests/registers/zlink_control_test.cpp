// The "Z-LINK Control" page against the simulated board.
#include "registers/ZLINKControl.h"
#include "tests/support/SimHost.h"

#include <gtest/gtest.h>

namespace {

TEST(HexText, RulesOfTheRegisterFields) {
    EXPECT_TRUE(IsHexText(""));
    EXPECT_TRUE(IsHexText("09AF"));
    EXPECT_FALSE(IsHexText("ab"));
    EXPECT_FALSE(IsHexText("G"));
    EXPECT_EQ(HexTextToNumber("1234"), 0x1234u);
    EXPECT_EQ(HexTextToNumber("FFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(PadHexText("", RegWidth::Bits16), "0000");
    EXPECT_EQ(PadHexText("A", RegWidth::Bits8), "0A");
    EXPECT_EQ(PadHexText("12345", RegWidth::Bits16), "12345");
    EXPECT_EQ(RegisterValueText(0xAB, RegWidth::Bits16), "00AB");
    EXPECT_EQ(RegisterValueText(5, RegWidth::Bits8), "05");
    EXPECT_EQ(EntryText("ab12c", 4), "AB12");
}

struct WriteCase {
    const char* address;
    const char* data;
    RegWidth width;
    const char* message;  // empty: accepted
    const char* request;  // what reaches the board when accepted
};

TEST(ZLINKControl, WriteValidatesThenSendsTheDocumentedFrame) {
    const WriteCase cases[] = {
        {"", "", RegWidth::Bits16, "Error - A null register address is not valid", nullptr},
        {"2G", "", RegWidth::Bits16, "Error - Register address must be hexadecimal", nullptr},
        {"ab", "1", RegWidth::Bits16, "Error - Register address must be hexadecimal", nullptr},
        {"20", "", RegWidth::Bits16, "Error - Null register data is not valid", nullptr},
        {"20", "12X4", RegWidth::Bits16, "Error - Register data must be hexadecimal", nullptr},
        {"20", "1234", RegWidth::Bits16, "", "7E 03 20 12 34 01"},
        {"20", "1234", RegWidth::Bits8, "", "7E 02 20 34 01"},
        {"5", "7", RegWidth::Bits16, "", "7E 03 05 00 07 01"},
    };
    for (const auto& c : cases) {
        SimHost host;
        CZLINKControl page(host);
        page.writeAddress = c.address;
        page.writeData = c.data;
        page.writeWidth = c.width;
        const PageResult r = page.Write();
        if (*c.message) {
            EXPECT_EQ(r, PageResult::Invalid);
            ASSERT_EQ(host.prompts.messages.size(), 1u);
            EXPECT_EQ(host.prompts.messages[0].text, c.message);
            EXPECT_EQ(host.prompts.messages[0].caption, "Error");
            EXPECT_TRUE(host.Requests().empty());
        } else {
            EXPECT_EQ(r, PageResult::Ok);
            EXPECT_TRUE(host.prompts.messages.empty());
            ASSERT_EQ(host.Requests().size(), 1u);
            EXPECT_EQ(host.Requests()[0], c.request);
        }
    }
}

TEST(ZLINKControl, ReadShowsThePaddedValue) {
    SimHost host;
    host.simBoard.SetRegister(1, 0x30, 0x0001);
    CZLINKControl page(host);
    page.readAddress = "30";
    ASSERT_EQ(page.Read(), PageResult::Ok);
    EXPECT_EQ(page.readData, "0001");
    host.simBoard.SetRegister(1, 0x31, 0x0000);
    page.readAddress = "31";
    page.readWidth = RegWidth::Bits8;
    ASSERT_EQ(page.Read(), PageResult::Ok);
    EXPECT_EQ(page.readData, "00");
    EXPECT_EQ(host.Requests().back(), "7E 04 31 01");
}

TEST(ZLINKControl, LostBoardShowsTheMessageAndQuits) {
    SimHost host;
    host.simBoard.faults().noReply = true;
    CZLINKControl page(host);
    page.readAddress = "20";
    EXPECT_EQ(page.Read(), PageResult::LostBoard);
    ASSERT_EQ(host.prompts.messages.size(), 1u);
    EXPECT_EQ(host.prompts.messages[0].text,
              "Error - Unable to communicate with KOVA kit\nCheck connections and restart the program");
    EXPECT_EQ(host.prompts.messages[0].icon, MsgIcon::Error);
    EXPECT_TRUE(host.prompts.QuitPosted());
    EXPECT_EQ(page.readData, "");
}

TEST(ZLINKControl, GenResetWithoutKernletSendsOnlyTheReset) {
    SimHost host;
    CZLINKControl page(host);
    EXPECT_EQ(page.GenReset(), PageResult::Ok);
    ASSERT_EQ(host.Requests().size(), 1u);
    EXPECT_EQ(host.Requests()[0], "7E 01 01");
}

// A Kernlet marked as loaded whose status never shows bit 0: the wait ends after the device's
// time limit with the documented message, and the program goes on.
TEST(ZLINKControl, GenResetGivesUpWhenTheKernletDoesNotStart) {
    for (uint8_t device : {1, 2}) {
        SimHost host;
        host.SetKernletLoaded(device, true);
        CZLINKControl page(host);
        page.device1 = device == 1;
        page.device2 = device == 2;
        const uint64_t start = host.clock.NowMs();
        EXPECT_EQ(page.GenReset(), PageResult::Failed);
        const uint64_t waited = host.clock.NowMs() - start;
        EXPECT_GE(waited, device == 1 ? 3000u : 5000u);
        EXPECT_LT(waited, device == 1 ? 3100u : 5100u);
        ASSERT_EQ(host.prompts.messages.size(), 1u);
        EXPECT_EQ(host.prompts.messages[0].text, "Error - Kernlet not started");
        EXPECT_FALSE(host.prompts.QuitPosted());
    }
}

}  // namespace
