#include "registers/ReplacingFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

ReplacingFile::ReplacingFile(std::string path) : path_(std::move(path)), temp_(path_ + ".tmp~") {}

ReplacingFile::~ReplacingFile() { Abandon(); }

bool ReplacingFile::Open() {
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ok_ = fd_ >= 0;
    return ok_;
}

bool ReplacingFile::Write(const std::string& bytes) {
    size_t done = 0;
    while (ok_ && done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok_ = n > 0;
        if (ok_) done += static_cast<size_t>(n);
    }
    return ok_;
}

bool ReplacingFile::Commit() {
    if (fd_ < 0) return false;
    bool ok = ok_ && ::fsync(fd_) == 0;
    ok = ::close(fd_) == 0 && ok;
    fd_ = -1;
    if (ok) ok = std::rename(temp_.c_str(), path_.c_str()) == 0;
    if (!ok) std::remove(temp_.c_str());
    return ok;
}

void ReplacingFile::Abandon() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
    std::remove(temp_.c_str());
}

bool WriteFileReplacing(const std::string& path, const std::string& bytes) {
    ReplacingFile file(path);
    return file.Open() && file.Write(bytes) && file.Commit();
}
