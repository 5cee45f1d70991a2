// Reading back what the ASC writer wrote: files whole, or their record lines between header and closing line.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace qor::trace::test {

inline std::vector<std::string> fileLines(const std::string& path) {
  std::ifstream file(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

// The lines between "Begin Triggerblock ..." and "End Triggerblock".
inline std::vector<std::string> recordLines(const std::string& path) {
  std::vector<std::string> lines = fileLines(path);
  auto begin = lines.begin();
  while (begin != lines.end() && begin->rfind("Begin Triggerblock ", 0) != 0) ++begin;
  if (begin == lines.end() || lines.back() != "End Triggerblock") return {"(no trigger block)"};
  return {begin + 1, lines.end() - 1};
}

}  // namespace qor::trace::test
