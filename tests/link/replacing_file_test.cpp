// Saving a file the user named: what the file system says of the file is kept, nothing else in
// the folder is touched, and a save that fails leaves the older file as it was.
#include "link/ReplacingFile.h"
#include "tests/support/PlainUser.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <sstream>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void Write(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

struct stat StatOf(const fs::path& p) {
    struct stat st {};
    ::lstat(p.c_str(), &st);
    return st;
}

// Who saves: this process, a child with a file size limit (a write that fails half way), or
// a plain user (see PlainUser.h).
enum class Saver { Self, SizeLimited, PlainUser };

// How: the whole file at once, or opened and written and then given up.
enum class Way { Whole, Abandoned };

struct Case {
    const char* what;
    // Makes the folder's contents and answers the path to save to.
    std::function<fs::path(const fs::path& folder)> setup;
    Saver saver;
    Way way;
    bool saved;
    // What must hold afterwards.
    std::function<void(const fs::path& folder)> check;
    bool needsSuperuser = false;
};

constexpr const char* kNew = "new contents\r\n";

int Save(const fs::path& path, Way way, ReplacingFile::Durability durability) {
    if (way == Way::Whole && durability == ReplacingFile::Durability::Synced)
        return WriteFileReplacing(path.string(), kNew) ? 1 : 0;
    ReplacingFile file(path.string(), durability);
    if (!file.Open() || !file.Write(kNew)) return 0;
    if (way == Way::Whole) return file.Commit() ? 1 : 0;
    file.Abandon();
    return 1;
}

TEST(ReplacingFile, KeepsWhatTheFileSystemSaysAndLosesNothing) {
    const Case cases[] = {
        {"a new file", [](const fs::path& d) { return d / "f.txt"; }, Saver::Self, Way::Whole, true,
         [](const fs::path& d) { EXPECT_EQ(Read(d / "f.txt"), kNew); }},
        {"an older file keeps its mode",
         [](const fs::path& d) {
             Write(d / "f.txt", "old");
             ::chmod((d / "f.txt").c_str(), 0600);
             return d / "f.txt";
         },
         Saver::Self, Way::Whole, true,
         [](const fs::path& d) {
             EXPECT_EQ(Read(d / "f.txt"), kNew);
             EXPECT_EQ(StatOf(d / "f.txt").st_mode & 07777, 0600u);
         }},
        {"a symbolic link stays a link and its target gets the data",
         [](const fs::path& d) {
             fs::create_directory(d / "sub");
             Write(d / "sub" / "t.txt", "old");
             fs::create_symlink("sub/t.txt", d / "l.txt");
             return d / "l.txt";
         },
         Saver::Self, Way::Whole, true,
         [](const fs::path& d) {
             EXPECT_TRUE(fs::is_symlink(d / "l.txt"));
             EXPECT_EQ(fs::read_symlink(d / "l.txt"), "sub/t.txt");
             EXPECT_EQ(Read(d / "sub" / "t.txt"), kNew);
         }},
        {"a link to a link to a file not there yet",
         [](const fs::path& d) {
             fs::create_symlink("m.txt", d / "l.txt");
             fs::create_symlink(d / "t.txt", d / "m.txt");
             return d / "l.txt";
         },
         Saver::Self, Way::Whole, true,
         [](const fs::path& d) {
             EXPECT_TRUE(fs::is_symlink(d / "l.txt"));
             EXPECT_TRUE(fs::is_symlink(d / "m.txt"));
             EXPECT_EQ(Read(d / "t.txt"), kNew);
         }},
        {"a file named like the temporary copy is left alone",
         [](const fs::path& d) {
             Write(d / "f.txt", "old");
             Write(d / "f.txt.tmp~", "mine");
             return d / "f.txt";
         },
         Saver::Self, Way::Whole, true,
         [](const fs::path& d) {
             EXPECT_EQ(Read(d / "f.txt"), kNew);
             EXPECT_EQ(Read(d / "f.txt.tmp~"), "mine");
         }},
        {"a read-only file is refused",
         [](const fs::path& d) {
             Write(d / "f.txt", "old");
             ::chmod((d / "f.txt").c_str(), 0444);
             return d / "f.txt";
         },
         Saver::Self, Way::Whole, false,
         [](const fs::path& d) {
             EXPECT_EQ(Read(d / "f.txt"), "old");
             EXPECT_EQ(StatOf(d / "f.txt").st_mode & 07777, 0444u);
         }},
        {"a file of someone else's without write access, in a folder the user may write",
         [](const fs::path& d) {
             Write(d / "f.txt", "old");
             ::chmod((d / "f.txt").c_str(), 0644);
             ::chmod(d.c_str(), 0777);
             return d / "f.txt";
         },
         Saver::PlainUser, Way::Whole, false,
         [](const fs::path& d) {
             EXPECT_EQ(Read(d / "f.txt"), "old");
             EXPECT_EQ(StatOf(d / "f.txt").st_uid, 0u);
         },
         true},
        {"a writable file in a folder without write permission is saved in place",
         [](const fs::path& d) {
             Write(d / "f.txt", "older and longer contents");
             ::chmod((d / "f.txt").c_str(), 0640);
             plainuser::GiveToPlainUser((d / "f.txt").c_str());
             ::chmod(d.c_str(), 0555);
             return d / "f.txt";
         },
         Saver::PlainUser, Way::Whole, true,
         [](const fs::path& d) {
             EXPECT_EQ(Read(d / "f.txt"), kNew);
             EXPECT_EQ(StatOf(d / "f.txt").st_mode & 07777, 0640u);
         }},
        {"a save in place that is given up leaves the file",
         [](const fs::path& d) {
             Write(d / "f.txt", "old");
             plainuser::GiveToPlainUser((d / "f.txt").c_str());
             ::chmod(d.c_str(), 0555);
             return d / "f.txt";
         },
         Saver::PlainUser, Way::Abandoned, true,
         [](const fs::path& d) { EXPECT_EQ(Read(d / "f.txt"), "old"); }},
        {"a new file in a folder without write permission is refused",
         [](const fs::path& d) {
             ::chmod(d.c_str(), 0555);
             return d / "f.txt";
         },
         Saver::PlainUser, Way::Whole, false,
         [](const fs::path& d) { EXPECT_FALSE(fs::exists(d / "f.txt")); }},
        {"a missing folder is refused", [](const fs::path& d) { return d / "none" / "f.txt"; }, Saver::Self,
         Way::Whole, false, [](const fs::path& d) { EXPECT_FALSE(fs::exists(d / "none")); }},
        {"a folder is no file",
         [](const fs::path& d) {
             fs::create_directory(d / "f.txt");
             return d / "f.txt";
         },
         Saver::Self, Way::Whole, false,
         [](const fs::path& d) { EXPECT_TRUE(fs::is_directory(d / "f.txt")); }},
        {"a full disk behind a link fails and the link stays",
         [](const fs::path& d) {
             fs::create_symlink("/dev/full", d / "l.txt");
             return d / "l.txt";
         },
         Saver::Self, Way::Whole, false,
         [](const fs::path& d) {
             EXPECT_EQ(fs::read_symlink(d / "l.txt"), "/dev/full");
             EXPECT_TRUE(fs::is_character_file("/dev/full"));
         }},
        {"a write that fails half way keeps the older file",
         [](const fs::path& d) {
             Write(d / "f.txt", "old");
             return d / "f.txt";
         },
         Saver::SizeLimited, Way::Whole, false,
         [](const fs::path& d) { EXPECT_EQ(Read(d / "f.txt"), "old"); }},
        {"a save that is given up keeps the older file",
         [](const fs::path& d) {
             Write(d / "f.txt", "old");
             return d / "f.txt";
         },
         Saver::Self, Way::Abandoned, true, [](const fs::path& d) { EXPECT_EQ(Read(d / "f.txt"), "old"); }},
        {"the owner and group are kept where permitted",
         [](const fs::path& d) {
             Write(d / "f.txt", "old");
             ::chmod((d / "f.txt").c_str(), 0640);
             plainuser::GiveToPlainUser((d / "f.txt").c_str());
             return d / "f.txt";
         },
         Saver::Self, Way::Whole, true,
         [](const fs::path& d) {
             EXPECT_EQ(Read(d / "f.txt"), kNew);
             const struct stat st = StatOf(d / "f.txt");
             EXPECT_EQ(st.st_uid, plainuser::kUid);
             EXPECT_EQ(st.st_gid, plainuser::kGid);
             EXPECT_EQ(st.st_mode & 07777, 0640u);
         },
         true},
    };
    // A file made anew each time (Unsynced) is put in place another way: the same must hold.
    for (const ReplacingFile::Durability durability :
         {ReplacingFile::Durability::Synced, ReplacingFile::Durability::Unsynced})
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) +
                         (durability == ReplacingFile::Durability::Synced ? ", synced" : ", unsynced"));
            if (c.needsSuperuser && !plainuser::IsSuperuser()) continue;  // needs a file of another's
            TempFolder temp;
            // The plain user must reach the folder.
            ::chmod(temp.Path().c_str(), 0755);
            const fs::path path = c.setup(temp.Path());
            int result = -1;
            switch (c.saver) {
                case Saver::Self: result = Save(path, c.way, durability); break;
                case Saver::PlainUser:
                    result = plainuser::Run([&] { return Save(path, c.way, durability); });
                    break;
                case Saver::SizeLimited:
                    result = plainuser::InChild(
                        [&] {
                            // Past the limit a write fails with EFBIG rather than ending the process.
                            std::signal(SIGXFSZ, SIG_IGN);
                            const struct rlimit limit { 4, 4 };
                            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 9;
                            return Save(path, c.way, durability);
                        },
                        false);
                    break;
            }
            EXPECT_EQ(result, c.saved ? 1 : 0);
            ::chmod(temp.Path().c_str(), 0755);
            c.check(temp.Path());
            // No temporary copy is left behind, whatever happened.
            size_t temporaries = 0;
            for (const auto& e : fs::recursive_directory_iterator(temp.Path())) {
                const std::string name = e.path().filename().string();
                if (name.size() > 5 && name.substr(name.size() - 5) == ".tmp~" && name != "f.txt.tmp~")
                    ++temporaries;
            }
            EXPECT_EQ(temporaries, 0u);
        }
}

// Room taken ahead for a long file never shows: the file holds its bytes and is as long as they
// are, the room they leave is given back, a save given up leaves nothing, and a limit on file
// sizes below the room (but above the bytes) does not end the saving process.
TEST(ReplacingFile, RoomTakenAheadIsGivenBackAndNeverShows) {
    struct RoomCase {
        const char* what;
        std::uint64_t room;
        std::uint64_t thenRoom;  // asked for next (0: nothing more)
        std::size_t bytes;
        Way way;
        rlim_t sizeLimit;  // 0: none
    };
    const RoomCase cases[] = {
        {"more room than bytes", 4 << 20, 0, 10000, Way::Whole, 0},
        {"less room than bytes", 1000, 0, 100000, Way::Whole, 0},
        // The smaller second hint must not hide the room the first one took.
        {"room asked for twice, the second time less than the bytes", 4 << 20, 1000, 10000, Way::Whole, 0},
        {"a save given up", 4 << 20, 0, 10000, Way::Abandoned, 0},
        {"a file size limit below the room", 4 << 20, 0, 10000, Way::Whole, 64 * 1024},
    };
    for (const ReplacingFile::Durability durability :
         {ReplacingFile::Durability::Synced, ReplacingFile::Durability::Unsynced})
        for (const RoomCase& c : cases) {
            SCOPED_TRACE(std::string(c.what) +
                         (durability == ReplacingFile::Durability::Synced ? ", synced" : ", unsynced"));
            TempFolder temp;
            const fs::path path = temp.Path() / "f.txt";
            Write(path, "old");
            std::string bytes(c.bytes, 'x');
            for (std::size_t i = 0; i < bytes.size(); i += 61) bytes[i] = '\n';
            // In a child, where the limit may end the process (the default for its signal).
            const int result = plainuser::InChild(
                [&] {
                    if (c.sizeLimit != 0) {
                        // Whatever the child might print (a sanitizer's notes) goes nowhere: the
                        // limit holds for every file, and a log collecting the output is past it.
                        const int null = ::open("/dev/null", O_WRONLY);
                        if (null < 0 || ::dup2(null, 1) < 0 || ::dup2(null, 2) < 0) return 10;
                        const struct rlimit limit { c.sizeLimit, c.sizeLimit };
                        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 9;
                    }
                    ReplacingFile file(path.string(), durability);
                    if (!file.Open()) return 8;
                    file.Reserve(c.room);
                    if (c.thenRoom != 0) file.Reserve(c.thenRoom);
                    if (!file.Write(std::string_view(bytes).substr(0, bytes.size() / 2)) ||
                        !file.Write(std::string_view(bytes).substr(bytes.size() / 2)))
                        return 7;
                    if (c.way == Way::Abandoned) {
                        file.Abandon();
                        return 1;
                    }
                    return file.Commit() ? 1 : 0;
                },
                false);
            EXPECT_EQ(result, 1);
            if (c.way == Way::Abandoned) {
                EXPECT_EQ(Read(path), "old");
            } else {
                EXPECT_TRUE(Read(path) == bytes) << "the file does not hold the bytes written";
                const struct stat st = StatOf(path);
                EXPECT_EQ(static_cast<std::size_t>(st.st_size), bytes.size());
                // Blocks of 512 bytes: no more than the bytes and a few blocks of the file system.
                EXPECT_LE(static_cast<std::uint64_t>(st.st_blocks) * 512, bytes.size() + 64 * 1024);
            }
            std::size_t files = 0;
            for ([[maybe_unused]] const auto& e : fs::directory_iterator(temp.Path())) ++files;
            EXPECT_EQ(files, 1u);  // no temporary copy left behind
        }
}

}  // namespace
