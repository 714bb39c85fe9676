#include "cli/effective_settings.h"

#include <filesystem>
#include <system_error>

#include "config/app_path.h"
#include "config/text_convert.h"
#include "config/xml_extern.h"

namespace quorvex {

namespace {

const char kDefaultLanguageFile[] = "english.xml";
const char kOutsideNote[] = "outside subnet";
constexpr int kOutsideNoteString = 1;

std::string AppPath(std::u16string_view file, std::u16string_view folder) {
    char16_t buffer[kTextCapacity] = {};
    if (!MakeAppPath(file, folder, buffer)) return "";
    return Utf16ToUtf8(buffer);
}

}  // namespace

std::string PackString(const std::string& path, int id) {
    XmlExtern pack;
    if (!pack.Load(Utf8ToUtf16(path))) return "";
    const int count = pack.CountChildren(pack.Root(), "config.stringlist");
    for (int i = 1; i <= count; ++i) {
        const Xml::Node* element = nullptr;
        if (!pack.GetChild("string", pack.Root(), "config.stringlist", i, element)) break;
        if (pack.GetInt("<xmlattr>.id", *element, 0) != id) continue;
        char16_t text[kTextCapacity] = {};
        pack.GetNodeText(*element, text);
        return Utf16ToUtf8(text);
    }
    return "";
}

std::optional<EffectiveSettings> LoadEffectiveSettings(const std::string& config_option,
                                                       std::string* error) {
    EffectiveSettings settings;
    if (!config_option.empty()) {
        std::error_code ec;
        const std::filesystem::path file =
            std::filesystem::absolute(config_option, ec).lexically_normal();
        if (ec) {
            *error = "cannot use configuration file '" + config_option + "'";
            return std::nullopt;
        }
        SetStartupDirectory(file.parent_path());
        settings.config_file = file.native();
        settings.config_source = ConfigSource::kOption;
    } else {
        const std::filesystem::path shipped = ShippedDataDirectory();
        if (!shipped.empty()) SetStartupDirectory(shipped);
        const ConfigLocation found =
            FindConfigFile({}, UserConfigFile(), shipped, StartupDirectory());
        settings.config_file = found.file.native();
        settings.config_source = found.source;
    }
    SetConfigFile(settings.config_file);

    XmlExtern config;
    settings.config_loaded = config.Load(Utf8ToUtf16(settings.config_file));
    std::error_code exists_error;
    settings.config_unreadable =
        !settings.config_loaded && std::filesystem::exists(settings.config_file, exists_error);
    if (!settings.config_loaded && !config_option.empty()) {
        *error = "cannot read configuration file '" + settings.config_file +
                 "' (missing, unreadable or not XML)";
        return std::nullopt;
    }
    settings.app = ReadAppSettings(config);
    settings.language = Utf16ToUtf8(settings.app.language);

    // The language file as the window chooses it: the first listed language
    // whose name matches, "english.xml" only when none does.
    const int chosen = FindLanguage(settings.app.languages, settings.app.language);
    const std::u16string file = chosen >= 0
                                    ? settings.app.languages[static_cast<std::size_t>(chosen)].file
                                    : Utf8ToUtf16(kDefaultLanguageFile);
    settings.language_file = AppPath(file, u"Language");

    settings.outside_note = PackString(settings.language_file, kOutsideNoteString);
    if (settings.outside_note.empty()) settings.outside_note = kOutsideNote;
    return settings;
}

}  // namespace quorvex
