// The window program started as a user starts it with no kit: it serves its own simulated
// board on a pty, offers it as a COM port, and leaves nothing behind when it is stopped.
#include "tests/e2e/Process.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

#ifdef TR805Q_EXE
TEST(WindowOnSimulatedBoard, StartsServesItsPortAndStopsCleanly) {
    const TempFolder folder("tr805q-window");
    const fs::path& config = folder.Path();
    const fs::path link = config / "QVR" / "ports" / "COM1";
    int status;
    {
        BackgroundProcess window({TR805Q_EXE, "--simulate", "--config-dir", config.string()},
                                 {"QT_QPA_PLATFORM=offscreen"});
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!fs::is_symlink(link) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_TRUE(fs::is_symlink(link)) << "the simulated board was not offered as COM1";
        EXPECT_TRUE(fs::exists(fs::read_symlink(link)));
        status = window.Stop();
    }
    EXPECT_EQ(status, 128 + 15);  // ended by SIGTERM, through the program's own quit
    EXPECT_FALSE(fs::is_symlink(link)) << "the port link was left behind";
}
#endif
