#include "config/app_settings.h"
namespace quorvex {
AppSettings ReadAppSettings(const XmlExtern&) { return {}; }
std::vector<LanguageEntry> ReadLanguageList(const XmlExtern&) { return {}; }
int FindLanguage(const std::vector<LanguageEntry>&, std::u16string_view) { return -1; }
}
