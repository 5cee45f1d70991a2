// Controller and interface locks held by the daemon for this process (messages 0x12 and 0x13).
#include "commands/command_exchange.hpp"
#include "ports/port_table.hpp"
#include "qor_api.h"
#include "startup/exported_call.hpp"
#include "qor_protocol.h"

using namespace qor::client;

namespace {

uint32_t lockRequest(uint32_t port, uint8_t code, bool wantHeld, InternalEvent PortEvents::*event) {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  if (portFlag(ref.entry(), PortFlag::ControllerLock) == wantHeld) return 0;
  Qor_PortContext& context = ref.context();
  return Qor_Client_DaemonRequest(ref.entry(), code, context.events.*event,
                                  context.responseTimeoutMs.load());
}

} // namespace

extern "C" {

uint32_t Qor_GetLock(uint32_t port) try {
  return lockRequest(port, QOR_MSG_GET_LOCK, true, &PortEvents::lockGranted);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_ReleaseLock(uint32_t port) try {
  return lockRequest(port, QOR_MSG_RELEASE_LOCK, false, &PortEvents::lockReleased);
} catch (...) {
  return failedCall(port);
}

} // extern "C"
