#include "tests/e2e/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace {

// Forks and execs argv with stdout and stderr on the given descriptors.
// Everything is prepared before fork: the child only calls what is safe after it.
int Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, int outFd, int errFd) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    for (char** e = environ; *e; ++e) envp.push_back(*e);  // later entries lose to earlier ones
    envp.push_back(nullptr);
    const int devnull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t pid = fork();
    if (pid != 0) {
        close(devnull);
        return pid;
    }
    dup2(outFd, 1);
    dup2(errFd, 2);
    dup2(devnull, 0);
    execve(args[0], args.data(), envp.data());
    _exit(127);
}

std::string ReadAll(int fd) {
    std::string s;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) s.append(buf, static_cast<size_t>(n));
    return s;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return {};
    const int pid = Spawn(argv, env, out[1], err[1]);
    close(out[1]);
    close(err[1]);
    ProcessResult r;
    // Small outputs: reading stdout to its end first cannot block on a full stderr pipe.
    r.out = ReadAll(out[0]);
    r.err = ReadAll(err[0]);
    close(out[0]);
    close(err[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

ProcessResult RunProcessOnTerminal(const std::vector<std::string>& argv,
                                   const std::vector<std::string>& env) {
    int out[2];
    int master = -1, slave = -1;
    if (pipe(out) != 0) return {};
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        close(out[0]);
        close(out[1]);
        return {};
    }
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    const int pid = Spawn(argv, env, out[1], slave);
    close(out[1]);
    close(slave);
    ProcessResult r;
    // Both at once: a terminal holds little, and the program must not block on it. The master
    // reports an error once the program has exited and the terminal has no writer left.
    pollfd fds[2] = {{out[0], POLLIN, 0}, {master, POLLIN, 0}};
    std::string* into[2] = {&r.out, &r.err};
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, 10000) <= 0) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buf[4096];
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                into[i]->append(buf, static_cast<size_t>(n));
            } else {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    close(out[0]);
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv,
                                     const std::vector<std::string>& env) {
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = Spawn(argv, env, out[1], 2);
    close(out[1]);
    outFd_ = out[0];
}

BackgroundProcess::~BackgroundProcess() { Stop(); }

std::string BackgroundProcess::FirstLine(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (buffered_.find('\n') == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                .count();
        if (left <= 0) return {};
        pollfd p{outFd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        char buf[256];
        const ssize_t n = read(outFd_, buf, sizeof buf);
        if (n <= 0) return {};
        buffered_.append(buf, static_cast<size_t>(n));
    }
    return buffered_.substr(0, buffered_.find('\n'));
}

int BackgroundProcess::End(int signal) {
    if (pid_ <= 0) return -1;
    kill(pid_, signal);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    if (outFd_ >= 0) close(outFd_);
    outFd_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
