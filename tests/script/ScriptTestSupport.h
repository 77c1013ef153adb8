#pragma once
// Compiling scripts held in memory, with the listing written to a folder of the test's own.
#include "script/ScriptCompiler.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace scripttest {

// A fresh empty folder for the duration of a test.
class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = testing::TempDir() + "script_testsXXXXXX";
        char* made = mkdtemp(pattern.data());
        EXPECT_NE(made, nullptr);
        path_ = made ? made : testing::TempDir();
    }
    ~TempFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& Path() const { return path_; }
    std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }
    std::string Write(std::string_view name, std::string_view text) const
    {
        std::string p = File(name);
        std::ofstream(p, std::ios::binary) << text;
        return p;
    }
    std::string Read(std::string_view name) const
    {
        std::ifstream in(File(name), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

private:
    std::string path_;
};

class CompilerTest : public testing::Test {
protected:
    // Compiles text and returns every error text in order.
    std::vector<std::string> Compile(std::string_view text)
    {
        compiler.Release();
        compiler.SetListingDirectory(folder.Path());
        EXPECT_TRUE(compiler.PrepareText(text));
        EXPECT_TRUE(compiler.Compile());
        std::vector<std::string> errors;
        compiler.NextError(true);
        while (auto e = compiler.NextError(false))
            errors.push_back(*e);
        return errors;
    }
    const script::CommandRecord& Rec(std::size_t i) const
    {
        static const script::CommandRecord none;
        EXPECT_LT(i, compiler.Records().size());
        return i < compiler.Records().size() ? compiler.Records()[i] : none;
    }
    script::ParamSlot Slot(std::size_t record, int slot) const
    {
        return compiler.Slot(Rec(record), slot);
    }
    std::string NameOf(std::size_t record, int slot) const
    {
        return std::string(compiler.Name(Slot(record, slot).name));
    }
    const script::LabelEntry* Label(std::string_view name) const
    {
        for (const auto& e : compiler.Labels())
            if (compiler.Name(e.name) == name)
                return &e;
        return nullptr;
    }
    std::vector<script::ImageRecord> Image()
    {
        std::vector<script::ImageRecord> out;
        script::ImageRecord r;
        compiler.NextRecord(true, r);
        while (compiler.NextRecord(false, r))
            out.push_back(r);
        return out;
    }

    TempFolder folder;
    script::CScriptCompiler compiler;
};

inline std::string Join(const std::vector<std::string>& v)
{
    std::string s;
    for (const auto& x : v)
        s += x;
    return s;
}

} // namespace scripttest
