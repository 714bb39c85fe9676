// Reading big XML files: a config.xml with many <interface> entries and a
// language pack with many strings, each read and walked as the program does
// at start (Load, then GetChild for n = 1, 2, ...). The sizes double, so the
// times show whether reading stays linear in the file's size; the largest
// files are just under the store's 4 MiB limit.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "config/app_settings.h"
#include "config/text_convert.h"
#include "config/xml_extern.h"

namespace quorvex {
namespace {

std::string WriteFile(const std::string& name, const std::string& text) {
    const auto path = std::filesystem::temp_directory_path() / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

// 32 bytes per entry: 128,000 entries make 3.9 MiB.
std::string ConfigFile(std::int64_t interfaces) {
    std::string xml = "<config><search_interval>30</search_interval><interfaces>\n";
    for (std::int64_t i = 0; i < interfaces; ++i)
        xml += "<interface>e" + std::to_string(1000000 + i) + "</interface>\n";
    return WriteFile("quorvex_bench_config.xml", xml + "</interfaces></config>\n");
}

// About 55 bytes per string: 72,000 strings make 3.9 MiB.
std::string LanguagePack(std::int64_t strings) {
    std::string xml = "<config><stringlist>\n";
    for (std::int64_t i = 0; i < strings; ++i)
        xml += "<string id=\"" + std::to_string(100000 + i) + "\">Camera message " +
               std::to_string(i) + " text</string>\n";
    return WriteFile("quorvex_bench_pack.xml", xml + "</stringlist></config>\n");
}

void ReadConfig(benchmark::State& state) {
    const std::string path = ConfigFile(state.range(0));
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
    for (auto _ : state) {
        XmlExtern config;
        if (!config.Load(Utf8ToUtf16(path))) state.SkipWithError("load failed");
        const AppSettings settings = ReadAppSettings(config);
        if (settings.interfaces.size() != static_cast<std::size_t>(state.range(0)))
            state.SkipWithError("not every interface was read");
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(ReadConfig)
    ->Arg(16000)
    ->Arg(32000)
    ->Arg(64000)
    ->Arg(128000)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);

void ReadLanguagePack(benchmark::State& state) {
    const std::string path = LanguagePack(state.range(0));
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
    for (auto _ : state) {
        XmlExtern pack;
        if (!pack.Load(Utf8ToUtf16(path))) state.SkipWithError("load failed");
        const int count = pack.CountChildren(pack.Root(), "config.stringlist");
        int read = 0;
        for (int i = 1; i <= count; ++i) {
            const Xml::Node* entry = nullptr;
            if (!pack.GetChild("string", pack.Root(), "config.stringlist", i, entry)) break;
            char16_t text[kTextCapacity] = {};
            read += pack.GetInt("<xmlattr>.id", *entry, 0) != 0 && pack.GetNodeText(*entry, text);
        }
        if (read != state.range(0)) state.SkipWithError("not every string was read");
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(ReadLanguagePack)
    ->Arg(9000)
    ->Arg(18000)
    ->Arg(36000)
    ->Arg(72000)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvex

BENCHMARK_MAIN();
