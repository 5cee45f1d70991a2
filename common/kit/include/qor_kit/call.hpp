// One exported function's work on one port: the argument checks, the firmware commands and the failures, each
// reported for that port with the library's codes. A function makes one Call and returns the first code that is
// not 0:
//
//   const kit::Call call(kCommon, port);
//   if (uint32_t code = call.checkPort()) return code;
//   if (flags > 3) return call.fail(kit::GeneralError::UnknownFlag);
//   kit::RecordWriter record(12);
//   record.u32(20).u32(flags).u32(size);
//   std::vector<uint8_t> answer;
//   if (uint32_t code = call.exchange(0x0C, 1, record, answer)) return code;
//   kit::AnswerReader reader(answer);
//   if (!reader.has(8)) return call.shortAnswer(reader);
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "qor_kit/answer_reader.hpp"
#include "qor_kit/library.hpp"
#include "qor_kit/record_writer.hpp"

namespace qor::kit {

// The answer capacity that commands offer unless a command names its own.
inline constexpr uint32_t kResponseCapacity = 32756;

class Call {
 public:
  Call(const Library& library, uint32_t port) : library_(library), port_(port) {}

  uint32_t port() const { return port_; }
  const Library& library() const { return library_; }

  // ---- failures: record the text for the port and the process, return the code ----
  uint32_t fail(uint32_t code, const char* format, ...) const __attribute__((format(printf, 3, 4)));
  uint32_t fail(GeneralError error, const char* format, ...) const __attribute__((format(printf, 3, 4)));
  // With an empty text.
  uint32_t fail(uint32_t code) const { return library_.fail(port_, code); }
  uint32_t fail(GeneralError error) const { return library_.fail(port_, error); }
  // "invalid response length": the answer is shorter than what the function reads of it.
  uint32_t shortAnswer(const AnswerReader& answer) const;

  // ---- checks: 0 when passed ----
  // The core's handle check; its code comes back unchanged (the core has recorded it).
  uint32_t checkPort() const;
  // The handle, then the low byte of the port's interface type: "wrong interface type" with the library's text
  // (empty unless given).
  uint32_t checkInterface(uint32_t interfaceType, const char* wrongTypeText = "") const;
  // Bits outside allowed: "unknown flag", empty text.
  uint32_t checkFlags(uint32_t flags, uint32_t allowed) const;
  // A pointer the caller must give: "invalid parameter" naming it.
  uint32_t checkPointer(const void* pointer, const char* name) const;
  // The lock bits (QOR_LOCK_*) that the application must hold: "no lock", empty text.
  uint32_t checkLock(uint32_t lockBits) const;
  // Reserved bytes of a caller's record: "invalid parameter" with the text given when one is not 0.
  uint32_t checkReserved(std::span<const uint8_t> reserved, const char* text) const;
  template <class Field>
  uint32_t checkReserved(const Field& field, const char* text) const {
    return checkReserved(std::span(reinterpret_cast<const uint8_t*>(&field), sizeof field), text);
  }

  // ---- the port's sizes ----
  // The port's maximum parameter length; the core's code unchanged on failure.
  uint32_t parameterLength(uint32_t* length) const;
  // The room for data in one record of at most the maximum parameter length after a head of headBytes:
  // "invalid data length" when there is none, so a chunked transfer always moves.
  uint32_t pieceLength(uint32_t headBytes, uint32_t* piece) const;

  // ---- firmware commands; the core's codes come back unchanged ----
  // A refused record (overflowed) gives "invalid data length" and nothing is sent.
  // Waits for the response whose data begin with the record's first controlBytes bytes; answer gets its bytes.
  uint32_t exchange(uint8_t command, uint8_t controlBytes, const RecordWriter& record, std::vector<uint8_t>& answer,
                    uint32_t capacity = kResponseCapacity) const;
  // Sends the command for a response that the asynchronous callbacks receive (mode 1).
  uint32_t request(uint8_t command, uint8_t controlBytes, const RecordWriter& record) const;
  // A command without response data (the core waits for the acknowledge while the port's such commands are
  // synchronous).
  uint32_t send(uint8_t command, const RecordWriter& record) const;

 private:
  uint32_t refusedRecord(const RecordWriter& record) const;

  const Library& library_;
  uint32_t port_;
};

}  // namespace qor::kit
