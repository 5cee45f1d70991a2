// Host-side FPGA access through ports of the library: ports opened against a stand-in for the daemon's side of the
// application (the requests each call sends, how replies, error reports and late answers are taken), and a firmware
// port built by hand.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "fake_application.hpp"
#include "ports/port_context.hpp"
#include "qor_api.h"

namespace {

using qor::test::FakeApplication;
using Bytes = FakeApplication::Bytes;
using namespace std::chrono_literals;

constexpr uint32_t kFpgaHostType = 36;     // an FPGA model: interface host 1, 1036-byte messages, 500 ms
constexpr uint32_t kMessageSize = 1036;
constexpr auto kLate = 800ms;              // beyond the port's 500 ms
// For the late answers: one arrives well after its request's time-out and well within the next request's.
constexpr uint32_t kLateTestTimeoutMs = 1000;
constexpr auto kLateBeyondTimeout = 1400ms;

Bytes u32(uint32_t value) {
  Bytes bytes(4);
  memcpy(bytes.data(), &value, 4);
  return bytes;
}

Bytes u16(uint16_t value) { return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)}; }

Bytes join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// What the library must send for a sub-function and its data.
Bytes request(uint32_t subFunction, const Bytes& data) {
  return join({{QOR_MSG_FPGA_ACCESS, FakeApplication::kPortIndex, FakeApplication::kApplicationIndex, 0},
               u32(static_cast<uint32_t>(12 + data.size())), u32(subFunction), data});
}

Bytes reply(uint32_t subFunction, const Bytes& data) {
  return join({{QOR_MSG_FPGA_ACCESS, 0, 0, 0}, u32(static_cast<uint32_t>(16 + data.size())), u32(0), u32(subFunction),
               data});
}

Bytes errorReport(uint32_t code, const std::string& text) {
  Bytes report = join({{QOR_MSG_ERROR_REPORT, 0, 0, 0}, u32(static_cast<uint32_t>(13 + text.size())), u32(code)});
  report.insert(report.end(), text.begin(), text.end());
  report.push_back(0);
  return report;
}

uint32_t subFunctionOf(const Bytes& message) {
  uint32_t subFunction = 0;
  if (message.size() >= 12) memcpy(&subFunction, message.data() + 8, 4);
  return subFunction;
}

uint32_t openPort(uint32_t hostType) {
  uint32_t port = QOR_NO_PORT;
  EXPECT_EQ(qor::test::openPort(hostType, port), 0u);
  return port;
}

struct CallCase {
  const char* name;
  std::function<uint32_t(uint32_t port)> call;
  Bytes request;              // what the daemon receives
  std::vector<Bytes> answer;  // what it sends back
  uint32_t result;
  std::function<void()> check;
};

TEST(FpgaAccess, EachCallSendsItsRequestAndTakesItsReply) {
  FakeApplication daemon;
  const uint32_t port = openPort(kFpgaHostType);
  uint32_t value = 0;
  uint32_t version = 0;
  uint8_t fifo[8] = {};
  uint32_t fifoSize = sizeof fifo;
  uint8_t state[2] = {};
  const uint8_t data[] = {0xA1, 0xA2, 0xA3};
  const uint8_t relays[] = {1, 2};
  const CallCase cases[] = {
      {"read register", [&](uint32_t p) { return Qor_Fpga_ReadRegister(p, 7, &value); },
       request(0, {7, 0, 0, 0}), {reply(0, join({u32(7), u32(0xCAFE)}))}, 0, [&] { EXPECT_EQ(value, 0xCAFEu); }},
      {"write register", [&](uint32_t p) { return Qor_Fpga_WriteRegister(p, 9, 0x12345678); },
       request(1, join({{9, 0, 0, 0}, u32(0x12345678)})), {reply(1, {})}, 0, [] {}},
      {"read FIFO", [&](uint32_t p) { return Qor_Fpga_ReadFifo(p, fifo, &fifoSize); }, request(2, {}),
       {reply(2, {5, 6, 7, 8, 9})}, 0, [&] {
         EXPECT_EQ(fifoSize, 5u);
         EXPECT_EQ(Bytes(fifo, fifo + 5), Bytes({5, 6, 7, 8, 9}));
       }},
      {"write FIFO", [&](uint32_t p) { return Qor_Fpga_WriteFifo(p, data, sizeof data); },
       request(3, {0xA1, 0xA2, 0xA3}), {reply(3, {})}, 0, [] {}},
      {"design version", [&](uint32_t p) { return Qor_Fpga_ReadVhdlDesignVersion(p, &version); }, request(4, {}),
       {reply(4, u32(0x0102))}, 0, [&] { EXPECT_EQ(version, 0x0102u); }},
      {"reconfiguration", [&](uint32_t p) { return Qor_Fpga_Reconfiguration(p, "/a.cfd"); },
       request(5, {'/', 'a', '.', 'c', 'f', 'd', 0}), {reply(5, {})}, 0, [] {}},
      {"set relays", [&](uint32_t p) { return Qor_Fpga_Relays_Set(p, 0x11, 2, relays); },
       request(6, join({u32(0x11), u16(2), {1, 2}})), {reply(6, {})}, 0, [] {}},
      {"reset relays", [&](uint32_t p) { return Qor_Fpga_Relays_Reset(p, 0x22, 2, relays); },
       request(7, join({u32(0x22), u16(2), {1, 2}})), {reply(7, {})}, 0, [] {}},
      {"set relays directly", [&](uint32_t p) { return Qor_Fpga_Relays_SetDirect(p, 2, relays); },
       request(8, join({u16(2), {1, 2}})), {reply(8, {})}, 0, [] {}},
      {"relay state", [&](uint32_t p) { return Qor_Fpga_Relays_GetState(p, 2, relays, state); },
       request(9, join({u16(2), {1, 2}})), {reply(9, join({u16(2), {0xB1, 0xB2}}))}, 0,
       [&] { EXPECT_EQ(Bytes(state, state + 2), Bytes({0xB1, 0xB2})); }},
      {"a path without FPGA operations", [&](uint32_t p) { return Qor_Fpga_ReadRegister(p, 1, &value); },
       request(0, {1, 0, 0, 0}), {errorReport(0x100000C, "function not available")}, 0x100000C, [] {}},
      {"a refused reply", [&](uint32_t p) { return Qor_Fpga_ReadFifo(p, fifo, &fifoSize); }, request(2, {}),
       {join({{QOR_MSG_FPGA_ACCESS, 0, 0, 0}, u32(12), u32(0x1000009)})}, 0x1000009, [] {}},
  };
  size_t sent = 0;
  for (const CallCase& c : cases) {
    SCOPED_TRACE(c.name);
    daemon.script([answer = c.answer](size_t, const Bytes&) { return answer; });
    EXPECT_EQ(c.call(port), c.result);
    c.check();
    const std::vector<Bytes> requests = daemon.requests(QOR_MSG_FPGA_ACCESS);
    ASSERT_EQ(requests.size(), ++sent);
    EXPECT_EQ(requests.back(), c.request);
  }
  EXPECT_EQ(Qor_CloseInterface(port), 0u);
}

TEST(FpgaAccess, RepliesAreReadOnlyWithinTheirBytes) {
  FakeApplication daemon;
  const uint32_t port = openPort(kFpgaHostType);
  uint32_t value = 99;
  uint8_t fifo[4] = {};
  uint32_t fifoSize = sizeof fifo;
  uint8_t state[2] = {0xEE, 0xEE};
  const uint8_t relays[] = {1, 2};
  const CallCase cases[] = {
      {"a register reply without its value", [&](uint32_t p) { return Qor_Fpga_ReadRegister(p, 7, &value); }, {},
       {reply(0, u32(7))}, QOR_ERR_API_INVALID_COMMAND_LENGTH, [&] { EXPECT_EQ(value, 99u); }},
      {"FIFO data beyond the buffer", [&](uint32_t p) { return Qor_Fpga_ReadFifo(p, fifo, &fifoSize); }, {},
       {reply(2, {1, 2, 3, 4, 5})}, QOR_ERR_API_RESPONSE_BUFFER_TOO_SMALL, [&] {
         EXPECT_EQ(fifoSize, 4u);
         EXPECT_STREQ(Qor_GetLastErrorDescription(), "0x02000201 - API - response buffer too small - "
                                                     "response buffer (4 bytes) < response (5 bytes)");
       }},
      {"a state count beyond the reply", [&](uint32_t p) { return Qor_Fpga_Relays_GetState(p, 2, relays, state); }, {},
       {reply(9, join({u16(2), {0xB1}}))}, QOR_ERR_API_INVALID_COMMAND_LENGTH,
       [&] { EXPECT_EQ(Bytes(state, state + 2), Bytes({0xEE, 0xEE})); }},
      {"fewer states than asked", [&](uint32_t p) { return Qor_Fpga_Relays_GetState(p, 2, relays, state); }, {},
       {reply(9, join({u16(1), {0xB1, 0xB2}}))}, QOR_ERR_API_INVALID_COMMAND_LENGTH,
       [&] { EXPECT_EQ(Bytes(state, state + 2), Bytes({0xEE, 0xEE})); }},
  };
  for (const CallCase& c : cases) {
    SCOPED_TRACE(c.name);
    daemon.script([answer = c.answer](size_t, const Bytes&) { return answer; });
    EXPECT_EQ(c.call(port), c.result);
    c.check();
  }
  EXPECT_EQ(Qor_CloseInterface(port), 0u);
}

struct LateCase {
  const char* name;
  std::vector<Bytes> firstAnswer; // sent kLateBeyondTimeout after the first request, when any
  uint32_t secondResult;
  size_t requestsAfterSecond;
};

TEST(FpgaAccess, ALateAnswerNeverSatisfiesTheNextRequest) {
  const LateCase cases[] = {
      {"a late reply", {reply(0, join({u32(7), u32(1)}))}, 0, 2},
      {"a late error report", {errorReport(0x1200004, "read failed")}, 0, 2},
      // Without any answer the next request is not sent; the one after it is.
      {"no answer", {}, QOR_ERR_API_NO_RESPONSE, 1},
  };
  for (const LateCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeApplication daemon;
    const uint32_t port = openPort(kFpgaHostType);
    ASSERT_EQ(Qor_SetResponseTimeout(port, kLateTestTimeoutMs), 0u);
    daemon.script([&](size_t index, const Bytes&) -> std::vector<Bytes> {
      if (index != 0) return {reply(0, join({u32(7), u32(static_cast<uint32_t>(index + 1))}))};
      if (c.firstAnswer.empty()) return {};
      std::this_thread::sleep_for(kLateBeyondTimeout);
      return c.firstAnswer;
    });
    uint32_t value = 0;
    EXPECT_EQ(Qor_Fpga_ReadRegister(port, 7, &value), QOR_ERR_API_NO_RESPONSE);
    value = 0;
    EXPECT_EQ(Qor_Fpga_ReadRegister(port, 7, &value), c.secondResult);
    if (c.secondResult == 0) {
      EXPECT_EQ(value, 2u);
    }
    EXPECT_EQ(daemon.requests(QOR_MSG_FPGA_ACCESS).size(), c.requestsAfterSecond);
    EXPECT_EQ(Qor_Fpga_ReadRegister(port, 7, &value), 0u);
    EXPECT_EQ(value, c.requestsAfterSecond + 1);
    EXPECT_EQ(Qor_CloseInterface(port), 0u);
  }
}

TEST(FpgaAccess, RepliesOfOtherRequestsAreNotTaken) {
  FakeApplication daemon;
  const uint32_t port = openPort(kFpgaHostType);
  // Before the reply, one of another sub-function and one of another register.
  daemon.script([](size_t, const Bytes&) -> std::vector<Bytes> {
    return {reply(4, u32(0x0102)), reply(0, join({u32(8), u32(1)})), reply(0, join({u32(7), u32(2)}))};
  });
  uint32_t value = 0;
  EXPECT_EQ(Qor_Fpga_ReadRegister(port, 7, &value), 0u);
  EXPECT_EQ(value, 2u);
  EXPECT_EQ(Qor_CloseInterface(port), 0u);
}

TEST(FpgaAccess, AReconfigurationOutlastsTheResponseTimeout) {
  FakeApplication daemon;
  const uint32_t port = openPort(kFpgaHostType);
  daemon.script([](size_t, const Bytes&) -> std::vector<Bytes> {
    std::this_thread::sleep_for(kLate);
    return {reply(5, {})};
  });
  EXPECT_EQ(Qor_Fpga_Reconfiguration(port, "/FpgaFiles/1.CFD"), 0u);
  EXPECT_EQ(Qor_CloseInterface(port), 0u);
}

TEST(FpgaAccess, RequestsBeyondOneMessageAreRefusedUnsent) {
  FakeApplication daemon;
  const uint32_t port = openPort(kFpgaHostType);
  daemon.script([](size_t, const Bytes& request) -> std::vector<Bytes> { return {reply(subFunctionOf(request), {})}; });
  const Bytes data(kMessageSize, 0x5A);
  const std::string path(kMessageSize, 'p');
  const struct {
    const char* name;
    std::function<uint32_t()> call;
    uint32_t result;
  } cases[] = {
      {"a FIFO write that fills the message",
       [&] { return Qor_Fpga_WriteFifo(port, data.data(), kMessageSize - 12); }, 0},
      {"one byte more", [&] { return Qor_Fpga_WriteFifo(port, data.data(), kMessageSize - 11); },
       QOR_ERR_API_INVALID_COMMAND_LENGTH},
      {"relays that fill the message", [&] { return Qor_Fpga_Relays_Set(port, 0, kMessageSize - 18, data.data()); }, 0},
      {"one relay byte more", [&] { return Qor_Fpga_Relays_Set(port, 0, kMessageSize - 17, data.data()); },
       QOR_ERR_API_INVALID_COMMAND_LENGTH},
      {"direct relays beyond the message", [&] { return Qor_Fpga_Relays_SetDirect(port, 0xFFFF, data.data()); },
       QOR_ERR_API_INVALID_COMMAND_LENGTH},
      {"a path beyond the message", [&] { return Qor_Fpga_Reconfiguration(port, path.c_str()); },
       QOR_ERR_API_INVALID_COMMAND_LENGTH},
  };
  size_t sent = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.call(), c.result);
    if (c.result == 0) ++sent;
    EXPECT_EQ(daemon.requests(QOR_MSG_FPGA_ACCESS).size(), sent);
  }
  EXPECT_EQ(daemon.requests(QOR_MSG_FPGA_ACCESS).front().size(), kMessageSize);
  EXPECT_EQ(Qor_CloseInterface(port), 0u);
}

// A firmware port as the open leaves it, with no daemon behind it: a call that sent anything would fail otherwise.
TEST(FpgaAccess, OnlyOpenPortsOfAnFpgaHostAreServed) {
  constexpr uint32_t kHandle = 9;
  Qor_PortContext context;
  context.interfaceHost = QOR_INTERFACE_HOST_FIRMWARE;
  context.entry = &PortInfo[kHandle];
  PortInfo[kHandle].context = &context;
  PortInfo[kHandle].inUse = 1;
  uint32_t value = 0;
  uint32_t size = 0;
  uint8_t byte = 0;
  const std::function<uint32_t(uint32_t)> calls[] = {
      [&](uint32_t p) { return Qor_Fpga_ReadRegister(p, 0, &value); },
      [&](uint32_t p) { return Qor_Fpga_WriteRegister(p, 0, 0); },
      [&](uint32_t p) { return Qor_Fpga_ReadFifo(p, &byte, &size); },
      [&](uint32_t p) { return Qor_Fpga_WriteFifo(p, &byte, 1); },
      [&](uint32_t p) { return Qor_Fpga_ReadVhdlDesignVersion(p, &value); },
      [&](uint32_t p) { return Qor_Fpga_Reconfiguration(p, "/a"); },
      [&](uint32_t p) { return Qor_Fpga_Relays_Set(p, 0, 1, &byte); },
      [&](uint32_t p) { return Qor_Fpga_Relays_Reset(p, 0, 1, &byte); },
      [&](uint32_t p) { return Qor_Fpga_Relays_SetDirect(p, 1, &byte); },
      [&](uint32_t p) { return Qor_Fpga_Relays_GetState(p, 1, &byte, &byte); },
  };
  for (const auto& call : calls) {
    EXPECT_EQ(call(kHandle), QOR_ERR_API_INVALID_DEVICE_TYPE);
    EXPECT_STREQ(Qor_GetLastErrorDescription(),
                 "0x0200000B - API - invalid device type - FPGA interface host expected");
    EXPECT_EQ(call(200), QOR_ERR_API_INVALID_PORT_HANDLE);
  }
  PortInfo[kHandle] = Qor_PortInfo_t{};
}

} // namespace
