// SIGTERM, as the daemon's stop sends it, while other threads of the process open and close ports: the library's
// clean-up closes what is open and leaves each running open to fail cleanly or to finish.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "qor_test/interface_fixture.hpp"

namespace qor::test {
namespace {

using namespace std::chrono_literals;

// The process's private queue pairs still in the queue file system.
std::vector<std::string> leftPrivateQueues() {
  const std::string prefix = "Qor_API-" + std::to_string(getpid());
  std::vector<std::string> left;
  if (DIR* directory = opendir("/dev/mqueue")) {
    while (const dirent* item = readdir(directory)) {
      if (std::string(item->d_name).starts_with(prefix)) left.emplace_back(item->d_name);
    }
    closedir(directory);
  }
  return left;
}

using SignalDuringOpen = InterfaceFixture;

TEST_F(SignalDuringOpen, EveryOpenEitherSucceedsOrFailsWithACodeAndNothingStaysOpen) {
  constexpr uint8_t kOpeners = 3; // one per interface of the device
  std::atomic<bool> stop{false};
  std::atomic<int> succeeded{0};
  std::atomic<int> failed{0};
  std::vector<std::thread> openers;
  for (uint8_t number = 1; number <= kOpeners; ++number) {
    openers.emplace_back([&, number] {
      const Qor_InterfaceInfo_t info = ethernetDescriptor(kDeviceAddress, kDevicePort, number);
      while (!stop) {
        uint32_t port = QOR_NO_PORT;
        const uint32_t result = Qor_OpenInterface2(1, &info, &port); // no configuration file here
        if (result == 0) {
          ++succeeded;
          EXPECT_LT(port, QOR_MAX_PORTS);
          Qor_CloseInterface(port); // the signal may have closed it already
        } else {
          ++failed;
          EXPECT_EQ(port, QOR_NO_PORT);
        }
      }
    });
  }
  const auto end = std::chrono::steady_clock::now() + 4s;
  for (int signal = 0; std::chrono::steady_clock::now() < end; ++signal) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5 + 17 * (signal % 7)));
    kill(getpid(), SIGTERM);
  }
  stop = true;
  for (std::thread& opener : openers) opener.join();
  EXPECT_GT(succeeded.load(), 0);
  // The last signal's clean-up may still be running: it ends with no port open.
  const auto settled = std::chrono::steady_clock::now() + 10s;
  auto anyOpen = [] {
    for (uint32_t port = 0; port < QOR_MAX_PORTS; ++port) {
      if (Qor_CheckPortHandle(port) == 0) return true;
    }
    return false;
  };
  while (anyOpen() && std::chrono::steady_clock::now() < settled) std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(anyOpen());
  EXPECT_EQ(leftPrivateQueues(), std::vector<std::string>{});
  // The library stays usable after the signals.
  EXPECT_LT(open(), QOR_MAX_PORTS);
}

} // namespace
} // namespace qor::test
