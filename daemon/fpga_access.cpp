// Host-side FPGA access (message 0x40): register, FIFO, design version, reconfiguration and relays of the models
// whose FPGA the host drives. Every answer starts {0x40, length, 0} with the sub-function as u32 at 12; a failure is
// answered by the error report alone.
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "fpga_relays.hpp"
#include "qor_error_codes.h"
#include "server.hpp"

namespace qor::daemon {
namespace {

constexpr size_t kSubFunctionOffset = 8;
constexpr size_t kParameterOffset = 12;
constexpr size_t kAnswerDataOffset = 16;
constexpr size_t kLongestFixedAnswer = 24; // register read: register and value behind the sub-function
constexpr uint32_t kFifoReadTimeoutMs = 500;
constexpr uint8_t kLastSubFunction = 9;

// The shortest request of each sub-function: what its parameters need.
constexpr std::array<size_t, kLastSubFunction + 1> kMinimumLength = {13, 20, 9, 12, 9, 12, 12, 12, 12, 12};

uint32_t readU32(Bytes message, size_t offset) {
  uint32_t value;
  std::memcpy(&value, message.data() + offset, sizeof value);
  return value;
}

void writeU32(std::vector<uint8_t>& answer, size_t offset, uint32_t value) {
  std::memcpy(answer.data() + offset, &value, sizeof value);
}

} // namespace

void Server::fpgaAccess(Bytes message, Channel& channel) {
  Port& port = *channel.port;
  Application& app = *channel.application;
  const uint8_t sub = message[kSubFunctionOffset];
  if (sub > kLastSubFunction) {
    recordErrorf(&port, app.index, QOR_ERR_SERVER_UNKNOWN_COMMAND, "subCmd 0x%02x of cmd 0x%02x is unknown", sub,
                 QOR_MSG_FPGA_ACCESS);
    return;
  }
  if (message.size() < kMinimumLength[sub]) {
    recordErrorf(&port, app.index, QOR_ERR_SERVER_INVALID_PARAMETER, "subCmd 0x%02x of cmd 0x%02x: %zu bytes are too few",
                 sub, QOR_MSG_FPGA_ACCESS, message.size());
    return;
  }
  const Bytes parameters = message.subspan(kParameterOffset <= message.size() ? kParameterOffset : message.size());
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
          status = device.fpgaRegisterRead(parameters[0], value);
          writeU32(answer, kAnswerDataOffset, parameters[0]);
          writeU32(answer, kAnswerDataOffset + 4, value);
          length += 8;
          break;
        }
        case QOR_FPGA_WRITE_REGISTER: status = device.fpgaRegisterWrite(parameters[0], readU32(message, 16)); break;
        case QOR_FPGA_READ_FIFO: {
          uint32_t read = 0;
          status = device.fpgaFifoRead(data, read, kFifoReadTimeoutMs);
          length += std::min<size_t>(read, data.size());
          break;
        }
        case QOR_FPGA_WRITE_FIFO: status = device.fpgaFifoWrite(parameters); break;
        case QOR_FPGA_READ_DESIGN_VERSION: {
          uint32_t version = 0;
          status = device.fpgaDesignVersion(version);
          writeU32(answer, kAnswerDataOffset, version);
          length += 4;
          break;
        }
        case QOR_FPGA_RECONFIGURATION: status = device.fpgaReconfigure(parameters); break;
        default: {
          uint32_t written = 0;
          status = switchRelays(device, static_cast<RelayRequest>(sub), parameters, data, written);
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
  writeU32(answer, kParameterOffset, sub);
  constexpr size_t kHead = sizeof(ServerResponseHeader);
  const size_t encoded = protocol::encodeResponse(answer, QOR_MSG_FPGA_ACCESS, 0, Bytes(answer.data() + kHead, length - kHead));
  reply(channel, Bytes(answer.data(), encoded));
}

} // namespace qor::daemon
