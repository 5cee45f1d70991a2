// The hardware thread of a port: it reads the device's frames (answers, unsolicited traffic) and routes each to the
// application its App byte names. The blocking kind relies on the path's read to wait and ends on a read failure;
// the polling kind retries failures and polls fast only shortly after a command.
#include <syslog.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "qor_error_codes.h"
#include "qor_helpers.h"
#include "server.hpp"

namespace qor::daemon {
namespace {

constexpr Milliseconds kStartBound{20000};
constexpr Milliseconds kStep{1};
constexpr Milliseconds kSuspendedBoundBlocking{5000};
constexpr Milliseconds kSuspendedBoundPolling{2000};
// Within this time after a command the polling thread reads at the configured interval, later every kStep.
constexpr double kFastPollingWindowMs = 10.0;
constexpr size_t kHeader = sizeof(ServerResponseHeader);

// Idles while the port is suspended for the USB library, at most bound; false when the thread is to end.
bool waitOutSuspension(Server& server, Port& port, Worker& self, Milliseconds bound) {
  self.setRunning(false);
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (port.suspended && !self.stopRequested() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(kStep);
  }
  if (self.stopRequested()) return false;
  if (port.suspended) {
    server.recordErrorf(&port, kNone, QOR_ERR_SERVER_THREAD_NOT_STARTED, "timeout for suspended hardware thread");
  }
  self.setRunning(true);
  return true;
}

// Sends the frame read into the message behind room for the 0xF0 header to the application it names. Frames that
// are no frames, or that name a slot without an application, are dropped.
void routeFrame(Server& server, Port& port, std::vector<uint8_t>& message, uint32_t length) {
  const Bytes read(message.data() + kHeader, length);
  const auto frame = protocol::parseFrame(read);
  if (!frame) {
    syslog(LOG_ERR, "%s : invalid frame of %u bytes from port %u dropped\n", "HardwareThread", length,
           static_cast<unsigned>(port.index));
    return;
  }
  const auto app = port.application(frame->header.App);
  if (!app || !app->inUse || !app->response.isOpen()) return;
  const size_t total = protocol::encodeFirmwareTraffic(message, read);
  server.sendToApplication(port, *app, Bytes(message.data(), total));
}

// Tells every application of the port that the device is gone (message 0x05).
void disconnectAll(Server& server, Port& port) {
  const ServerResponseHeader disconnect = protocol::bareReply(QOR_MSG_DISCONNECT, 0);
  for (const auto& app : port.applications()) {
    if (app->inUse && app->response.isOpen()) {
      server.sendToApplication(port, *app, Bytes(reinterpret_cast<const uint8_t*>(&disconnect), sizeof disconnect));
    }
  }
}

void readDevice(Server& server, Port& port, Device& device, std::vector<uint8_t>& message, bool polling,
                Worker& self) {
  const Buffer frameArea(message.data() + kHeader, message.size() - kHeader);
  self.setRunning(true);
  while (!self.stopRequested()) {
    if (port.suspended &&
        !waitOutSuspension(server, port, self, polling ? kSuspendedBoundPolling : kSuspendedBoundBlocking)) {
      break;
    }
    auto length = static_cast<uint32_t>(frameArea.size());
    const PathStatus status = device.read(frameArea, length);
    if (self.stopRequested()) break;
    if (!status.ok()) {
      if (polling) {
        std::this_thread::sleep_for(kStep);
        continue;
      }
      server.recordPathError(&port, kNone, status);
      self.setRunning(false);
      // Before telling the applications: a connect from now on starts a new reader, one before it is told.
      port.releaseHardwareThread(self);
      disconnectAll(server, port);
      break;
    }
    if (length > 0) {
      routeFrame(server, port, message, std::min(length, static_cast<uint32_t>(frameArea.size())));
    } else if (polling) {
      const bool recentCommand = GetTickCount() - port.lastCommandMs <= kFastPollingWindowMs;
      std::this_thread::sleep_for(recentCommand ? Milliseconds(server.pollIntervalMs()) : kStep);
    }
  }
}

} // namespace

uint32_t Server::startHardwareThread(const std::shared_ptr<Port>& port) {
  const uint32_t size = port->hostType.daemon.responseBufferSize;
  std::vector<uint8_t> message;
  try {
    message.resize(size);
  } catch (const std::bad_alloc&) {
    return recordErrorf(port.get(), kNone, QOR_ERR_SERVER_NOT_ENOUGH_MEMORY, "could not allocate %u bytes for response buffer",
                        size);
  }
  const bool polling = port->hostType.daemon.hardwareThread == HardwareThreadKind::Polling;
  Device& device = *port->device;
  std::shared_ptr<Worker> worker;
  {
    // A USB suspension either sees the new reader or begins after it is registered.
    std::lock_guard suspensions(usbSuspension_);
    worker = workers_.start(polling ? nullptr : "HardwareThread",
                            [this, port, &device, message = std::move(message), polling](Worker& self) mutable {
                              readDevice(*this, *port, device, message, polling, self);
                            });
    if (!worker) {
      return recordErrorf(port.get(), kNone, QOR_ERR_SERVER_HARDWARE_THREAD_NOT_STARTED, "%s", strerror(errno));
    }
    port->setHardwareThread(worker);
  }
  if (!worker->waitStarted(kStartBound)) {
    port->stopHardwareThread(*worker);
    return recordErrorf(port.get(), kNone, QOR_ERR_SERVER_HARDWARE_THREAD_NOT_STARTED, "timeout");
  }
  return 0;
}

} // namespace qor::daemon
