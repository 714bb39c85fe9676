#pragma once

// Places the program's files in its start-up directory: "config.xml", the
// language files under "Language" and the banner image.

#include <cstddef>
#include <filesystem>
#include <span>
#include <string_view>

namespace quorvex {

// Builds "<start-up directory>/<sub_folder>/<file_name>" (the sub-folder part
// only when `sub_folder` is not empty; no second "/" when it already ends in
// one). The separator is always "/". Returns false and leaves `buffer`
// untouched when the path has buffer.size() units or more; otherwise copies it
// with its terminator and stores its length (without the terminator) in
// `*length` when given.
//
// The start-up directory is the process's current directory at the first path
// built (or the one given to SetStartupDirectory before that), remembered for
// the rest of the run.
//
// "config.xml" without a sub-folder is the exception: it is the file that
// SetConfigFile named, or else the one that the lookup of config_lookup.h
// finds (per-user, shipped, start-up directory), looked up once per run.
bool MakeAppPath(std::u16string_view file_name, std::u16string_view sub_folder,
                 std::span<char16_t> buffer, std::size_t* length = nullptr);

// Fixes the start-up directory explicitly, replacing any remembered one. The
// command-line tool's "--config FILE" makes FILE's directory the start-up
// directory this way. A relative path is made absolute against the current
// directory.
void SetStartupDirectory(const std::filesystem::path& directory);

// Fixes the file that MakeAppPath gives for "config.xml" (quorvex-cli's
// --config and lookup). SetStartupDirectory and ResetStartupDirectory forget it.
void SetConfigFile(const std::filesystem::path& file);

// The start-up directory, fixing it now if no path has been built yet.
std::filesystem::path StartupDirectory();

// Forgets the remembered directory, so the next path fixes it again (tests).
void ResetStartupDirectory();

}  // namespace quorvex
