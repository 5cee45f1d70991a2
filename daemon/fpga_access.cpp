// Host-side FPGA access (message 0x40): register, FIFO, design version, reconfiguration and relays of the models
// whose FPGA the host drives. Every answer starts {0x40, length, 0} with the sub-function as u32 at 12; a failure is
// answered by the error report alone.
#include <algorithm>
#include <cstddef>
#include <vector>

#include "fpga_relays.hpp"
#include "qor_error_codes.h"
#include "server.hpp"

namespace qor::daemon {
namespace {

constexpr size_t kAnswerDataOffset = sizeof(FpgaReply);
constexpr size_t kLongestFixedAnswer = sizeof(FpgaRegisterReply);
constexpr uint32_t kFifoReadTimeoutMs = 500;

} // namespace

void Server::fpgaAccess(Bytes message, Channel& channel) {
  Port& port = *channel.port;
  Application& app = *channel.application;
  // The interpreter let through only messages that hold the request's head.
  const uint32_t sub = protocol::readRecord<FpgaRequest>(message)->subFunction;
  if (protocol::fpgaRequestMinimumLength(sub) == 0) {
    recordErrorf(&port, app.index, QOR_ERR_SERVER_UNKNOWN_COMMAND, "subCmd 0x%02x of cmd 0x%02x is unknown", sub,
                 QOR_MSG_FPGA_ACCESS);
    return;
  }
  const auto request = protocol::parseFpgaRequest(message);
  if (!request) {
    recordErrorf(&port, app.index, QOR_ERR_SERVER_INVALID_PARAMETER, "subCmd 0x%02x of cmd 0x%02x: %zu bytes are too few",
                 sub, QOR_MSG_FPGA_ACCESS, message.size());
    return;
  }
  // Answers never outgrow the application's queue; a FIFO read never reads more than the device's buffer either.
  size_t capacity = app.response.messageSize();
  if (sub == QOR_FPGA_READ_FIFO) capacity = std::min<size_t>(capacity, port.hostType.daemon.responseBufferSize);
  std::vector<uint8_t> answer(std::max(capacity, kLongestFixedAnswer));
  const Buffer data(answer.data() + kAnswerDataOffset, answer.size() - kAnswerDataOffset);
  size_t length = kAnswerDataOffset;
  PathStatus status;
  {
    std::lock_guard fpga(port.fpgaLock);
    if (!port.device) {
      status = functionNotAvailable();
    } else {
      Device& device = *port.device;
      switch (sub) {
        case QOR_FPGA_READ_REGISTER: {
          uint32_t value = 0;
          status = device.fpgaRegisterRead(request->registerNumber, value);
          FpgaRegisterReply registerReply{};
          registerReply.registerNumber = request->registerNumber;
          registerReply.value = value;
          length = protocol::writeRecord(Buffer(answer), registerReply);
          break;
        }
        case QOR_FPGA_WRITE_REGISTER: status = device.fpgaRegisterWrite(request->registerNumber, request->value); break;
        case QOR_FPGA_READ_FIFO: {
          uint32_t read = 0;
          status = device.fpgaFifoRead(data, read, kFifoReadTimeoutMs);
          length += std::min<size_t>(read, data.size());
          break;
        }
        case QOR_FPGA_WRITE_FIFO: status = device.fpgaFifoWrite(request->data); break;
        case QOR_FPGA_READ_DESIGN_VERSION: {
          uint32_t version = 0;
          status = device.fpgaDesignVersion(version);
          FpgaDesignVersionReply versionReply{};
          versionReply.version = version;
          length = protocol::writeRecord(Buffer(answer), versionReply);
          break;
        }
        case QOR_FPGA_RECONFIGURATION: status = device.fpgaReconfigure(request->data); break;
        default: {
          uint32_t written = 0;
          status = switchRelays(device, static_cast<RelayRequest>(sub), request->data, data, written);
          length += std::min<size_t>(written, data.size());
          break;
        }
      }
    }
  }
  if (!status.ok()) {
    recordPathError(&port, app.index, status);
    return;
  }
  FpgaReply head{};
  head.subFunction = sub;
  protocol::writeRecord(Buffer(answer), head); // the queue header in it is written by encodeResponse
  constexpr size_t kHead = sizeof(ServerResponseHeader);
  const size_t encoded = protocol::encodeResponse(answer, QOR_MSG_FPGA_ACCESS, 0, Bytes(answer.data() + kHead, length - kHead));
  reply(channel, Bytes(answer.data(), encoded));
}

} // namespace qor::daemon
