// The real executables on a real pseudo-terminal: mb805q-sim serving, the program's serial code
// and tr805q-cli talking to it.
#include "link/ComSettings.h"
#include "link/SerialPort.h"
#include "tests/e2e/Process.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class SimulatedBoardOnPty : public ::testing::Test {
protected:
    void SetUp() override { env_ = {"XDG_CONFIG_HOME=" + home_.string(), "HOME=" + home_.string()}; }
    void TearDown() override { sim_.reset(); }

    // Starts the simulated board and returns the COM number it took.
    std::string StartSim(std::vector<std::string> extra = {}) {
        std::vector<std::string> argv{MB805Q_SIM_EXE, "--print-port"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        sim_ = std::make_unique<BackgroundProcess>(argv, env_);
        return sim_->FirstLine(5000);
    }

    ProcessResult Cli(std::vector<std::string> args) {
        args.insert(args.begin(), TR805Q_CLI_EXE);
        return RunProcess(args, env_);
    }

    TempFolder folder_{"tr805q-e2e"};
    const fs::path& home_ = folder_.Path();
    std::vector<std::string> env_;
    std::unique_ptr<BackgroundProcess> sim_;
};

TEST_F(SimulatedBoardOnPty, WriteThenReadThroughTheCli) {
    const fs::path log = home_ / "requests.txt";
    const std::string port = StartSim({"--log", log.string()});
    ASSERT_FALSE(port.empty());

    ProcessResult w = Cli({"--port", port, "write", "20", "1234"});
    EXPECT_EQ(w.exitCode, 0) << w.err;
    ProcessResult r = Cli({"--port", port, "read", "20"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "1234\n");
    ProcessResult r8 = Cli({"--port", port, "read", "20", "--8bit"});
    EXPECT_EQ(r8.exitCode, 0) << r8.err;
    EXPECT_EQ(r8.out.size(), 3u);  // two digits and the line end

    sim_->Stop();
    std::ifstream in(log);
    std::stringstream requests;
    requests << in.rdbuf();
    EXPECT_NE(requests.str().find("7E 03 20 12 34 01\n"), std::string::npos) << requests.str();
    EXPECT_NE(requests.str().find("7E 05 20 01\n"), std::string::npos) << requests.str();
}

// A register table saved by a page, run through tr805q-cli on the real port code.
TEST_F(SimulatedBoardOnPty, TableFileRunsItsRows) {
    const std::string port = StartSim();
    ASSERT_FALSE(port.empty());
    const fs::path table = home_ / "table.txt";
    {
        std::ofstream f(table, std::ios::binary);
        for (int r = 1; r <= 40; ++r) {
            char header[24];
            std::snprintf(header, sizeof header, "Register:%03d\r\n", r);
            f << header;
            if (r == 1)
                f << "gain\r\n31\r\n04\r\nA5\r\n1\r\n";  // 8 bit Wr
            else if (r == 21)
                f << "check\r\n31\r\n03\r\n\r\n1\r\n";  // 8 bit Rd
            else
                f << "\r\n\r\n00\r\n\r\n0\r\n";
        }
    }
    ProcessResult r = Cli({"--port", port, "table", table.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "1\t8 bit Wr\t31\tA5\n21\t8 bit Rd\t31\tA5\n");
}

TEST_F(SimulatedBoardOnPty, ValidationAndLostBoardExitCodes) {
    const std::string port = StartSim({"--no-reply"});
    ASSERT_FALSE(port.empty());

    ProcessResult bad = Cli({"--port", port, "write", "2G", "1"});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.err, "Error - Register address must be hexadecimal\n");

    ProcessResult lost = Cli({"--port", port, "read", "20"});
    EXPECT_EQ(lost.exitCode, 2);
    EXPECT_EQ(lost.err,
              "Error - Unable to communicate with KOVA kit\nCheck connections and restart the program\n");
}

// The stored port settings come from the window's settings file, read by the settings module
// that tr805q-cli loads for a board command; a compile needs no settings and loads no Qt.
TEST_F(SimulatedBoardOnPty, StoredPortReachesABoardCommandAndACompileLoadsNoQt) {
    const std::string port = StartSim();
    ASSERT_FALSE(port.empty());
    fs::create_directories(home_ / "QVR");
    std::ofstream(home_ / "QVR" / "TR805Q.conf") << "[ScriptTab]\nPort=" << port << "\n";
    ProcessResult read = Cli({"write", "20", "1234"});
    EXPECT_EQ(read.exitCode, 0) << read.err;
    read = Cli({"read", "20"});
    EXPECT_EQ(read.exitCode, 0) << read.err;
    EXPECT_EQ(read.out, "1234\n");

    const fs::path script = home_ / "one.mbs";
    std::ofstream(script) << "        stop\n";
    std::vector<std::string> env = env_;
    env.push_back("LD_DEBUG=files");
    const ProcessResult compiled = RunProcess({TR805Q_CLI_EXE, "compile", script.string()}, env);
    EXPECT_EQ(compiled.exitCode, 0) << compiled.err;
    EXPECT_EQ(compiled.err.find("libQt6Core"), std::string::npos);
    EXPECT_NE(compiled.err.find("libc.so"), std::string::npos);  // the loader did report
}

// A one-byte read on a line where nothing comes gives up after the board link's half second.
TEST_F(SimulatedBoardOnPty, SilentLineReadReturnsAfterHalfASecond) {
    const std::string port = StartSim();
    ASSERT_FALSE(port.empty());
    const fs::path link = home_ / "QVR" / "ports" / ("COM" + port);
    ASSERT_TRUE(fs::exists(link)) << link;

    CSerialPort serial;
    serial.OpenPath(fs::read_symlink(link).string(), SerialLineSettings{});
    serial.SetTimeouts(kBoardTimeouts);
    unsigned char byte = 0;
    const auto start = std::chrono::steady_clock::now();
    const size_t got = serial.Read(&byte, 1);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
            .count();
    EXPECT_EQ(got, 0u);
    EXPECT_GE(ms, 480);
    EXPECT_LT(ms, 1500);
}

// A simulator that is killed leaves its link behind, and the next terminal to open takes its
// pty number. The link must not offer that terminal as the board: its number is free again.
TEST_F(SimulatedBoardOnPty, KilledSimulatorsNumberIsFreeAgain) {
    const std::string first = StartSim();
    ASSERT_EQ(first, "1");
    const fs::path link = home_ / "QVR" / "ports" / "COM1";
    const std::string killedPty = fs::read_symlink(link).string();
    EXPECT_EQ(sim_->Kill(), 128 + SIGKILL);
    ASSERT_TRUE(fs::is_symlink(fs::symlink_status(link))) << "nothing cleaned up after a kill";

    // Another terminal, most likely on the freed pty number.
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(::grantpt(terminal), 0);
    ASSERT_EQ(::unlockpt(terminal), 0);
    const std::string terminalPty = ::ptsname(terminal);

    const std::string second = StartSim();
    EXPECT_EQ(second, "1");
    EXPECT_NE(fs::read_symlink(link).string(), terminalPty) << "killed pty was " << killedPty;
    ProcessResult r = Cli({"--port", second, "write", "20", "1234"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ::close(terminal);
}

// A program killed while it holds the port leaves the pty marked exclusive; the board lifts
// the mark so that the next program can open the port. (Root opens through the mark, so the
// mark itself is checked.)
TEST_F(SimulatedBoardOnPty, PortOfAKilledProgramCanBeOpenedAgain) {
    const std::string port = StartSim();
    ASSERT_FALSE(port.empty());
    const std::string device = fs::read_symlink(home_ / "QVR" / "ports" / ("COM" + port)).string();

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
        const char ok = fd >= 0 && ::ioctl(fd, TIOCEXCL) == 0 ? 1 : 0;
        [[maybe_unused]] const ssize_t w = ::write(ready[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(ok, 1);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    if (::geteuid() == 0) {
        // Root opens through the mark: watch the mark itself, on one open file, so that no
        // close of ours is what lifts it.
        const int probe = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(probe, 0) << std::strerror(errno);
        int exclusive = 0;
        ASSERT_EQ(::ioctl(probe, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 1) << "the holder has the port for itself";
        ::kill(holder, SIGKILL);
        ::waitpid(holder, nullptr, 0);
        while (exclusive != 0 && std::chrono::steady_clock::now() < deadline) {
            ::usleep(5000);
            ASSERT_EQ(::ioctl(probe, TIOCGEXCL, &exclusive), 0);
        }
        ::close(probe);
        EXPECT_EQ(exclusive, 0) << "the mark of the killed program is lifted";
    } else {
        ::kill(holder, SIGKILL);
        ::waitpid(holder, nullptr, 0);
        int fd = -1;
        while (fd < 0 && std::chrono::steady_clock::now() < deadline) {
            fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
            if (fd < 0) ::usleep(5000);
        }
        EXPECT_GE(fd, 0) << "still busy: " << std::strerror(errno);
        if (fd >= 0) ::close(fd);
    }

    ProcessResult r = Cli({"--port", port, "write", "20", "1234"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

}  // namespace

namespace {

// The adapter is pulled while a command talks to the board: mb805q-sim closes its end of the
// line at the first byte, as an unplugged USB bridge does (EIO from then on). Every command
// ends with the lost-board message, the line's reason above it, and exit code 2.
TEST_F(SimulatedBoardOnPty, UnpluggedAdapterIsALostBoardForEveryCommand) {
    const fs::path table = home_ / "table.txt";
    {
        std::ofstream f(table, std::ios::binary);
        for (int r = 1; r <= 40; ++r) {
            f << "Register:" << (r < 10 ? "00" : "0") << r << "\r\n";
            f << (r == 1 ? "gain\r\n31\r\n04\r\nA5\r\n1\r\n" : "\r\n\r\n00\r\n\r\n0\r\n");
        }
    }
    const fs::path kernlet = home_ / "kernlet.h";
    std::ofstream(kernlet) << "#define N_DB 0x01\n#define DB1_ADDRESS 0x0100\n#define DB1_LENGTH 0x0001\n"
                              "#define DB1_CHECKSUM_H 0x0000\n#define DB1_CHECKSUM_L 0x0000\n"
                              "const unsigned short DB1[] = {\n    0x1234};\n#define KERNLET_START 0x0100\n";
    const std::string script = std::string(TR805Q_TEST_DATA_DIR) + "/compile/odd_even.mbs";
    const std::vector<std::vector<std::string>> commands = {
        {"info"},
        {"read", "20"},
        {"write", "20", "1234"},
        {"reset"},
        {"table", table.string()},
        {"kernlet", kernlet.string()},
        {"run", script},
        {"trace"},
    };
    for (const std::vector<std::string>& command : commands) {
        const std::string port = StartSim({"--close-after", "1"});
        ASSERT_FALSE(port.empty());
        std::vector<std::string> args{"--port", port};
        args.insert(args.end(), command.begin(), command.end());
        const ProcessResult r = Cli(args);
        EXPECT_EQ(r.exitCode, 2) << command[0] << ": " << r.err;
        EXPECT_NE(r.err.find("Error - Unable to communicate with"), std::string::npos)
            << command[0] << ": " << r.err;
        EXPECT_NE(r.err.find("Input/output error"), std::string::npos) << command[0] << ": " << r.err;
        sim_.reset();
    }
}

// The program's path of a tool on PATH, or empty.
std::string Tool(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const fs::path p = fs::path(dir) / name;
        if (!dir.empty() && ::access(p.c_str(), X_OK) == 0) return p.string();
    }
    return {};
}

// The trace saved by tr805q-cli in every format from a board on a pty, and the dumps read by
// the viewers' own readers: GTKWave's (vcd2fst, and fst2vcd to look at what it took) and
// PulseView's (libsigrok, through sigrok-cli), which in Debian 12 takes 1-bit signals only.
TEST_F(SimulatedBoardOnPty, TraceExportsOpenInTheViewersReaders) {
    const std::string port = StartSim();
    ASSERT_FALSE(port.empty());
    ASSERT_EQ(Cli({"--port", port, "write", "20", "1234"}).exitCode, 0);
    ASSERT_EQ(Cli({"--port", port, "--device", "2", "write", "05", "00AB"}).exitCode, 0);
    ASSERT_EQ(Cli({"--port", port, "read", "20"}).exitCode, 0);
    for (const char* format : {"text", "csv", "vcd", "vcd-bits"}) {
        const ProcessResult r =
            Cli({"--port", port, "trace", "--save", (home_ / format).string(), "--format", format});
        ASSERT_EQ(r.exitCode, 0) << format << ": " << r.err;
    }
    std::ifstream csv(home_ / "csv");
    std::vector<std::string> rows;
    for (std::string line; std::getline(csv, line);) rows.push_back(line);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1].rfind("0,1,write,0x20,0x1234,2,1,1,", 0), 0u) << rows[1];
    EXPECT_EQ(rows[3].rfind("2,1,read,0x20,0x1234,2,1,1,", 0), 0u) << rows[3];
    EXPECT_EQ(rows[3].back(), '\r');

    const std::string vcd2fst = Tool("vcd2fst"), fst2vcd = Tool("fst2vcd"), sigrok = Tool("sigrok-cli");
    if (vcd2fst.empty() || fst2vcd.empty() || sigrok.empty())
        GTEST_SKIP() << "gtkwave or sigrok-cli not installed";
    const std::string fst = (home_ / "trace.fst").string();
    const ProcessResult converted = RunProcess({vcd2fst, (home_ / "vcd").string(), fst}, env_);
    ASSERT_EQ(converted.exitCode, 0) << converted.err;
    const ProcessResult back = RunProcess({fst2vcd, fst}, env_);
    ASSERT_EQ(back.exitCode, 0) << back.err;
    for (const char* declared :
         {"dev1_strobe", "dev1_read", "dev1_count [7:0]", "dev1_reg20 [15:0]", "dev2_reg05 [15:0]"}) {
        EXPECT_NE(back.out.find(declared), std::string::npos) << declared << "\n" << back.out;
    }
    EXPECT_NE(back.out.find("b0001001000110100"), std::string::npos) << back.out;

    const ProcessResult pulse =
        RunProcess({sigrok, "-i", (home_ / "vcd-bits").string(), "-I", "vcd", "-O", "csv"}, env_);
    ASSERT_EQ(pulse.exitCode, 0) << pulse.err;
    // A header naming the channels, then one line per microsecond from the first access.
    std::istringstream lines(pulse.out);
    std::string channels, first;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("; Channels", 0) == 0) channels = line;
        if (first.empty() && !line.empty() && (line[0] == '0' || line[0] == '1')) first = line;
    }
    EXPECT_NE(channels.find("dev1_strobe, dev1_read, dev1_toggle, dev1_reg20_0,"), std::string::npos)
        << pulse.out;
    EXPECT_NE(channels.find("dev2_reg05_15"), std::string::npos) << pulse.out;
    // The first microsecond: device 1's strobe up, a write, register 0x20 = 0x1234.
    std::vector<int> bits;
    for (char c : first)
        if (c == '0' || c == '1') bits.push_back(c - '0');
    ASSERT_GE(bits.size(), 19u) << pulse.out;
    EXPECT_EQ(bits[0], 1);
    EXPECT_EQ(bits[1], 0);
    unsigned reg20 = 0;
    for (int b = 0; b < 16; ++b) reg20 |= static_cast<unsigned>(bits[3 + b]) << b;
    EXPECT_EQ(reg20, 0x1234u);
}

}  // namespace
