// Connecting applications to ports: opening devices, sharing ports, failures, and the close by message 0x05.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>

#include <cstring>

#include "in_process_daemon.hpp"
#include "qor_error_codes.h"
#include "qor_shared/host_types.hpp"

namespace qor::test {
namespace {

using daemon::PathKind;

constexpr uint32_t kEthernetType = 18;
constexpr uint32_t kAddressA = 0x0200007F; // 127.0.0.2
constexpr uint32_t kAddressB = 0x0300007F; // 127.0.0.3

Qor_InterfaceInfo_t ethernet(uint32_t address, uint8_t controller = 1) {
  return descriptor(kEthernetType, controller, 1, 0, 0, address);
}

// The daemon's last error, asked on a control pair (message 0x18).
std::pair<uint32_t, std::string> lastError() {
  auto pair = Pair::announce(controlPairName());
  if (!pair) return {0, "no pair"};
  const auto answer = pair->request(bareRequest(QOR_MSG_LAST_SERVER_ERROR));
  if (!answer) return {0, "no answer"};
  return {headerOf(*answer).error, reportText(*answer)};
}

TEST(Connect, FirstConnectOpensTheDeviceAndGrantsItsLocks) {
  daemon::Device::Properties properties;
  properties.module = 7;
  properties.deviceIdentifier = 4711;
  InProcessDaemon daemon({PathKind::Ethernet}, properties);
  ConnectPortResponse answer;
  const auto app = Application::connect(ethernet(kAddressA), answer);
  ASSERT_TRUE(app);
  EXPECT_EQ(answer.header.code, QOR_MSG_CONNECT_PORT);
  EXPECT_EQ(answer.header.length, sizeof answer);
  EXPECT_EQ(answer.portIndex, 0);
  EXPECT_EQ(answer.applicationIndex, 0);
  EXPECT_EQ(answer.controllerLockGranted, 1);
  EXPECT_EQ(answer.interfaceLockGranted, 1);
  EXPECT_EQ(answer.module, 7);
  EXPECT_EQ(answer.deviceIdentifier, 4711u);
  EXPECT_EQ(daemon.path().device(kAddressA)->opens(), 1);
}

TEST(Connect, ApplicationsOfOneDeviceShareItsPort) {
  InProcessDaemon daemon;
  ConnectPortResponse first;
  ConnectPortResponse second;
  const auto a = Application::connect(ethernet(kAddressA), first, 4108, 1);
  const auto b = Application::connect(ethernet(kAddressA), second, 4108, 2);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(second.portIndex, first.portIndex);
  EXPECT_EQ(second.applicationIndex, 1);
  EXPECT_EQ(second.controllerLockGranted, 1) << "the locks are the process's";
  EXPECT_EQ(daemon.path().opens(), 1);
}

TEST(Connect, DevicesAreRecognisedByTheRuleOfTheirModel) {
  struct Case {
    const char* what;
    Qor_InterfaceInfo_t first;
    Qor_InterfaceInfo_t second;
    bool shared;
  };
  const Case cases[] = {
      {"USB7130: another controller is another port", descriptor(11, 1, 1, 5), descriptor(11, 2, 1, 5), false},
      {"USB9420: the controllers of one device share it", descriptor(23, 1, 1, 6), descriptor(23, 2, 1, 6), true},
      {"another device number is another port", descriptor(23, 1, 1, 7), descriptor(23, 1, 1, 8), false},
      {"type 18 without the Ethernet flag is Ethernet", ethernet(kAddressA, 1), ethernet(kAddressA, 2), true},
      {"any model with the Ethernet flag, by address", descriptor(11, 1, 1, 9, QOR_INTERFACE_FLAG_ETHERNET, kAddressB),
       descriptor(11, 2, 1, 10, QOR_INTERFACE_FLAG_ETHERNET, kAddressB), true},
  };
  InProcessDaemon daemon({PathKind::Ethernet, PathKind::Usb});
  uint32_t clientPortId = 1;
  for (const Case& c : cases) {
    ConnectPortResponse first;
    ConnectPortResponse second;
    const uint32_t queueSize = sizeGroupOf(c.first.hostInterfaceType)->queueMessageSize;
    const auto a = Application::connect(c.first, first, queueSize, clientPortId++);
    const auto b = Application::connect(c.second, second, queueSize, clientPortId++);
    ASSERT_TRUE(a && b) << c.what;
    EXPECT_EQ(first.portIndex == second.portIndex, c.shared) << c.what;
  }
  EXPECT_EQ(daemon.path(PathKind::Usb).opens(), 5);
  EXPECT_EQ(daemon.path(PathKind::Ethernet).opens(), 2);
}

TEST(Connect, FailuresAnswerWithTheirCodeAndBecomeTheLastError) {
  struct Case {
    const char* what;
    Qor_InterfaceInfo_t info;
    uint32_t queueMessageSize;
    uint32_t code;
    const char* text;
  };
  const Case cases[] = {
      {"no access path serves the model", descriptor(20, 1, 1, 1), 4108, QOR_ERR_SERVER_UNKNOWN_DEVICE_TYPE, "20"},
      {"no such model", descriptor(87, 1, 1, 1), 4108, QOR_ERR_SERVER_UNKNOWN_DEVICE_TYPE,
       "device type '87' is unknown"},
      {"its path is not available", descriptor(22, 1, 1, 1), 4108, QOR_ERR_SERVER_DEVICE_NOT_CONNECTED, ""},
      {"the path refuses the open", ethernet(kAddressB), 4108, QOR_ERR_SERVER_DEVICE_NOT_CONNECTED,
       "connection attempt failed"},
      {"queues larger than the model's", ethernet(kAddressA), 70000, QOR_ERR_SERVER_INVALID_PARAMETER,
       "queue message size 70000 is not valid for host interface type 18"},
  };
  InProcessDaemon daemon;
  daemon.path().refuseNextOpen(QOR_ERR_SERVER_DEVICE_NOT_CONNECTED, "connection attempt failed");
  for (const Case& c : cases) {
    ConnectPortResponse answer;
    EXPECT_FALSE(Application::connect(c.info, answer, c.queueMessageSize)) << c.what;
    EXPECT_EQ(answer.header.error, c.code) << c.what;
    EXPECT_EQ(answer.applicationIndex, 255) << c.what;
    EXPECT_EQ(lastError(), std::make_pair(c.code, std::string(c.text))) << c.what;
  }
  // Failed opens left no record behind.
  ConnectPortResponse answer;
  ASSERT_TRUE(Application::connect(ethernet(kAddressA), answer));
  EXPECT_EQ(answer.portIndex, 0);
}

TEST(Connect, QueuesThatCannotBeCreatedFailTheConnectAtOnce) {
  InProcessDaemon daemon;
  rlimit original{};
  ASSERT_EQ(getrlimit(RLIMIT_MSGQUEUE, &original), 0);
  // Room for the pair and the response queue of the application, not for its request queue as well.
  const rlimit tight{24000, original.rlim_max};
  ASSERT_EQ(setrlimit(RLIMIT_MSGQUEUE, &tight), 0);
  ConnectPortResponse answer;
  const auto started = std::chrono::steady_clock::now();
  const auto app = Application::connect(ethernet(kAddressA), answer);
  const auto took = std::chrono::steady_clock::now() - started;
  ASSERT_EQ(setrlimit(RLIMIT_MSGQUEUE, &original), 0);
  EXPECT_FALSE(app);
  EXPECT_EQ(answer.header.error, QOR_ERR_SERVER_CREATE_PIPE);
  EXPECT_LT(took, std::chrono::seconds(2));
  auto pair = Pair::announce(controlPairName());
  ASSERT_TRUE(pair);
  const auto last = pair->request(bareRequest(QOR_MSG_LAST_SERVER_ERROR));
  ASSERT_TRUE(last);
  EXPECT_EQ(reportText(*last), "'CreateNamedPipe' returned with '24' - Too many open files") << "the cause itself";
  EXPECT_FALSE(daemon.path().device(kAddressA)->isOpen()) << "the failed connect closed what it opened";
  EXPECT_TRUE(Application::connect(ethernet(kAddressA), answer));
}

TEST(Connect, AClientCannotConnectForAnotherProcess) {
  InProcessDaemon daemon;
  auto pair = Pair::announce(controlPairName());
  ASSERT_TRUE(pair);
  const auto answer = pair->request(connectRequest(ethernet(kAddressA), static_cast<uint32_t>(getppid()), 1, 4108));
  ASSERT_TRUE(answer);
  EXPECT_EQ(headerOf(*answer).error, QOR_ERR_SERVER_INVALID_PARAMETER);
  EXPECT_EQ(daemon.path().opens(), 0);
}

TEST(Connect, CloseByTheClientKeepsTheDeviceForTheNextConnect) {
  InProcessDaemon daemon;
  const auto device = daemon.path().device(kAddressA);
  uint8_t port;
  {
    ConnectPortResponse answer;
    const auto app = Application::connect(ethernet(kAddressA), answer);
    ASSERT_TRUE(app);
    port = answer.portIndex;
    const auto closed = app->request(bareRequest(QOR_MSG_DISCONNECT, port, app->index()));
    ASSERT_TRUE(closed);
    EXPECT_EQ(headerOf(*closed).code, QOR_MSG_DISCONNECT);
    EXPECT_EQ(headerOf(*closed).error, 0u);
  }
  EXPECT_TRUE(device->isOpen());
  ConnectPortResponse answer;
  const auto again = Application::connect(ethernet(kAddressA), answer);
  ASSERT_TRUE(again);
  EXPECT_EQ(answer.portIndex, port);
  EXPECT_EQ(device->opens(), 1) << "the open device is reused";
  // A new hardware thread routes the device's frames.
  device->emit(deviceFrame(answer.applicationIndex, 0x42, {}));
  const auto frame = again->receive();
  ASSERT_TRUE(frame);
  EXPECT_EQ(headerOf(*frame).code, QOR_MSG_FIRMWARE_TRAFFIC);
}

} // namespace
} // namespace qor::test
