#pragma once

// Remembering the user's language for the next start.

#include <filesystem>
#include <string>
#include <string_view>

namespace quorvex {

struct LanguageChoiceSaved {
    bool saved = false;
    std::filesystem::path file;  // where the choice was (or would have been) written
    std::string problem;         // when not saved: one line for the user, naming the file
};

// Writes `language` as "config.language" into the per-user config.xml
// `user_file`. When `config_file` (the file read at start) is another one,
// the per-user file begins as a copy of it, in a directory created as
// needed, so a shipped or shared file is never written and the lookup finds
// the user's copy first from now on. An empty `user_file` (no HOME) writes to
// `config_file` itself. Nothing is written when `config_file` cannot be
// read: a broken file of the user's own is not overwritten.
LanguageChoiceSaved SaveLanguageChoice(std::u16string_view language,
                                       const std::filesystem::path& config_file,
                                       const std::filesystem::path& user_file);

// The same for this process: the config.xml that MakeAppPath gives and
// UserConfigFile(). After a save, MakeAppPath gives the file written.
LanguageChoiceSaved SaveLanguageChoice(std::u16string_view language);

}  // namespace quorvex
