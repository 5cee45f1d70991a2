#include "qor_test/syslog_capture.hpp"

#include "qor_test/files.hpp"

#include <charconv>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace qor::test {
namespace {

constexpr int kFacilityMask = 0x03f8;  // LOG_FACMASK
constexpr int kLevelMask = 0x07;       // LOG_PRIMASK
constexpr int kMaxPriority = 1023;

bool parseNumber(std::string_view text, int& value) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  return !text.empty() && error == std::errc{} && stop == end && value >= 0;
}

// "Mmm dd hh:mm:ss ", fixed width.
bool startsWithTimestamp(std::string_view text) {
  return text.size() >= 16 && text[3] == ' ' && text[6] == ' ' && text[9] == ':' && text[12] == ':' &&
         text[15] == ' ';
}

// Lines come from whatever wrote to /dev/log: anything that does not parse stays in message.
SyslogLine parseLine(std::string_view text) {
  SyslogLine line;
  line.message = text;
  const size_t close = text.find('>');
  int priority = 0;
  if (text.empty() || text[0] != '<' || close == std::string_view::npos ||
      !parseNumber(text.substr(1, close - 1), priority) || priority > kMaxPriority) {
    return line;
  }
  line.facility = priority & kFacilityMask;
  line.level = priority & kLevelMask;
  text.remove_prefix(close + 1);
  if (startsWithTimestamp(text)) {
    text.remove_prefix(16);
  }
  line.message = text;
  const size_t tagEnd = text.find(": ");
  if (tagEnd == std::string_view::npos || text.substr(0, tagEnd).find(' ') != std::string_view::npos) {
    return line;
  }
  std::string_view tag = text.substr(0, tagEnd);
  const size_t open = tag.find('[');
  int pid = 0;
  if (open != std::string_view::npos && tag.back() == ']' &&
      parseNumber(tag.substr(open + 1, tag.size() - open - 2), pid)) {
    line.pid = pid;
    tag = tag.substr(0, open);
  }
  line.ident = tag;
  line.message = text.substr(tagEnd + 2);
  return line;
}

}  // namespace

bool insideSandbox() {
  return std::getenv(kSyslogCaptureVariable) != nullptr;
}

SyslogCapture::SyslogCapture() {
  const char* path = std::getenv(kSyslogCaptureVariable);
  if (path == nullptr) {
    throw std::runtime_error("QOR_SANDBOX_SYSLOG is not set: run the test through qor_sandbox");
  }
  path_ = path;
}

SyslogCapture::SyslogCapture(std::string path) : path_(std::move(path)) {}

std::vector<SyslogLine> SyslogCapture::lines() const {
  std::vector<SyslogLine> result;
  const std::string text = readFile(path_).value_or("");
  for (size_t start = 0, end = 0; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    result.push_back(parseLine(std::string_view(text).substr(start, end - start)));
  }
  return result;
}

bool SyslogCapture::contains(std::string_view substring) const {
  for (const SyslogLine& line : lines()) {
    if (line.message.find(substring) != std::string::npos) {
      return true;
    }
  }
  return false;
}

bool SyslogCapture::waitFor(const std::function<bool(const SyslogLine&)>& match,
                            std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    for (const SyslogLine& line : lines()) {
      if (match(line)) {
        return true;
      }
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

bool SyslogCapture::waitFor(std::string_view substring, std::chrono::milliseconds timeout) const {
  return waitFor([substring](const SyslogLine& line) { return line.message.find(substring) != std::string::npos; },
                 timeout);
}

}  // namespace qor::test
