// Script files beside the results they must give: NAME.mbs with NAME.image (the frames
// `compile --image` prints) or NAME.errors (the error lines it prints).
#include "cli/commands/CompileCommand.h"
#include "tests/script/ScriptTestSupport.h"

#include <filesystem>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

fs::path CasesFolder()
{
    if (const char* data = std::getenv("TR805Q_TEST_DATA"))
        return fs::path(data) / "script";
    return fs::path(TR805Q_SCRIPT_TEST_DATA);
}

std::string ReadFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(ScriptCases, CompileToTheResultBesideThem)
{
    int cases = 0;
    for (const auto& entry : fs::directory_iterator(CasesFolder())) {
        if (entry.path().extension() != ".mbs")
            continue;
        SCOPED_TRACE(entry.path().string());
        TempFolder folder;
        std::ostringstream out, err;
        const int code = script::RunCompileCommand(entry.path().string(), true, out, err,
                                                   folder.Path());
        fs::path image = entry.path(), errors = entry.path();
        image.replace_extension(".image");
        errors.replace_extension(".errors");
        if (fs::exists(image)) {
            EXPECT_EQ(code, 0);
            EXPECT_EQ(err.str(), "");
            EXPECT_EQ(out.str(), ReadFile(image));
        } else {
            ASSERT_TRUE(fs::exists(errors)) << "no expected result beside the script";
            EXPECT_EQ(code, 1);
            EXPECT_EQ(out.str(), "");
            EXPECT_EQ(err.str(), ReadFile(errors));
        }
        ++cases;
    }
    EXPECT_GE(cases, 2);
}

} // namespace
