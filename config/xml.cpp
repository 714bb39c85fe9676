#include "config/xml.h"
namespace quorvex {
bool Xml::Load(std::u16string_view) { return false; }
bool Xml::Save() { return false; }
bool Xml::GetText(const Node&, std::string_view, std::span<char16_t>) const { return false; }
int Xml::GetInt(std::string_view, const Node&, int d) const { return d; }
int Xml::CountChildren(const Node&, std::string_view) const { return 0; }
bool Xml::GetChild(std::string_view, const Node&, std::string_view, int, const Node*& out) const { out = nullptr; return false; }
bool Xml::GetNodeText(const Node&, std::span<char16_t>) const { return false; }
bool Xml::SetLanguage(Node&, std::u16string_view) { return false; }
}
