#include <mqueue.h>
#include <unistd.h>

#include <string>

#include "common_library.hpp"
#include "qor_api.h"
#include "qor_client_state.h"
#include "qor_common_controller.h"
#include "qor_kit/call.hpp"
#include "qor_protocol.h"
#include "qor_shared/scoped_lock.hpp"
#include "qor_xml.h"

namespace qor::common {
namespace {

constexpr uint32_t kOpenFlags = 0x7;  // Qor_OpenInterface2's
constexpr uint32_t kConfigPathRoom = 512;

// Opens the daemon's well-known queue anew for the process. The core reads ClientInfo.serverQueue under a lock of
// its own, so the number it holds must stay a valid descriptor at every instant: the fresh queue takes the held
// number's place (dup2, atomic) and the fresh number is closed.
uint32_t reopenDaemonQueue() {
  const mqd_t fresh = Open_MsgQueue(QOR_SERVER_QUEUE_NAME, 1);
  if (fresh < 0) return kCommon.fail(QOR_NO_PORT, QOR_ERR_API_COULD_NOT_CONNECT);
  SectionLock process(ClientInfo.lock);
  const mqd_t held = ClientInfo.serverQueue;
  if (held < 0) {
    ClientInfo.serverQueue = fresh;
    return 0;
  }
  // The same number: the held one had been closed and its number given out again, now to the fresh queue.
  if (held == fresh) return 0;
  dup2(fresh, held);  // on failure the held queue stays: the core checks it against the name before each use
  mq_close(fresh);
  return 0;
}

// Failures of the configuration file and the XML library keep their codes; their texts are recorded with them.
uint32_t xmlFailure(uint32_t code) { return kCommon.fail(QOR_NO_PORT, code, "%s", Qor_Xml_GetLastErrorDescription()); }

uint32_t checkSerialNumber(const char* name, uint32_t port) {
  const kit::Call call(kCommon, QOR_NO_PORT);
  if (uint32_t code = call.checkPointer(name, "name")) return code;
  char path[kConfigPathRoom];
  uint32_t size = sizeof path;
  if (uint32_t code = Qor_InterfaceConfig_GetConfigFilePath(path, &size)) return code;
  uint32_t configured = 0;
  if (uint32_t code = Qor_Xml_InterfaceConfig_SerialNumber_Get(path, name, &configured)) return xmlFailure(code);
  uint32_t connected = 0;
  if (uint32_t code = Qor_Interface_GetSerialNumber(port, &connected)) return code;
  return configured == connected ? 0 : call.fail(kCommon.code(kDeviceNotConnected));
}

struct OpenOptions {
  bool reopenDaemonQueue;
  uint32_t flags;  // of Qor_OpenInterface2; none for Qor_OpenInterface
  bool withFlags;
};

uint32_t openByName(const char* name, uint32_t* port, OpenOptions options) {
  const kit::Call call(kCommon, QOR_NO_PORT);
  if (uint32_t code = call.checkPointer(port, "port")) return code;
  *port = QOR_NO_PORT;
  if (uint32_t code = call.checkPointer(name, "name")) return code;
  if (uint32_t code = call.checkFlags(options.flags, kOpenFlags)) return code;
  Qor_InterfaceInfo_t descriptor{};
  if (Qor_InterfaceConfig_GetInterfaceInfoByName(name, &descriptor) != 0) {
    const std::string reason = Qor_GetLastErrorDescription();
    return call.fail(kCommon.code(kInitializationFailed), "%s", reason.c_str());
  }
  if (options.reopenDaemonQueue) {
    if (uint32_t code = reopenDaemonQueue()) return code;
  }
  uint32_t opened = QOR_NO_PORT;
  const uint32_t result = options.withFlags ? Qor_OpenInterface2(options.flags, &descriptor, &opened)
                                            : Qor_OpenInterface(&descriptor, &opened);
  if (result != 0) return result;
  if (uint32_t code = checkSerialNumber(name, opened)) {
    Qor_CloseInterface(opened);
    return code;
  }
  *port = opened;
  return 0;
}

}  // namespace
}  // namespace qor::common

using qor::common::kCommon;

uint32_t Qor_Common_OpenInterface(const char* name, uint32_t* port) try {
  return qor::common::openByName(name, port, {.reopenDaemonQueue = true, .flags = 0, .withFlags = false});
} catch (...) {
  return kCommon.failedCall(QOR_NO_PORT);
}

uint32_t Qor_Common_OpenInterface2(uint32_t flags, const char* name, uint32_t* port) try {
  return qor::common::openByName(name, port, {.reopenDaemonQueue = false, .flags = flags, .withFlags = true});
} catch (...) {
  return kCommon.failedCall(QOR_NO_PORT);
}

uint32_t Qor_Common_CheckSerialNumber(const char* name, uint32_t port) try {
  return qor::common::checkSerialNumber(name, port);
} catch (...) {
  return kCommon.failedCall(QOR_NO_PORT);
}

uint32_t Qor_Common_CloseInterface(uint32_t port) try {
  return Qor_CloseInterface(port);
} catch (...) {
  return kCommon.failedCall(port);
}
