#include "link/ReplacingFile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>

namespace {

// As many links as the system itself follows before it gives up (ELOOP).
constexpr int kMaxLinks = 40;
constexpr int kNameAttempts = 100;

// The file a name leads to: links followed one by one, so that a link to a file not there yet
// leads to the name that file is to have.
// Puts the written copy in the file's place. A rename over a file makes the file system write
// the copy's data out first (its guard for files replaced that way), a wait that a synced file
// has already paid and that a file made anew each time need not take: such a copy is swapped
// with the older file, which is then removed. Where there is no older plain file to swap with, or
// the file system cannot swap, the copy is renamed.
bool PutInPlace(const std::string& temp, const std::string& target, bool synced) {
#ifdef RENAME_EXCHANGE
    struct stat st {};
    if (!synced && ::lstat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
        ::unlink(temp.c_str());  // the older file, under the copy's name now
        return true;
    }
#else
    (void)synced;
#endif
    return ::rename(temp.c_str(), target.c_str()) == 0;
}

bool FollowLinks(std::string path, std::string& target) {
    for (int i = 0; i < kMaxLinks; ++i) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            if (errno != ENOENT) return false;
            target = path;
            return true;
        }
        if (!S_ISLNK(st.st_mode)) {
            target = path;
            return true;
        }
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
        if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return false;
        const std::string next(buffer, static_cast<size_t>(n));
        const size_t slash = path.find_last_of('/');
        if (next.front() == '/' || slash == std::string::npos) {
            path = next;
        } else {
            path = path.substr(0, slash + 1) + next;
        }
    }
    errno = ELOOP;
    return false;
}

// Six characters that differ from one call to the next and from one process to another; the
// exclusive create is what makes the name safe, these only make a clash rare.
std::string UniqueSuffix() {
    static std::atomic<uint64_t> counter{0};
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    uint64_t x = counter.fetch_add(1) * 0x9E3779B97F4A7C15ull ^ static_cast<uint64_t>(::getpid()) << 32 ^
                 static_cast<uint64_t>(now.tv_nsec) ^ static_cast<uint64_t>(now.tv_sec) << 20;
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    x ^= x >> 31;
    static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string s;
    for (int i = 0; i < 6; ++i) {
        s += kChars[x % (sizeof kChars - 1)];
        x /= sizeof kChars - 1;
    }
    return s;
}

bool WriteAll(int fd, const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

ReplacingFile::ReplacingFile(std::string path, Durability durability)
    : path_(std::move(path)), durability_(durability) {}

ReplacingFile::~ReplacingFile() { Abandon(); }

bool ReplacingFile::Open() {
    Abandon();
    ok_ = true;
    inPlace_ = false;
    if (!FollowLinks(path_, target_)) return ok_ = false;

    struct stat st {};
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) return ok_ = false;
    int probe = -1;
    if (exists) {
        if (S_ISDIR(st.st_mode)) return ok_ = false;
        const bool plain = S_ISREG(st.st_mode);
        // A file marked read-only for everyone is the user's choice to keep it: refused even
        // for the superuser, who may write anything.
        if (plain && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return ok_ = false;
        // Opening for writing, without cutting, asks the system whether this user may write
        // the file. A device is not waited for (a pipe without a reader).
        probe = ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | (plain ? 0 : O_NONBLOCK));
        if (probe < 0) return ok_ = false;
        // A device or a pipe is written, never replaced by a plain file.
        if (!plain) return OpenInPlace(probe, false);
    }

    const size_t slash = target_.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string temp = folder + name + "." + UniqueSuffix() + ".tmp~";
        // A new file gets the mode any new file gets (the umask applies); a replaced one the
        // older file's, set below.
        const int fd =
            ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, exists ? 0600 : 0666);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) {
            if (exists && (errno == EACCES || errno == EPERM)) return OpenInPlace(probe, true);
            if (probe >= 0) ::close(probe);
            return ok_ = false;
        }
        temp_ = temp;
        fd_ = fd;
        if (exists) {
            ::close(probe);
            // Giving a file away is for the superuser (or to one's own group): where it is not
            // permitted the copy stays the saver's. The mode goes after, as a change of owner
            // clears the set-user-ID bit.
            const bool given = ::fchown(fd_, st.st_uid, st.st_gid) == 0 ||
                               ::fchown(fd_, static_cast<uid_t>(-1), st.st_gid) == 0;
            static_cast<void>(given);
            if (::fchmod(fd_, st.st_mode & 07777) != 0) {
                Abandon();
                return ok_ = false;
            }
        }
        return true;
    }
    if (probe >= 0) ::close(probe);
    return ok_ = false;
}

bool ReplacingFile::OpenInPlace(int probe, bool plainFile) {
    // Writes must not fail for want of a reader's pace once the save is under way.
    const int flags = ::fcntl(probe, F_GETFL);
    if (flags < 0 || ::fcntl(probe, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(probe);
        return ok_ = false;
    }
    fd_ = probe;
    inPlace_ = true;
    plainFile_ = plainFile;
    pending_.clear();
    return true;
}

void ReplacingFile::Reserve(std::uint64_t bytes) {
    if (fd_ < 0 || !ok_ || inPlace_ || bytes <= reserved_ || bytes > static_cast<std::uint64_t>(INT64_MAX))
        return;
#ifdef FALLOC_FL_KEEP_SIZE
    // Kept to the file's present length, so that a limit on file sizes (which a longer length
    // would meet at once, with a signal that ends the program) only ever meets the bytes
    // themselves. One that fails (no room for all of it) may still have taken some, which the
    // commit gives back as well.
    (void)::fallocate(fd_, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes));
    reserved_ = bytes;
#endif
}

bool ReplacingFile::Write(std::string_view bytes) {
    if (fd_ < 0) ok_ = false;
    if (!ok_) return false;
    if (inPlace_) {
        pending_ += bytes;
    } else {
        ok_ = WriteAll(fd_, bytes.data(), bytes.size());
        if (ok_) written_ += bytes.size();
    }
    return ok_;
}

bool ReplacingFile::Commit() {
    if (fd_ < 0) return false;
    bool ok = ok_;
    const bool sync = durability_ == Durability::Synced;
    if (inPlace_) {
        ok = ok && WriteAll(fd_, pending_.data(), pending_.size());
        if (plainFile_) {
            ok = ok && ::ftruncate(fd_, static_cast<off_t>(pending_.size())) == 0 &&
                 (!sync || ::fsync(fd_) == 0);
        }
    } else {
        // Room taken ahead past the bytes is given back: cut to the length the file has.
        if (ok && reserved_ > written_) ok = ::ftruncate(fd_, static_cast<off_t>(written_)) == 0;
        ok = ok && (!sync || ::fsync(fd_) == 0);
    }
    ok = ::close(fd_) == 0 && ok;
    fd_ = -1;
    pending_.clear();
    if (!temp_.empty()) {
        if (ok) ok = PutInPlace(temp_, target_, sync);
        if (!ok) ::unlink(temp_.c_str());
        temp_.clear();
    }
    return ok;
}

void ReplacingFile::Abandon() {
    pending_.clear();
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
}

bool WriteFileReplacing(const std::string& path, std::string_view bytes) {
    ReplacingFile file(path);
    return file.Open() && file.Write(bytes) && file.Commit();
}
