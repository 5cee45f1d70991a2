#include "qor_network_adapters.h"

#include <ifaddrs.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstring>
#include <syslog.h>

#include "startup/error_store.hpp"
#include "qor_api.h"
#include "startup/exported_call.hpp"

using qor::client::storeError;

namespace {
constexpr uint32_t kInitialisationFailed = 0x2000102;
}

uint32_t Qor_Ethernet_GetNetworkAdapterInfo(uint32_t* count, Qor_NetworkAdapter_t* adapters) try {
  if (count == nullptr || (adapters == nullptr && *count != 0)) {
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) {
    syslog(LOG_ERR, "%s: getifaddrs() failed (%s)", "Qor_Ethernet_GetNetworkAdapterInfo", strerror(errno));
    return kInitialisationFailed;
  }
  const uint32_t room = *count;
  uint32_t found = 0;
  uint32_t result = 0;
  for (ifaddrs* item = list; item != nullptr; item = item->ifa_next) {
    if (item->ifa_addr == nullptr || item->ifa_addr->sa_family != AF_INET || item->ifa_netmask == nullptr) continue;
    const uint32_t address = reinterpret_cast<const sockaddr_in*>(item->ifa_addr)->sin_addr.s_addr;
    if ((address & 0xFF) == 127) continue; // first byte in network order
    if (found == room) {
      result = storeError(nullptr, QOR_ERR_API_RESPONSE_BUFFER_TOO_SMALL, "");
      break;
    }
    adapters[found].address = address;
    adapters[found].netmask = reinterpret_cast<const sockaddr_in*>(item->ifa_netmask)->sin_addr.s_addr;
    ++found;
  }
  freeifaddrs(list);
  *count = found;
  return result;
} catch (...) {
  return qor::client::failedCall(QOR_NO_PORT);
}
