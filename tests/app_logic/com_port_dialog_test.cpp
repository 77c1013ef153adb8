#include "app/ComPortDialog.h"
#include "tests/support/app/AppTestSupport.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

class ComPortDialogTest : public ::testing::Test {
protected:
    CComPortDialog& Dialog() {
        if (!dialog_) {
            dialog_ = std::make_unique<CComPortDialog>(
                prompts, [this] { return std::make_unique<MemorySettingsKey>(store); },
                [this] { return ports; });
        }
        return *dialog_;
    }
    void Store(const std::string& name, uint32_t value) { store.tabs["ScriptTab"][name] = value; }
    void StoreAll(uint32_t port, uint32_t baud, uint32_t parity, uint32_t dataBits, uint32_t stopBits,
                  uint32_t flow) {
        Store("Port", port);
        Store("Baud", baud);
        Store("Parity", parity);
        Store("Databits", dataBits);
        Store("Stopbits", stopBits);
        Store("FlowControl", flow);
    }
    uint32_t Stored(const std::string& name) { return store.Dword("ScriptTab", name).value_or(0xDEAD); }

    MemoryStore store;
    RecordingPrompts prompts;
    std::vector<int> ports{1, 3};
    std::unique_ptr<CComPortDialog> dialog_;
};

TEST_F(ComPortDialogTest, FirstRunCreatesEveryValueWithItsDefaultAndSelectsCom1) {
    CComPortDialog& d = Dialog();
    d.OnInitDialog();
    EXPECT_EQ(store.writes, (std::vector<std::string>{"Port=1", "Baud=115200", "Parity=2", "Databits=8",
                                                      "Stopbits=0", "FlowControl=0"}));
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(d.portEntries, (std::vector<std::string>{"COM1", "COM3"}));
    EXPECT_EQ(d.portSelection, 0);
    EXPECT_EQ(d.baudEntries, (std::vector<std::string>{"4800", "9600", "19200", "38400", "57600", "115200"}));
    EXPECT_EQ(d.baudSelection, 5);
    EXPECT_EQ(CComPortDialog::kParityChoices[d.parityChoice], std::string("None"));
    EXPECT_EQ(CComPortDialog::kDataBitsChoices[d.dataBitsChoice], std::string("8 bits"));
    EXPECT_EQ(CComPortDialog::kStopBitsChoices[d.stopBitsChoice], std::string("1 bit"));
    EXPECT_EQ(CComPortDialog::kFlowChoices[d.flowChoice], std::string("None"));

    d.portSelection = 1;  // the user picks COM3
    d.OnOK();
    EXPECT_EQ(d.Settings().port, 3u);
    EXPECT_EQ(Stored("Port"), 3u);
    EXPECT_EQ(Stored("Baud"), 115200u);
}

// Each stored value, what the dialog shows for it, and what OK stores back.
struct LineSettingCase {
    const char* name;
    uint32_t stored;
    const char* shown;
    uint32_t storedBack;
};

void PrintTo(const LineSettingCase& c, std::ostream* os) { *os << c.name << '=' << c.stored; }

class LineSettingTest : public ComPortDialogTest, public ::testing::WithParamInterface<LineSettingCase> {};

TEST_P(LineSettingTest, ShowsTheChoiceAndStoresItBack) {
    const LineSettingCase& c = GetParam();
    StoreAll(1, 115200, 2, 8, 0, 0);
    Store(c.name, c.stored);
    CComPortDialog& d = Dialog();
    d.OnInitDialog();
    const std::string name = c.name;
    std::string shown;
    if (name == "Baud") shown = d.baudEntries.at(d.baudSelection);
    if (name == "Parity") shown = CComPortDialog::kParityChoices.at(d.parityChoice);
    if (name == "Databits") shown = CComPortDialog::kDataBitsChoices.at(d.dataBitsChoice);
    if (name == "Stopbits") shown = CComPortDialog::kStopBitsChoices.at(d.stopBitsChoice);
    if (name == "FlowControl") shown = CComPortDialog::kFlowChoices.at(d.flowChoice);
    EXPECT_EQ(shown, c.shown);
    store.writes.clear();
    d.OnOK();
    EXPECT_EQ(Stored(c.name), c.storedBack);
    EXPECT_EQ(store.writes.size(), 6u);
}

INSTANTIATE_TEST_SUITE_P(
    Values, LineSettingTest,
    ::testing::Values(
        LineSettingCase{"Parity", 1, "None", 2},  // mark is not offered
        LineSettingCase{"Parity", 0, "Even", 0}, LineSettingCase{"Parity", 3, "Odd", 3},
        LineSettingCase{"Parity", 4, "None", 2}, LineSettingCase{"Databits", 7, "7 bits", 7},
        LineSettingCase{"Databits", 5, "8 bits", 8}, LineSettingCase{"Stopbits", 2, "2 bits", 2},
        LineSettingCase{"Stopbits", 1, "1 bit", 0}, LineSettingCase{"FlowControl", 1, "RTS/CTS", 1},
        LineSettingCase{"FlowControl", 4, "DTR/DSR", 4}, LineSettingCase{"FlowControl", 2, "None", 0},
        LineSettingCase{"Baud", 4800, "4800", 4800}, LineSettingCase{"Baud", 57600, "57600", 57600},
        LineSettingCase{"Baud", 1200, "115200", 115200}));

TEST_F(ComPortDialogTest, NoPortsOffersOnlyTheNoticeAndOkGivesPortZero) {
    ports.clear();
    CComPortDialog& d = Dialog();
    d.OnInitDialog();
    EXPECT_EQ(d.portEntries, std::vector<std::string>{"No Active Ports Found"});
    EXPECT_EQ(d.portSelection, -1);
    d.portSelection = 0;  // even chosen, the notice stands for no port
    d.OnOK();
    EXPECT_EQ(d.Settings().port, 0u);
    EXPECT_EQ(Stored("Port"), 0u);
}

TEST_F(ComPortDialogTest, PortsAreOfferedInNumericOrderFromCom0ToCom99) {
    ports = {42, 3, 100, 0, 99, -1, 3, 250};
    CComPortDialog& d = Dialog();
    d.OnInitDialog();
    EXPECT_EQ(d.portEntries, (std::vector<std::string>{"COM0", "COM3", "COM42", "COM99"}));
}

// An adapter that is unplugged keeps its number: OK without a choice leaves the stored port as
// it is, so that it opens again once the adapter is back.
TEST_F(ComPortDialogTest, StoredPortThatIsNotPresentIsNotSelectedAndIsKept) {
    StoreAll(7, 115200, 2, 8, 0, 0);
    CComPortDialog& d = Dialog();
    d.OnInitDialog();
    EXPECT_EQ(d.portSelection, -1);
    d.OnOK();
    EXPECT_EQ(d.Settings().port, 7u);
    EXPECT_EQ(Stored("Port"), 7u);
}

TEST_F(ComPortDialogTest, PreselectedPortWinsOverTheStoredOne) {
    ports = {1, 5};
    StoreAll(1, 9600, 2, 8, 0, 0);
    CComPortDialog& d = Dialog();
    d.PreselectPort(5);
    d.OnInitDialog();
    ASSERT_EQ(d.portSelection, 1);
    d.OnOK();
    EXPECT_EQ(Stored("Port"), 5u);
    EXPECT_EQ(Stored("Baud"), 9600u);
}

TEST_F(ComPortDialogTest, CancelStoresNothing) {
    StoreAll(3, 9600, 0, 7, 2, 1);
    CComPortDialog& d = Dialog();
    d.OnInitDialog();
    d.portSelection = 0;
    d.OnCancel();
    EXPECT_TRUE(store.writes.empty());
    EXPECT_EQ(Stored("Port"), 3u);
}

struct RegistryFailureCase {
    const char* what;
    bool failOpen;
    const char* failQuery;
    const char* failSet;
    bool storedBefore;
    const char* message;
    std::vector<std::string> writes;
};

void PrintTo(const RegistryFailureCase& c, std::ostream* os) { *os << c.what; }

class RegistryFailureTest : public ComPortDialogTest,
                            public ::testing::WithParamInterface<RegistryFailureCase> {};

TEST_P(RegistryFailureTest, ShowsTheMessageAndLeavesTheListsEmpty) {
    const RegistryFailureCase& c = GetParam();
    if (c.storedBefore) StoreAll(3, 9600, 0, 7, 2, 1);
    store.failOpen = c.failOpen;
    if (c.failQuery) store.failQuery.insert(c.failQuery);
    if (c.failSet) store.failSet.insert(c.failSet);
    CComPortDialog& d = Dialog();
    d.OnInitDialog();
    ASSERT_EQ(prompts.messages.size(), 1u) << c.what;
    EXPECT_EQ(prompts.messages[0].text, c.message);
    EXPECT_EQ(prompts.messages[0].caption, "Error");
    EXPECT_EQ(prompts.messages[0].icon, MsgIcon::Error);
    EXPECT_TRUE(d.portEntries.empty());
    EXPECT_TRUE(d.baudEntries.empty());
    EXPECT_EQ(store.writes, c.writes);

    // The key was closed: OK stores nothing, and keeps the settings it could read rather than
    // line settings nobody chose.
    store.writes.clear();
    const ComSettings before = d.Settings();
    d.OnOK();
    EXPECT_TRUE(store.writes.empty());
    EXPECT_EQ(d.Settings().dataBits, before.dataBits);
    EXPECT_EQ(d.Settings().parity, before.parity);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, RegistryFailureTest,
    ::testing::Values(
        RegistryFailureCase{"key", true, nullptr, nullptr, false, "Error - Cannot create registry key", {}},
        RegistryFailureCase{
            "create", false, nullptr, "Baud", false, "Error - Cannot create registry entry", {"Port=1"}},
        RegistryFailureCase{
            "read", false, "Parity", nullptr, true, "Error - Cannot read registry entry", {}}));

TEST_F(ComPortDialogTest, StoringStopsAtTheFirstValueThatIsMissingOrCannotBeWritten) {
    StoreAll(1, 9600, 0, 7, 2, 1);
    CComPortDialog& d = Dialog();
    d.OnInitDialog();
    store.tabs["ScriptTab"].erase("Parity");  // gone while the dialog was open
    d.portSelection = 1;
    d.OnOK();
    EXPECT_EQ(store.writes, (std::vector<std::string>{"Port=3", "Baud=9600"}));
    EXPECT_TRUE(prompts.messages.empty());

    store.writes.clear();
    // Opening again recreates the missing value with its default; then "Baud" cannot be written.
    store.failSet.insert("Baud");
    d.OnInitDialog();
    d.OnOK();
    EXPECT_EQ(store.writes, (std::vector<std::string>{"Parity=2", "Port=3"}));
}

TEST(ComPortEntry, PortNumberIsTheNumberAfterCom) {
    EXPECT_EQ(CComPortDialog::PortNumberOfEntry("COM0"), 0u);
    EXPECT_EQ(CComPortDialog::PortNumberOfEntry("COM7"), 7u);
    EXPECT_EQ(CComPortDialog::PortNumberOfEntry("COM99"), 99u);
    EXPECT_EQ(CComPortDialog::PortNumberOfEntry("No Active Ports Found"), 0u);
    EXPECT_EQ(CComPortDialog::PortNumberOfEntry(""), 0u);
}

}  // namespace
