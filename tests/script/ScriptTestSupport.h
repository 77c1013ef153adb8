#pragma once
// Compiling scripts held in memory, with the listing written to a folder of the test's own.
#include "script/ScriptCompiler.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace scripttest {

class CompilerTest : public testing::Test {
protected:
    // Compiles text and returns every error text in order.
    std::vector<std::string> Compile(std::string_view text) {
        compiler.Release();
        compiler.SetListingDirectory(folder.Path());
        EXPECT_TRUE(compiler.PrepareText(text));
        EXPECT_TRUE(compiler.Compile());
        std::vector<std::string> errors;
        compiler.NextError(true);
        while (auto e = compiler.NextError(false)) errors.push_back(*e);
        return errors;
    }
    const script::CommandRecord& Rec(std::size_t i) const {
        static const script::CommandRecord none;
        EXPECT_LT(i, compiler.Records().size());
        return i < compiler.Records().size() ? compiler.Records()[i] : none;
    }
    script::ParamSlot Slot(std::size_t record, int slot) const { return compiler.Slot(Rec(record), slot); }
    std::string NameOf(std::size_t record, int slot) const {
        return std::string(compiler.Name(Slot(record, slot).name));
    }
    const script::LabelEntry* Label(std::string_view name) const {
        for (const auto& e : compiler.Labels())
            if (compiler.Name(e.name) == name) return &e;
        return nullptr;
    }
    std::vector<script::ImageRecord> Image() {
        std::vector<script::ImageRecord> out;
        script::ImageRecord r;
        compiler.NextRecord(true, r);
        while (compiler.NextRecord(false, r)) out.push_back(r);
        return out;
    }

    TempFolder folder;
    script::CScriptCompiler compiler;
};

inline std::string Join(const std::vector<std::string>& v) {
    std::string s;
    for (const auto& x : v) s += x;
    return s;
}

}  // namespace scripttest
