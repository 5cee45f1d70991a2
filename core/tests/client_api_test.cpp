// The library in a process without a daemon (or with a stand-in for the daemon's control pairs): handle checks,
// error texts and control requests.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mqueue.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "fake_server.hpp"
#include "qor_api.h"

namespace {

using Bytes = qor::test::FakeServer::Bytes;

constexpr uint32_t kInvalidHandle = 0x200000A;

struct BadHandleCase {
  const char* name;
  std::function<uint32_t(uint32_t)> call;
  uint32_t expected;
};

TEST(PortHandles, EveryCallOnABadHandleGivesItsFixedValueAndRecordsTheCode) {
  uint32_t value = 0;
  Qor_InterfaceInfo_t info{};
  uint32_t size = 16;
  char text[16];
  const BadHandleCase cases[] = {
      {"check", [](uint32_t p) { return Qor_CheckPortHandle(p); }, kInvalidHandle},
      {"interface type", [](uint32_t p) { return Qor_GetInterfaceType(p); }, 0},
      {"host interface type", [](uint32_t p) { return Qor_GetHostInterfaceType(p); }, 87},
      {"interface host", [](uint32_t p) { return Qor_GetInterfaceHost(p); }, 3},
      {"lock status", [](uint32_t p) { return Qor_GetLockStatus(p); }, 0},
      {"response time-out", [](uint32_t p) { return Qor_GetResponseTimeout(p); }, 0},
      {"asynchronous", [](uint32_t p) { return static_cast<uint32_t>(Qor_IsAsyncCommunicationEnabled(p)); }, 0},
      {"interface info", [&](uint32_t p) { return Qor_GetInterfaceInfo(p, &info); }, kInvalidHandle},
      {"parameter size", [&](uint32_t p) { return Qor_GetParamSize(p, &value); }, kInvalidHandle},
      {"set time-out", [](uint32_t p) { return Qor_SetResponseTimeout(p, 100); }, kInvalidHandle},
      {"get property", [&](uint32_t p) { return Qor_GetPropertyById(p, 1, &value); }, kInvalidHandle},
      {"set property", [](uint32_t p) { return Qor_SetPropertyById(p, 0, 1); }, kInvalidHandle},
      {"lock", [](uint32_t p) { return Qor_GetLock(p); }, kInvalidHandle},
      {"release lock", [](uint32_t p) { return Qor_ReleaseLock(p); }, kInvalidHandle},
      {"command", [](uint32_t p) { return Qor_Command(p, 1, nullptr, 0); }, kInvalidHandle},
      {"command with response",
       [&](uint32_t p) { return Qor_CommandWithResponseEx(p, 0, 1, 0, nullptr, 0, text, &size); }, kInvalidHandle},
      {"last error of the port", [&](uint32_t p) { return Qor_GetLastErrorByPortHandle(p, &value, &size, text); },
       kInvalidHandle},
      {"close", [](uint32_t p) { return Qor_CloseInterface(p); }, 0},
  };
  for (uint32_t port : {0u, 254u, 255u, 300u, 0xFFFFFFFFu}) {
    for (const BadHandleCase& c : cases) {
      SCOPED_TRACE(std::string(c.name) + " on port " + std::to_string(port));
      Qor_ErrorHandler(255, 0, "%s", "");
      EXPECT_EQ(c.call(port), c.expected);
      EXPECT_EQ(Qor_GetLastErrorCode(), kInvalidHandle);
      EXPECT_STREQ(Qor_GetLastErrorDescription(), "0x0200000A - API - invalid port handle - port not initialized");
    }
  }
}

TEST(ErrorTexts, ReportersAndGetters) {
  EXPECT_EQ(Qor_ErrorHandler(300, 0x02020001, "CAN Interface expected"), 0x02020001u);
  EXPECT_EQ(Qor_GetLastErrorCode(), 0x02020001u);
  EXPECT_STREQ(Qor_GetLastErrorDescription(), "0x02020001 - CAN - wrong interface type - CAN Interface expected");

  Qor_ErrorHandler(255, 0x02000205, "%s", "");
  EXPECT_STREQ(Qor_GetLastErrorDescription(), "0x02000205 - API - no response from device");

  // A text is formatted once: a '%' that arrives in an argument stays as it is.
  Qor_ErrorHandler(255, 0x1234, "firmware says %s", "value %d too large");
  EXPECT_STREQ(Qor_GetLastErrorDescription(), "0x00001234 - FW - firmware says value %d too large");

  Qor_ErrorHandler(255, 0, "%s", "");
  EXPECT_STREQ(Qor_GetLastErrorDescription(), "No Error.");

  // Texts are cut at 4095 characters.
  const std::string longText(5000, 'x');
  Qor_ErrorHandler(255, 0x02000206, "%s", longText.c_str());
  const std::string description = Qor_GetLastErrorDescription();
  EXPECT_EQ(description.size(), 4095u);
  EXPECT_EQ(description.rfind("0x02000206 - API - invalid parameter - xxx", 0), 0u);

  EXPECT_STREQ(Qor_GetErrorDescription(0), "no error");
  EXPECT_STREQ(Qor_GetErrorDescription(0x123), "firmware error");
  EXPECT_STREQ(Qor_GetErrorDescription(0x02000205), "API - no response from device");
}

TEST(ErrorTexts, DescriptionIntoACallersBuffer) {
  struct Case {
    uint32_t code;
    uint32_t capacity;
    std::string text;
    uint32_t size;
  } cases[] = {
      {0, 64, std::string("no error", 9), 9},
      {0x02000205, 10, "API - no r", 10}, // no room for the NUL: none is written
      {0x02000205, 64, std::string("API - no response from device", 30), 30},
      {0x1234, 64, std::string("firmware error", 15), 15}, // no port to ask
  };
  for (const Case& c : cases) {
    char text[64];
    memset(text, '#', sizeof text);
    uint32_t size = c.capacity;
    EXPECT_EQ(Qor_GetErrorDescription2(255, c.code, &size, text), 0u);
    EXPECT_EQ(size, c.size);
    EXPECT_EQ(std::string(text, size), c.text);
    EXPECT_EQ(text[size], '#');
  }
}

TEST(ControlRequests, WithoutADaemon) {
  uint32_t previous = 7;
  EXPECT_EQ(Qor_SetConnectionTimeout(1500, &previous), 0x2000100u);
  EXPECT_EQ(previous, 7u);
  uint8_t buffer[64];
  uint32_t size = sizeof buffer;
  EXPECT_EQ(Qor_GetDriverInfo(11, buffer, &size), 0x2000100u);
  EXPECT_EQ(size, 0u);
  Qor_InterfaceInfo_t info{};
  info.hostInterfaceType = 1; // four controllers
  info.controllerNumber = 1;
  uint32_t port = 0;
  EXPECT_EQ(Qor_OpenInterface(&info, &port), 0x2000100u);
  EXPECT_EQ(port, 255u);
  info.controllerNumber = 5;
  EXPECT_EQ(Qor_OpenInterface(&info, &port), 0x2000005u);
  EXPECT_STREQ(Qor_GetLastErrorDescription(), "0x02000005 - API - invalid controller number - maximum number of controllers: 4");
}

TEST(Open, WithoutADaemonRecordsTheConnectCodeWithItsOwnText) {
  constexpr const char* kDescription = "0x02000100 - API - could not connect to server";
  Qor_InterfaceInfo_t info{};
  info.hostInterfaceType = 1;
  info.controllerNumber = 1;
  uint32_t port = 0;
  // The library started without a daemon.
  EXPECT_EQ(Qor_OpenInterface(&info, &port), 0x2000100u);
  EXPECT_STREQ(Qor_GetLastErrorDescription(), kDescription);

  // The daemon went away after the library started: its queue is still held here but nobody reads it.
  mq_attr attributes{};
  attributes.mq_maxmsg = QOR_QUEUE_MAX_MESSAGES;
  attributes.mq_msgsize = QOR_SERVER_QUEUE_MESSAGE_SIZE;
  const mqd_t orphan = mq_open(QOR_SERVER_QUEUE_NAME, O_CREAT | O_EXCL | O_WRONLY, 0600, &attributes);
  ASSERT_NE(orphan, -1);
  mq_unlink(QOR_SERVER_QUEUE_NAME);
  ClientInfo.serverQueue = orphan;
  Qor_ErrorHandler(255, 0, "%s", "");
  EXPECT_EQ(Qor_OpenInterface(&info, &port), 0x2000100u);
  EXPECT_EQ(port, 255u);
  EXPECT_EQ(Qor_GetLastErrorCode(), 0x2000100u);
  EXPECT_STREQ(Qor_GetLastErrorDescription(), kDescription);
  ClientInfo.serverQueue = -1;
  mq_close(orphan);
}

// The per-user queue memory exhausted: the pair's first queue cannot be created, and the text says which and why.
TEST(PrivatePairs, AQueueThatCannotBeCreatedIsNamedWithTheSystemsReason) {
  qor::test::FakeServer server([](const Bytes&) { return Bytes{}; });
  rlimit limit{};
  ASSERT_EQ(getrlimit(RLIMIT_MSGQUEUE, &limit), 0);
  limit.rlim_cur = 0;
  ASSERT_EQ(setrlimit(RLIMIT_MSGQUEUE, &limit), 0);
  const std::string pid = std::to_string(getpid());
  Qor_InterfaceInfo_t info{};
  info.hostInterfaceType = 58; // Ethernet: no driver request before the pair
  info.controllerNumber = 1;
  info.interfaceNumber = 2;
  info.flags = QOR_INTERFACE_FLAG_ETHERNET | QOR_INTERFACE_FLAG_BINARY_IPV4;
  info.deviceNumber = 7;
  uint32_t port = 0;
  uint8_t buffer[64];
  uint32_t size = sizeof buffer;
  const struct {
    const char* name;
    std::function<uint32_t()> call;
    std::string queue;
  } cases[] = {
      {"open", [&] { return Qor_OpenInterface(&info, &port); }, "/Qor_API-" + pid + "-1-2-7-R"},
      {"control request", [&] { return Qor_GetDriverInfo(11, buffer, &size); }, "/Qor_API-" + pid + "_CNP-R"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.call(), 0x2000100u);
    EXPECT_STREQ(Qor_GetLastErrorDescription(),
                 ("0x02000100 - API - could not connect to server - could not create queue " + c.queue + ": " +
                  strerror(EMFILE))
                     .c_str());
  }
  EXPECT_EQ(port, 255u);
  EXPECT_TRUE(server.requests().empty()); // nothing was announced
}

Bytes reply(uint8_t code, uint32_t error, const Bytes& data = {}) {
  Bytes out(12 + data.size());
  const ServerResponseHeader header{code, {0, 0, 0}, static_cast<uint32_t>(out.size()), error};
  memcpy(out.data(), &header, sizeof header);
  std::copy(data.begin(), data.end(), out.begin() + 12);
  return out;
}

TEST(ControlRequests, ConnectionTimeoutAndPollingCycle) {
  qor::test::FakeServer server([](const Bytes& request) {
    if (request[0] == QOR_MSG_CONNECTION_TIMEOUT) return reply(0x1B, 0, {0xF4, 0x01, 0, 0});
    return reply(request[0], request[0] == QOR_MSG_FULL_SPEED_POLLING_CYCLE ? 0x100000E : 0);
  });
  uint32_t previous = 0;
  ASSERT_EQ(Qor_SetConnectionTimeout(1500, &previous), 0u);
  EXPECT_EQ(previous, 500u);
  EXPECT_EQ(Qor_SetFullSpeedPollingCycle(5), 0x100000Eu);
  EXPECT_STREQ(Qor_GetLastErrorDescription(), "0x0100000E - SERVER - invalid parameter - could not set polling cycle");
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], (Bytes{0x1B, 0, 0, 0, 12, 0, 0, 0, 0xDC, 0x05, 0, 0}));
  EXPECT_EQ(requests[1], (Bytes{0x1A, 0, 0, 0, 12, 0, 0, 0, 5, 0, 0, 0}));
}

TEST(ControlRequests, DriverInformation) {
  const Bytes devices(2000, 0x5A); // more than a 512-byte pair message could carry
  qor::test::FakeServer server([&](const Bytes& request) {
    if (request[0] == QOR_MSG_LAST_SERVER_ERROR) return reply(0x18, 0x1000001, {'n', 'o', ' ', 'd', 'e', 'v', 0});
    uint32_t type = 0;
    memcpy(&type, request.data() + 8, sizeof type);
    switch (type) {
      case 11: return reply(0x17, 0, devices);
      case 12: return reply(0x17, 0, Bytes(300, 1)); // more than the caller can take
      case 22: return reply(0x18, 0);         // a reply of another message
      case 24: return reply(0x17, 0x1000001); // the daemon refuses
      default: return reply(0x17, 0);
    }
  });
  Bytes buffer(4096);
  uint32_t size = static_cast<uint32_t>(buffer.size());
  ASSERT_EQ(Qor_GetDriverInfo(11, buffer.data(), &size), 0u);
  EXPECT_EQ(size, devices.size());
  EXPECT_TRUE(std::equal(devices.begin(), devices.end(), buffer.begin()));

  size = 100;
  EXPECT_EQ(Qor_GetDriverInfo(12, buffer.data(), &size), 0x2000201u);
  EXPECT_EQ(size, 0u);
  EXPECT_STREQ(Qor_GetLastErrorDescription(), "0x02000201 - API - response buffer too small - size of driver info: 300 byte");

  size = 100;
  EXPECT_EQ(Qor_GetDriverInfo(22, buffer.data(), &size), 0x2000203u);
  EXPECT_STREQ(Qor_GetLastErrorDescription(), "0x02000203 - API - unexpected command code - expected '0x17' - received '0x18'");

  size = 100;
  EXPECT_EQ(Qor_GetDriverInfo(24, buffer.data(), &size), 0x1000001u);
  EXPECT_EQ(size, 0u);
  EXPECT_STREQ(Qor_GetLastErrorDescription(), "0x01000001 - SERVER - unknown device type - no dev");

  size = 100;
  EXPECT_EQ(Qor_GetDriverInfo(53, buffer.data(), &size), 0u); // not asked on this platform
  EXPECT_EQ(size, 0u);
  size = 0xFFFFFFF8;
  EXPECT_EQ(Qor_GetDriverInfo(11, buffer.data(), &size), 0x2000206u);
}

TEST(ControlRequests, ThreadsOfOneProcessDoNotCrossTheirReplies) {
  qor::test::FakeServer server([](const Bytes& request) {
    uint32_t value = 0;
    memcpy(&value, request.data() + 8, sizeof value);
    Bytes data(4);
    memcpy(data.data(), &value, sizeof value); // the "previous" time-out echoes the request
    return reply(0x1B, 0, data);
  });
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (uint32_t t = 1; t <= 4; ++t) {
    threads.emplace_back([t, &wrong] {
      for (uint32_t i = 0; i < 5; ++i) {
        uint32_t previous = 0;
        if (Qor_SetConnectionTimeout(t * 100 + i, &previous) != 0 || previous != t * 100 + i) ++wrong;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, 0);
}

TEST(ControlRequests, ASilentDaemonEndsTheWaitWithTheConnectCode) {
  qor::test::FakeServer server([](const Bytes&) { return Bytes{}; });
  uint32_t previous = 0;
  const double start = GetTickCount();
  EXPECT_EQ(Qor_SetConnectionTimeout(1500, &previous), 0x2000100u);
  const double waited = GetTickCount() - start;
  EXPECT_GE(waited, QOR_PRIVATE_PAIR_TIMEOUT_MS - 50.0);
  EXPECT_LT(waited, QOR_PRIVATE_PAIR_TIMEOUT_MS + 2000.0);
}

} // namespace
