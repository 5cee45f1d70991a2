// Expected requests and their canned answers, byte-exact: the table a library's end-to-end test reads as.
//
//   device.expect(0x0C, {0x09, 0, 0, 0, 0x02, 0x00}).answer({0x09, 0, 0, 0, 1, 2, 3, 4});  // response (type 1)
//   device.expect(0x12, {});                                   // acknowledged: the default answer
//   device.expect(0x78, record).fail(0x1F, "busy");            // negative acknowledge
//   device.expectStartingWith(0x31, head).silence();           // only the head of a long record is compared
//
// Parameters are the bytes after the frame's header; answer data are the response's data exactly as given (they
// begin with the control bytes the library keys the response by, the test writes them).
//
// Which requests the table takes: those whose command byte has been given an expectation, except the device's own
// housekeeping at open (Device says which). All other requests keep their built-in answers and onCommand handlers;
// give one command byte either expectations or a handler, not both.
//
// Order: one queue per command byte. A request is compared with the next expectation of its own command only, so a
// wrong or missing request of one command is reported once, under that command, and never shifts the rows of other
// commands (with one ordered list, a single missing request would turn every later row into a mismatch). Where the
// order across commands matters, the Recorder shows it.
//
// A request that differs from the next expectation of its command, or finds none left, is kept with a hex dump for
// unexpectedRequests() and gets a negative acknowledge with kUnexpectedRequestCode, so the library sees an error at
// once instead of waiting out its time-out. A differing request uses up the expectation it was compared with: the
// rows after it still meet their own requests.
//
// Threads: every member may be called from any thread. State the expectations before the requests they await are
// sent: a request that arrives while its expectation is still being given its answer gets the default answer.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "qor_emulator/frame.hpp"
#include "qor_emulator/reply.hpp"

namespace qor::emulator {

// The firmware code of the negative acknowledge an unexpected request gets.
inline constexpr uint32_t kUnexpectedRequestCode = 0x00EE0001;

class RequestTable {
  struct Row;

 public:
  // The answer of one expectation; without a call the answer is an acknowledge (type 2, u32 0), which a request of
  // kind 1 (a command that waits for its acknowledge) awaits.
  class Expectation {
   public:
    // A response (type 1) with exactly these data.
    void answer(Bytes data);
    void acknowledge();
    void fail(uint32_t code, std::string text);
    void silence();
    // Any reply built from the request: delays, cuts, several frames.
    void reply(Handler handler);

   private:
    friend class RequestTable;
    Expectation(RequestTable& table, std::shared_ptr<Row> row) : table_(table), row_(std::move(row)) {}
    void set(Handler handler, std::string description);

    RequestTable& table_;
    std::shared_ptr<Row> row_;
  };

  // A request of this command whose parameters are exactly these bytes.
  Expectation expect(uint8_t command, Bytes parameters);
  // A request of this command whose parameters begin with these bytes (any length from there on).
  Expectation expectStartingWith(uint8_t command, Bytes head);

  // The table's answer to the request, or empty when its command has no expectations (the request is not the
  // table's to answer).
  std::optional<Reply> answer(const ReceivedFrame& frame);

  // Readable reports, one problem a line with hex dumps of the parameters; empty when all is well.
  // Expectations no request reached:
  std::string unmetExpectations() const;
  // Requests that differed from the next expectation of their command or found none left:
  std::string unexpectedRequests() const;

 private:
  struct Row {
    uint8_t command;
    size_t ordinal;  // from 1, among the expectations of its command
    Bytes parameters;
    bool prefixOnly;
    Handler answer;
    std::string answerDescription;
  };
  struct Queue {
    std::deque<std::shared_ptr<Row>> pending;
    size_t stated = 0;
  };

  Expectation add(uint8_t command, Bytes parameters, bool prefixOnly);

  mutable std::mutex mutex_;  // guards what follows and the rows' answers
  std::map<uint8_t, Queue> queues_;
  std::vector<std::string> unexpected_;
};

}  // namespace qor::emulator
