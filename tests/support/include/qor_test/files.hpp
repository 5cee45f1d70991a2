// Small file helpers for tests.
#pragma once

#include <optional>
#include <string>

namespace qor::test {

// Creates or truncates the file and writes text; false on any error.
bool writeFile(const std::string& path, const std::string& text);

// The whole content, or nothing when the file cannot be read.
std::optional<std::string> readFile(const std::string& path);

// True when the file was removed now.
bool removeFile(const std::string& path);

}  // namespace qor::test
