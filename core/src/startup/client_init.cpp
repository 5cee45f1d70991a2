// Start-up and tear-down of the library in an application process.
#include <dlfcn.h>
#include <climits>
#include <csignal>
#include <cstring>
#include <syslog.h>

#include "startup/error_store.hpp"
#include "ports/port_flags.hpp"
#include "ports/port_lifecycle.hpp"
#include "startup/process_config.hpp"
#include "qor_api.h"
#include "qor_shared/scoped_lock.hpp"
#include "qor_protocol.h"
#include "startup/signal_closer.hpp"

void Qor_Client_SignalHandler(int signal);
void Qor_Client_Init();
void Qor_Client_CleanUp();

namespace {

mqd_t client_Open_MsgQueue(const char* name) {
  mqd_t queue = mq_open(name, O_WRONLY);
  if (queue == static_cast<mqd_t>(-1)) {
    syslog(LOG_ERR, "%s  Error %d (%m) on mq_open qname %s\n", "client_Open_MsgQueue", errno, name);
  }
  return queue;
}

void closeAllPorts() {
  for (uint32_t port = 0; port < QOR_MAX_PORTS; ++port) {
    Qor_Client_CloseUnlessOpening(&PortInfo[port]);
  }
}

__attribute__((constructor)) void libraryLoaded() {
  Dl_info info{};
  const char* file = dladdr(reinterpret_cast<void*>(&libraryLoaded), &info) ? info.dli_fname : "";
  syslog(LOG_INFO, "module %s loaded\n", file);
  if (realpath(file, modul_path) == nullptr) snprintf(modul_path, sizeof modul_path, "%s", file);
  char* lastSlash = strrchr(modul_path, '/');
  if (lastSlash == nullptr) {
    syslog(LOG_ERR, "%s : Error in %s\n", "_init", modul_path);
    return;
  }
  *lastSlash = '\0';
  syslog(LOG_INFO, "module path  %s \n", modul_path);
  Qor_Client_Init();
}

__attribute__((destructor)) void libraryUnloaded() {
  qor::client::SignalCloser::stop();
  Qor_Client_CleanUp();
}

} // namespace

void Qor_Client_Init() {
  memset(&ClientInfo, 0, sizeof ClientInfo);
  Qor_InitializeCriticalSection(&ClientInfo.lock);
  for (uint32_t port = 0; port < QOR_MAX_PORTS; ++port) qor::client::clearPortFlags(PortInfo[port]);

  struct sigaction action{};
  action.sa_handler = Qor_Client_SignalHandler;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGABRT, &action, nullptr);

  ClientInfo.serverQueue = client_Open_MsgQueue(QOR_SERVER_QUEUE_NAME);
  if (ClientInfo.serverQueue < 0) ClientInfo.lastErrorCode = QOR_ERR_API_COULD_NOT_CONNECT;

  qor::client::loadProcessConfig(QOR_PROCESS_CONFIG_FILE);
}

void Qor_Client_CleanUp() {
  closeAllPorts();
  {
    qor::SectionLock process(ClientInfo.lock);
    qor::client::freeProcessConfig();
  }
  if (ClientInfo.lock.flags & 1u) Qor_DeleteCriticalSection(&ClientInfo.lock);
}

// Runs in signal context: only hands the work to the closer thread. The ports are closed and the configuration
// texts freed there, while the process keeps running and the library stays usable.
void Qor_Client_SignalHandler(int) {
  qor::client::SignalCloser::requestFromSignal();
}

namespace qor::client {

void closeAllPortsAfterSignal() {
  closeAllPorts();
  SectionLock process(ClientInfo.lock);
  freeProcessConfig();
}

} // namespace qor::client
