// The XML store over arbitrary files: a load of the bytes as "config.xml"
// after a good document, then every read the program makes of a
// configuration, a walk of the whole tree through the store's operations, and
// a language change saved and read back. A failed load must keep the good
// document; a saved document must load again with the new language.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "config/app_settings.h"
#include "config/text_convert.h"
#include "config/xml_extern.h"
#include "fuzz/fuzz_checks.h"
#include "fuzz/scratch_files.h"

namespace {

using namespace quorvex;
using fuzz::Require;

constexpr int kWalkBudget = 4096;

void RequireTerminated(std::span<const char16_t> buffer, const char* what) {
    bool terminated = false;
    for (const char16_t unit : buffer) terminated = terminated || unit == u'\0';
    Require(terminated, what);
}

// Visits every element the way list users do (CountChildren, then GetChild by
// name from 1), reading each node's text.
void Walk(const XmlExtern& xml, const Xml::Node& node, int depth, int& budget) {
    if (depth > Xml::kMaxDepth + 1 || budget <= 0) return;
    std::array<char16_t, kTextCapacity> text{};
    xml.GetNodeText(node, text);
    RequireTerminated(text, "node text terminated");
    // Small buffers: a text that does not fit leaves the buffer untouched.
    std::array<char16_t, 4> small{u'#', u'#', u'#', u'#'};
    if (!xml.GetNodeText(node, small)) {
        Require(small[0] == u'#' && small[3] == u'#', "a refused copy leaves the buffer");
    }
    for (const auto& [key, child] : node) {
        if (--budget <= 0) return;
        if (key.empty() || key.find('.') != std::string::npos) {
            Walk(xml, child, depth + 1, budget);
            continue;
        }
        // A key without dots is a one-step path to the first child so keyed.
        const Xml::Node* first = nullptr;
        for (const auto& [other_key, other] : node) {
            if (other_key == key) {
                first = &other;
                break;
            }
        }
        Require(xml.CountChildren(node, key) == static_cast<int>(first->size()),
                "a count is the size of the first match");
        const Xml::Node* found = nullptr;
        const bool got = xml.GetChild(key, node, key, 1, found);
        Require(got == (found != nullptr), "the out node matches the result");
        Walk(xml, child, depth + 1, budget);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto& dir = fuzz::ScratchDirectory();
    const auto good_path = dir / "good.xml";
    const auto path = dir / "config.xml";
    fuzz::WriteFile(good_path, "<config><search_interval>45</search_interval></config>");
    fuzz::WriteFile(path, std::span(data, size));

    XmlExtern xml;
    Require(xml.Load(good_path.u16string()), "the good document loads");
    const bool loaded = xml.Load(path.u16string());
    Require(xml.IsLoaded(), "a document stays loaded");
    if (!loaded) {
        Require(xml.SourcePath().empty(), "a failed load forgets the path");
        Require(xml.GetInt("config.search_interval", xml.Root(), 0) == 45,
                "a failed load keeps the previous document");
        Require(!xml.Save(), "nothing is saved without a path");
        return 0;
    }
    Require(xml.SourcePath() == path.u16string(), "a load remembers its path");

    // What the window, the language choice and the command-line tool read.
    const AppSettings settings = ReadAppSettings(xml);
    Require(settings.search_interval >= 10, "the search interval has its floor");
    for (const auto& language : settings.languages) {
        Require(language.text.size() < kTextCapacity && language.file.size() < kTextCapacity,
                "list texts fit their buffers");
    }
    std::array<char16_t, kTextCapacity> text{};
    xml.GetText(xml.Root(), "config.language", text);
    RequireTerminated(text, "language text terminated");

    int budget = kWalkBudget;
    Walk(xml, xml.Root(), 0, budget);

    // A language change: saved, then read back as the next start would.
    Require(xml.SetLanguage(xml.Root(), u"English"), "the language can be set");
    const std::string before = fuzz::ReadFile(path);
    if (!xml.Save()) {
        Require(fuzz::ReadFile(path) == before, "a refused save leaves the file as it was");
        return 0;
    }
    XmlExtern saved;
    Require(saved.Load(path.u16string()), "a saved document loads again");
    std::array<char16_t, kTextCapacity> language{};
    Require(saved.GetText(saved.Root(), "config.language", language), "language readable");
    Require(std::u16string_view(language.data()) == u"English", "the saved language is read back");
    return 0;
}
