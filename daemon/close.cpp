// The close of applications and ports. The daemon's own close (a dead client, its stop, a failed connect) closes the
// device and frees the record with the last application; a client's close (message 0x05) stops the port's threads
// but keeps the device open, so that the next connect to it reuses the port.
#include <syslog.h>

#include "qor_error_codes.h"
#include "server.hpp"

namespace qor::daemon {
namespace {

constexpr Milliseconds kRequestThreadStopBound{1500};
constexpr Milliseconds kMonitorThreadStopBound{1500};
constexpr Milliseconds kHardwareThreadStopBound{10000};

} // namespace

bool Server::retire(Port& port, const std::shared_ptr<Application>& app) {
  if (port.application(app->index) != app) return false;
  {
    std::lock_guard table(port.tableLock);
    if (app->monitorStarted) {
      if (port.device && port.device->properties.monitorNeedsStop) port.device->stopMonitor(app->controller, app->index);
      if (const auto monitor = port.monitorThread()) monitor->requestStop();
      app->monitorStarted = false;
    }
    // A lock stays with the process while another of its applications on the port uses it.
    bool keepController = false;
    bool keepInterface = false;
    for (const auto& other : port.applications()) {
      if (other == app || !other->inUse || other->client.pid() != app->client.pid()) continue;
      if (other->controller != app->controller) continue;
      keepController = true;
      keepInterface = keepInterface || other->interfaceNumber == app->interfaceNumber;
    }
    port.locks.releaseOnClose(app->client.pid(), app->controller, app->interfaceNumber, keepController, keepInterface);
  }
  app->inUse = false;
  app->endRequestThread();
  port.remove(*app);
  return true;
}

uint32_t Server::stopPortThreads(Port& port) {
  const auto monitor = port.monitorThread();
  const auto reader = port.hardwareThread();
  if (monitor) monitor->requestStop();
  if (reader) port.stopHardwareThread(*reader);
  if (reader && !reader->waitEnded(kHardwareThreadStopBound)) {
    return recordErrorf(&port, kNone, QOR_ERR_SERVER_THREADS_NOT_STOPPED, "could not stop hardware thread (timeout)");
  }
  if (monitor && !monitor->waitEnded(kMonitorThreadStopBound)) {
    return recordErrorf(&port, kNone, QOR_ERR_SERVER_MONITOR_THREAD_NOT_STOPPED, "could not stop monitor thread (timeout)");
  }
  return 0;
}

uint32_t Server::closePortIfUnused(const std::shared_ptr<Port>& port) {
  if (port->released || port->applicationCount() > 0) return 0;
  // A thread that did not stop may still use the device: the port stays as it is.
  if (const uint32_t code = stopPortThreads(*port)) return code;
  {
    DeviceLocks locks(*port);
    port->device.reset();
  }
  ports_.release(*port);
  return 0;
}

uint32_t Server::closeApplication(const std::shared_ptr<Port>& port, const std::shared_ptr<Application>& app,
                                  std::unique_lock<std::mutex>& lifecycle) {
  if (!retire(*port, app)) return 0;
  const auto thread = app->requestThread;
  if (thread && !thread->isCurrentThread()) {
    // Its request thread may be waiting for this very lock (a 0x05 of its own).
    lifecycle.unlock();
    thread->waitEnded(kRequestThreadStopBound);
    lifecycle.lock();
  }
  return closePortIfUnused(port);
}

uint32_t Server::closeApplication(const std::shared_ptr<Port>& port, const std::shared_ptr<Application>& app) {
  std::unique_lock lifecycle(port->lifecycle);
  return closeApplication(port, app, lifecycle);
}

void Server::closeConnection(Channel& channel) {
  Port& port = *channel.port;
  {
    std::lock_guard lifecycle(port.lifecycle);
    if (!retire(port, channel.application)) return;
    if (port.applicationCount() == 0) {
      if (const uint32_t code = stopPortThreads(port)) {
        syslog(LOG_WARNING, "%s: error %d\n", "Qor_Server_CloseConnection", static_cast<int>(code));
      }
    }
  }
  replyBare(channel, QOR_MSG_DISCONNECT, 0);
}

} // namespace qor::daemon
