// tr805q-cli runs a script against a board played by hand on a pty. The board asks for a large
// read file and then stops reading, so the worker's file blocks back up in the line; the user
// aborts meanwhile. The abort must reach the board as its own frame, with every block intact.
#include <gtest/gtest.h>
#include "tests/support/TempFolder.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr uint32_t kFileValues = 100000;  // 200 KB: far more than a pty holds

uint8_t FileByte(size_t i) { return static_cast<uint8_t>((i * 7 + i / 251) & 0xFF); }

// The board's end of the line.
class HandPlayedBoard {
public:
    HandPlayedBoard() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        char name[128];
        if (::ptsname_r(master_, name, sizeof name) != 0) return;
        path_ = name;
        // Raw mode on the line, kept by an open descriptor of our own.
        slave_ = ::open(name, O_RDWR | O_NOCTTY);
        termios t{};
        ::tcgetattr(slave_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slave_, TCSANOW, &t);
    }
    ~HandPlayedBoard() {
        if (slave_ >= 0) ::close(slave_);
        if (master_ >= 0) ::close(master_);
    }
    const std::string& Path() const { return path_; }

    void Send(const Bytes& b) {
        size_t done = 0;
        while (done < b.size()) {
            const ssize_t r = ::write(master_, b.data() + done, b.size() - done);
            if (r > 0) done += static_cast<size_t>(r);
        }
    }
    // The next n bytes, or nothing when they do not come within ms.
    std::optional<Bytes> Take(size_t n, int ms = 5000) {
        while (buffer_.size() < n) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, ms) <= 0) return std::nullopt;
            uint8_t chunk[4096];
            const ssize_t r = ::read(master_, chunk, sizeof chunk);
            if (r <= 0) return std::nullopt;
            buffer_.insert(buffer_.end(), chunk, chunk + r);
        }
        Bytes out(buffer_.begin(), buffer_.begin() + static_cast<long>(n));
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(n));
        return out;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
    Bytes buffer_;
};

// tr805q-cli with a pipe on its standard input, so that the test answers the script's dialog
// when it chooses.
class CliProcess {
public:
    CliProcess(const std::vector<std::string>& args, const fs::path& home) {
        int in[2];
        if (::pipe(in) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], 0);
            ::close(in[1]);
            const int out = ::open((home / "cli.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(out, 1);
            ::dup2(out, 2);
            ::setenv("HOME", home.c_str(), 1);
            ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(TR805Q_CLI_EXE));
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(TR805Q_CLI_EXE, argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        stdin_ = in[1];
    }
    ~CliProcess() {
        if (stdin_ >= 0) ::close(stdin_);
        if (pid_ > 0 && !waited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    void Answer(const std::string& line) {
        [[maybe_unused]] const ssize_t r = ::write(stdin_, line.data(), line.size());
    }
    // The exit code, or -1 when it did not end within ms.
    int Wait(int ms) {
        for (int waited = 0; waited < ms; waited += 10) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                waited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

private:
    int pid_ = -1;
    int stdin_ = -1;
    bool waited_ = false;
};

Bytes H(std::initializer_list<int> v) {
    Bytes b;
    for (int x : v) b.push_back(static_cast<uint8_t>(x));
    return b;
}

TEST(AbortDuringFileBlocks, ArrivesAsItsOwnFrameWithEveryBlockIntact) {
    const TempFolder folder("tr805q-abort-e2e");
    const fs::path& home = folder.Path();
    {
        std::ofstream script(home / "run.mbs");
        script << "        dialog \"go on?\"\n        fopenr \"in.bin\" \"\"\n        stop\n";
        std::ofstream data(home / "in.bin", std::ios::binary);
        for (size_t i = 0; i < 2 * size_t{kFileValues}; ++i) data.put(static_cast<char>(FileByte(i)));
    }

    HandPlayedBoard board;
    ASSERT_FALSE(board.Path().empty());
    CliProcess cli({"--port", board.Path(), "run", (home / "run.mbs").string()}, home);

    // The download: command records until the closing one, then the board's answer byte.
    for (;;) {
        const std::optional<Bytes> head = board.Take(2);
        ASSERT_TRUE(head) << "the download stopped";
        ASSERT_EQ((*head)[0], 0x7E);
        const uint8_t command = (*head)[1];
        ASSERT_TRUE(command == 0x08 || command == 0x09 || command == 0x12) << int(command);
        const std::optional<Bytes> body = board.Take(command == 0x12 ? 4 : 14);
        ASSERT_TRUE(body);
        if (command == 0x09 && *body == H({0x00, 0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})) break;
    }
    board.Send(H({0x7E}));
    ASSERT_EQ(board.Take(2), H({0x7E, 0x0A}));

    // The file is opened; then a dialog waits for the user while the board asks for the whole
    // file, which the worker serves meanwhile.
    board.Send(H({0x7E, 0x05, 0x01, 0x02}));
    ASSERT_EQ(board.Take(6), H({0x7E, 0x14, 0x00, 0x01, 0x86, 0xA0}));
    board.Send(H({0x7E, 0x0A, 0x00, 0x00, 0x00}));
    board.Send(H({0x7E, 0x0B, 0x00, 0x01, 0x86, 0xA0}));

    // The board stops reading; the worker's blocks fill the line. Then the user cancels the
    // dialog, which aborts the run while a block is on its way.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    cli.Answer("cancel\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    // Reading again: only whole frames, in step, the blocks carrying the file in order.
    size_t fileOffset = 0;
    int aborts = 0;
    int statusRequests = 0;
    size_t blocks = 0;
    size_t abortAfterBlocks = 0;
    while (statusRequests == 0) {
        const std::optional<Bytes> head = board.Take(2);
        ASSERT_TRUE(head) << "the line went quiet after " << blocks << " blocks";
        ASSERT_EQ((*head)[0], 0x7E) << "out of step after " << blocks << " blocks";
        const uint8_t command = (*head)[1];
        if (command == 0x0C || command == 0x0D) {
            const std::optional<Bytes> count = board.Take(2);
            ASSERT_TRUE(count);
            const size_t n = (size_t{(*count)[0]} << 8) | (*count)[1];
            ASSERT_LE(n, 2000u) << "block " << blocks;
            const std::optional<Bytes> values = board.Take(n);
            ASSERT_TRUE(values);
            for (size_t i = 0; i < n; ++i) {
                ASSERT_EQ((*values)[i], FileByte(fileOffset + i)) << "block " << blocks << " byte " << i;
            }
            fileOffset += n;
            ++blocks;
        } else if (command == 0x0B) {
            ++aborts;
            abortAfterBlocks = blocks;
            // The board ends the script as aborted at record 0.
            board.Send(H({0x7E, 0x0C, 0x01, 0x00, 0x00}));
        } else if (command == 0x19) {
            ++statusRequests;
            board.Send(H({0x7E, 0x16}));
        } else {
            FAIL() << "unexpected frame 7E " << int(command) << " after " << blocks << " blocks";
        }
    }
    EXPECT_EQ(aborts, 1);
    // The abort went out as soon as the block on its way had left, not after the whole file.
    EXPECT_LT(abortAfterBlocks, 60u) << "the abort waited behind " << abortAfterBlocks << " blocks";
    EXPECT_NE(cli.Wait(10000), -1) << "tr805q-cli did not end";
}

}  // namespace
