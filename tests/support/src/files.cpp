#include "qor_test/files.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>

namespace qor::test {

bool writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  return !out.fail();
}

std::optional<std::string> readFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return std::nullopt;
  }
  std::string text;
  char buffer[4096];
  ssize_t n = 0;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) {
    text.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  if (n < 0) {
    return std::nullopt;
  }
  return text;
}

bool removeFile(const std::string& path) {
  return unlink(path.c_str()) == 0;
}

}  // namespace qor::test
