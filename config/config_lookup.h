#pragma once

// Where config.xml is looked up, the same for the window and quorvex-cli:
//   1. the file named by the command line (quorvex-cli --config FILE);
//   2. the per-user file, $XDG_CONFIG_HOME/quorvex/config.xml
//      (~/.config/quorvex/config.xml when XDG_CONFIG_HOME is not set);
//   3. the shipped file, share/quorvex/config.xml under the installation
//      prefix (found from the running program: PREFIX/bin or PREFIX/lib/quorvex);
//   4. config.xml in the start-up directory (a build tree, a copied folder).
// The first that exists is used, also when it then cannot be read: a
// broken file of the user's own is reported, never silently passed over.

#include <filesystem>

namespace quorvex {

enum class ConfigSource { kOption, kUser, kShipped, kStartup };

struct ConfigLocation {
    std::filesystem::path file;
    ConfigSource source = ConfigSource::kStartup;
};

// The lookup itself over given places; an empty `option`, `user_file` or
// `shipped_directory` is skipped. Touches the file system only to test
// existence.
ConfigLocation FindConfigFile(const std::filesystem::path& option,
                              const std::filesystem::path& user_file,
                              const std::filesystem::path& shipped_directory,
                              const std::filesystem::path& startup_directory);

// The lookup with the places of this process (environment, program path,
// start-up directory).
ConfigLocation FindConfigFile(const std::filesystem::path& option = {});

// $XDG_CONFIG_HOME/quorvex/config.xml, else $HOME/.config/quorvex/config.xml;
// empty when neither variable is set (or XDG_CONFIG_HOME is relative).
std::filesystem::path UserConfigFile();

// PREFIX/share/quorvex for the program running from PREFIX/bin or
// PREFIX/lib/quorvex, when that directory exists; empty otherwise.
std::filesystem::path ShippedDataDirectory();

// "--config", "per-user", "shipped", "start-up directory".
const char* ConfigSourceText(ConfigSource source);

}  // namespace quorvex
