// The example scripts of sim/SCRIPTS.md, taken from the document itself: each compiles cleanly
// and runs to its end (reason 0) on the simulated board, served by a small stand-in for the
// PC that answers dialogs, opens and serves read files, and acknowledges block writes.
#include "tests/sim/script_support.h"
#include "tests/support/ScriptExamples.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace simtest;

namespace {

std::vector<std::string> ExampleScripts() { return ScriptReferenceExamples(TR805Q_SOURCE_DIR); }

// Serves a running script until it ends; returns every uplink frame. Read files hold the
// values 1..10; dialogs are answered with 1.
std::vector<std::string> Serve(ScriptRig& rig) {
    std::vector<std::string> all;
    uint16_t next = 1;
    const uint16_t fileSize = 10;
    for (int round = 0; round < 10'000 && rig.board.ScriptRunning(); ++round) {
        for (const std::string& f : rig.Run(1000)) {
            all.push_back(f);
            const Bytes b = Hex(f);
            switch (b[1]) {
                case 0x05:
                    next = 1;
                    rig.SendHex("7E 14 00 00 00 0A");
                    break;
                case 0x0B: {
                    const uint32_t count =
                        (uint32_t{b[2]} << 24) | (uint32_t{b[3]} << 16) | (b[4] << 8) | b[5];
                    std::vector<uint16_t> values;
                    while (values.size() < count && next <= fileSize) values.push_back(next++);
                    rig.SendHex(FileBlockHex(values.size() < count, values));
                    break;
                }
                case 0x0A:
                case 0x19:
                case 0x1A: rig.SendHex("7E 13 00 01 00 00 00 00"); break;
                case 0x18: rig.SendHex(kBlockWrittenFrame); break;
                default: break;
            }
        }
    }
    return all;
}

TEST(ScriptExamples, EveryDocumentedExampleRunsToItsEnd) {
    const std::vector<std::string> scripts = ExampleScripts();
    ASSERT_GE(scripts.size(), 8u) << "examples missing from sim/SCRIPTS.md";
    for (const std::string& source : scripts) {
        SCOPED_TRACE(source);
        ScriptRig rig;
        rig.Load(source);
        const std::vector<std::string> frames = Serve(rig);
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(frames.back().substr(0, 8), "7E 0C 00");
        for (const std::string& f : frames) EXPECT_NE(f.substr(0, 5), "7E 0D");
    }
}

// What the examples promise in their comments.
TEST(ScriptExamples, TheExamplesComputeWhatTheySay) {
    const std::vector<std::string> scripts = ExampleScripts();
    ASSERT_GE(scripts.size(), 8u);
    auto run = [](const std::string& source) {
        ScriptRig rig;
        rig.Load(source);
        return Serve(rig);
    };
    // Data: ones, the shifted value, the sum of the table.
    EXPECT_EQ(Join(run(scripts[0])), "7E 08 00 00 08 | 7E 08 01 00 EF | 7E 08 02 00 0A | 7E 0C 00 00 0C");
    // Jumps: four calls.
    const std::vector<std::string> jumps = run(scripts[1]);
    ASSERT_GE(jumps.size(), 2u);
    EXPECT_EQ(jumps[0], "7E 08 01 00 04");
    // Timer: five ticks in the 55 ms delay, and the clock at 55 ms.
    const std::vector<std::string> timer = run(scripts[3]);
    ASSERT_GE(timer.size(), 2u);
    EXPECT_EQ(timer[0], "7E 08 00 00 05");
    EXPECT_EQ(timer[1], "7E 08 01 00 37");
    // Port: $01E1.
    EXPECT_EQ(run(scripts[7])[0], "7E 08 00 01 E1");
}

}  // namespace
