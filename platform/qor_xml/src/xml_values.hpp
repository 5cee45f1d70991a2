// Values as the files hold them: u32 numbers and IPv4 addresses in element texts, names handed to callers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <pugixml.hpp>

namespace qor::xml {

// Decimal or "0x" hexadecimal digits, with white space around; no sign, nothing above 0xFFFFFFFF.
std::optional<uint32_t> parseU32(std::string_view text);

// Dotted IPv4 text to its four bytes in network order, and back.
std::optional<uint32_t> parseAddress(const char* text);
std::string addressText(uint32_t address);

// The value of node's child of that name: 0, QOR_XML_ERR_NODE_NOT_FOUND or QOR_XML_ERR_PARSER.
uint32_t readChildValue(pugi::xml_node node, const char* name, uint32_t& value);
uint32_t readChildValues(pugi::xml_node node, uint32_t n, const char* const* names, uint32_t* results);

// Sets the text of node's child of that name, adding the child if it is missing; false without memory.
bool setChildText(pugi::xml_node node, const char* name, const char* text);

// Copies text with its NUL into room bytes of out; QOR_XML_ERR_NODE when it does not fit.
uint32_t copyOut(const char* text, uint32_t room, char* out);

} // namespace qor::xml
