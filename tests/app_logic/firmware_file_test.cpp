#include "app/FirmwareFile.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

struct VersionCase {
    const char* rest;
    std::array<uint8_t, 3> version;
};

TEST(FirmwareFile, VersionIsParsedFromDottedHexadecimal) {
    const VersionCase cases[] = {
        {"2.0A.1.bin", {2, 10, 1}},
        {"1.2.3.", {1, 2, 3}},
        {"1.2.3", {1, 2, 0}},  // the last number has no dot: not taken
        {"v3_.x1f.0.", {3, 0x1F, 0}},  // other characters are skipped
        {"..7.", {0, 0, 7}},  // an empty number counts as 0
        {"ff.FF.10.", {0xFF, 0xFF, 0x10}},
        {"123.1.1.", {0x23, 1, 1}},  // a byte on the board: the low eight bits
        {"4.5.6.7.8.", {4, 5, 6}},  // three numbers at most
        {"", {0, 0, 0}},
    };
    for (const VersionCase& c : cases) {
        EXPECT_EQ(ParseFirmwareVersion(c.rest), c.version) << c.rest;
    }
}

TEST(FirmwareFile, FirstNameWithThePrefixInListingOrderCounts) {
    const FirmwareFile file = FindFirmwareFile({"tr805q", "hk8051b-script_f9.9.9.", "HK8051B-SCRIPT",
                                                "HK8051B-SCRIPT_F2.0A.1.bin", "HK8051B-SCRIPT_F1.0.0.bin"});
    EXPECT_EQ(file.found, 1);
    EXPECT_EQ(file.fileName, "HK8051B-SCRIPT_F2.0A.1.bin");
    EXPECT_EQ(file.version, (std::array<uint8_t, 3>{2, 10, 1}));

    const FirmwareFile other = FindFirmwareFile({"HK8051B-SCRIPT_F1.0.0.bin", "HK8051B-SCRIPT_F2.0A.1.bin"});
    EXPECT_EQ(other.fileName, "HK8051B-SCRIPT_F1.0.0.bin");
    EXPECT_EQ(other.version, (std::array<uint8_t, 3>{1, 0, 0}));
}

TEST(FirmwareFile, NoMatchingNameIsNotFound) {
    const FirmwareFile file = FindFirmwareFile({"HK8051B-SCRIPT_", "readme.txt"});
    EXPECT_EQ(file.found, 0);
    EXPECT_TRUE(file.fileName.empty());
}

TEST(FirmwareFile, FolderListingHasEveryNameButDotAndDotDot) {
    const TempFolder temp("tr805q-list");
    const std::filesystem::path& folder = temp.Path();
    std::ofstream(folder / "HK8051B-SCRIPT_F1.2.3.bin") << "x";
    std::filesystem::create_directory(folder / "sub");
    std::vector<std::string> names = ListFolder(folder.string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"HK8051B-SCRIPT_F1.2.3.bin", "sub"}));
    EXPECT_TRUE(ListFolder((folder / "missing").string()).empty());
}

}  // namespace
