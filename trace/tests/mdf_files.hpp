// Reading MDF files back in the tests: raw bytes for golden checks, and the independent checker's lines.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace MDF::test {

inline std::vector<uint8_t> fileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

template <typename T>
T at(const std::vector<uint8_t>& bytes, size_t offset) {
  T value{};
  if (offset + sizeof(T) <= bytes.size()) std::memcpy(&value, bytes.data() + offset, sizeof(T));
  return value;
}

inline std::string textAt(const std::vector<uint8_t>& bytes, size_t offset, size_t length) {
  if (offset + length > bytes.size()) return {};
  return {reinterpret_cast<const char*>(bytes.data()) + offset, length};
}

struct CheckedFile {
  int status = -1;
  std::vector<std::string> lines;

  bool has(const std::string& line) const {
    for (const std::string& own : lines) {
      if (own == line) return true;
    }
    return false;
  }
  // The lines that start with `prefix`, in file order.
  std::vector<std::string> starting(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& own : lines) {
      if (own.rfind(prefix, 0) == 0) found.push_back(own);
    }
    return found;
  }
  std::string all() const {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
  }
};

// Runs the independent checker on the file; status 0 when the file keeps to the format.
inline CheckedFile checkFile(const std::string& path) {
  CheckedFile checked;
  FILE* output = popen((std::string(QOR_MDF_CHECKER) + " " + path).c_str(), "r");
  if (output == nullptr) return checked;
  std::string line;
  for (int c; (c = std::fgetc(output)) != EOF;) {
    if (c != '\n') {
      line += static_cast<char>(c);
      continue;
    }
    checked.lines.push_back(line);
    line.clear();
  }
  const int status = pclose(output);
  checked.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return checked;
}

}  // namespace MDF::test
