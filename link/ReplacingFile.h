#pragma once
// A file the user names, saved so that a save that fails half way leaves the previous file as
// it was: the bytes go to a temporary file beside it, made afresh under a name of its own
// ("<name>.<six characters>.tmp~", never one that is there already), which replaces the file
// only once all is written. What the file system says of the file stays: a symbolic link stays
// a link and the file it names gets the bytes; the mode, and where permitted the owner and
// group, are the older file's. A file the user may not write is refused and left alone. Where
// no temporary file can be made beside a file the user may write (a folder without write
// permission), or the name is no plain file (a device), the file is written in place, at the
// commit, so that a save given up before it still leaves the file as it was.
#include <cstdint>
#include <string>
#include <string_view>

class ReplacingFile {
public:
    // A file kept for the user reaches the disk at the commit. A file the program makes anew each
    // time from what it holds (the compiler's listing) may skip that wait: it is still replaced
    // whole or not at all, but a power cut may cost it.
    enum class Durability { Synced, Unsynced };

    explicit ReplacingFile(std::string path, Durability durability = Durability::Synced);
    ~ReplacingFile();  // abandons what was not committed
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // False when the file may not be written (read-only, another's without write access, a
    // folder, a missing folder) or nothing can be made to hold the bytes. Nothing is changed
    // then.
    [[nodiscard]] bool Open();
    [[nodiscard]] bool Write(std::string_view bytes);
    // About how many bytes are coming: where the file system can take the hint, the room for
    // them is taken ahead in one piece (a long file is written faster into room already there
    // than into room found a block at a time), and what the bytes leave of it is given back at
    // the commit. Neither the file's length nor what it holds changes; where the hint cannot be
    // taken (no room, another file system, a file written in place) nothing happens.
    void Reserve(std::uint64_t bytes);
    // Flushes to disk and puts the file in place; false (and the old file kept) on any failure.
    [[nodiscard]] bool Commit();
    void Abandon();

private:
    bool OpenInPlace(int probe, bool plainFile);

    std::string path_;
    std::string target_;  // the file the name leads to, links followed
    std::string temp_;  // empty when writing in place
    int fd_ = -1;
    bool ok_ = true;
    bool inPlace_ = false;
    bool plainFile_ = true;  // in place: a regular file, which is cut to the new length
    std::uint64_t written_ = 0;  // to the temporary file
    std::uint64_t reserved_ = 0;  // room taken ahead in the temporary file
    Durability durability_;
    std::string pending_;  // in place: the bytes, written at the commit
};

// The whole file at once.
bool WriteFileReplacing(const std::string& path, std::string_view bytes);
