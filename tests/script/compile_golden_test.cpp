// Long generated scripts compile to exactly what they compiled to before the compiler was made
// fast: the listing byte for byte, every error in order, the image, the initialisers and the
// record lines, summed up in one checksum per script. The scripts mix every construct with
// mistakes of every kind, so that a change of behaviour anywhere shows.
#include "script/ScriptCompiler.h"
#include "tests/script/ScriptTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace script;

namespace {

// A fixed pseudo-random sequence: the same script on every machine.
class Sequence {
public:
    explicit Sequence(uint64_t seed) : state_(seed * 6364136223846793005ull + 1442695040888963407ull) {}
    uint32_t Next(uint32_t below)
    {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>((state_ >> 33) % below);
    }

private:
    uint64_t state_;
};

// A script of about `lines` lines: declarations, labels, every kind of operand, nested blocks
// and long elseif chains, strings, comments of every form, and mistakes.
std::string GenerateScript(uint64_t seed, int lines)
{
    Sequence r(seed);
    std::string s;
    auto name = [&](const char* stem, uint32_t pool) { return stem + std::to_string(r.Next(pool)); };
    auto operand = [&]() -> std::string {
        switch (r.Next(12)) {
        case 0: return std::to_string(r.Next(70000));
        case 1: return "$" + std::string(1, "0123456789ABCDEF"[r.Next(16)]) + "F3" +
                       (r.Next(2) ? "4" : "");
        case 2: return "*" + name("v", 60);
        case 3: return "#" + name("k", 20);
        case 4: return name("buf", 30) + "[" + std::to_string(r.Next(9)) + "]";
        case 5: return name("buf", 30) + "[" + name(r.Next(4) ? "v" : "t", 60) + (r.Next(2) ? "+]" : "-]");
        case 6: return "-" + std::to_string(r.Next(9));
        case 7: return name("t", 30);
        case 8: return name("lbl", 200);
        default: return name("v", 60);
        }
    };
    const char* const commands[] = {"copy", "add", "sub", "and", "or", "xor", "lsl", "asr",
                                    "disp", "delay", "device", "register", "read", "write",
                                    "bufcfg", "bufread", "fopenr", "filew", "ones", "jsr",
                                    "jmp", "djnz", "cls", "stop", "settimer", "gettime"};
    const char* const operators[] = {"=", "!=", ">", "<", ">=", "<=", "&", "|", "^", "!&"};
    int open = 0;
    for (int n = 0; n < lines; ++n) {
        std::string line;
        const uint32_t pick = r.Next(100);
        if (pick < 10) {
            line = name("v", 60) + "      word";
            for (uint32_t k = r.Next(4); k > 0; --k)
                line += " " + std::to_string(r.Next(3) ? r.Next(70000) : 0);
        } else if (pick < 13) {
            line = name("t", 30) + "   word 1 2 " + (r.Next(5) ? "3" : "-3");
        } else if (pick < 16) {
            line = name("buf", 30) + "    buffer " + std::to_string(r.Next(40));
        } else if (pick < 18) {
            line = name("k", 20) + "      const " + (r.Next(6) ? "" : "-") +
                   std::to_string(r.Next(200000));
        } else if (pick < 26 && open < 6) {
            line = std::string("        ") + (r.Next(3) ? "if " : "while ") + operand();
            if (r.Next(3))
                line += std::string(" ") + operators[r.Next(10)] + " " + operand();
            ++open;
        } else if (pick < 33) {
            // An elseif chain, now and then a long one.
            const uint32_t chain = r.Next(10) ? r.Next(4) : 40 + r.Next(200);
            line = "        if " + operand() + " > 3";
            for (uint32_t k = 0; k < chain; ++k) {
                line += "\n          disp \"step %u\" " + operand();
                line += "\n        elseif " + operand() + (r.Next(2) ? "" : " < 7");
                n += 2;
            }
            if (r.Next(2))
                line += "\n        else\n          cls";
            line += r.Next(20) ? "\n        endif" : "";
        } else if (pick < 40 && open > 0) {
            line = r.Next(2) ? "        endif" : "        endwhile";
            --open;
        } else if (pick < 42) {
            line = r.Next(2) ? "        else" : "        endwhile";
        } else if (pick < 47) {
            line = "// note " + std::to_string(n);
        } else if (pick < 49) {
            line = r.Next(2) ? "# comment" : "; comment";
        } else if (pick < 51) {
            line = name("lbl", 200) + "  frobnicate 1 2";
        } else if (pick < 53) {
            line = "        copy " + std::string(33 + r.Next(5), 'n') + " x";
        } else if (pick < 54) {
            line = std::string(36 + r.Next(4), 'L') + " cls";
        } else if (pick < 55) {
            line = "        disp \"" + std::string(60 + r.Next(10), 's') + " %b\" v1";
        } else if (pick < 56) {
            line = "        cls  " + std::string(1020 + r.Next(10), ' ') + "x";
        } else if (pick < 57) {
            line = "        jmpc v1 " + std::string(operators[r.Next(10)]) + " v2 " + name("lbl", 200);
        } else if (pick < 58) {
            line = "        disp \"open quote";
        } else if (pick < 59) {
            line = std::string("        add 1 v2") + '\0' + "ignored";
        } else if (pick < 60) {
            line = "        word 5";
        } else if (pick < 61) {
            line = name("big", 5) + "  buffer 3000";
        } else {
            if (r.Next(4) == 0)
                line = name("lbl", 200);
            line += "        ";
            line += commands[r.Next(sizeof commands / sizeof *commands)];
            for (uint32_t k = r.Next(5); k > 0; --k)
                line += (r.Next(6) ? " " : ", ") + operand();
            if (r.Next(5) == 0)
                line += " \"text %" + std::string(1, "udxXcfqb z"[r.Next(10)]) + "\"";
            if (r.Next(4) == 0)
                line += "   ; a comment // with slashes";
        }
        s += line;
        s += r.Next(8) ? "\n" : "\r\n";
    }
    s += "idx     word 0\n        stop\n";
    return s;
}

// One if with an elseif chain of `links` links, each with a command, and an else.
std::string GenerateChain(int links)
{
    std::string s = "x       word 7\n        if x = 0\n";
    for (int k = 1; k <= links; ++k)
        s += "        elseif x = " + std::to_string(k) + "\n          add " + std::to_string(k) + " x\n";
    s += "        else\n          cls\n        endif\n        stop\n";
    return s;
}

// FNV-1a over everything the compiler hands out.
class Digest {
public:
    void Add(std::string_view bytes)
    {
        for (char c : bytes)
            h_ = (h_ ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        h_ = (h_ ^ 0xFF) * 1099511628211ull; // a separator, so pieces cannot run together
    }
    void Add(int64_t v) { Add(std::to_string(v)); }
    uint64_t Value() const { return h_; }

private:
    uint64_t h_ = 1469598103934665603ull;
};

uint64_t CompileDigest(const std::string& text, std::size_t& errorCount, std::size_t& listingSize)
{
    TempFolder folder;
    CScriptCompiler c;
    c.SetListingDirectory(folder.Path());
    EXPECT_TRUE(c.PrepareText(text));
    EXPECT_TRUE(c.Compile());
    Digest d;
    const std::string listing = folder.Read(kListingFileName);
    EXPECT_TRUE(listing == c.ListingText()); // not EXPECT_EQ: megabytes of text
    listingSize = listing.size();
    d.Add(listing);
    errorCount = 0;
    c.NextError(true);
    while (auto e = c.NextError(false)) {
        d.Add(*e);
        ++errorCount;
    }
    ImageRecord rec;
    c.NextRecord(true, rec);
    int records = 0;
    while (c.NextRecord(false, rec)) {
        for (uint16_t w : rec)
            d.Add(w);
        d.Add(c.LineOfRecord(records++));
    }
    DataInitialiser init;
    c.NextInitialiser(true, init);
    while (c.NextInitialiser(false, init)) {
        d.Add(init.location);
        d.Add(init.value);
    }
    return d.Value();
}

struct GoldenCase {
    uint64_t seed; // 0: an elseif chain of `lines` links
    int lines;
    uint64_t digest;
    std::size_t errors;
    std::size_t listingSize;
};

TEST(CompileGolden, GeneratedScriptsCompileExactlyAsBefore)
{
    const GoldenCase cases[] = {
        {1, 20000, 391108561483409406ull, 8526, 3426603},
        {2, 20000, 17284491475044603425ull, 9740, 3381098},
        {3, 5000, 12753584480562636668ull, 2510, 877294},
        {0, 10000, 7331805036351768797ull, 0, 3476490},
    };
    for (const GoldenCase& g : cases) {
        SCOPED_TRACE("seed " + std::to_string(g.seed));
        std::size_t errors = 0, listingSize = 0;
        const uint64_t digest = CompileDigest(
            g.seed ? GenerateScript(g.seed, g.lines) : GenerateChain(g.lines), errors, listingSize);
        EXPECT_EQ(errors, g.errors);
        EXPECT_EQ(listingSize, g.listingSize);
        EXPECT_EQ(digest, g.digest) << std::hex << digest;
    }
}

} // namespace
