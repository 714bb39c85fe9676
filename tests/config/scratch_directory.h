#pragma once

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes away.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace quorvex::test {

class ScratchDirectory {
public:
    ScratchDirectory()
        : path_(::mkdtemp(pattern_.data()) ? pattern_ : throw std::runtime_error("mkdtemp")) {}
    ~ScratchDirectory() { std::filesystem::remove_all(path_, ignored_); }
    const std::filesystem::path& path() const { return path_; }

    // Writes `content` to `name` (sub-folders created); returns the full path.
    std::filesystem::path Write(std::string_view name, std::string_view content) const {
        std::filesystem::create_directories((path_ / name).parent_path());
        std::ofstream(path_ / name, std::ios::binary) << content;
        return path_ / name;
    }

private:
    std::string pattern_ = std::filesystem::temp_directory_path() / "quorvex-config-XXXXXX";
    std::filesystem::path path_;
    std::error_code ignored_;
};

// Reads a whole file; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
    std::ostringstream content;
    content << std::ifstream(path, std::ios::binary).rdbuf();
    return content.str();
}

}  // namespace quorvex::test
