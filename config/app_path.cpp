#include "config/app_path.h"

#include <mutex>
#include <optional>
#include <string>
#include <system_error>

#include "config/config_lookup.h"
#include "config/text_convert.h"

namespace quorvex {
namespace {

std::mutex startup_mutex;
std::optional<std::filesystem::path> startup_directory;
std::optional<std::filesystem::path> config_file;

// Holds startup_mutex. Linux paths are bytes; they are taken as UTF-8.
const std::filesystem::path& FixedStartupDirectory() {
    if (!startup_directory) {
        std::error_code error;
        auto current = std::filesystem::current_path(error);
        startup_directory = error ? std::filesystem::path("/") : current;
    }
    return *startup_directory;
}

}  // namespace

bool MakeAppPath(std::u16string_view file_name, std::u16string_view sub_folder,
                 std::span<char16_t> buffer, std::size_t* length) {
    std::u16string path;
    if (file_name == u"config.xml" && sub_folder.empty()) {
        std::lock_guard lock(startup_mutex);
        if (!config_file)
            config_file = FindConfigFile({}, UserConfigFile(), ShippedDataDirectory(),
                                         FixedStartupDirectory())
                              .file;
        path = Utf8ToUtf16(config_file->native());
    } else {
        {
            std::lock_guard lock(startup_mutex);
            path = Utf8ToUtf16(FixedStartupDirectory().native());
        }
        if (path.empty() || path.back() != u'/') path += u'/';
        if (!sub_folder.empty()) {
            path += sub_folder;
            if (sub_folder.back() != u'/') path += u'/';
        }
        path += file_name;
    }
    if (path.size() >= buffer.size()) return false;
    path.copy(buffer.data(), path.size());
    buffer[path.size()] = u'\0';
    if (length != nullptr) *length = path.size();
    return true;
}

void SetStartupDirectory(const std::filesystem::path& directory) {
    std::error_code error;
    auto absolute = std::filesystem::absolute(directory, error);
    std::lock_guard lock(startup_mutex);
    startup_directory = error ? directory : absolute.lexically_normal();
    config_file.reset();
}

void SetConfigFile(const std::filesystem::path& file) {
    std::error_code error;
    auto absolute = std::filesystem::absolute(file, error);
    std::lock_guard lock(startup_mutex);
    config_file = error ? file : absolute.lexically_normal();
}

std::filesystem::path StartupDirectory() {
    std::lock_guard lock(startup_mutex);
    return FixedStartupDirectory();
}

void ResetStartupDirectory() {
    std::lock_guard lock(startup_mutex);
    startup_directory.reset();
    config_file.reset();
}

}  // namespace quorvex
