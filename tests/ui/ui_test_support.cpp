#include "tests/ui/ui_test_support.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

#include "config/app_path.h"

namespace quorvex::testing {

namespace {

std::string Pack(const std::string& name) {
    std::ostringstream xml;
    xml << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<config><dialoglist>"
        << "<dialog id=\"0x66\" caption=\"" << name << " window\"><controllist>"
        << "<control id=\"1001\" callback=\"1\"><columnlist>";
    for (int i = 0; i < 7; ++i)
        xml << "<column width=\"60\">" << name << " column " << i << "</column>";
    xml << "</columnlist></control><control id=\"1014\">" << name << " language</control>"
        << "</controllist></dialog></dialoglist><menulist><menu id=\"129\"><itemlist>";
    const int ids[] = {32776, 32777, 32778, 32779, 32780};
    for (int i = 0; i < 5; ++i)
        xml << "<item index=\"" << i << "\" id=\"" << ids[i] << "\">" << name << " item " << i
            << "</item>";
    xml << "</itemlist></menu></menulist><stringlist><string id=\"1\">" << name
        << " outside</string></stringlist></config>\n";
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
    std::ofstream(dir_ / "Language/alpha.xml") << Pack("Alpha");
    std::ofstream(dir_ / "Language/beta.xml") << Pack("Beta");
    SetStartupDirectory(dir_);
}

std::string StagedApp::ReadConfig() const {
    std::ifstream in(dir_ / "config.xml");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace quorvex::testing
