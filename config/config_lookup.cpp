#include "config/config_lookup.h"

#include <cstdlib>
#include <system_error>

namespace quorvex {

namespace {

bool Exists(const std::filesystem::path& file) {
    std::error_code error;
    return !file.empty() && std::filesystem::exists(file, error);
}

std::filesystem::path Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::filesystem::path(value) : std::filesystem::path();
}

}  // namespace

ConfigLocation FindConfigFile(const std::filesystem::path& option,
                              const std::filesystem::path& user_file,
                              const std::filesystem::path& shipped_directory,
                              const std::filesystem::path& startup_directory) {
    if (!option.empty()) return {option, ConfigSource::kOption};
    if (Exists(user_file)) return {user_file, ConfigSource::kUser};
    const std::filesystem::path shipped =
        shipped_directory.empty() ? shipped_directory : shipped_directory / "config.xml";
    if (Exists(shipped)) return {shipped, ConfigSource::kShipped};
    return {startup_directory / "config.xml", ConfigSource::kStartup};
}

ConfigLocation FindConfigFile(const std::filesystem::path& option) {
    std::error_code error;
    const std::filesystem::path current = std::filesystem::current_path(error);
    return FindConfigFile(option, UserConfigFile(), ShippedDataDirectory(),
                          error ? std::filesystem::path("/") : current);
}

std::filesystem::path UserConfigFile() {
    // The XDG rules ignore a relative XDG_CONFIG_HOME.
    const std::filesystem::path xdg = Environment("XDG_CONFIG_HOME");
    if (!xdg.empty() && xdg.is_absolute()) return xdg / "quorvex" / "config.xml";
    const std::filesystem::path home = Environment("HOME");
    if (!home.empty()) return home / ".config" / "quorvex" / "config.xml";
    return {};
}

std::filesystem::path ShippedDataDirectory() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    for (const std::filesystem::path& prefix :
         {program.parent_path().parent_path(), program.parent_path().parent_path().parent_path()}) {
        const std::filesystem::path data = prefix / "share" / "quorvex";
        if (std::filesystem::is_directory(data / "Language", error)) return data;
    }
    return {};
}

const char* ConfigSourceText(ConfigSource source) {
    switch (source) {
        case ConfigSource::kOption:
            return "--config";
        case ConfigSource::kUser:
            return "per-user";
        case ConfigSource::kShipped:
            return "shipped";
        case ConfigSource::kStartup:
            return "start-up directory";
    }
    return "";
}

}  // namespace quorvex
