// `tr805q-cli compile FILE [--image]` and the download frames it prints.
#include "cli/commands/CompileCommand.h"
#include "tests/script/ScriptTestSupport.h"

#include <unistd.h>

#include <sstream>
#include <string>

using namespace script;

namespace {

struct CliRun {
    int code;
    std::string out;
    std::string err;
};

CliRun Compile(const TempFolder& folder, const std::string& path, bool image) {
    std::ostringstream out, err;
    const int code = RunCompileCommand(path, image, out, err, folder.Path());
    return {code, out.str(), err.str()};
}

TEST(CompileCommand, UnreadableFile) {
    TempFolder folder;
    const CliRun r = Compile(folder, folder.File("missing.mbs"), true);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Error - Unable to open file\n");
    EXPECT_EQ(r.out, "");
}

TEST(CompileCommand, ErrorsOnePerLineWithoutTheirLineEnds) {
    TempFolder folder;
    const std::string path = folder.Write("e.mbs", "  frobnicate\n  copy 1 y\n  if 1\n");
    const CliRun r = Compile(folder, path, true);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err,
              "Line 1: Error unrecognised command\n"
              "Line 2: Error unresolved label(y)\n"
              "Line 3: Error if/while without matching endif/endwhile\n");
    EXPECT_EQ(r.out, "");
    // The listing is written all the same.
    EXPECT_NE(folder.Read("debug_file.txt").find("Command table\n"), std::string::npos);
}

TEST(CompileCommand, CleanCompilePrintsNothingWithoutImage) {
    TempFolder folder;
    const std::string path = folder.Write("c.mbs", "  stop\n");
    const CliRun r = Compile(folder, path, false);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(folder.Read("debug_file.txt").empty());
}

TEST(CompileCommand, ImageIsTheDownloadFrames) {
    TempFolder folder;
    const std::string path = folder.Write("i.mbs", "v word 2\n  copy 5 v\n  stop\n");
    const CliRun r = Compile(folder, path, true);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "7E 08 00 0A 00 01 00 05 00 02 00 00 00 09 00 00\n"
              "7E 09 00 35 00 09 00 00 00 00 00 00 00 00 00 00\n"
              "7E 12 00 00 00 02\n"
              "7E 09 00 35 00 00 00 00 00 00 00 00 00 00 00 00\n");
}

TEST(CompileCommand, ScriptWithoutRecordsStillStartsTheImage) {
    TempFolder folder;
    const std::string path = folder.Write("empty.mbs", "# nothing\nx word 7\n");
    const CliRun r = Compile(folder, path, true);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out,
              "7E 08 00 35 00 00 00 00 00 00 00 00 00 00 00 00\n"
              "7E 12 00 00 00 07\n"
              "7E 09 00 35 00 00 00 00 00 00 00 00 00 00 00 00\n");
}

TEST(CompileCommand, AtMost4096Records) {
    TempFolder folder;
    std::string text;
    for (int i = 0; i < 4096; ++i) text += "  cls\n";
    CliRun r = Compile(folder, folder.Write("max.mbs", text), true);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4097);
    EXPECT_EQ(r.out.substr(0, 5), "7E 08");

    r = Compile(folder, folder.Write("over.mbs", text + "  cls\n"), true);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Error Script too large\n");
    EXPECT_EQ(r.out, "");
    r = Compile(folder, folder.Write("over.mbs", text + "  cls\n"), false);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Error Script too large\n");
}

TEST(CompileCommand, ListingGoesToTheCurrentDirectoryByDefault) {
    TempFolder folder;
    const std::string path = folder.Write("c.mbs", "  stop\n");
    char before[4096];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);
    const std::string here = folder.File("cwd");
    ASSERT_EQ(mkdir(here.c_str(), 0700), 0);
    ASSERT_EQ(chdir(here.c_str()), 0);
    std::ostringstream out, err;
    const int code = RunCompileCommand(path, false, out, err);
    ASSERT_EQ(chdir(before), 0);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(folder.Read("cwd/debug_file.txt").substr(0, 14), "Command table\n");
}

}  // namespace
