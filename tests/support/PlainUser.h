#pragma once
// Runs a piece of a test in a child process as a user who is not the superuser. What a user may
// not write means nothing to the superuser, who may write every file and folder: a test of a
// refused file runs its save as "nobody" when the tests run as root, and as the user it is
// otherwise. The child's answer travels back as its exit status.
#include <functional>

#include <grp.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace plainuser {

// The user (and group) a superuser's test turns into.
inline constexpr uid_t kUid = 65534;
inline constexpr gid_t kGid = 65534;

inline bool IsSuperuser() { return ::geteuid() == 0; }

// fn's result (0..125) in a child process, as a plain user or as this process's user; -1 when
// the child could not be made or died.
inline int InChild(const std::function<int()>& fn, bool asPlainUser) {
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (asPlainUser && IsSuperuser() &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kGid) != 0 || ::setuid(kUid) != 0)) {
            ::_exit(126);
        }
        ::_exit(fn());
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    const int code = WEXITSTATUS(status);
    return code >= 126 ? -1 : code;
}

inline int Run(const std::function<int()>& fn) { return InChild(fn, true); }

// Gives a file or folder made by the test to the plain user, so that the child may write it.
inline bool GiveToPlainUser(const char* path) { return !IsSuperuser() || ::lchown(path, kUid, kGid) == 0; }

}  // namespace plainuser
