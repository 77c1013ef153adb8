// Every script of tests/data/compile compiles to what its NAME.expected beside it says: the
// errors in order, and where given the download frames, the records and the listing byte for
// byte (the format is described in tests/data/compile/README.md). With TR805Q_WRITE_EXPECTED=1
// in the environment the test writes the sections each file has from what the compiler gives
// instead, for a change of behaviour that is meant.
#include "script/DownloadFrames.h"
#include "script/ScriptCompiler.h"
#include "tests/script/ScriptTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

fs::path CasesFolder() {
    if (const char* data = std::getenv("TR805Q_TEST_DATA")) return fs::path(data) / "compile";
    return fs::path(TR805Q_TEST_DATA_DIR) / "compile";
}

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// FNV-1a, 64 bits.
uint64_t Checksum(std::string_view text) {
    uint64_t h = 1469598103934665603ull;
    for (char c : text) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return h;
}

// One section of an .expected file: its text, or only its size and checksum.
struct Section {
    std::string name;
    bool summary = false;
    std::string text;
    std::size_t size = 0;
    uint64_t checksum = 0;
};

constexpr std::string_view kOpen = "== ";

// Sections in file order. The listing section takes the rest of the file as it is.
std::vector<Section> ParseExpected(const std::string& file, std::string& fault) {
    std::vector<Section> sections;
    std::size_t pos = 0;
    while (pos < file.size()) {
        std::size_t eol = file.find('\n', pos);
        if (eol == std::string::npos) eol = file.size();
        const std::string_view line = std::string_view(file).substr(pos, eol - pos);
        pos = eol + 1;
        if (line.substr(0, kOpen.size()) == kOpen) {
            Section s;
            char name[32] = {};
            unsigned long long size = 0;
            uint64_t checksum = 0;
            const std::string header(line.substr(kOpen.size()));
            if (std::sscanf(header.c_str(), "%31s %llu bytes fnv1a %" SCNx64, name, &size, &checksum) == 3) {
                s.summary = true;
                s.size = size;
                s.checksum = checksum;
            } else if (header.find(' ') != std::string::npos || header.empty()) {
                fault = "unreadable section line: " + std::string(line);
                return sections;
            }
            s.name = s.summary ? name : header;
            if (s.name == "listing" && !s.summary) {
                s.text = pos < file.size() ? file.substr(pos) : std::string();
                pos = file.size();
            }
            sections.push_back(std::move(s));
            continue;
        }
        if (sections.empty() || sections.back().summary) {
            fault = "text outside a section: " + std::string(line);
            return sections;
        }
        sections.back().text.append(line);
        sections.back().text.push_back('\n');
    }
    return sections;
}

std::string Hex4(uint32_t v) {
    char b[8];
    std::snprintf(b, sizeof b, "%04X", v & 0xFFFFu);
    return b;
}

// What the compiler gives for a script, section by section.
struct Compiled {
    std::string errors;  // one a line, each without its CR LF
    std::string image;  // the download frames, one a line
    std::string records;  // "line: w0 w1 ... w12", one record a line
    std::string listing;
    bool errorsEndInCrLf = true;
};

Compiled CompileCase(const fs::path& script, std::size_t splitFrom) {
    Compiled c;
    TempFolder folder;
    script::CScriptCompiler compiler;
    compiler.SetListingDirectory(folder.Path());
    compiler.SetSplitFrom(splitFrom);
    EXPECT_TRUE(compiler.Prepare(script.string()));
    EXPECT_TRUE(compiler.Compile());
    compiler.NextError(true);
    std::vector<std::string> given;
    while (auto e = compiler.NextError(false)) {
        given.push_back(*e);
        std::string_view text = *e;
        if (text.size() >= 2 && text.substr(text.size() - 2) == "\r\n")
            text.remove_suffix(2);
        else
            c.errorsEndInCrLf = false;
        c.errors.append(text);
        c.errors.push_back('\n');
    }
    // Taken all at once, the same texts in the same order, and nothing given after.
    EXPECT_EQ(compiler.TakeErrors(), given) << script;
    compiler.NextError(true);
    EXPECT_FALSE(compiler.NextError(false).has_value()) << script;
    for (const script::Frame& f : script::BuildDownloadFrames(compiler))
        c.image += script::FrameToHex(f) + "\n";
    script::ImageRecord rec;
    compiler.NextRecord(true, rec);
    for (int r = 0; compiler.NextRecord(false, rec); ++r) {
        c.records += std::to_string(compiler.LineOfRecord(r)) + ":";
        for (uint16_t w : rec) c.records += " " + Hex4(w);
        c.records += "\n";
    }
    c.listing = folder.Read(script::kListingFileName);
    EXPECT_TRUE(compiler.ListingWritten());
    EXPECT_TRUE(c.listing == compiler.ListingText());  // not EXPECT_EQ: megabytes of text
    return c;
}

const std::string* Given(const Compiled& c, const std::string& name) {
    if (name == "errors") return &c.errors;
    if (name == "image") return &c.image;
    if (name == "records") return &c.records;
    if (name == "listing") return &c.listing;
    return nullptr;
}

// The .expected text for the sections named, each in the form it had.
std::string WriteExpected(const Compiled& c, const std::vector<Section>& sections) {
    std::string out;
    for (const Section& s : sections) {
        const std::string& text = *Given(c, s.name);
        if (s.summary) {
            char line[96];
            std::snprintf(line, sizeof line, "== %s %zu bytes fnv1a %016" PRIx64 "\n", s.name.c_str(),
                          text.size(), Checksum(text));
            out += line;
        } else {
            out += "== " + s.name + "\n" + text;
        }
    }
    return out;
}

TEST(CompileCases, GiveTheResultBesideThem) {
    const bool write = std::getenv("TR805Q_WRITE_EXPECTED") != nullptr;
    int cases = 0;
    for (const auto& entry : fs::directory_iterator(CasesFolder())) {
        if (entry.path().extension() != ".mbs") continue;
        SCOPED_TRACE(entry.path().filename().string());
        fs::path expectedPath = entry.path();
        expectedPath.replace_extension(".expected");
        ASSERT_TRUE(fs::exists(expectedPath)) << "no .expected beside the script";
        std::string fault;
        std::vector<Section> sections = ParseExpected(ReadFile(expectedPath), fault);
        ASSERT_EQ(fault, "");
        bool errorsGiven = false;
        for (std::size_t i = 0; i < sections.size(); ++i) {
            ASSERT_NE(Given(Compiled{}, sections[i].name), nullptr) << "unknown section " << sections[i].name;
            errorsGiven = errorsGiven || sections[i].name == "errors";
            if (sections[i].name == "listing" && !sections[i].summary) {
                ASSERT_EQ(i + 1, sections.size()) << "the listing's text is the last section";
            }
        }
        if (!errorsGiven) {
            Section none;  // no errors expected
            none.name = "errors";
            sections.insert(sections.begin(), std::move(none));
        }

        if (write) {
            const Compiled c = CompileCase(entry.path(), SIZE_MAX);
            std::ofstream(expectedPath, std::ios::binary) << WriteExpected(c, sections);
            ++cases;
            continue;
        }
        // In one pass, and parsed in two halves however short the script (where the second
        // half's tables are renumbered onto the first's).
        for (const std::size_t splitFrom : {std::size_t{SIZE_MAX}, std::size_t{1}}) {
            SCOPED_TRACE(splitFrom == 1 ? "in two halves" : "in one pass");
            const Compiled c = CompileCase(entry.path(), splitFrom);
            EXPECT_TRUE(c.errorsEndInCrLf) << "every compile error ends in CR LF";
            for (const Section& s : sections) {
                SCOPED_TRACE("section " + s.name);
                const std::string& text = *Given(c, s.name);
                if (s.summary) {
                    EXPECT_EQ(text.size(), s.size);
                    EXPECT_EQ(Checksum(text), s.checksum) << std::hex << Checksum(text);
                } else if (text.size() > 4096) {
                    EXPECT_TRUE(text == s.text)
                        << "differs; the first difference at byte "
                        << std::mismatch(text.begin(), text.end(), s.text.begin(), s.text.end()).first -
                               text.begin();
                } else {
                    EXPECT_EQ(text, s.text);
                }
            }
        }
        ++cases;
    }
    EXPECT_GE(cases, 9);
}

}  // namespace
