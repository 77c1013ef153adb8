// One contract for both settings stores: the same cases run against the store in memory that
// the tests use and against the real one on QSettings, so that what a page test shows with the
// first holds with the user's settings. The QSettings store writes to a folder of the test's
// own, never to the user's settings.
#include "settings/QtSettingsKey.h"
#include "tests/support/MemorySettings.h"
#include "tests/support/PlainUser.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

class MemoryStoreUnderTest {
public:
    std::unique_ptr<SettingsKey> NewKey() { return std::make_unique<MemorySettingsKey>(store_); }
    // The named values cannot be written any more; what is stored still reads.
    void RefuseWrites(const std::vector<std::string>& names) {
        store_.failSet.insert(names.begin(), names.end());
    }

private:
    MemoryStore store_;
};

class QtStoreUnderTest {
public:
    QtStoreUnderTest() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(folder_.Path().string()));
        // The plain user the refused writes run as must reach the settings.
        ::chmod(folder_.Path().c_str(), 0755);
    }
    ~QtStoreUnderTest() {
        // Given back, so that the folder can be removed by a user who is not the superuser.
        ::chmod(Folder().c_str(), 0755);
        ::chmod(File().c_str(), 0644);
    }
    QtStoreUnderTest(const QtStoreUnderTest&) = delete;
    QtStoreUnderTest& operator=(const QtStoreUnderTest&) = delete;

    std::unique_ptr<SettingsKey> NewKey() { return std::make_unique<QtSettingsKey>(); }
    // The settings file and its folder become read-only: nothing can be written any more.
    void RefuseWrites(const std::vector<std::string>&) {
        ASSERT_TRUE(fs::exists(File())) << "the file is made by an earlier write";
        ASSERT_EQ(::chmod(File().c_str(), 0444), 0);
        ASSERT_EQ(::chmod(Folder().c_str(), 0555), 0);
    }

private:
    fs::path Folder() const { return folder_.Path() / "QVR"; }
    fs::path File() const { return Folder() / "TR805Q.conf"; }

    TempFolder folder_{"tr805q-settings"};
};

template <typename Store>
class SettingsContract : public testing::Test {
protected:
    Store store;
};

using Stores = testing::Types<MemoryStoreUnderTest, QtStoreUnderTest>;
struct StoreNames {
    template <typename Store>
    static std::string GetName(int) {
        return std::is_same_v<Store, MemoryStoreUnderTest> ? "Memory" : "QSettings";
    }
};
TYPED_TEST_SUITE(SettingsContract, Stores, StoreNames);

TYPED_TEST(SettingsContract, FirstOpenCreatesAnEmptyKey) {
    std::unique_ptr<SettingsKey> key = this->store.NewKey();
    EXPECT_FALSE(key->IsOpen());
    ASSERT_TRUE(key->Open("ScriptTab"));
    EXPECT_TRUE(key->IsOpen());
    uint32_t number = 7;
    std::string text = "unchanged";
    EXPECT_EQ(key->QueryDword("Port", number), SettingsStatus::Missing);
    EXPECT_EQ(key->QueryString("RecentFileName0", text), SettingsStatus::Missing);
    EXPECT_EQ(number, 7u) << "a missing value leaves the caller's default";
    EXPECT_EQ(text, "unchanged");
}

TYPED_TEST(SettingsContract, WhatIsSetReadsBackAfterReopening) {
    struct Value {
        const char* name;
        bool isNumber;
        uint32_t number;
        const char* text;
    };
    const Value values[] = {
        {"Port", true, 3, ""},
        {"Baud", true, 115200, ""},
        {"Zero", true, 0, ""},
        {"Largest", true, 0xFFFFFFFFu, ""},
        {"WorkingDirectoryScripts", false, 0, "/home/user/my scripts/"},
        {"RecentFileName0", false, 0, "a=b; c.mbs"},
        {"Empty", false, 0, ""},
    };
    {
        std::unique_ptr<SettingsKey> key = this->store.NewKey();
        ASSERT_TRUE(key->Open("ScriptTab"));
        for (const Value& v : values) {
            SCOPED_TRACE(v.name);
            EXPECT_TRUE(v.isNumber ? key->SetDword(v.name, v.number) : key->SetString(v.name, v.text));
        }
        // A second write replaces the first.
        EXPECT_TRUE(key->SetDword("Port", 4));
        key->Close();
    }
    std::unique_ptr<SettingsKey> key = this->store.NewKey();
    ASSERT_TRUE(key->Open("ScriptTab"));
    for (const Value& v : values) {
        SCOPED_TRACE(v.name);
        if (v.isNumber) {
            uint32_t got = 0;
            EXPECT_EQ(key->QueryDword(v.name, got), SettingsStatus::Ok);
            EXPECT_EQ(got, std::string(v.name) == "Port" ? 4u : v.number);
        } else {
            std::string got = "?";
            EXPECT_EQ(key->QueryString(v.name, got), SettingsStatus::Ok);
            EXPECT_EQ(got, v.text);
        }
    }

    // Each tab is a key of its own.
    std::unique_ptr<SettingsKey> other = this->store.NewKey();
    ASSERT_TRUE(other->Open("ImageTab"));
    uint32_t port = 0;
    EXPECT_EQ(other->QueryDword("Port", port), SettingsStatus::Missing);
}

TYPED_TEST(SettingsContract, AKeyNotOpenOrClosedFailsEveryOperation) {
    std::unique_ptr<SettingsKey> key = this->store.NewKey();
    uint32_t number = 0;
    std::string text;
    // Before Open.
    EXPECT_EQ(key->QueryDword("Port", number), SettingsStatus::Failed);
    EXPECT_EQ(key->QueryString("Name", text), SettingsStatus::Failed);
    EXPECT_FALSE(key->SetDword("Port", 1));
    EXPECT_FALSE(key->SetString("Name", "x"));

    ASSERT_TRUE(key->Open("ScriptTab"));
    ASSERT_TRUE(key->SetDword("Port", 2));
    key->Close();
    EXPECT_FALSE(key->IsOpen());
    EXPECT_EQ(key->QueryDword("Port", number), SettingsStatus::Failed);
    EXPECT_EQ(key->QueryString("Name", text), SettingsStatus::Failed);
    EXPECT_FALSE(key->SetDword("Port", 1));
    EXPECT_FALSE(key->SetString("Name", "x"));
    key->Close();  // closing twice is harmless

    // What was written before the close is kept.
    ASSERT_TRUE(key->Open("ScriptTab"));
    EXPECT_EQ(key->QueryDword("Port", number), SettingsStatus::Ok);
    EXPECT_EQ(number, 2u);
}

// A store the user may not write (a read-only settings file in a read-only folder): the write
// says it failed, for the caller to report "Cannot create registry entry", and what is stored
// still reads. The superuser may write anything, so the refused writes run as a plain user.
TYPED_TEST(SettingsContract, AStoreThatCannotBeWrittenRefusesWritesAndStillReads) {
    {
        std::unique_ptr<SettingsKey> key = this->store.NewKey();
        ASSERT_TRUE(key->Open("ScriptTab"));
        ASSERT_TRUE(key->SetDword("Port", 3));
        ASSERT_TRUE(key->SetString("WorkingDirectoryScripts", "/w/"));
        key->Close();
    }
    this->store.RefuseWrites({"Port", "Baud", "WorkingDirectoryScripts"});
    if (testing::Test::HasFatalFailure()) return;

    enum Step {
        Passed,
        OpenFailed,
        PortNotRead,
        FolderNotRead,
        NewValueWritten,
        OldValueWritten,
        TextWritten
    };
    const int step = plainuser::Run([this] {
        std::unique_ptr<SettingsKey> key = this->store.NewKey();
        if (!key->Open("ScriptTab")) return OpenFailed;
        uint32_t port = 0;
        if (key->QueryDword("Port", port) != SettingsStatus::Ok || port != 3) return PortNotRead;
        std::string folder;
        if (key->QueryString("WorkingDirectoryScripts", folder) != SettingsStatus::Ok || folder != "/w/")
            return FolderNotRead;
        if (key->SetDword("Baud", 9600)) return NewValueWritten;
        if (key->SetDword("Port", 4)) return OldValueWritten;
        if (key->SetString("WorkingDirectoryScripts", "/x/")) return TextWritten;
        return Passed;
    });
    EXPECT_EQ(step, Passed);

    // Nothing changed.
    std::unique_ptr<SettingsKey> key = this->store.NewKey();
    ASSERT_TRUE(key->Open("ScriptTab"));
    uint32_t port = 0, baud = 0;
    EXPECT_EQ(key->QueryDword("Port", port), SettingsStatus::Ok);
    EXPECT_EQ(port, 3u);
    EXPECT_EQ(key->QueryDword("Baud", baud), SettingsStatus::Missing);
}

}  // namespace
