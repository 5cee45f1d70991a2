// The daemon's control requests: driver information, refresh, polling cycle, connection time-out, last error.
#include <syslog.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>

#include "startup/error_store.hpp"
#include "qor_network_adapters.h"
#include "ports/control_requests.hpp"
#include "ports/private_pair.hpp"
#include "qor_api.h"
#include "qor_shared/host_types.hpp"
#include "startup/exported_call.hpp"
#include "qor_protocol.h"

using namespace qor::client;

namespace {

ServerRequestHeader controlHeader(uint8_t code, uint32_t length) {
  return ServerRequestHeader{code, 0, 0, 0, length};
}

uint32_t valueRequest(uint8_t code, uint32_t value, void* reply, uint32_t replyCapacity, size_t* received) {
  ControlValueRequest request{controlHeader(code, sizeof(ControlValueRequest)), value};
  return Qor_Client_Linux_CallNamedPipe(&request, sizeof request, reply, replyCapacity, received);
}

// The reply's error, or 0x2000100 when the reply is too short to carry one.
uint32_t replyError(const ServerResponseHeader& reply, size_t received) {
  return received < sizeof reply ? QOR_ERR_API_COULD_NOT_CONNECT : reply.error;
}

// Records code with the daemon's text of its last error (message 0x18) for no port.
uint32_t recordWithServerText(uint32_t code) {
  ServerRequestHeader request = controlHeader(QOR_MSG_LAST_SERVER_ERROR, QOR_BARE_REQUEST_LENGTH);
  std::vector<char> reply(QOR_LAST_SERVER_ERROR_REPLY_SIZE + 1, '\0');
  size_t received = 0;
  if (Qor_Client_Linux_CallNamedPipe(&request, sizeof request, reply.data(), QOR_LAST_SERVER_ERROR_REPLY_SIZE,
                                     &received) != 0) {
    Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_COULD_NOT_CONNECT, "%s", strerror(errno));
    return code;
  }
  // The text ends with the bytes received, whatever the daemon's NUL says.
  const char* text = received > sizeof(ServerResponseHeader) ? reply.data() + sizeof(ServerResponseHeader) : "";
  reply[received] = '\0';
  return storeError(nullptr, code, text);
}

// Control request 0x17: asks the daemon for the devices of one host type; Ethernet types carry the adapters to
// search behind, type 32 the address of the USB-over-Ethernet adapter.
uint32_t askDriverInfo(uint32_t hostInterfaceType, const Qor_NetworkAdapter_t* adapters, uint32_t adapterCount,
                       void* buffer, uint32_t* size, uint32_t target = 0) {
  const uint32_t capacity = *size;
  if (capacity > std::numeric_limits<uint32_t>::max() - sizeof(ServerResponseHeader)) {
    *size = 0;
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_INVALID_PARAMETER, "size of driver info: %u byte", capacity);
  }
  DriverInfoRequest request{};
  uint32_t length = QOR_DRIVER_INFO_REQUEST_LENGTH;
  if (hostInterfaceType == qor::kEthernetHostType) {
    memcpy(request.data, &adapterCount, sizeof adapterCount);
    if (adapterCount != 0) memcpy(request.data + sizeof adapterCount, adapters, adapterCount * sizeof adapters[0]);
    length = QOR_DRIVER_INFO_REQUEST_LENGTH_ETHERNET;
  } else if (hostInterfaceType == qor::kUsbOverEthernetAdapter) {
    memcpy(request.data, &target, sizeof target);
    length = QOR_DRIVER_INFO_REQUEST_LENGTH_USB_OVER_ETHERNET;
  }
  request.header = controlHeader(QOR_MSG_DRIVER_INFO, length);
  request.hostInterfaceType = hostInterfaceType;
  request.capacity = capacity;

  std::vector<uint8_t> reply(sizeof(ServerResponseHeader) + capacity);
  size_t received = 0;
  uint32_t result = Qor_Client_Linux_CallNamedPipe(&request, length, reply.data(), static_cast<uint32_t>(reply.size()),
                                                   &received);
  ServerResponseHeader head{};
  if (result == 0 && received < sizeof head) result = QOR_ERR_API_COULD_NOT_CONNECT;
  if (result != 0) {
    *size = 0;
    return result;
  }
  memcpy(&head, reply.data(), sizeof head);
  if (head.code != QOR_MSG_DRIVER_INFO) {
    *size = 0;
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_UNEXPECTED_COMMAND, "expected '0x%02X' - received '0x%02X'",
                                   QOR_MSG_DRIVER_INFO, head.code);
  }
  if (head.error != 0) {
    *size = 0;
    return recordWithServerText(head.error);
  }
  // The data are what the length field claims, and never more than arrived.
  const size_t claimed = head.length >= sizeof head ? head.length - sizeof head : 0;
  const size_t data = std::min(claimed, received - sizeof head);
  if (claimed > capacity) {
    *size = 0;
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_RESPONSE_BUFFER_TOO_SMALL, "size of driver info: %d byte",
                                   static_cast<int>(claimed));
  }
  if (data != 0) memcpy(buffer, reply.data() + sizeof head, data);
  *size = static_cast<uint32_t>(data);
  return 0;
}

} // namespace

namespace qor::client {

uint32_t ethernetDriverInfo(uint32_t adapterCount, const Qor_NetworkAdapter_t* adapters, void* buffer,
                            uint32_t* size) {
  if ((adapters == nullptr && adapterCount != 0) || adapterCount > QOR_DRIVER_INFO_MAX_ADAPTERS) {
    *size = 0;
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_INVALID_PARAMETER, "invalid adapter list");
  }
  return askDriverInfo(18, adapters, adapterCount, buffer, size);
}

uint32_t usbOverEthernetDriverInfo(uint32_t target, void* buffer, uint32_t* size) {
  return askDriverInfo(32, nullptr, 0, buffer, size, target);
}

uint32_t refreshDriverInfo(uint32_t flags) {
  if (flags > 3) {
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_UNKNOWN_FLAG, "internal flag for 'RefreshDriverInfo' is unknown");
  }
  ServerResponseHeader reply{};
  size_t received = 0;
  uint32_t result = valueRequest(QOR_MSG_REFRESH_DRIVER_INFO, flags, &reply, sizeof reply, &received);
  if (result != 0) return result;
  result = replyError(reply, received);
  return result == 0 ? 0 : storeError(nullptr, result, "");
}

} // namespace qor::client

extern "C" {

uint32_t Qor_GetDriverInfo(uint32_t hostInterfaceType, void* buffer, uint32_t* size) try {
  if (size == nullptr || (buffer == nullptr && *size != 0)) {
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  const qor::HostType* host = qor::findHostType(hostInterfaceType);
  // The daemon has no path to APIX devices.
  if (host != nullptr && host->communication == QOR_COMMUNICATION_APIX) {
    syslog(LOG_INFO, "%s : Interface Type %u for Linux currently not supported\r\n", "Qor_GetDriverInfo",
           hostInterfaceType);
    *size = 0;
    return 0;
  }
  if (hostInterfaceType == qor::kEthernetHostType) {
    Qor_NetworkAdapter_t adapters[QOR_DRIVER_INFO_MAX_ADAPTERS];
    uint32_t count = QOR_DRIVER_INFO_MAX_ADAPTERS;
    if (uint32_t result = Qor_Ethernet_GetNetworkAdapterInfo(&count, adapters)) {
      *size = 0;
      return result;
    }
    return askDriverInfo(hostInterfaceType, adapters, count, buffer, size);
  }
  return askDriverInfo(hostInterfaceType, nullptr, 0, buffer, size);
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

uint32_t Qor_Ethernet_GetDriverInfo(uint32_t adapterCount, const Qor_NetworkAdapter_t* adapters, void* output) try {
  if (output == nullptr) return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_INVALID_PARAMETER, "invalid adapter list");
  uint32_t size = QOR_ETHERNET_DRIVER_INFO_SIZE;
  return ethernetDriverInfo(adapterCount, adapters, output, &size);
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

uint32_t Qor_GetDriverInfo_Ethernet(uint32_t address, uint32_t netmask, uint32_t* count) try {
  if (count == nullptr) return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  const Qor_NetworkAdapter_t adapter{address, netmask};
  uint8_t output[QOR_ETHERNET_DRIVER_INFO_SIZE] = {};
  const uint32_t result = Qor_Ethernet_GetDriverInfo(1, &adapter, output);
  memcpy(count, output, sizeof *count);
  if (result != 0) *count = 0;
  return result;
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

uint32_t Qor_RefreshDriverInfo(void) try {
  return refreshDriverInfo(3);
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

uint32_t Qor_SetFullSpeedPollingCycle(uint32_t milliseconds) try {
  ServerResponseHeader reply{};
  size_t received = 0;
  uint32_t result = valueRequest(QOR_MSG_FULL_SPEED_POLLING_CYCLE, milliseconds, &reply, sizeof reply, &received);
  if (result != 0) return result;
  result = replyError(reply, received);
  return result == 0 ? 0 : Qor_Client_ErrorHandler(nullptr, result, "could not set polling cycle");
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

uint32_t Qor_SetConnectionTimeout(uint32_t milliseconds, uint32_t* previous) try {
  ConnectionTimeoutReply reply{};
  size_t received = 0;
  uint32_t result = valueRequest(QOR_MSG_CONNECTION_TIMEOUT, milliseconds, &reply, sizeof reply, &received);
  if (result != 0) return result;
  result = replyError(reply.header, received);
  if (result != 0) return storeError(nullptr, result, "");
  if (received < sizeof reply) return storeError(nullptr, QOR_ERR_API_COULD_NOT_CONNECT, "");
  if (previous != nullptr) *previous = reply.previousTimeout;
  return 0;
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

} // extern "C"
