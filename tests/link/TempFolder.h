#pragma once
// A temporary folder that goes away with the test.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

struct TempFolder {
    TempFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tr805q-link-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) path = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::filesystem::path path;
};
