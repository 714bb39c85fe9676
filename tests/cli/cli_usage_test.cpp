// The real quorvex-cli in this process's own network namespace, only for
// runs that send nothing: arguments that parsing refuses, help, and `config`.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/cli/bad_usage_cases.h"
#include "tests/cli/report_readers.h"
#include "tests/cli/run_program.h"

namespace quorvex {
namespace {

using testing::CliPath;
using testing::ProgramResult;
using testing::ReadJson;
using testing::RunProgram;

ProgramResult Cli(std::vector<std::string> args, const std::string& directory = "") {
    args.insert(args.begin(), CliPath());
    return RunProgram(args, directory);
}

class ScratchDirectory {
public:
    ScratchDirectory() {
        char path[] = "/tmp/quorvex-cli-test-XXXXXX";
        EXPECT_NE(::mkdtemp(path), nullptr);
        path_ = path;
    }
    ~ScratchDirectory() { std::filesystem::remove_all(path_); }
    const std::string& path() const { return path_; }
    std::string Write(const std::string& name, const std::string& text) const {
        const std::string file = path_ + "/" + name;
        std::ofstream(file, std::ios::binary) << text;
        return file;
    }

private:
    std::string path_;
};

const char kSiteConfig[] = R"(<?xml version="1.0" encoding="utf-8"?>
<config>
	<language>deutsch</language>
	<languagelist>
		<language><text>English</text><file>english.xml</file></language>
		<language><text>Deutsch</text><file>german.xml</file></language>
	</languagelist>
	<search_interval>5</search_interval>
	<match_address><min>20</min><max>40</max></match_address>
	<interfaces><interface>eth9</interface><interface>veth-a</interface></interfaces>
</config>
)";

TEST(CliUsage, EveryMisuseExitsTwoWithOneLineOnStandardErrorAndNothingElse) {
    for (const testing::BadUsage& c : testing::ParseFailures()) {
        std::string joined;
        for (const std::string& a : c.args) joined += a + " ";
        const ProgramResult r = Cli(c.args);
        EXPECT_EQ(r.exit_code, 2) << joined;
        EXPECT_EQ(r.out, "") << joined;
        EXPECT_EQ(r.err.rfind("quorvex-cli: ", 0), 0u) << joined << "-> " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << joined << "-> " << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << joined << "-> " << r.err;
    }
}

TEST(CliUsage, HelpGoesToStandardOutputWithExitZero) {
    for (const auto& args : std::vector<std::vector<std::string>>{{"--help"},
                                                                  {"-h"},
                                                                  {"scan", "--help"},
                                                                  {"set", "--help"},
                                                                  {"match", "-h"},
                                                                  {"interfaces", "--help"},
                                                                  {"config", "--help"}}) {
        const ProgramResult r = Cli(args);
        EXPECT_EQ(r.exit_code, 0) << args[0];
        EXPECT_EQ(r.err, "") << args[0];
        EXPECT_EQ(r.out.rfind("Usage: quorvex-cli", 0), 0u) << args[0];
    }
}

TEST(CliConfig, ShowsTheSettingsAsTheWindowReadsThem) {
    ScratchDirectory site;
    const std::string file = site.Write("config.xml", kSiteConfig);
    const std::string other = site.path() + "/elsewhere";
    std::filesystem::create_directory(other);

    // --config from another directory, and the same file as the start-up
    // directory's own config.xml: the same settings either way.
    for (const ProgramResult& r : {Cli({"--config", file, "config", "--json"}, other),
                                   Cli({"config", "--json"}, site.path())}) {
        ASSERT_EQ(r.exit_code, 0) << r.err;
        const auto json = ReadJson(r.out);
        ASSERT_TRUE(json) << r.out;
        EXPECT_EQ(testing::Keys(*json),
                  (std::vector<std::string>{"search_interval", "match_min", "match_max", "language",
                                            "language_file", "interfaces", "config_file"}));
        EXPECT_EQ(json->get<int>("search_interval"), 30);  // 5 is below the floor of 10
        EXPECT_EQ(json->get<int>("match_min"), 20);
        EXPECT_EQ(json->get<int>("match_max"), 40);
        EXPECT_EQ(json->get<std::string>("language"), "deutsch");
        // The language name matches its entry without regard to case.
        EXPECT_EQ(json->get<std::string>("language_file"), site.path() + "/Language/german.xml");
        std::vector<std::string> interfaces;
        for (const auto& item : json->get_child("interfaces"))
            interfaces.push_back(item.second.data());
        EXPECT_EQ(interfaces, (std::vector<std::string>{"eth9", "veth-a"}));
        EXPECT_EQ(json->get<std::string>("config_file"), file);
    }

    // A file of another name: its directory still holds the Language folder.
    const std::string renamed = site.Write("site-b.xml", kSiteConfig);
    const ProgramResult text = Cli({"--config=" + renamed, "config"}, other);
    ASSERT_EQ(text.exit_code, 0) << text.err;
    EXPECT_NE(text.out.find("search_interval  30\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("interfaces       eth9 veth-a\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("language_file    " + site.path() + "/Language/german.xml\n"),
              std::string::npos);
    EXPECT_NE(text.out.find("config_file      " + renamed + "\n"), std::string::npos);
}

TEST(CliConfig, MissingDefaultFileGivesDefaultsButABadExplicitFileIsMisuse) {
    ScratchDirectory empty;
    const ProgramResult defaults = Cli({"config", "--json"}, empty.path());
    ASSERT_EQ(defaults.exit_code, 0) << defaults.err;
    const auto json = ReadJson(defaults.out);
    ASSERT_TRUE(json) << defaults.out;
    EXPECT_EQ(json->get<int>("search_interval"), 30);
    EXPECT_EQ(json->get<int>("match_min"), 10);
    EXPECT_EQ(json->get<int>("match_max"), 253);
    EXPECT_EQ(json->get<std::string>("language"), "");
    EXPECT_EQ(json->get<std::string>("language_file"), empty.path() + "/Language/english.xml");
    EXPECT_TRUE(json->get_child("interfaces").empty());

    const std::string broken = empty.Write("broken.xml", "<config><search_interval>");
    for (const std::string& file : {empty.path() + "/missing.xml", broken}) {
        const ProgramResult r = Cli({"--config", file, "config"});
        EXPECT_EQ(r.exit_code, 2) << file;
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("cannot read configuration file '" + file + "'"), std::string::npos)
            << r.err;
    }
}

}  // namespace
}  // namespace quorvex
