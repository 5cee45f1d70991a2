// Controller and interface locks held by the daemon for this process (messages 0x12 and 0x13).
#include "commands/command_exchange.hpp"
#include "ports/port_table.hpp"
#include "qor_api.h"
#include "qor_protocol.h"

using namespace qor::client;

namespace {

uint32_t lockRequest(uint32_t port, uint8_t code, bool wantHeld, InternalEvent Qor_PortContext::*event) {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  if (portFlag(ref.entry(), PortFlag::ControllerLock) == wantHeld) return 0;
  Qor_PortContext& context = ref.context();
  return Qor_Client_DaemonRequest(ref.entry(), code, context.*event,
                                  std::atomic_ref<uint32_t>(context.responseTimeoutMs).load());
}

} // namespace

extern "C" {

uint32_t Qor_GetLock(uint32_t port) {
  return lockRequest(port, QOR_MSG_GET_LOCK, true, &Qor_PortContext::lockGranted);
}

uint32_t Qor_ReleaseLock(uint32_t port) {
  return lockRequest(port, QOR_MSG_RELEASE_LOCK, false, &Qor_PortContext::lockReleased);
}

} // extern "C"
