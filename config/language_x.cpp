#include "config/language_x.h"
namespace quorvex {
void LanguageX::LoadCurrentLanguage() {}
void LanguageX::ApplyDialog(ControlCallback, void*, Handle, int) {}
void LanguageX::ApplyControl(Handle, int) {}
void LanguageX::ApplyMenu(Handle) {}
void LanguageX::LoadStrings() {}
void LanguageX::GetString(int, std::span<char16_t> buffer) const { if (!buffer.empty()) buffer[0] = 0; }
}
