#include "config/text_convert.h"
namespace quorvex {
int TextToInt(std::u16string_view) { return 0; }
bool WideToAnsi(std::u16string_view, std::span<char> buffer) { if (!buffer.empty()) buffer[0] = 0; return false; }
void AnsiToWide(std::string_view, std::span<char16_t> buffer) { if (!buffer.empty()) buffer[0] = 0; }
std::u16string Utf8ToUtf16(std::string_view) { return {}; }
std::string Utf16ToUtf8(std::u16string_view) { return {}; }
std::string SanitizeUtf8(std::string_view) { return {}; }
bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) { return a == b; }
}
