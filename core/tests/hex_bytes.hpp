// Byte strings of the tests written as text: "01 02 0*3" is {1, 2, 0, 0, 0}.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace qor::test {

inline std::vector<uint8_t> hex(const std::string& text) {
  std::vector<uint8_t> bytes;
  std::istringstream words(text);
  for (std::string word; words >> word;) {
    const size_t star = word.find('*');
    const auto value = static_cast<uint8_t>(std::stoul(word.substr(0, star), nullptr, 16));
    bytes.insert(bytes.end(), star == std::string::npos ? 1 : std::stoul(word.substr(star + 1)), value);
  }
  return bytes;
}

} // namespace qor::test
