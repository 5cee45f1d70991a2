// Encoding and checked decoding of the queue messages and firmware frames that vary in length. Fixed records are
// the structs of qor_protocol.h, read with readRecord. Every decoder trusts nothing: lengths are checked against
// the bytes that arrived.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

#include "qor_protocol.h"
#include "qor_shared/byte_reader.hpp"

namespace qor::protocol {

using Bytes = std::span<const uint8_t>;
using Buffer = std::span<uint8_t>;

// A fixed record from the start of a message, when enough bytes arrived.
template <class Record>
std::optional<Record> readRecord(Bytes bytes) {
  return readAt<Record>(bytes, 0);
}

template <class Record>
size_t writeRecord(Buffer out, const Record& record) {
  if (out.size() < sizeof(Record)) return 0;
  std::memcpy(out.data(), &record, sizeof record);
  return sizeof record;
}

// A message from a library: its header, and the payload behind it. Its length field must equal the bytes received.
struct Request {
  ServerRequestHeader header;
  Bytes payload;
};
std::optional<Request> parseRequest(Bytes received);

// A message from the daemon: its header, and the data up to its length field (which must lie within the bytes
// received).
struct Response {
  ServerResponseHeader header;
  Bytes data;
};
std::optional<Response> parseResponse(Bytes received);

// A firmware frame: marker '#', a length of at least 12 that lies within the bytes received.
struct Frame {
  FirmwareMessageHeader header;
  Bytes bytes; // the whole frame, header included
  Bytes data;  // the parameters or response data
  bool isNegativeAcknowledge() const;
  bool isAcknowledge() const { return header.type == QOR_FRAME_ACKNOWLEDGE && !isNegativeAcknowledge(); }
  // The firmware's code and text of a negative acknowledge; the text ends at its NUL or at the frame's end.
  uint32_t negativeAcknowledgeCode() const;
  std::string_view negativeAcknowledgeText() const;
};
std::optional<Frame> parseFrame(Bytes received);

// A 0x40 request whose sub-function is known and whose fixed fields all arrived (the message's length field is
// checked by parseRequest). Empty otherwise; parseRequest's header and readRecord<FpgaRequest> tell which.
struct FpgaAccess {
  uint32_t subFunction;
  uint8_t registerNumber; // sub-functions 0 and 1, else 0
  uint32_t value;         // sub-function 1, else 0
  Bytes data;             // everything behind the sub-function (offset 12 on)
};
std::optional<FpgaAccess> parseFpgaRequest(Bytes message);

// The shortest 0x40 request of a known sub-function, its fixed fields included; 0 for an unknown sub-function.
size_t fpgaRequestMinimumLength(uint32_t subFunction);

// Every message of the daemon starts with this header.
ServerResponseHeader responseHeader(uint8_t code, uint32_t length, uint32_t error);

// The answer {code, 12, error} that carries nothing but its code.
ServerResponseHeader bareReply(uint8_t code, uint32_t error);

// An answer of the daemon: the header, then the body. The body may already lie in place at out[12]; it is moved
// only when it lies elsewhere. 0 when it does not fit.
size_t encodeResponse(Buffer out, uint8_t code, uint32_t error, Bytes body);

// 0x18 with the last error's code and text; the text is cut so that the message fits out (at least 13 bytes), its
// NUL kept. 0 when out is shorter.
size_t encodeLastServerError(Buffer out, uint32_t code, std::string_view text);

// 0x0A with the base name and its NUL; 0 when it does not fit.
size_t encodeClientConnect(Buffer out, std::string_view baseName);

// 0x11 with the code and the text, cut so that the message fits out (at least 12 bytes); returns the length.
size_t encodeErrorReport(Buffer out, uint32_t code, std::string_view text);

// 0x20 around a frame, which may already lie in place at out[8]; 0 when it does not fit.
size_t encodeFirmwareFrameMessage(Buffer out, uint8_t portIndex, uint8_t applicationIndex, Bytes frame);

// 0xF0 around a frame, which may already lie in place at out[12]; 0 when it does not fit.
size_t encodeFirmwareTraffic(Buffer out, Bytes frame);

// 0x33 around monitor data, which may already lie in place at out[12]; 0 when they do not fit.
size_t encodeMonitorData(Buffer out, Bytes data);

// A firmware frame header for a command.
FirmwareMessageHeader commandHeader(uint8_t requestKind, uint8_t controller, uint8_t interfaceNumber, uint8_t application,
                                    uint8_t module, uint8_t command, uint16_t parameterLength);

} // namespace qor::protocol
