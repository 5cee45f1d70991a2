// Per-port state of a library on real ports: made on first use, dropped by the port's close, never seen by the next
// port that gets the same handle.
#include <gtest/gtest.h>

#include "qor_api.h"
#include "qor_kit/port_table.hpp"
#include "qor_test/interface_fixture.hpp"

namespace qor::kit {
namespace {

struct Counter {
  int uses = 0;
};

using PortTableRoad = qor::test::InterfaceFixture;

int usesAfterOneMore(PortTable<Counter>& table, uint32_t port) {
  int uses = -1;
  EXPECT_EQ(table.withState(port, [&](Counter& counter) { uses = ++counter.uses; }), 0u)
      << Qor_GetLastErrorDescription();
  return uses;
}

TEST_F(PortTableRoad, StateLivesFromFirstUseToTheClose) {
  PortTable<Counter> table;
  const uint32_t port = open();
  EXPECT_FALSE(table.hasState(port));
  EXPECT_EQ(usesAfterOneMore(table, port), 1);
  EXPECT_EQ(usesAfterOneMore(table, port), 2);

  ASSERT_EQ(Qor_CloseInterface(port), 0u);
  EXPECT_FALSE(table.hasState(port));

  const uint32_t reopened = open();
  ASSERT_EQ(reopened, port) << "the handle is given again";
  EXPECT_EQ(usesAfterOneMore(table, reopened), 1) << "a new port starts afresh";
}

TEST_F(PortTableRoad, EraseDropsStateAndHookSoTheNextUseStartsAgain) {
  PortTable<Counter> table;
  const uint32_t port = open();
  EXPECT_EQ(usesAfterOneMore(table, port), 1);
  table.erase(port);
  EXPECT_FALSE(table.hasState(port));
  EXPECT_EQ(usesAfterOneMore(table, port), 1);
  EXPECT_NE(Qor_GetLastErrorCode(), QOR_ERR_API_CALLBACK_EXISTS) << "registering again found no stale hook";
}

TEST_F(PortTableRoad, TwoTablesKeepTheirOwnStateOfOnePort) {
  PortTable<Counter> first;
  PortTable<Counter> second;
  const uint32_t port = open();
  EXPECT_EQ(usesAfterOneMore(first, port), 1);
  EXPECT_EQ(usesAfterOneMore(first, port), 2);
  EXPECT_EQ(usesAfterOneMore(second, port), 1);
  second.erase(port);
  EXPECT_TRUE(first.hasState(port)) << "each table has its own hook";
  ASSERT_EQ(Qor_CloseInterface(port), 0u);
  EXPECT_FALSE(first.hasState(port));
}

TEST_F(PortTableRoad, NoStateForAPortThatIsNotOpen) {
  PortTable<Counter> table;
  bool ran = false;
  EXPECT_EQ(table.withState(3, [&](Counter&) { ran = true; }), QOR_ERR_API_INVALID_PORT_HANDLE);
  EXPECT_EQ(table.withState(QOR_NO_PORT, [&](Counter&) { ran = true; }), QOR_ERR_API_INVALID_PORT_HANDLE);
  EXPECT_FALSE(ran);
  EXPECT_FALSE(table.hasState(3));
}

}  // namespace
}  // namespace qor::kit
