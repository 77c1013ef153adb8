#pragma once
// The trace's surroundings for the trace window's tests and those of `tr805q-cli trace`: register
// accesses that fill the simulated board's trace, the trace reads the board received, and the
// destinations every way of saving the trace must refuse before it reads anything.
#include "tests/script/ScriptTestSupport.h"
#include "tests/support/PlainUser.h"
#include "tests/support/SimHost.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace tracetest {

// n register writes: trace entries n-1 (oldest) .. 0 (newest).
inline void Accesses(SimHost& host, int n) {
    for (int i = 0; i < n; ++i) ASSERT_TRUE(host.board.WriteReg16(0x20, static_cast<uint16_t>(i), 2));
}

inline std::vector<std::string> TraceRequests(const SimHost& host) {
    std::vector<std::string> out;
    for (const std::string& r : host.Requests())
        if (r.rfind("7E 1A", 0) == 0) out.push_back(r);
    return out;
}

// A way of saving the trace to a path; true: it was refused.
struct SaveWay {
    const char* name;
    std::function<bool(const std::string& path)> save;
};

// Each way meets each destination that must be refused: a read-only file ("ro.txt", holding
// "older trace"), a file in a missing folder, and a new file in a folder its user may not write
// (as a plain user: the superuser may write there). Each is refused with the save-failure
// message before the board is asked for the trace, and nothing is written or made.
inline void ExpectUnwritableDestinationsRefused(SimHost& host, const TempFolder& folder,
                                                const std::vector<SaveWay>& ways) {
    struct Destination {
        const char* what;
        std::function<std::string()> setup;  // makes the destination and answers its path
        bool asPlainUser;
    };
    const Destination destinations[] = {
        {"a read-only file",
         [&folder] {
             const std::string p = folder.Write("ro.txt", "older trace");
             ::chmod(p.c_str(), 0444);
             return p;
         },
         false},
        {"a missing folder", [&folder] { return folder.File("none/t.txt"); }, false},
        {"a folder without write permission, the file not there yet",
         [&folder] {
             const std::string dir = folder.File("locked");
             std::filesystem::create_directory(dir);
             ::chmod(dir.c_str(), 0555);
             return dir + "/t.txt";
         },
         true},
    };
    ::chmod(folder.Path().c_str(), 0755);  // the plain user must reach the folder
    for (const Destination& c : destinations) {
        const std::string path = c.setup();
        for (const SaveWay& way : ways) {
            SCOPED_TRACE(std::string(c.what) + ", " + way.name);
            host.requests.clear();
            // The answer travels from the child as bits: refused, the message, nothing read.
            const auto save = [&] {
                const bool refused = way.save(path);
                const bool told = !host.prompts.messages.empty() &&
                                  host.prompts.messages.back().text == "Error - Unable to save results";
                return (refused ? 1 : 0) | (told ? 2 : 0) | (TraceRequests(host).empty() ? 4 : 0);
            };
            const int result = c.asPlainUser ? plainuser::Run(save) : save();
            EXPECT_TRUE(result & 1) << "refused";
            EXPECT_TRUE(result & 2) << "the save-failure message";
            EXPECT_TRUE(result & 4) << "nothing read from the board";
        }
    }
    EXPECT_EQ(folder.Read("ro.txt"), "older trace");
    EXPECT_FALSE(std::filesystem::exists(folder.File("none")));
    EXPECT_FALSE(std::filesystem::exists(folder.File("locked/t.txt")));
}

}  // namespace tracetest
