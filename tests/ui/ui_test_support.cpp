#include "tests/ui/ui_test_support.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QThread>
#include <cctype>
#include <fstream>
#include <sstream>

#include "config/app_path.h"

namespace quorvex::testing {

namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

std::string TestPack(const std::string& name) {
    std::ostringstream xml;
    auto text = [&](const std::string& what) { return name + " " + what; };
    xml << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<config><dialoglist>\n"
        << "<dialog id=\"100\" caption=\"" << text("about") << "\"><controllist>"
        << "<control id=\"1000\">" << text("version") << "</control></controllist></dialog>\n"
        << "<dialog id=\"0x66\" caption=\"" << text("window") << "\"><controllist>"
        << "<control id=\"1001\" callback=\"1\"><columnlist>";
    for (int i = 0; i < 7; ++i)
        xml << "<column width=\"" << 60 + i << "\">" << text("column " + std::to_string(i))
            << "</column>";
    xml << "</columnlist></control>"
        << "<control id=\"1014\">" << text("language") << "</control>"
        << "<control id=\"1\">" << text("match") << "</control></controllist></dialog>\n"
        << "<dialog id=\"130\" caption=\"" << text("basic") << "\"><controllist>"
        << "<control id=\"1015\">" << text("system firmware")
        << "</control></controllist></dialog>\n"
        << "<dialog id=\"131\" caption=\"" << text("network") << "\"><controllist>"
        << "<control id=\"1010\">" << text("dhcp") << "</control>"
        << "<control id=\"1022\">" << text("ip") << "</control></controllist></dialog>\n"
        << "</dialoglist><menulist><menu id=\"129\"><itemlist>";
    const int ids[] = {32776, 32777, 32778, 32779, 32780};
    for (int i = 0; i < 5; ++i) {
        xml << "<item index=\"" << i << "\" id=\"" << ids[i] << "\">"
            << text("item " + std::to_string(i)) << "</item>";
    }
    xml << "</itemlist></menu></menulist>"
        << "<stringlist><string id=\"1\">" << text("outside")
        << "</string></stringlist></config>\n";
    return xml.str();
}

StagedApp::StagedApp(const StageOptions& options) {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvex-ui-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    std::filesystem::create_directories(dir_ / "Language");

    std::ostringstream config;
    config << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<config>\n";
    if (!options.language.empty()) config << "\t<language>" << options.language << "</language>\n";
    config << "\t<languagelist>\n";
    for (const std::string& language : options.languages) {
        config << "\t\t<language><text>" << language << "</text><file>" << Lower(language)
               << ".xml</file></language>\n";
    }
    config << "\t</languagelist>\n\t<search_interval>" << options.search_interval
           << "</search_interval>\n"
           << "\t<match_address><min>10</min><max>253</max></match_address>\n\t<interfaces>\n";
    for (const std::string& name : options.interfaces)
        config << "\t\t<interface>" << name << "</interface>\n";
    config << "\t</interfaces>\n</config>\n";
    WriteFile("config.xml", config.str());
    WriteFile("Language/alpha.xml", TestPack("Alpha"));
    WriteFile("Language/beta.xml", TestPack("Beta"));
    WriteFile("Language/chinese.xml", TestPack("中文"));
    SetStartupDirectory(dir_);
}

StagedApp::~StagedApp() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::string StagedApp::ReadFile(const std::string& name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void StagedApp::WriteFile(const std::string& name, const std::string& text) const {
    std::ofstream out(dir_ / name, std::ios::binary | std::ios::trunc);
    out << text;
}

}  // namespace quorvex::testing
