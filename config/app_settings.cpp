#include "config/app_settings.h"

#include <array>

#include "config/text_convert.h"

namespace quorvex {
namespace {

constexpr int kDefaultSearchInterval = 30;
constexpr int kMinSearchInterval = 10;

std::u16string ReadText(const XmlExtern& config, const Xml::Node& node, std::string_view path) {
    std::array<char16_t, kTextCapacity> text{};
    if (!config.GetText(node, path, text)) return {};
    return text.data();
}

}  // namespace

std::vector<LanguageEntry> ReadLanguageList(const XmlExtern& config) {
    std::vector<LanguageEntry> languages;
    const int count = config.CountChildren(config.Root(), "config.languagelist");
    for (int i = 1; i <= count; ++i) {
        const Xml::Node* entry = nullptr;
        if (!config.GetChild("language", config.Root(), "config.languagelist", i, entry)) break;
        languages.push_back({ReadText(config, *entry, "text"), ReadText(config, *entry, "file")});
    }
    return languages;
}

int FindLanguage(const std::vector<LanguageEntry>& languages, std::u16string_view language) {
    for (std::size_t i = 0; i < languages.size(); ++i) {
        if (EqualsIgnoringAsciiCase(languages[i].text, language)) return static_cast<int>(i);
    }
    return -1;
}

AppSettings ReadAppSettings(const XmlExtern& config) {
    AppSettings settings;
    const auto& root = config.Root();
    settings.search_interval =
        config.GetInt("config.search_interval", root, kDefaultSearchInterval);
    if (settings.search_interval < kMinSearchInterval) {
        settings.search_interval = kDefaultSearchInterval;
    }
    settings.match_min = config.GetInt("config.match_address.min", root, settings.match_min);
    settings.match_max = config.GetInt("config.match_address.max", root, settings.match_max);
    settings.language = ReadText(config, root, "config.language");
    settings.languages = ReadLanguageList(config);

    const int count = config.CountChildren(root, "config.interfaces");
    for (int i = 1; i <= count; ++i) {
        const Xml::Node* entry = nullptr;
        if (!config.GetChild("interface", root, "config.interfaces", i, entry)) break;
        std::array<char16_t, kTextCapacity> name{};
        if (config.GetNodeText(*entry, name) && name[0] != u'\0') {
            settings.interfaces.push_back(Utf16ToUtf8(name.data()));
        }
    }
    return settings;
}

}  // namespace quorvex
