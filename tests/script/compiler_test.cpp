// The compiler's tables and iterators: placement, image words, initialisers, listing, lines.
#include "script/CommandTable.h"
#include "tests/script/ScriptTestSupport.h"
#include "tests/support/PlainUser.h"

#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace script;
using scripttest::CompilerTest;

namespace {

TEST_F(CompilerTest, SingleWordsTakeTheLowestLocationsLastFirst) {
    EXPECT_TRUE(Compile("a word\nt word 1 2 3\nb word\n").empty());
    EXPECT_EQ(Label("b")->location, 0);
    EXPECT_EQ(Label("a")->location, 1);
    EXPECT_EQ(Label("t")->location, 2);
    const auto& labels = compiler.Labels();
    ASSERT_EQ(labels.size(), 5u);
    EXPECT_EQ(labels[2].kind, kKindInitWord);
    EXPECT_EQ(labels[2].location, 3);
    EXPECT_EQ(labels[3].location, 4);
}

TEST_F(CompilerTest, BuffersAndMultiValueWordsFollowInDeclarationOrder) {
    EXPECT_TRUE(Compile("p buffer 3\nq word\nr word 5 6\ns buffer 2\nu word 9\nv buffer 1\n"
                        "w word\n")
                    .empty());
    // Singles q, u, w: w at 0, u at 1, q at 2; then p (3..5), r (6, 7), s (8, 9), v at 10.
    EXPECT_EQ(Label("w")->location, 0);
    EXPECT_EQ(Label("u")->location, 1);
    EXPECT_EQ(Label("q")->location, 2);
    EXPECT_EQ(Label("p")->location, 3);
    EXPECT_EQ(Label("r")->location, 6);
    EXPECT_EQ(Label("s")->location, 8);
    EXPECT_EQ(Label("v")->location, 10);
}

TEST_F(CompilerTest, InitialisersAreEveryNonZeroWordInLabelOrder) {
    EXPECT_TRUE(Compile("a word\nt word 1 0 3\nb word\nz word 0\nbuf buffer 4\nc const 9\n").empty());
    // Singles a, b, z: z at 0, b at 1, a at 2; t at 3..5; buf at 6.
    std::vector<std::pair<int, int>> got;
    DataInitialiser init;
    compiler.NextInitialiser(true, init);
    while (compiler.NextInitialiser(false, init)) got.emplace_back(init.location, init.value);
    const std::vector<std::pair<int, int>> want = {{2, 0xFFFF}, {3, 1}, {5, 3}, {1, 0xFFFF}};
    EXPECT_EQ(got, want);
    // Starting over gives the same again.
    compiler.NextInitialiser(true, init);
    ASSERT_TRUE(compiler.NextInitialiser(false, init));
    EXPECT_EQ(init.location, 2);
}

TEST_F(CompilerTest, ImageWordsCarryKindRefAndValue) {
    EXPECT_TRUE(Compile("a word\ni word\nc word\nb buffer 2\n  copy 1 b[i+]\n  bufcfg $123456\n"
                        "  copy 1 b[2]\n")
                    .empty());
    const auto image = Image();
    ASSERT_EQ(image.size(), 3u);
    // c 0, i 1, a 2, b 3
    const ImageRecord copy = {0x0A, 0x0001, 1, 0x0014, 3, 0x0009, 0, 0, 0, 0, 0, 0, 0};
    const ImageRecord bufcfg = {0x50, 0x120B, 0x3456, 0x0009, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const ImageRecord constIndex = {0x0A, 0x0001, 1, 0x0022, 5, 0x0009, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(image[0], copy);
    EXPECT_EQ(image[1], bufcfg);
    EXPECT_EQ(image[2], constIndex);
}

TEST_F(CompilerTest, LineOfRecordCoversEveryRecord) {
    std::string text = "# header\n";
    for (int i = 0; i < 600; ++i) text += "  cls\n";
    EXPECT_TRUE(Compile(text).empty());
    EXPECT_EQ(compiler.LineOfRecord(0), 2);
    EXPECT_EQ(compiler.LineOfRecord(512), 514);
    EXPECT_EQ(compiler.LineOfRecord(513), 515);
    EXPECT_EQ(compiler.LineOfRecord(599), 601);
    EXPECT_EQ(compiler.LineOfRecord(600), 0);
    EXPECT_EQ(compiler.LineOfRecord(-1), 0);
    compiler.Release();
    EXPECT_EQ(compiler.LineOfRecord(0), 0);
}

TEST_F(CompilerTest, Lifecycle) {
    CScriptCompiler c;
    c.SetListingDirectory(folder.Path());
    EXPECT_FALSE(c.Compile());
    EXPECT_FALSE(c.Prepare(folder.File("missing.mbs")));
    EXPECT_FALSE(c.Prepare(folder.Path()));  // a folder is no script
    EXPECT_FALSE(c.TablesHeld());
    const std::string path = folder.Write("s.mbs", "  cls\n  frobnicate\n");
    ASSERT_TRUE(c.Prepare(path));
    EXPECT_FALSE(c.Prepare(path));  // tables already held
    EXPECT_FALSE(c.NextError(false).has_value());
    ASSERT_TRUE(c.Compile());
    EXPECT_FALSE(c.Compile());
    EXPECT_FALSE(c.NextError(true).has_value());
    EXPECT_EQ(c.NextError(false), "Line 2: Error unrecognised command\r\n");
    EXPECT_FALSE(c.NextError(false).has_value());
    EXPECT_EQ(c.NextError(false), std::nullopt);
    c.NextError(true);
    EXPECT_TRUE(c.NextError(false).has_value());
    c.Release();
    EXPECT_FALSE(c.TablesHeld());
    ImageRecord r;
    EXPECT_FALSE(c.NextRecord(false, r));
    ASSERT_TRUE(c.Prepare(path));
    ASSERT_TRUE(c.Compile());
    EXPECT_TRUE(c.NextRecord(false, r));
    EXPECT_EQ(r[0], 0x09);
}

// "//" reads as ";" wherever it stands in a line, whatever the line's length: lines are split
// sixteen bytes at a time, and the comment rules are skipped for a line without a slash. Each
// script is compared with the same one written with ";" (errors, records and listing).
TEST_F(CompilerTest, DoubleSlashReadsAsSemicolonAnywhereInALine) {
    auto compiled = [&](const std::string& text) {
        std::string all;
        for (const std::string& e : Compile(text)) all += e;
        return all + "\n" + compiler.ListingText();
    };
    for (const char* tail : {"", "\n", "\r\n"}) {
        for (std::size_t pad = 0; pad < 40; ++pad) {
            const std::string spaces(pad, ' ');
            // The comment after a command, a line that is only a comment, a slash that starts
            // none, and the last line of the text.
            const std::string body = "v word 1\n" + spaces + "copy 1 v%jmp nowhere\n" + spaces +
                                     "%copy 2 v\n" + spaces + "add 3 v / 2\n" + spaces + "sub 1 v%x" + tail;
            std::string withSlashes = body, withSemicolons = body;
            for (std::size_t at; (at = withSlashes.find('%')) != std::string::npos;)
                withSlashes.replace(at, 1, "//");
            for (std::size_t at; (at = withSemicolons.find('%')) != std::string::npos;)
                withSemicolons.replace(at, 1, ";");
            EXPECT_EQ(compiled(withSlashes), compiled(withSemicolons)) << "padding " << pad;
        }
    }
}

std::string Pad20(const std::string& name) { return std::string(20 - name.size(), ' ') + name; }

TEST_F(CompilerTest, ListingShowsRecordsStringsAndLabels) {
    const auto errors = Compile("n const 5\nv word 3\n  disp \"hi %u\" v\ngo  jmp go\ns word -1\n");
    // An error still leaves the listing written.
    EXPECT_EQ(scripttest::Join(errors), "Line 5: Error variables are unsigned\r\n");
    const std::string want =
        "Command table\n"
        "Line     3 Location   0 Command= 7 Param1= 6    0[  0] Param2= 2    0[  0] Param3= 9    "
        "0[  0] RefLabels=[],v[],[]\n"
        "Line     4 Location   1 Command=14 Param1= 7    1[  0] Param2= 9    0[  0] Param3= 0    "
        "0[  0] RefLabels=go[],[],[]\n"
        "\nString table\n"
        "   0 hi %u\n"
        "\nLabel table\n"
        "Line     1 Label no    0 " +
        Pad20("n") +
        " Constant, value=5\n"
        "Line     2 Label no    1 " +
        Pad20("v") +
        " Variable, value=   3,      Location=0\n"
        "Line     4 Label no    2 " +
        Pad20("go") +
        " Command,                   Location=1\n"
        "Line     5 Label no    3 " +
        Pad20("s") + " ";
    EXPECT_EQ(folder.Read("debug_file.txt"), want);
    EXPECT_EQ(compiler.ListingText(), want);
    EXPECT_TRUE(compiler.ListingWritten());
}

TEST_F(CompilerTest, ListingShowsUnresolvedValuesRefsAndInitWords) {
    Compile("t word 1 2\nb buffer 2\n  copy 1 b[j]\n  copy 1 b[$1234]\n  bufcfg $ABCDEF\n  jmp q\n");
    const std::string listing = compiler.ListingText();
    EXPECT_NE(listing.find("Line     3 Location   0 Command= a Param1= 1    1[  0] Param2= 3    "
                           "2[ffff] Param3= 9    0[  0] RefLabels=[],b[j],[]\n"),
              std::string::npos)
        << listing;
    EXPECT_NE(listing.find("Param2= 2 1236[1234]"), std::string::npos) << listing;
    EXPECT_NE(listing.find("Command=50 Param1= b cdef[ab0]"), std::string::npos) << listing;
    EXPECT_NE(listing.find("Command=14 Param1= 2 ffff[  0]"), std::string::npos) << listing;
    EXPECT_NE(
        listing.find("Line     1 Label no    1 " + Pad20("") + " Initbuf,  value=   2,      Location=1\n"),
        std::string::npos)
        << listing;
}

TEST_F(CompilerTest, ListingReplacesTheEarlierOne) {
    folder.Write("debug_file.txt", std::string(5000, 'x'));
    Compile("  cls\n");
    EXPECT_EQ(folder.Read("debug_file.txt"), compiler.ListingText());
}

TEST_F(CompilerTest, ListingIsSavedLikeEveryFileTheUserKeeps) {
    struct Case {
        const char* what;
        bool link, readOnly;
        bool written;
    };
    const Case cases[] = {
        {"through a symbolic link, which stays", true, false, true},
        {"over a read-only listing, which stays", false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(folder.File("debug_file.txt"));
        std::filesystem::remove(folder.File("kept.txt"));
        const std::string older = folder.Write(c.link ? "kept.txt" : "debug_file.txt", "older");
        if (c.link) std::filesystem::create_symlink("kept.txt", folder.File("debug_file.txt"));
        if (c.readOnly) std::filesystem::permissions(older, std::filesystem::perms::owner_read);
        Compile("  cls\n");
        EXPECT_EQ(compiler.ListingWritten(), c.written);
        EXPECT_EQ(folder.Read(c.link ? "kept.txt" : "debug_file.txt"),
                  c.written ? compiler.ListingText() : "older");
        EXPECT_EQ(std::filesystem::is_symlink(folder.File("debug_file.txt")), c.link);
        std::filesystem::permissions(older, std::filesystem::perms::owner_all);
    }
}

TEST_F(CompilerTest, ListingThatCannotBeWrittenWholeIsReportedAndTheEarlierOneStays) {
    // A listing of many buffers' worth, so that its writing is still going on while it is made.
    // The errors are still found, beside the listing's making.
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "  cls\n";
    text += "  jmp nowhere\n";
    struct Case {
        const char* what;
        bool device;  // the listing's name leads to /dev/full, written at the end
        rlim_t sizeLimit;  // otherwise a write fails once the file passes this size
    };
    const Case cases[] = {
        {"a full disk behind a link", true, RLIM_INFINITY},
        {"a write that fails part way", false, 1024 * 1024},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(folder.File("debug_file.txt"));
        if (c.device)
            std::filesystem::create_symlink("/dev/full", folder.File("debug_file.txt"));
        else
            folder.Write("debug_file.txt", "older");
        const int result = plainuser::InChild(
            [&] {
                // Past the limit a write fails with EFBIG rather than ending the process.
                std::signal(SIGXFSZ, SIG_IGN);
                const struct rlimit limit { c.sizeLimit, c.sizeLimit };
                if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 9;
                CScriptCompiler child;
                child.SetListingDirectory(folder.Path());
                if (!child.PrepareText(text) || !child.Compile()) return 8;
                if (child.ListingText().size() < 1000000) return 7;
                const std::optional<std::string> error = child.NextError(false);
                if (!error || error->find("Line 20001") == std::string::npos) return 6;
                return child.ListingWritten() ? 1 : 0;
            },
            false);
        EXPECT_EQ(result, 0);
        if (c.device)
            EXPECT_TRUE(std::filesystem::is_symlink(folder.File("debug_file.txt")));
        else
            EXPECT_EQ(folder.Read("debug_file.txt"), "older");
        std::size_t files = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder.Path())) ++files;
        EXPECT_EQ(files, 1u);  // no temporary copy left behind
    }
}

// Where the program may run on one processor only (a processor set of one), the helpers start
// beside their starter, and a script parsed in two halves still compiles as in one pass.
TEST_F(CompilerTest, OneProcessorOnlyStillCompilesInTwoHalves) {
    std::string text;
    for (int i = 0; i < 3000; ++i) {
        const std::string n = std::to_string(i);
        text += "v" + n + " word " + n + " 1 2\nl" + n + " if v" + n + " > 3\n  disp \"n %u\" v" + n +
                "\n  elseif v" + n + "\n  jmp l" + n + "\n  endif\n";
    }
    text += "  jmp nowhere\n";
    const int result = plainuser::InChild(
        [&] {
            cpu_set_t one;
            CPU_ZERO(&one);
            CPU_SET(::sched_getcpu() < 0 ? 0 : ::sched_getcpu(), &one);
            if (::sched_setaffinity(0, sizeof one, &one) != 0) return 9;
            std::string listing[2];
            std::string errors[2];
            for (int k = 0; k < 2; ++k) {
                CScriptCompiler c;
                c.SetListingDirectory(folder.Path());
                c.SetSplitFrom(k == 0 ? SIZE_MAX : 1);
                if (!c.PrepareText(text) || !c.Compile() || !c.ListingWritten()) return 8;
                listing[k] = c.ListingText();
                while (auto e = c.NextError(false)) errors[k] += *e;
            }
            if (errors[0].find("nowhere") == std::string::npos) return 7;
            return listing[0] == listing[1] && errors[0] == errors[1] ? 0 : 1;
        },
        false);
    EXPECT_EQ(result, 0);
}

// A long script's compile in an address space that runs out, before its tables or before its
// helpers' stacks, ends cleanly: the compile is refused and nothing is held, or it gives what an
// unhindered compile gives (on one thread where no helper could start).
TEST_F(CompilerTest, MemoryRunningOutEndsTheCompileCleanly) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's own memory does not fit an address space limit";
#else
    std::string text;
    for (int i = 0; i < 4000; ++i) {
        const std::string n = std::to_string(i);
        text += "v" + n + " word " + n + "\nl" + n + " if v" + n + " > 3\n  disp \"n %u\" v" + n +
                "\n  elseif v" + n + "\n  while v" + n + "\n  sub 1 v" + n + "\n  endwhile\n  endif\n";
    }
    text += "  jmp nowhere\n";
    CScriptCompiler whole;
    whole.SetListingDirectory(folder.Path());
    ASSERT_TRUE(whole.PrepareText(text) && whole.Compile());
    const std::string listing = whole.ListingText();
    whole.Release();  // its memory given back, so that the compiles below take their own
    auto addressSpace = [] {
        std::FILE* f = std::fopen("/proc/self/statm", "r");
        unsigned long pages = 0;
        if (f) {
            if (std::fscanf(f, "%lu", &pages) != 1) pages = 0;
            std::fclose(f);
        }
        return static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE));
    };
    int compiled = 0;
    // Around the first bulk region (64 MiB) and the helpers' stacks, where the compile's own
    // address space runs out.
    for (rlim_t extraMiB = 56; extraMiB <= 90; extraMiB += 2) {
        SCOPED_TRACE("address space beyond the test's own, MiB: " + std::to_string(extraMiB));
        const int result = plainuser::InChild(
            [&] {
                const rlim_t limit = addressSpace() + extraMiB * 1024 * 1024;
                const struct rlimit as { limit, limit };
                if (::setrlimit(RLIMIT_AS, &as) != 0) return 9;
                CScriptCompiler c;
                c.SetListingDirectory(folder.Path());
                c.SetSplitFrom(1);
                if (!c.PrepareText(text) || !c.Compile()) return c.TablesHeld() ? 8 : 2;
                return c.ListingText() == listing ? 0 : 1;
            },
            false);
        EXPECT_TRUE(result == 0 || result == 2) << result;
        compiled += result == 0;
    }
    EXPECT_GT(compiled, 0);  // the largest limits leave room for the whole compile
#endif
}

TEST_F(CompilerTest, ListingFolderThatCannotBeWrittenDoesNotStopTheCompile) {
    compiler.SetListingDirectory(folder.File("no/such/folder"));
    ASSERT_TRUE(compiler.PrepareText("  cls\n  jmp nowhere\n"));
    EXPECT_TRUE(compiler.Compile());
    EXPECT_FALSE(compiler.ListingWritten());
    // The errors are still found.
    EXPECT_EQ(compiler.NextError(false), "Line 2: Error unresolved label(nowhere)\r\n");
    EXPECT_FALSE(compiler.NextError(false).has_value());
}

// The page never downloads a script with errors, but the image of one stays well defined.
TEST_F(CompilerTest, UnresolvedValuesTravelAsAllOnes) {
    Compile("  jmp nowhere\n");
    const auto image = Image();
    ASSERT_EQ(image.size(), 1u);
    EXPECT_EQ(image[0][1], 0x0002);
    EXPECT_EQ(image[0][2], 0xFFFF);
}

}  // namespace

namespace {

// Random declarations against the layout they must end in: single-value words at the lowest
// locations, the last declared at 0; then multi-value words (with their extra words) and
// buffers in declaration order.
TEST_F(CompilerTest, PlacementOfRandomDeclarations) {
    uint32_t seed = 99;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 16) % n);
    };
    for (int round = 0; round < 20; ++round) {
        struct Decl {
            std::string name;
            int cells;  // locations it takes
            bool single;  // a word with one value or none
        };
        std::vector<Decl> decls;
        std::string text;
        const int count = 5 + next(60);
        for (int i = 0; i < count; ++i) {
            const std::string name = "d" + std::to_string(i);
            switch (next(5)) {
                case 0:
                    text += name + " word\n";
                    decls.push_back({name, 1, true});
                    break;
                case 1:
                    text += name + " word 7\n";
                    decls.push_back({name, 1, true});
                    break;
                case 2: {
                    const int values = 2 + next(4);
                    text += name + " word";
                    for (int v = 0; v < values; ++v) text += " " + std::to_string(v + 1);
                    text += "\n";
                    decls.push_back({name, values, false});
                    break;
                }
                case 3: {
                    const int size = 1 + next(9);
                    text += name + " buffer " + std::to_string(size) + "\n";
                    decls.push_back({name, size, false});
                    break;
                }
                default: text += name + " const 5\n" + name + "x  cls\n"; break;
            }
        }
        ASSERT_TRUE(Compile(text).empty()) << text;
        int singles = 0;
        for (const Decl& d : decls) singles += d.single ? 1 : 0;
        int nextSingle = singles - 1;
        int nextOther = singles;
        for (const Decl& d : decls) {
            const auto* e = Label(d.name);
            ASSERT_NE(e, nullptr);
            if (d.single) {
                EXPECT_EQ(e->location, nextSingle--) << d.name << "\n" << text;
            } else {
                EXPECT_EQ(e->location, nextOther) << d.name << "\n" << text;
                nextOther += d.cells;
            }
        }
    }
}

}  // namespace

// A script file gives what its text gives, however it is read: a long regular file in two
// halves at once (the halves meet at a page boundary), a short one or a pipe from start to end,
// with or without a byte-order mark.
TEST_F(CompilerTest, AFileGivesWhatItsTextGivesReadInHalvesOrNot) {
    std::string body;
    for (int i = 0; i < 1500; ++i) {
        const std::string n = std::to_string(i);
        body += "w" + n + " word " + n + "\n  disp \"at " + n + "\" w" + n + "\n  jmpc w" + n + " < 3 l" +
                std::to_string(i + 1) + "\nl" + n + " copy 1 w" + n + " ; " + std::string(i % 40, 'c') + "\n";
    }
    for (const std::string& text : {body, "\xEF\xBB\xBF" + body, std::string("  cls\n  jmp x\n")}) {
        auto compile = [&](const std::function<bool(CScriptCompiler&)>& prepare, std::size_t splitFrom) {
            CScriptCompiler c;
            c.SetListingDirectory(folder.Path());
            c.SetSplitFrom(splitFrom);
            std::string out;
            if (!prepare(c) || !c.Compile()) return std::string("refused");
            out = c.ListingText();
            while (auto e = c.NextError(false)) out += *e;
            return out;
        };
        const std::string expected =
            compile([&](CScriptCompiler& c) { return c.PrepareText(text); }, SIZE_MAX);
        const std::string file = folder.File("long.mbs");
        {
            std::FILE* f = std::fopen(file.c_str(), "wb");
            ASSERT_NE(f, nullptr);
            ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), f), text.size());
            std::fclose(f);
        }
        for (const std::size_t splitFrom : {std::size_t{1}, std::size_t{4096}, SIZE_MAX})
            EXPECT_EQ(compile([&](CScriptCompiler& c) { return c.Prepare(file); }, splitFrom), expected)
                << text.size() << " bytes, split from " << splitFrom;
        const std::string fifo = folder.File("pipe.mbs");
        ::unlink(fifo.c_str());
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        std::thread writer([&] {
            std::FILE* f = std::fopen(fifo.c_str(), "wb");
            if (!f) return;
            std::fwrite(text.data(), 1, text.size(), f);
            std::fclose(f);
        });
        EXPECT_EQ(compile([&](CScriptCompiler& c) { return c.Prepare(fifo); }, 1), expected);
        writer.join();
    }
}
