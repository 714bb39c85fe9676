#include "tests/ui/ui_test_support.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

#include "config/app_path.h"

namespace quorvex::testing {

namespace {

// Ids of the window's own strings; a pack with `new_texts` names them all.
constexpr int kNewStrings[] = {100, 101, 102, 103, 104, 105, 106, 107, 108, 120, 121,
                               122, 123, 124, 125, 126, 127, 128, 129, 130, 131, 132,
                               133, 134, 135, 140, 141, 142, 143, 144, 145, 146, 150,
                               151, 152, 153, 154, 155, 156, 160, 161, 162, 163, 164};

std::string Pack(const std::string& name, bool new_texts) {
    std::ostringstream xml;
    xml << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<config><dialoglist>"
        << "<dialog id=\"0x66\" caption=\"" << name << " window\"><controllist>"
        << "<control id=\"1001\" callback=\"1\"><columnlist>";
    for (int i = 0; i < 7; ++i)
        xml << "<column width=\"60\">" << name << " column " << i << "</column>";
    xml << "</columnlist></control><control id=\"1014\">" << name << " language</control>"
        << "</controllist></dialog></dialoglist><menulist><menu id=\"129\"><itemlist>";
    const int ids[] = {32776, 32777, 32778, 32779, 32780, 32781, 32782, 32783};
    for (int i = 0; i < (new_texts ? 8 : 5); ++i)
        xml << "<item index=\"" << i << "\" id=\"" << ids[i] << "\">" << name << " item " << i
            << "</item>";
    xml << "</itemlist></menu></menulist><stringlist><string id=\"1\">" << name
        << " outside</string>";
    if (new_texts) {
        for (const int id : kNewStrings)
            xml << "<string id=\"" << id << "\">" << name << " s" << id << " %1 %2 %3</string>";
    }
    xml << "</stringlist></config>\n";
    return xml.str();
}

}  // namespace

StagedApp::StagedApp(const std::vector<std::string>& interfaces) {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvex-ui-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    std::filesystem::create_directories(dir_ / "Language");
    std::ofstream config(dir_ / "config.xml");
    config << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<config><language>Alpha</language>"
           << "<languagelist><language><text>Alpha</text><file>alpha.xml</file></language>"
           << "<language><text>Beta</text><file>beta.xml</file></language></languagelist>"
           << "<search_interval>30</search_interval>"
           << "<match_address><min>10</min><max>253</max></match_address><interfaces>";
    for (const std::string& name : interfaces) config << "<interface>" << name << "</interface>";
    config << "</interfaces></config>\n";
    std::ofstream(dir_ / "Language/alpha.xml") << Pack("Alpha", false);
    std::ofstream(dir_ / "Language/beta.xml") << Pack("Beta", true);
    SetStartupDirectory(dir_);
}

std::string StagedApp::ReadConfig() const {
    std::ifstream in(dir_ / "config.xml");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace quorvex::testing
