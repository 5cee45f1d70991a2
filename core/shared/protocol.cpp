#include "qor_shared/protocol.hpp"

#include <algorithm>

namespace qor::protocol {

ServerResponseHeader responseHeader(uint8_t code, uint32_t length, uint32_t error) {
  return ServerResponseHeader{code, {0, 0, 0}, length, error};
}

ServerResponseHeader bareReply(uint8_t code, uint32_t error) {
  return responseHeader(code, QOR_BARE_REPLY_LENGTH, error);
}

size_t encodeResponse(Buffer out, uint8_t code, uint32_t error, Bytes body) {
  constexpr size_t kHead = sizeof(ServerResponseHeader);
  const size_t length = kHead + body.size();
  if (out.size() < length || length > UINT32_MAX) return 0;
  // The body goes first: it may lie anywhere in out, the header's bytes included.
  if (!body.empty() && body.data() != out.data() + kHead) std::memmove(out.data() + kHead, body.data(), body.size());
  writeRecord(out, responseHeader(code, static_cast<uint32_t>(length), error));
  return length;
}

size_t encodeLastServerError(Buffer out, uint32_t code, std::string_view text) {
  constexpr size_t kHead = sizeof(ServerResponseHeader);
  if (out.size() < kHead + 1) return 0;
  text = text.substr(0, out.size() - kHead - 1);
  const size_t length = kHead + text.size() + 1;
  writeRecord(out, responseHeader(QOR_MSG_LAST_SERVER_ERROR, static_cast<uint32_t>(length), code));
  std::memcpy(out.data() + kHead, text.data(), text.size());
  out[length - 1] = 0;
  return length;
}

std::optional<Request> parseRequest(Bytes received) {
  auto header = readRecord<ServerRequestHeader>(received);
  if (!header || header->length != received.size()) return std::nullopt;
  return Request{*header, received.subspan(sizeof(ServerRequestHeader))};
}

std::optional<Response> parseResponse(Bytes received) {
  auto header = readRecord<ServerResponseHeader>(received);
  if (!header || header->length < sizeof(ServerResponseHeader) || header->length > received.size()) return std::nullopt;
  return Response{*header, received.subspan(sizeof(ServerResponseHeader), header->length - sizeof(ServerResponseHeader))};
}

std::optional<Frame> parseFrame(Bytes received) {
  auto header = readRecord<FirmwareMessageHeader>(received);
  if (!header || header->marker != QOR_FRAME_MARKER || header->length < QOR_FRAME_HEADER_SIZE ||
      header->length > received.size()) {
    return std::nullopt;
  }
  Bytes frame = received.first(header->length);
  return Frame{*header, frame, frame.subspan(QOR_FRAME_HEADER_SIZE)};
}

bool Frame::isNegativeAcknowledge() const {
  return header.type == QOR_FRAME_ACKNOWLEDGE && negativeAcknowledgeCode() != 0;
}

uint32_t Frame::negativeAcknowledgeCode() const {
  uint32_t code = 0;
  if (data.size() >= sizeof code) std::memcpy(&code, data.data(), sizeof code);
  return code;
}

std::string_view Frame::negativeAcknowledgeText() const {
  constexpr size_t kTextOffset = QOR_NACK_TEXT_OFFSET - QOR_FRAME_HEADER_SIZE;
  if (data.size() <= kTextOffset) return {};
  std::string_view text(reinterpret_cast<const char*>(data.data()) + kTextOffset, data.size() - kTextOffset);
  return text.substr(0, text.find('\0'));
}

size_t fpgaRequestMinimumLength(uint32_t subFunction) {
  switch (subFunction) {
    case QOR_FPGA_READ_REGISTER: return QOR_FPGA_READ_REGISTER_LENGTH;
    case QOR_FPGA_WRITE_REGISTER: return sizeof(FpgaRegisterRequest);
    case QOR_FPGA_READ_FIFO:
    case QOR_FPGA_WRITE_FIFO:
    case QOR_FPGA_READ_DESIGN_VERSION:
    case QOR_FPGA_RECONFIGURATION: return sizeof(FpgaRequest);
    case QOR_FPGA_RELAYS_SET:
    case QOR_FPGA_RELAYS_RESET: return QOR_FPGA_RELAY_BYTES_OFFSET;
    case QOR_FPGA_RELAYS_SET_DIRECT:
    case QOR_FPGA_RELAYS_GET_STATE: return QOR_FPGA_RELAY_DIRECT_BYTES_OFFSET;
    default: return 0;
  }
}

std::optional<FpgaAccess> parseFpgaRequest(Bytes message) {
  const auto head = readRecord<FpgaRequest>(message);
  if (!head) return std::nullopt;
  const size_t minimum = fpgaRequestMinimumLength(head->subFunction);
  if (minimum == 0 || message.size() < minimum) return std::nullopt;
  FpgaAccess access{head->subFunction, 0, 0, message.subspan(sizeof(FpgaRequest))};
  if (head->subFunction == QOR_FPGA_READ_REGISTER || head->subFunction == QOR_FPGA_WRITE_REGISTER) {
    access.registerNumber = message[offsetof(FpgaRegisterRequest, registerNumber)];
  }
  if (head->subFunction == QOR_FPGA_WRITE_REGISTER) {
    access.value = readRecord<FpgaRegisterRequest>(message)->value;
  }
  return access;
}

size_t encodeClientConnect(Buffer out, std::string_view baseName) {
  const size_t length = sizeof(ClientConnectRequest) + baseName.size() + 1;
  if (out.size() < length) return 0;
  writeRecord(out, ClientConnectRequest{QOR_MSG_CLIENT_CONNECT, static_cast<uint32_t>(length)});
  std::memcpy(out.data() + sizeof(ClientConnectRequest), baseName.data(), baseName.size());
  out[length - 1] = 0;
  return length;
}

size_t encodeErrorReport(Buffer out, uint32_t code, std::string_view text) {
  constexpr size_t kHead = sizeof(ServerResponseHeader);
  if (out.size() < kHead) return 0;
  text = text.substr(0, text.find('\0'));
  // A text that does not fit the receiver's queue is cut rather than lost with the whole report.
  if (!text.empty() && kHead + text.size() + 1 > out.size()) text = text.substr(0, out.size() - kHead - 1);
  const size_t length = text.empty() ? kHead : kHead + text.size() + 1;
  writeRecord(out, responseHeader(QOR_MSG_ERROR_REPORT, static_cast<uint32_t>(length), code));
  if (!text.empty()) {
    std::memcpy(out.data() + kHead, text.data(), text.size());
    out[length - 1] = 0;
  }
  return length;
}

size_t encodeFirmwareFrameMessage(Buffer out, uint8_t portIndex, uint8_t applicationIndex, Bytes frame) {
  constexpr size_t kHead = sizeof(ServerRequestHeader);
  const size_t length = kHead + frame.size();
  if (out.size() < length || length > UINT32_MAX) return 0;
  if (!frame.empty() && frame.data() != out.data() + kHead) std::memmove(out.data() + kHead, frame.data(), frame.size());
  writeRecord(out, ServerRequestHeader{QOR_MSG_FIRMWARE_FRAME, portIndex, applicationIndex, 0,
                                       static_cast<uint32_t>(length)});
  return length;
}

size_t encodeFirmwareTraffic(Buffer out, Bytes frame) { return encodeResponse(out, QOR_MSG_FIRMWARE_TRAFFIC, 0, frame); }

size_t encodeMonitorData(Buffer out, Bytes data) { return encodeResponse(out, QOR_MSG_MONITOR_DATA, 0, data); }

FirmwareMessageHeader commandHeader(uint8_t requestKind, uint8_t controller, uint8_t interfaceNumber, uint8_t application,
                                    uint8_t module, uint8_t command, uint16_t parameterLength) {
  return FirmwareMessageHeader{QOR_FRAME_MARKER,
                               requestKind,
                               static_cast<uint16_t>(QOR_FRAME_HEADER_SIZE + parameterLength),
                               controller,
                               interfaceNumber,
                               0,
                               0,
                               QOR_FRAME_COMMAND,
                               application,
                               module,
                               command};
}

} // namespace qor::protocol
