// The parameter-file import: name and value elements found by two patterns, line by line. Lines are read whole,
// whatever their length, so a long name line never hands its remainder on as the value line. All state is the
// call's own.
#include <regex.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "flexray_parameters.hpp"
#include "qor_flexray_config_files.h"

namespace qor::flexray {
namespace {

constexpr const char* kNamePattern = "<Name>([[:alpha:]]+)</Name>";
constexpr const char* kValuePattern = "<Val>([[:digit:]]+)</Val>";

class Pattern {
 public:
  Pattern() = default;
  Pattern(const Pattern&) = delete;
  Pattern& operator=(const Pattern&) = delete;
  ~Pattern() {
    if (compiled_) regfree(&regex_);
  }

  bool compile(const char* pattern) {
    compiled_ = regcomp(&regex_, pattern, REG_EXTENDED) == 0;
    return compiled_;
  }

  // Group 1 of the first match in line.
  std::optional<std::string_view> group(const std::string& line) const {
    regmatch_t match[2];
    if (regexec(&regex_, line.c_str(), 2, match, 0) != 0 || match[1].rm_so < 0) return std::nullopt;
    return std::string_view(line).substr(match[1].rm_so, match[1].rm_eo - match[1].rm_so);
  }

 private:
  regex_t regex_{};
  bool compiled_ = false;
};

struct FileCloser {
  void operator()(FILE* file) const { fclose(file); }
};

class LineReader {
 public:
  explicit LineReader(FILE* file) : file_(file) {}
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;
  ~LineReader() { free(buffer_); }

  // The next line, or nothing at the end of the file or when reading fails (failed() tells which).
  const std::string* next() {
    const ssize_t length = getline(&buffer_, &capacity_, file_);
    if (length < 0) {
      failed_ = !feof(file_);  // a read error, or no memory for the line
      return nullptr;
    }
    line_.assign(buffer_, static_cast<size_t>(length));
    return &line_;
  }
  bool failed() const { return failed_; }

 private:
  FILE* file_;
  bool failed_ = false;
  char* buffer_ = nullptr;
  size_t capacity_ = 0;
  std::string line_;
};

// Digits as a signed long; beyond it the largest long.
uint64_t decimalValue(std::string_view digits) {
  const std::string text(digits);
  errno = 0;
  const long value = strtol(text.c_str(), nullptr, 10);
  return static_cast<uint64_t>(errno == ERANGE ? LONG_MAX : value);
}

uint32_t load(Qor_FlexRay_ConfigData_t& data, const char* path) {
  if (strlen(path) > QOR_FLEXRAY_XML_MAX_PATH) return QOR_FLEXRAY_XML_REFUSED;
  const std::unique_ptr<FILE, FileCloser> file(fopen(path, "r"));
  if (!file) return QOR_FLEXRAY_XML_NOT_OPENED;
  Pattern name, value;
  if (!name.compile(kNamePattern) || !value.compile(kValuePattern)) return QOR_FLEXRAY_XML_NO_PATTERN;

  LineReader lines(file.get());
  while (const std::string* line = lines.next()) {
    const std::optional<std::string_view> parameterName = name.group(*line);
    if (!parameterName) continue;
    const ConfigParameter* parameter = findConfigParameter(*parameterName);
    if (!parameter) continue;
    // The next line is the value line, whatever it holds.
    const std::string* valueLine = lines.next();
    if (!valueLine && lines.failed()) break;
    const std::optional<std::string_view> digits = valueLine ? value.group(*valueLine) : std::nullopt;
    storeConfigParameter(data, *parameter, digits ? decimalValue(*digits) : 0);
  }
  return lines.failed() ? QOR_FLEXRAY_XML_READ_ERROR : QOR_FLEXRAY_XML_LOADED;
}

}  // namespace
}  // namespace qor::flexray

uint32_t LoadFlexRayParameter(Qor_FlexRay_ConfigData_t* data, const char* path) try {
  if (!data) return QOR_FLEXRAY_XML_REFUSED;
  if (!path) return QOR_FLEXRAY_XML_NOT_OPENED;
  return qor::flexray::load(*data, path);
} catch (...) {
  return QOR_FLEXRAY_XML_REFUSED;
}
