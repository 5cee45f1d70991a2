// Clients that die, and the daemon's stop while clients are connected: applications closed, locks freed, devices
// closed, queues removed, client processes told.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "in_process_daemon.hpp"
#include "map_ethernet.hpp"
#include "qor_emulator/device.hpp"
#include "qor_emulator/tcp_front_end.hpp"

namespace qor::test {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kAddress = 0x0200007F;

Qor_InterfaceInfo_t device() { return descriptor(18, 1, 1, 0, 0, kAddress); }

// The queues of the system that exist now.
std::vector<std::string> queues() {
  std::vector<std::string> names;
  if (DIR* directory = opendir("/dev/mqueue")) {
    while (const dirent* entry = readdir(directory)) {
      const std::string name = entry->d_name;
      if (name.find("Qor_API") != std::string::npos) names.push_back(name);
    }
    closedir(directory);
  }
  return names;
}

bool hasQueueOf(pid_t pid) {
  for (const std::string& name : queues()) {
    if (name.find("_" + std::to_string(pid) + "_") != std::string::npos) return true;
  }
  return false;
}

TEST(Lifecycle, AKilledClientLosesItsApplicationsLocksAndQueues) {
  ChildClient victim;
  InProcessDaemon daemon;
  const auto answer = victim.connect(device());
  ASSERT_TRUE(answer);
  ASSERT_EQ(answer->header.error, 0u);
  ASSERT_EQ(answer->controllerLockGranted, 1);
  const auto fake = daemon.path().device(kAddress);
  ASSERT_TRUE(hasQueueOf(victim.pid()));

  victim.process().kill(SIGKILL);
  ASSERT_TRUE(victim.process().wait(5000ms));
  EXPECT_TRUE(fake->waitClosed(5000ms)) << "its last application closed the device";
  // The request thread removes the queues after it closed the application.
  const auto deadline = std::chrono::steady_clock::now() + 3000ms;
  while (hasQueueOf(victim.pid()) && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(hasQueueOf(victim.pid()));

  ConnectPortResponse mine;
  const auto app = Application::connect(device(), mine);
  ASSERT_TRUE(app);
  EXPECT_EQ(mine.controllerLockGranted, 1);
  EXPECT_EQ(mine.portIndex, 0) << "the record was freed and is taken again";
  EXPECT_EQ(fake->opens(), 2);
}

// A client killed inside an open leaves its pair: the control thread that finds it dead removes it, so leftovers
// never fill the user's queue memory.
TEST(Lifecycle, AClientKilledWithItsPairAnnouncedLeavesNoQueues) {
  int go[2];
  int announced[2];
  ASSERT_EQ(pipe(go), 0);
  ASSERT_EQ(pipe(announced), 0);
  ChildProcess victim([&] {
    char start = 0;
    if (read(go[0], &start, 1) != 1) return 1;
    const auto pair = Pair::announce(controlPairName());
    const char done = pair ? 'y' : 'n';
    if (write(announced[1], &done, 1) != 1) return 1;
    pause();
    return 0;
  });
  InProcessDaemon daemon;
  ASSERT_EQ(write(go[1], "g", 1), 1);
  char done = 0;
  ASSERT_EQ(read(announced[0], &done, 1), 1);
  ASSERT_EQ(done, 'y');
  const auto pairLeft = [&] {
    for (const std::string& name : queues()) {
      if (name.find("Qor_API-" + std::to_string(victim.pid()) + "_CNP") != std::string::npos) return true;
    }
    return false;
  };
  ASSERT_TRUE(pairLeft());

  victim.kill(SIGKILL);
  ASSERT_TRUE(victim.wait(5000ms));
  const auto deadline = std::chrono::steady_clock::now() + 3000ms;
  while (pairLeft() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(pairLeft());
  for (int end : {go[0], go[1], announced[0], announced[1]}) close(end);
}

TEST(Lifecycle, StopTellsEveryClientAndClosesEverything) {
  ChildClient twice;
  ChildClient once;
  InProcessDaemon daemon;
  ASSERT_TRUE(twice.connect(device(), 1) && twice.connect(device(), 2) && once.connect(device()));
  const auto fake = daemon.path().device(kAddress);

  daemon.server().stopProcesses();
  EXPECT_EQ(twice.process().wait(5000ms), 128 + SIGTERM);
  EXPECT_EQ(once.process().wait(5000ms), 128 + SIGTERM);
  daemon.stop();
  EXPECT_EQ(fake->closes(), 1);
  EXPECT_FALSE(fake->isOpen());
  EXPECT_EQ(queues(), std::vector<std::string>{}) << "application queues and \"/Qor_API\" removed";
}

TEST(Lifecycle, StopClosesDevicesThatApplicationsLeft) {
  InProcessDaemon daemon;
  {
    ConnectPortResponse answer;
    const auto app = Application::connect(device(), answer);
    ASSERT_TRUE(app);
    ASSERT_TRUE(app->request(bareRequest(QOR_MSG_DISCONNECT)));
  }
  const auto fake = daemon.path().device(kAddress);
  EXPECT_TRUE(fake->isOpen());
  daemon.stop();
  EXPECT_FALSE(fake->isOpen());
}

TEST(Lifecycle, StopWakesIdleRequestThreadsAtOnce) {
  // Request threads that have just served a request sleep until the next one or the liveness look a second later;
  // the stop wakes them instead of waiting that out.
  InProcessDaemon daemon;
  std::vector<std::unique_ptr<Application>> apps;
  for (uint32_t id = 1; id <= 3; ++id) {
    ConnectPortResponse answer;
    apps.push_back(Application::connect(device(), answer, 4108, id));
    ASSERT_TRUE(apps.back());
  }
  for (const auto& app : apps) ASSERT_TRUE(app->request(bareRequest(QOR_MSG_GET_LOCK, app->port(), app->index())));
  const auto started = std::chrono::steady_clock::now();
  daemon.stop();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 700ms);
}

TEST(Lifecycle, CloseAndStopEndAnIdleEthernetReadAtOnce) {
  // The Ethernet path's read waits half a second on a quiet connection, once a receive found nothing. A client's
  // close and the daemon's stop end that wait instead of waiting it out: each comes 100 ms after the connect, when
  // waiting out the read would take at least 400 ms more.
  constexpr uint32_t kEthernetModel = 58;
  emulator::Device device(emulator::DeviceConfig{.serialNumber = 1000, .hostType = kEthernetModel});
  device.recorder().setEnabled(false);
  emulator::TcpFrontEnd network(device, "127.0.0.2", 0);
  network.start();
  InProcessDaemon daemon(daemon::PathKind::Ethernet, daemon::makeEthernetPath());
  const Qor_InterfaceInfo_t target =
      descriptor(kEthernetModel, 1, 1, network.port(), QOR_INTERFACE_FLAG_ETHERNET, kAddress);
  const auto connectAndIdle = [&] {
    ConnectPortResponse answer;
    auto app = Application::connect(target, answer);
    EXPECT_EQ(answer.header.error, 0u);
    std::this_thread::sleep_for(100ms);
    return app;
  };

  {
    const auto app = connectAndIdle();
    ASSERT_TRUE(app);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(app->request(bareRequest(QOR_MSG_DISCONNECT, app->port(), app->index())));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 250ms) << "a close answers once the hardware thread ended";
  }
  {
    const auto app = connectAndIdle();
    ASSERT_TRUE(app);
    ASSERT_EQ(network.openConnections(), 1u);
    // The stop closes the device once the hardware thread ended; the accept loop may take longer to end.
    const auto started = std::chrono::steady_clock::now();
    std::thread stop([&] { daemon.stop(); });
    while (network.openConnections() > 0 && std::chrono::steady_clock::now() - started < 2000ms) {
      std::this_thread::sleep_for(1ms);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, 250ms) << "the stop closed the device";
    stop.join();
  }
}

} // namespace
} // namespace qor::test
