#pragma once
// A fresh empty folder of the test's own, removed with everything in it when the test is done.
// Each one has a name no other test (or other run of the same test) can have, so tests that run
// side by side never see each other's files. Header only: the benchmarks use it too.
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>

#include <stdlib.h>

class TempFolder {
public:
    // `prefix` names the folder after what it holds, to tell leftovers apart.
    explicit TempFolder(std::string_view prefix = "tr805q") {
        std::string pattern = (std::filesystem::temp_directory_path() / prefix).string() + "-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::system_error(errno, std::generic_category(), "cannot make the folder " + pattern);
        // The folder's own name, links resolved: what the program reports for a file in it.
        path_ = std::filesystem::canonical(pattern);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The path of a file in the folder.
    std::string File(std::string_view name) const { return (path_ / name).string(); }
    // Writes a file in the folder (bytes as given) and returns its path.
    std::string Write(std::string_view name, std::string_view text) const {
        const std::string p = File(name);
        std::ofstream(p, std::ios::binary) << text;
        return p;
    }
    // A file's bytes; empty when there is none.
    std::string Read(std::string_view name) const {
        std::ifstream in(File(name), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

private:
    std::filesystem::path path_;
};
