#pragma once

// The settings a command runs with, read from "config.xml" as the window reads
// them. With --config FILE it is FILE, and FILE's directory becomes the
// start-up directory, so the "Language" folder is looked for beside it.
// Without, the file comes from the lookup of config/config_lookup.h (per-user,
// shipped, start-up directory) and the language packs from the installation's
// share directory when there is one.

#include <optional>
#include <string>
#include <vector>

#include "config/app_settings.h"
#include "config/config_lookup.h"

namespace quorvex {

struct EffectiveSettings {
    AppSettings app;          // search interval (floor applied), host range, language, interfaces
    std::string config_file;  // absolute path of the file read (or looked for)
    ConfigSource config_source = ConfigSource::kStartup;
    bool config_loaded = false;  // false: missing or malformed, so every value is its default
    // The file exists but could not be read or parsed: its interface list,
    // if any, is unknown.
    bool config_unreadable = false;
    std::string language;       // "config.language", UTF-8
    std::string language_file;  // the pack that would be loaded
    // Stands in the address column for a device outside its interface's
    // subnet: string 1 of the language pack, or a fixed English note.
    std::string outside_note;
};

// Reads the settings. A missing or malformed default "config.xml" gives the
// defaults, as for the window; a --config file that cannot be read is an
// error: nullopt, with the one-line reason in *error.
std::optional<EffectiveSettings> LoadEffectiveSettings(const std::string& config_option,
                                                       std::string* error);

// String `id` of the language pack at `path` (the first element with that id
// wins), or empty text when the file or the string is missing.
std::string PackString(const std::string& path, int id);

}  // namespace quorvex
