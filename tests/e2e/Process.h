#pragma once
// Starting the real executables from a test, with their output captured.
#include <csignal>
#include <string>
#include <vector>

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a program to its end with the given extra environment ("NAME=value").
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env);
// The same with standard error on a pseudo-terminal in raw mode, as in a terminal window but with
// every byte as written: `err` holds what the terminal received.
ProcessResult RunProcessOnTerminal(const std::vector<std::string>& argv, const std::vector<std::string>& env);

// A program left running in the background; stopped (SIGTERM, then waited for) on destruction.
class BackgroundProcess {
public:
    BackgroundProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env);
    ~BackgroundProcess();
    // The first line the program printed, waiting at most timeoutMs.
    std::string FirstLine(int timeoutMs);
    // Sends SIGTERM and returns the exit status.
    int Stop() { return End(SIGTERM); }
    // Kills the program as a crash would: it gets no chance to clean up.
    int Kill() { return End(SIGKILL); }

private:
    int End(int signal);

    int pid_ = -1;
    int outFd_ = -1;
    std::string buffered_;
};
