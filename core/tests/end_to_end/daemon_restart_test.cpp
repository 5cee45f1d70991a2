// A daemon that starts after the library was loaded, or restarts between two opens, is reached by the next open.
#include <gtest/gtest.h>

#include <chrono>

#include "qor_test/interface_fixture.hpp"

namespace qor::test {
namespace {

using namespace std::chrono_literals;

// Far below the private pair's time-out, which a stale "/Qor_API" would cost.
constexpr auto kPromptOpen = 5s;

class DaemonStartedLater : public InterfaceFixture {
protected:
  void SetUp() override { startDevice(); }

  // Opens the emulated interface and closes it again; the open's result and how long it took.
  static std::pair<uint32_t, std::chrono::steady_clock::duration> openAndClose() {
    const Qor_InterfaceInfo_t info = ethernetDescriptor(kDeviceAddress, kDevicePort);
    uint32_t port = QOR_NO_PORT;
    const auto start = std::chrono::steady_clock::now();
    const uint32_t result = Qor_OpenInterface(&info, &port);
    const auto took = std::chrono::steady_clock::now() - start;
    if (result == 0) {
      EXPECT_EQ(Qor_CloseInterface(port), 0u);
    }
    return {result, took};
  }
};

TEST_F(DaemonStartedLater, TheFirstOpenAfterTheDaemonStartedReachesIt) {
  auto [result, took] = openAndClose();
  EXPECT_EQ(result, QOR_ERR_API_COULD_NOT_CONNECT); // the library was loaded with no daemon running
  EXPECT_LT(took, kPromptOpen);
  startDaemon();
  std::tie(result, took) = openAndClose();
  EXPECT_EQ(result, 0u) << Qor_GetLastErrorDescription();
  EXPECT_LT(took, kPromptOpen);
}

TEST_F(DaemonStartedLater, AnOpenAfterARestartOfTheDaemonReachesTheNewOne) {
  startDaemon();
  ASSERT_TRUE(connectLibraryToDaemon()); // the library holds the first daemon's queue
  auto [result, took] = openAndClose();
  ASSERT_EQ(result, 0u) << Qor_GetLastErrorDescription();
  daemon_.reset();
  std::tie(result, took) = openAndClose();
  EXPECT_EQ(result, QOR_ERR_API_COULD_NOT_CONNECT); // between the two daemons
  EXPECT_LT(took, kPromptOpen);
  startDaemon();
  std::tie(result, took) = openAndClose();
  EXPECT_EQ(result, 0u) << Qor_GetLastErrorDescription();
  EXPECT_LT(took, kPromptOpen);
}

} // namespace
} // namespace qor::test
