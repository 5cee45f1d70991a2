// Monitors (messages 0x31 and 0x32): a port's monitor thread reads monitor data from the device and sends them to
// the application that started it (message 0x33).
#include <cerrno>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "qor_error_codes.h"
#include "server.hpp"

namespace qor::daemon {
namespace {

constexpr Milliseconds kStartBound{2000};
constexpr Milliseconds kStopBound{1000};
constexpr size_t kHeader = sizeof(ServerResponseHeader);

void readMonitor(Server& server, const std::shared_ptr<Port>& port, Device& device, uint8_t starter,
                 std::vector<uint8_t>& message, Milliseconds pause, Worker& self) {
  const Buffer data(message.data() + kHeader, message.size() - kHeader);
  self.setRunning(true);
  while (!self.stopRequested()) {
    uint32_t length = 0;
    const PathStatus status = device.readMonitor(data, length);
    if (self.stopRequested()) break;
    if (!status.ok()) {
      server.recordPathError(port.get(), starter, status);
      break;
    }
    if (length > 0) {
      const auto app = port->application(starter);
      if (!app || !app->inUse) break;
      const size_t total = protocol::encodeMonitorData(message, data.first(std::min<size_t>(length, data.size())));
      server.sendToApplication(*port, *app, Bytes(message.data(), total));
    }
    std::this_thread::sleep_for(pause);
  }
}

} // namespace

void Server::startMonitor(Channel& channel) {
  const auto& port = channel.port;
  Application& app = *channel.application;
  std::unique_lock table(port->tableLock);
  if (!port->device) {
    recordPathError(port.get(), app.index, functionNotAvailable());
    return;
  }
  Device& device = *port->device;
  if (device.properties.monitorNeedsInit) {
    const PathStatus status = device.initMonitor(app.controller);
    if (!status.ok()) {
      recordPathError(port.get(), app.index, status);
      return;
    }
  }
  const auto running = port->monitorThread();
  if (running && !running->ended()) {
    recordError(port.get(), app.index, QOR_ERR_SERVER_MONITOR_THREAD_RUNNING, "");
    return;
  }
  std::vector<uint8_t> message;
  try {
    message.resize(kHeader + device.properties.monitorDataSize);
  } catch (const std::bad_alloc&) {
    recordErrorf(port.get(), app.index, QOR_ERR_SERVER_NOT_ENOUGH_MEMORY, "could not create monitor buffer");
    return;
  }
  const Milliseconds pause(device.properties.monitorPollIntervalMs);
  auto worker = workers_.start(nullptr, [this, port, &device, starter = app.index, message = std::move(message),
                                         pause](Worker& self) mutable {
    readMonitor(*this, port, device, starter, message, pause, self);
  });
  if (!worker) {
    recordErrorf(port.get(), app.index, QOR_ERR_SERVER_THREAD_NOT_STARTED, "could not start monitor thread - %s",
                 strerror(errno));
    return;
  }
  port->setMonitorThread(worker);
  if (!worker->waitStarted(kStartBound)) {
    // A monitor that starts late must not stream on unowned.
    worker->requestStop();
    recordErrorf(port.get(), app.index, QOR_ERR_SERVER_THREAD_NOT_STARTED, "could not start monitor thread - %s",
                 "timeout");
    return;
  }
  app.monitorStarted = true;
  table.unlock();
  replyBare(channel, QOR_MSG_START_MONITOR, 0);
}

void Server::stopMonitor(Channel& channel) {
  const auto& port = channel.port;
  Application& app = *channel.application;
  std::unique_lock table(port->tableLock);
  if (port->device && port->device->properties.monitorNeedsStop) {
    const PathStatus status = port->device->stopMonitor(app.controller, app.index);
    if (!status.ok()) {
      recordPathError(port.get(), app.index, status);
      return;
    }
  }
  if (const auto monitor = port->monitorThread()) {
    monitor->requestStop();
    if (!monitor->waitEnded(kStopBound)) {
      recordError(port.get(), app.index, QOR_ERR_SERVER_MONITOR_THREAD_NOT_STOPPED, "");
      return;
    }
  }
  for (const auto& user : port->applications()) user->monitorStarted = false;
  table.unlock();
  replyBare(channel, QOR_MSG_STOP_MONITOR, 0);
}

} // namespace qor::daemon
