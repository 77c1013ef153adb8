#pragma once
// Whole processes timed from outside: from just before the fork to the reaped exit, with the
// processor time and peak memory the system accounts to the child.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace bench {

struct TimedProcess {
    int exitCode = -1;
    double wallSeconds = 0;
    double cpuSeconds = 0;  // user + system
    double peakMiB = 0;  // the child's largest resident size
    std::chrono::steady_clock::time_point started;
    std::string out;  // standard output; standard error is dropped
};

// Runs argv (a path, no search) in folder cwd with its standard output captured.
inline TimedProcess RunTimed(const std::vector<std::string>& argv, const std::string& cwd = ".",
                             const std::vector<std::string>& env = {}) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    for (char** e = environ; *e; ++e) envp.push_back(*e);
    envp.push_back(nullptr);
    int out[2];
    TimedProcess r;
    if (::pipe(out) != 0) return r;
    const int devnull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    r.started = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(devnull, 2);
        ::dup2(devnull, 0);
        if (::chdir(cwd.c_str()) != 0) _exit(126);
        ::execve(args[0], args.data(), envp.data());
        _exit(127);
    }
    ::close(devnull);
    ::close(out[1]);
    char buf[4096];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) r.out.append(buf, static_cast<size_t>(n));
    ::close(out[0]);
    int status = 0;
    rusage usage{};
    if (pid > 0 && ::wait4(pid, &status, 0, &usage) == pid) {
        r.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - r.started).count();
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                       usage.ru_stime.tv_usec / 1e6;
        r.peakMiB = usage.ru_maxrss / 1024.0;
    }
    return r;
}

}  // namespace bench
