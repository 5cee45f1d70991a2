#include "xml_values.hpp"

#include <arpa/inet.h>

#include <charconv>
#include <cstring>

#include "xml_error.hpp"

namespace qor::xml {

std::optional<uint32_t> parseU32(std::string_view text) {
  constexpr std::string_view kSpace = " \t\r\n";
  const size_t first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return std::nullopt;
  text = text.substr(first, text.find_last_not_of(kSpace) - first + 1);
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<uint32_t> parseAddress(const char* text) {
  in_addr address{};
  if (inet_pton(AF_INET, text, &address) != 1) return std::nullopt;
  return address.s_addr;
}

std::string addressText(uint32_t address) {
  char text[INET_ADDRSTRLEN] = "";
  const in_addr value{address};
  inet_ntop(AF_INET, &value, text, sizeof text);
  return text;
}

uint32_t readChildValue(pugi::xml_node node, const char* name, uint32_t& value) {
  const pugi::xml_node child = node.child(name);
  if (!child) return fail(QOR_XML_ERR_NODE_NOT_FOUND, "'%s' was not found", name);
  const std::optional<uint32_t> parsed = parseU32(child.text().get());
  if (!parsed) return fail(QOR_XML_ERR_PARSER, "'%s' holds no u32 value: '%s'", name, child.text().get());
  value = *parsed;
  return 0;
}

uint32_t readChildValues(pugi::xml_node node, uint32_t n, const char* const* names, uint32_t* results) {
  if (n != 0 && (names == nullptr || results == nullptr)) return fail(QOR_XML_ERR_NODE, "no names or results given");
  for (uint32_t i = 0; i < n; ++i) {
    if (names[i] == nullptr) return fail(QOR_XML_ERR_NODE, "name %u is missing", i);
    if (uint32_t result = readChildValue(node, names[i], results[i])) return result;
  }
  return 0;
}

bool setChildText(pugi::xml_node node, const char* name, const char* text) {
  pugi::xml_node child = node.child(name);
  if (!child) child = node.append_child(name);
  if (!child) return false;
  // An empty text is no text at all, so that the element reads back and saves again unchanged.
  if (text[0] == '\0') return child.remove_children();
  return child.text().set(text);
}

uint32_t copyOut(const char* text, uint32_t room, char* out) {
  const size_t length = strlen(text);
  if (out == nullptr || length >= room) {
    return fail(QOR_XML_ERR_NODE, "'%s' needs %zu bytes, room for %u", text, length + 1, out ? room : 0);
  }
  memcpy(out, text, length + 1);
  return 0;
}

} // namespace qor::xml
