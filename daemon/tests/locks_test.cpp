// Controller, interface and monitor locks between client processes (messages 0x12 to 0x15 and the grants of the
// connect), and what a closing application leaves to the other applications of its process.
#include <gtest/gtest.h>

#include "in_process_daemon.hpp"
#include "qor_error_codes.h"

namespace qor::test {
namespace {

constexpr uint32_t kAddress = 0x0200007F;

Qor_InterfaceInfo_t device(uint8_t interfaceNumber = 1) { return descriptor(18, 1, interfaceNumber, 0, 0, kAddress); }

// The error of the answer to a bare lock message.
uint32_t lockAnswer(const std::optional<Message>& answer, uint8_t code) {
  if (!answer || headerOf(*answer).code != code) return 0xFFFFFFFF;
  return headerOf(*answer).error;
}

uint32_t ask(Application& app, uint8_t code) { return lockAnswer(app.request(bareRequest(code, app.port(), app.index())), code); }

uint32_t ask(ChildClient& child, uint8_t code) { return lockAnswer(child.request(bareRequest(code)), code); }

TEST(Locks, AnotherProcessGetsThemOnlyWhenTheOwnerLetsGo) {
  ChildClient other;
  InProcessDaemon daemon;
  ConnectPortResponse answer;
  const auto owner = Application::connect(device(), answer);
  ASSERT_TRUE(owner);
  const auto theirs = other.connect(device());
  ASSERT_TRUE(theirs);
  ASSERT_EQ(theirs->header.error, 0u);
  EXPECT_EQ(theirs->portIndex, answer.portIndex);
  EXPECT_EQ(theirs->controllerLockGranted, 0);
  EXPECT_EQ(theirs->interfaceLockGranted, 0);

  EXPECT_EQ(ask(other, QOR_MSG_GET_LOCK), QOR_ERR_SERVER_NO_LOCK);
  EXPECT_EQ(ask(other, QOR_MSG_RELEASE_LOCK), QOR_ERR_SERVER_NO_LOCK) << "not the owner";
  EXPECT_EQ(ask(*owner, QOR_MSG_GET_LOCK), 0u) << "taking what one owns";
  EXPECT_EQ(ask(*owner, QOR_MSG_RELEASE_LOCK), 0u);
  EXPECT_EQ(ask(other, QOR_MSG_GET_LOCK), 0u);
  EXPECT_EQ(ask(*owner, QOR_MSG_GET_LOCK), QOR_ERR_SERVER_NO_LOCK);
}

TEST(Locks, MonitorLockIsTheInterfacesOwn) {
  ChildClient other;
  InProcessDaemon daemon;
  ConnectPortResponse answer;
  const auto owner = Application::connect(device(), answer);
  ASSERT_TRUE(owner && other.connect(device()));
  EXPECT_EQ(ask(other, QOR_MSG_RELEASE_MONITOR_LOCK), 0u) << "a free lock releases fine";
  EXPECT_EQ(ask(*owner, QOR_MSG_GET_MONITOR_LOCK), 0u);
  EXPECT_EQ(ask(other, QOR_MSG_GET_MONITOR_LOCK), QOR_ERR_SERVER_NO_LOCK);
  EXPECT_EQ(ask(other, QOR_MSG_RELEASE_MONITOR_LOCK), QOR_ERR_SERVER_NO_LOCK);
  EXPECT_EQ(ask(*owner, QOR_MSG_RELEASE_MONITOR_LOCK), 0u);
  EXPECT_EQ(ask(other, QOR_MSG_GET_MONITOR_LOCK), 0u);
}

TEST(Locks, StayWithTheProcessWhileAnotherOfItsApplicationsUsesThem) {
  ChildClient other;
  InProcessDaemon daemon;
  ConnectPortResponse answer;
  auto first = Application::connect(device(), answer, 4108, 1);
  auto second = Application::connect(device(), answer, 4108, 2);
  ASSERT_TRUE(first && second && other.connect(device()));

  ASSERT_TRUE(first->request(bareRequest(QOR_MSG_DISCONNECT, first->port(), first->index())));
  EXPECT_EQ(ask(other, QOR_MSG_GET_LOCK), QOR_ERR_SERVER_NO_LOCK) << "the second application still holds them";
  ASSERT_TRUE(second->request(bareRequest(QOR_MSG_DISCONNECT, second->port(), second->index())));
  EXPECT_EQ(ask(other, QOR_MSG_GET_LOCK), 0u);
}

TEST(Locks, InterfacesBeyondTheTablesHaveNoLock) {
  InProcessDaemon daemon;
  ConnectPortResponse answer;
  const auto app = Application::connect(device(65), answer);
  ASSERT_TRUE(app);
  EXPECT_EQ(answer.controllerLockGranted, 1);
  EXPECT_EQ(answer.interfaceLockGranted, 0);
  EXPECT_EQ(ask(*app, QOR_MSG_GET_LOCK), QOR_ERR_SERVER_NO_LOCK);
  EXPECT_EQ(ask(*app, QOR_MSG_RELEASE_LOCK), 0u);
}

} // namespace
} // namespace qor::test
