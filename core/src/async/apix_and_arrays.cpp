// APIX access, which this system does not serve, and the array helpers.
#include <cstdlib>
#include <cstring>

#include "commands/command_exchange.hpp"
#include "commands/receive_role.hpp"
#include "startup/error_store.hpp"
#include "ports/port_events.hpp"
#include "ports/port_table.hpp"
#include "qor_api.h"
#include "qor_shared/scoped_lock.hpp"
#include "startup/exported_call.hpp"
#include "qor_protocol.h"

using namespace qor::client;

namespace {

// Sends a 0x51 message under the command lock and waits for the reply or the daemon's error report.
uint32_t apixExchange(PortRef& ref, const ApixRegisterRequest& request) {
  Qor_PortInfo_t& entry = ref.entry();
  Qor_PortContext& context = ref.context();
  qor::SectionLock commandLock(context.commands.lock);
  clearExchangeEvents(context);
  Qor_Internal_ResetEvent(&context.events.apixReply);
  if (uint32_t result = Qor_Client_SendCommand(entry, reinterpret_cast<const uint8_t*>(&request), request.header.length)) {
    return result;
  }
  return waitForEvent(entry, context.events.apixReply, context.responseTimeoutMs.load());
}

ApixRegisterRequest apixRequest(const Qor_PortContext& context, uint32_t subCommand, uint32_t length) {
  ApixRegisterRequest request{};
  request.header = {QOR_MSG_APIX_REGISTER_ACCESS, context.portIndex, context.applicationIndex, 0, length};
  request.subCommand = subCommand;
  return request;
}

} // namespace

extern "C" {

uint32_t Qor_Apix_Command(uint32_t port, ...) try {
  PortRef ref = PortRef::acquire(port);
  return storeError(ref ? &ref.entry() : nullptr, QOR_ERR_LVDS_FEATURE_NOT_AVAILABLE, "");
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Apix_CommandWithResponse(uint32_t port, ...) try {
  PortRef ref = PortRef::acquire(port);
  return storeError(ref ? &ref.entry() : nullptr, QOR_ERR_LVDS_FEATURE_NOT_AVAILABLE, "");
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Apix_Write(uint32_t port, uint32_t length, const uint8_t* data) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  if (length > QOR_APIX_MAX_DATA) {
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_PARAMETER,
                                   "too many data bytes to write - a maximum of %u bytes can be written", QOR_APIX_MAX_DATA);
  }
  if (data == nullptr && length != 0) return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  ApixRegisterRequest request = apixRequest(ref.context(), QOR_APIX_WRITE, offsetof(ApixRegisterRequest, data) + length);
  request.dataLength = length;
  if (length != 0) memcpy(request.data, data, length);
  return apixExchange(ref, request);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Apix_Read(uint32_t port, uint32_t mode, uint32_t* size, void* buffer) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  if (mode != 0) return storeError(&ref.entry(), QOR_ERR_API_UNKNOWN_FLAG, "");
  if (size == nullptr || (buffer == nullptr && *size != 0)) {
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  // The daemon answers every register message with an error report, so no reply data ever reach the buffer.
  const uint32_t result = apixExchange(ref, apixRequest(ref.context(), QOR_APIX_READ, offsetof(ApixRegisterRequest, dataLength)));
  if (result != 0) *size = 0;
  return result;
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Array_Duplicate(const uint8_t* data, uint32_t size, void** copy) try {
  if (copy == nullptr || (data == nullptr && size != 0)) {
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  // An empty array is a valid copy of no bytes.
  void* duplicate = malloc(size == 0 ? 1 : size);
  if (duplicate == nullptr) return storeError(nullptr, QOR_ERR_API_NOT_ENOUGH_MEMORY, "");
  if (size != 0) memcpy(duplicate, data, size);
  *copy = duplicate;
  return 0;
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

uint32_t Qor_Array_Delete(void* copy) try {
  free(copy);
  return 0;
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

} // extern "C"
