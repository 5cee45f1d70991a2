#include "qor_emulator/request_table.hpp"

#include <algorithm>
#include <cstdio>
#include <span>

namespace qor::emulator {
namespace {

std::string hex(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return "(none)";
  std::string text;
  char digits[4];
  for (const uint8_t byte : bytes) {
    std::snprintf(digits, sizeof digits, "%02X ", byte);
    text += digits;
  }
  text.pop_back();
  return text;
}

std::string commandName(uint8_t command) {
  char name[8];
  std::snprintf(name, sizeof name, "0x%02X", command);
  return name;
}

bool matches(std::span<const uint8_t> parameters, const Bytes& expected, bool prefixOnly) {
  if (prefixOnly ? parameters.size() < expected.size() : parameters.size() != expected.size()) return false;
  return std::equal(expected.begin(), expected.end(), parameters.begin());
}

std::string difference(std::span<const uint8_t> parameters, const Bytes& expected) {
  const auto [mine, theirs] = std::ranges::mismatch(parameters, expected);
  const auto at = static_cast<size_t>(mine - parameters.begin());
  if (mine != parameters.end() && theirs != expected.end()) return "first difference at byte " + std::to_string(at);
  return std::to_string(parameters.size()) + " bytes instead of " + std::to_string(expected.size());
}

Reply acknowledgement(const ReceivedFrame& frame) { return Reply(frame.acknowledge()); }

}  // namespace

void RequestTable::Expectation::answer(Bytes data) {
  const std::string description = "response " + hex(data);
  set([data = std::move(data)](const ReceivedFrame& frame) { return Reply(frame.response(data)); }, description);
}

void RequestTable::Expectation::acknowledge() { set(acknowledgement, "acknowledge"); }

void RequestTable::Expectation::fail(uint32_t code, std::string text) {
  char codeText[12];
  std::snprintf(codeText, sizeof codeText, "0x%X", code);
  std::string description = std::string("negative acknowledge ") + codeText + " \"" + text + "\"";
  set([code, text = std::move(text)](const ReceivedFrame& frame) {
    return Reply(frame.negativeAcknowledge(code, text));
  }, std::move(description));
}

void RequestTable::Expectation::silence() {
  set([](const ReceivedFrame&) { return Reply(); }, "silence");
}

void RequestTable::Expectation::reply(Handler handler) { set(std::move(handler), "the test's own reply"); }

void RequestTable::Expectation::set(Handler handler, std::string description) {
  std::lock_guard lock(table_.mutex_);
  row_->answer = std::move(handler);
  row_->answerDescription = std::move(description);
}

RequestTable::Expectation RequestTable::expect(uint8_t command, Bytes parameters) {
  return add(command, std::move(parameters), false);
}

RequestTable::Expectation RequestTable::expectStartingWith(uint8_t command, Bytes head) {
  return add(command, std::move(head), true);
}

RequestTable::Expectation RequestTable::add(uint8_t command, Bytes parameters, bool prefixOnly) {
  std::lock_guard lock(mutex_);
  Queue& queue = queues_[command];
  auto row = std::make_shared<Row>(
      Row{command, ++queue.stated, std::move(parameters), prefixOnly, acknowledgement, "acknowledge"});
  queue.pending.push_back(row);
  return Expectation(*this, std::move(row));
}

std::optional<Reply> RequestTable::answer(const ReceivedFrame& frame) {
  const auto parameters = frame.parameters();
  Handler handler;
  {
    std::lock_guard lock(mutex_);
    const auto queue = queues_.find(frame.command());
    if (queue == queues_.end()) return std::nullopt;
    std::string request = commandName(frame.command()) + " request " + hex(parameters);
    if (queue->second.pending.empty()) {
      unexpected_.push_back(request + ": no expectation left");
    } else {
      const std::shared_ptr<Row> row = queue->second.pending.front();
      queue->second.pending.pop_front();
      if (matches(parameters, row->parameters, row->prefixOnly)) {
        handler = row->answer;
      } else {
        unexpected_.push_back(request + ": expectation " + std::to_string(row->ordinal) + " was " +
                              (row->prefixOnly ? "parameters starting with " : "parameters ") +
                              hex(row->parameters) + " (" + difference(parameters, row->parameters) + ")");
      }
    }
  }
  if (!handler) return Reply(frame.negativeAcknowledge(kUnexpectedRequestCode, "request the emulator did not expect"));
  return handler(frame);
}

std::string RequestTable::unmetExpectations() const {
  std::lock_guard lock(mutex_);
  std::string report;
  for (const auto& [command, queue] : queues_) {
    for (const auto& row : queue.pending) {
      report += commandName(command) + " expectation " + std::to_string(row->ordinal) + " (" +
                (row->prefixOnly ? "parameters starting with " : "parameters ") + hex(row->parameters) +
                ", answer: " + row->answerDescription + ") was never requested\n";
    }
  }
  return report;
}

std::string RequestTable::unexpectedRequests() const {
  std::lock_guard lock(mutex_);
  std::string report;
  for (const auto& line : unexpected_) report += line + "\n";
  return report;
}

}  // namespace qor::emulator
