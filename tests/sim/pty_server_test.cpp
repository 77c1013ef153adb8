// The board served on a real pseudo-terminal: one short round trip in real time.
#include "sim/port/PtyServer.h"
#include "tests/sim/BoardTestSupport.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace simtest;
namespace fs = std::filesystem;

namespace {

// Reads until n bytes came or two seconds passed; returns what came.
Bytes ReadFor(int fd, size_t n) {
    Bytes out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (out.size() < n) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        uint8_t buf[64];
        const ssize_t k = ::read(fd, buf, std::min(sizeof buf, n - out.size()));
        if (k <= 0) break;
        out.insert(out.end(), buf, buf + k);
    }
    return out;
}

int OpenPort(const std::string& path) { return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC); }

void WriteAll(int fd, const Bytes& bytes) {
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

TEST(PtyServer, ServesRequestsRegistersThePortAndSurvivesReopening) {
    TempFolder folder("mb805q-pty");
    sim::PtyServer server;
    std::string error;
    ASSERT_TRUE(server.Start(PortTable(folder.Path()), &error)) << error;
    EXPECT_TRUE(server.Running());
    ASSERT_GE(server.PortNumber(), 1);
    const fs::path link = folder.Path() / ("COM" + std::to_string(server.PortNumber()));
    EXPECT_EQ(fs::read_symlink(link).string(), server.DevicePath());

    int fd = OpenPort(server.DevicePath());
    ASSERT_GE(fd, 0);
    WriteAll(fd, Hex("7E 03 20 12 34 02"));
    EXPECT_EQ(ToHex(ReadFor(fd, 1)), "7E");
    ::close(fd);

    // The program closes and reopens its port (as after starting the loader): nothing is lost.
    fd = OpenPort(server.DevicePath());
    ASSERT_GE(fd, 0);
    WriteAll(fd, Hex("7E 05 20 02"));
    EXPECT_EQ(ToHex(ReadFor(fd, 4)), "7E 14 12 34");
    ::close(fd);

    uint16_t value = 0;
    server.WithBoard([&](sim::Board& b) { value = b.Register(2, 0x20); });
    EXPECT_EQ(value, 0x1234);

    server.Stop();
    EXPECT_FALSE(server.Running());
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    server.Stop();  // twice is harmless
}

TEST(PtyServer, ClosesThePtyWhenTheBoardClosesTheLine) {
    auto board = std::make_unique<sim::Board>();
    board->faults().closeAfterBytes = 3;
    sim::PtyServer server(std::move(board));
    ASSERT_TRUE(server.Start());
    EXPECT_EQ(server.PortNumber(), -1);  // no table: not registered
    const int fd = OpenPort(server.DevicePath());
    ASSERT_GE(fd, 0);
    WriteAll(fd, Hex("7E 05 20 01"));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!server.LineClosed() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(server.LineClosed());
    // The program's side sees the line gone: a read ends at once, with an error or nothing.
    uint8_t b = 0;
    pollfd p{fd, POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 1000), 1);
    EXPECT_LE(::read(fd, &b, 1), 0);
    ::close(fd);
    server.Stop();
}

// A paced line: a trace reply of 100 records (1410 bytes with the request) takes its wire time
// at 100,000 baud, 141 ms, and comes whole and in order.
TEST(PtyServer, APacedLineTakesTheWireTimeOfWhatItMoves) {
    sim::BoardConfig config;
    config.fillTrace = 100;
    auto board = std::make_unique<sim::Board>(config);
    sim::Board reference(config);
    sim::PtyServer server(std::move(board));
    server.SetLineRate(100'000);
    ASSERT_TRUE(server.Start());
    const int fd = OpenPort(server.DevicePath());
    ASSERT_GE(fd, 0);
    const std::string request = "7E 1A 00 00 00 00 08 00";
    const auto start = std::chrono::steady_clock::now();
    WriteAll(fd, Hex(request));
    const Bytes reply = ReadFor(fd, 100 * 14 + 2);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    ::close(fd);
    EXPECT_EQ(ToHex(reply), Exchange(reference, request));
    EXPECT_GE(elapsed, std::chrono::milliseconds(141 - 3));  // the wire time, less the last piece
}

}  // namespace
