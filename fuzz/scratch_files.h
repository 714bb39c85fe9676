#pragma once

// One private directory per fuzzing process for the files a target writes,
// named after the process: in memory (/dev/shm) when the machine has it.
// Every input reuses the same file names.

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

namespace quorvex::fuzz {

// Directories of processes that are gone: libFuzzer often ends without
// running exit handlers, so each process clears what earlier ones left.
inline void RemoveLeftDirectories(const std::filesystem::path& base) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(base, error)) {
        const std::string name = entry.path().filename().string();
        constexpr std::string_view kPrefix = "quorvex-fuzz-";
        if (!name.starts_with(kPrefix)) continue;
        char* end = nullptr;
        const long pid = std::strtol(name.c_str() + kPrefix.size(), &end, 10);
        if (pid <= 0 || *end != '\0') continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            std::filesystem::remove_all(entry.path(), error);
        }
    }
}

inline const std::filesystem::path& ScratchDirectory() {
    static const std::filesystem::path directory = [] {
        std::error_code error;
        std::filesystem::path base = "/dev/shm";
        if (!std::filesystem::is_directory(base, error)) {
            base = std::filesystem::temp_directory_path();
        }
        RemoveLeftDirectories(base);
        const auto path = base / ("quorvex-fuzz-" + std::to_string(::getpid()));
        std::filesystem::remove_all(path, error);
        if (!std::filesystem::create_directory(path, error)) std::abort();
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(ScratchDirectory(), ignored);
        });
        return path;
    }();
    return directory;
}

inline void WriteFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline void WriteFile(const std::filesystem::path& path, std::string_view text) {
    WriteFile(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace quorvex::fuzz
