#pragma once

// The settings that the window and the command-line tool read from
// "config.xml", read the same way for both.

#include <string>
#include <vector>

#include "config/xml_extern.h"

namespace quorvex {

// One entry of "config.languagelist": the name shown and the file in the
// "Language" folder.
struct LanguageEntry {
    std::u16string text;
    std::u16string file;
};

struct AppSettings {
    int search_interval = 30;              // seconds; values below 10 read as 30
    int match_min = 10;                    // lowest host number handed out
    int match_max = 253;                   // highest host number handed out
    std::u16string language;               // "config.language", empty when absent
    std::vector<LanguageEntry> languages;  // in file order
    // Kernel interface names from "config.interfaces.interface"; empty means
    // every suitable interface.
    std::vector<std::string> interfaces;
};

// Reads everything above from a document; a document that is not loaded
// gives the defaults and empty lists.
AppSettings ReadAppSettings(const XmlExtern& config);

// The language list alone, walked like every list: up to CountChildren
// entries, stopping at the first missing `language` element. An entry
// without `text` or `file` (or with one of 260 units or more) has it empty.
std::vector<LanguageEntry> ReadLanguageList(const XmlExtern& config);

// Index of the first entry whose text equals `language` ignoring ASCII case,
// or -1.
int FindLanguage(const std::vector<LanguageEntry>& languages, std::u16string_view language);

}  // namespace quorvex
