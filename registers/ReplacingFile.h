#pragma once
// A file saved so that a save that fails half way leaves the previous file as it was: the
// bytes go to a temporary file beside it, which replaces the file only once all is written.
#include <string>

class ReplacingFile {
public:
    explicit ReplacingFile(std::string path);
    ~ReplacingFile();  // abandons what was not committed
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // False when the temporary file cannot be created.
    bool Open();
    bool Write(const std::string& bytes);
    // Flushes to disk and puts the file in place; false (and the old file kept) on any failure.
    bool Commit();
    void Abandon();

private:
    std::string path_;
    std::string temp_;
    int fd_ = -1;
    bool ok_ = true;
};

// The whole file at once.
bool WriteFileReplacing(const std::string& path, const std::string& bytes);
