#include "config/app_path.h"
namespace quorvex {
bool MakeAppPath(std::u16string_view, std::u16string_view, std::span<char16_t>, std::size_t*) { return false; }
void SetStartupDirectory(const std::filesystem::path&) {}
std::filesystem::path StartupDirectory() { return {}; }
void ResetStartupDirectory() {}
}
