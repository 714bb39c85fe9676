#include "config/language_choice.h"

#include <array>
#include <system_error>

#include "config/app_path.h"
#include "config/config_lookup.h"
#include "config/text_convert.h"
#include "config/xml_extern.h"

namespace quorvex {

namespace {

LanguageChoiceSaved Problem(const std::filesystem::path& file, const std::string& what) {
    return {false, file, what + " '" + file.native() + "'"};
}

}  // namespace

LanguageChoiceSaved SaveLanguageChoice(std::u16string_view language,
                                       const std::filesystem::path& config_file,
                                       const std::filesystem::path& user_file) {
    const std::filesystem::path target = user_file.empty() ? config_file : user_file;
    XmlExtern config;
    if (!config.Load(Utf8ToUtf16(config_file.native())))
        return Problem(config_file, "cannot read the configuration file");

    std::error_code error;
    if (target != config_file) {
        std::filesystem::create_directories(target.parent_path(), error);
        if (error)
            return Problem(target.parent_path(),
                           "cannot create the folder (" + error.message() + ")");
        // A copy, not a fresh document: it keeps the language list and
        // every other setting of the file read at start.
        std::filesystem::copy_file(config_file, target,
                                   std::filesystem::copy_options::overwrite_existing, error);
        if (error) return Problem(target, "cannot write (" + error.message() + ")");
        if (!config.Load(Utf8ToUtf16(target.native())))
            return Problem(target, "cannot read back the copy");
        // The copy keeps the shipped file's read-only mode.
        std::filesystem::permissions(target, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add, error);
    }
    if (!config.SetLanguage(config.Root(), language) || !config.Save())
        return Problem(target, "cannot write");
    return {true, target, {}};
}

LanguageChoiceSaved SaveLanguageChoice(std::u16string_view language) {
    std::array<char16_t, 4096> path{};
    if (!MakeAppPath(u"config.xml", u"", path))
        return {false, {}, "the configuration file's path is too long"};
    const std::filesystem::path config_file = Utf16ToUtf8(path.data());
    const LanguageChoiceSaved saved = SaveLanguageChoice(language, config_file, UserConfigFile());
    if (saved.saved) SetConfigFile(saved.file);
    return saved;
}

}  // namespace quorvex
