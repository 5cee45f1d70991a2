// The interface enumeration's part of the rebuild, as these tests make it up.
#include "enumeration/connected_interfaces.hpp"
#include "interface_config_fixture.hpp"

qor::test::MadeUpInterfaces& qor::test::madeUpInterfaces() {
  static MadeUpInterfaces interfaces;
  return interfaces;
}

uint32_t qor::client::connectedInterfaces(uint32_t room, std::vector<Qor_InterfaceData_t>& interfaces) {
  qor::test::MadeUpInterfaces& madeUp = qor::test::madeUpInterfaces();
  madeUp.roomAsked = room;
  if (madeUp.result != 0) return madeUp.result;
  interfaces = madeUp.list;
  return 0;
}
