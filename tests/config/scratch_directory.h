#pragma once

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes away.

#include <filesystem>
#include <string>
#include <string_view>

namespace quorvex::test {

class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Writes `content` to `name` inside the directory (sub-folders created)
    // and returns the file's full path.
    std::filesystem::path Write(std::string_view name, std::string_view content) const;

private:
    std::filesystem::path path_;
};

// Reads a whole file; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

}  // namespace quorvex::test
