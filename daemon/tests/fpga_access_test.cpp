// Host-side FPGA access (message 0x40) as the daemon decodes and answers it: the u32 sub-function at 8, the fields
// behind it as the library lays them out, and the shortest request of each sub-function.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

#include "in_process_daemon.hpp"
#include "qor_error_codes.h"
#include "qor_shared/protocol.hpp"

namespace qor::test {
namespace {

constexpr uint32_t kDeviceNumber = 5;
constexpr uint32_t kDesignVersion = 0x20240501;
constexpr uint32_t kFpgaHostType = 36; // a USB model whose FPGA the host drives
constexpr uint32_t kMessageSize = 1036; // its queues

Message u32(uint32_t value) {
  Message bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

Message join(std::initializer_list<Message> parts) {
  Message all;
  for (const Message& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// A message whose length field counts the header and body.
Message withLength(Message message) {
  const auto length = static_cast<uint32_t>(message.size());
  std::memcpy(message.data() + offsetof(ServerRequestHeader, length), &length, sizeof length);
  return message;
}

Message fpgaRequest(uint32_t subFunction, const Message& data = {}) {
  return withLength(join({bareRequest(QOR_MSG_FPGA_ACCESS), u32(subFunction), data}));
}

Message fpgaReply(uint32_t subFunction, const Message& data = {}) {
  const Message body = join({u32(subFunction), data});
  const ServerResponseHeader header{QOR_MSG_FPGA_ACCESS, {0, 0, 0},
                                    static_cast<uint32_t>(sizeof header + body.size()), 0};
  Message reply(sizeof header);
  std::memcpy(reply.data(), &header, sizeof header);
  return join({reply, body});
}

Message report(uint32_t code, const char* text) {
  Message bytes(QOR_PRIVATE_PAIR_MESSAGE_SIZE);
  bytes.resize(protocol::encodeErrorReport(bytes, code, text));
  return bytes;
}

TEST(FpgaAccess, RequestsAreDecodedByTheirLayout) {
  struct Case {
    const char* what;
    Message request;
    Message answer;
  };
  const Message registerSeven = {7, 0, 0, 0};
  // Cases run in order: the register written first is read back later.
  const Case cases[] = {
      {"register write", fpgaRequest(QOR_FPGA_WRITE_REGISTER, join({registerSeven, u32(0xA1B2C3D4)})),
       fpgaReply(QOR_FPGA_WRITE_REGISTER)},
      {"register read", fpgaRequest(QOR_FPGA_READ_REGISTER, registerSeven),
       fpgaReply(QOR_FPGA_READ_REGISTER, join({u32(7), u32(0xA1B2C3D4)}))},
      {"design version", fpgaRequest(QOR_FPGA_READ_DESIGN_VERSION),
       fpgaReply(QOR_FPGA_READ_DESIGN_VERSION, u32(kDesignVersion))},
      {"a sub-function whose low byte reads as a register read",
       fpgaRequest(0x100, registerSeven),
       report(QOR_ERR_SERVER_UNKNOWN_COMMAND, "subCmd 0x100 of cmd 0x40 is unknown")},
      {"a sub-function whose low byte reads as a register write",
       fpgaRequest(0x01000001, join({registerSeven, u32(0)})),
       report(QOR_ERR_SERVER_UNKNOWN_COMMAND, "subCmd 0x1000001 of cmd 0x40 is unknown")},
      {"a register read without the bytes behind the register", fpgaRequest(QOR_FPGA_READ_REGISTER, {7}),
       report(QOR_ERR_SERVER_INVALID_PARAMETER, "subCmd 0x00 of cmd 0x40: 13 bytes are too few")},
      {"a relay request without its length", fpgaRequest(QOR_FPGA_RELAYS_SET, u32(1)),
       report(QOR_ERR_SERVER_INVALID_PARAMETER, "subCmd 0x06 of cmd 0x40: 16 bytes are too few")},
      {"a direct relay request without its length", fpgaRequest(QOR_FPGA_RELAYS_SET_DIRECT),
       report(QOR_ERR_SERVER_INVALID_PARAMETER, "subCmd 0x08 of cmd 0x40: 12 bytes are too few")},
      {"a sub-function cut short", withLength(join({bareRequest(QOR_MSG_FPGA_ACCESS), {0, 0, 0}})),
       report(QOR_ERR_SERVER_INVALID_PARAMETER, "command code 40: 11 bytes are too few")},
  };
  InProcessDaemon daemon({daemon::PathKind::Usb});
  const auto device = daemon.path(daemon::PathKind::Usb).device(kDeviceNumber);
  device->provideFpga(kDesignVersion);
  ConnectPortResponse connected;
  const auto app = Application::connect(descriptor(kFpgaHostType, 1, 1, kDeviceNumber), connected, kMessageSize);
  ASSERT_TRUE(app) << std::hex << connected.header.error;
  for (const Case& c : cases) {
    const auto answer = app->request(c.request);
    ASSERT_TRUE(answer) << c.what;
    EXPECT_EQ(*answer, c.answer) << c.what;
  }
  EXPECT_EQ(device->fpgaRegister(7), 0xA1B2C3D4u)
      << "no refused request reached the register";
}

} // namespace
} // namespace qor::test
