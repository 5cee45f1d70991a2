// Connect (message 0x01): finds the open port of the same device or opens the device into a free record, admits the
// application, starts its request thread, grants the locks it can, answers with ConnectPortResponse, and starts the
// port's hardware thread when the port needs one and has none.
#include <cerrno>
#include <cstring>

#include "qor_error_codes.h"
#include "server.hpp"
#include "usb_suspension.hpp"

namespace qor::daemon {
namespace {

constexpr Milliseconds kRequestThreadStartBound{20000};
// A connect that waited while another one failed to open the same device starts over; it finds a free record then.
constexpr int kTakeAttempts = 3;

Bytes bytesOf(const ConnectPortResponse& answer) {
  return Bytes(reinterpret_cast<const uint8_t*>(&answer), sizeof answer);
}

ConnectPortResponse answerFor(uint8_t portIndex, uint8_t applicationIndex, uint32_t error) {
  ConnectPortResponse answer{};
  answer.header = protocol::responseHeader(QOR_MSG_CONNECT_PORT, sizeof answer, error);
  answer.portIndex = portIndex;
  answer.applicationIndex = applicationIndex;
  return answer;
}

} // namespace

void Server::connectPort(Bytes message, Channel& channel) {
  const auto request = protocol::readRecord<ConnectPortRequest>(message);
  const auto refuse = [&](uint32_t code) { reply(channel, bytesOf(answerFor(kNone, kNone, code))); };
  Qor_InterfaceInfo_t descriptor = request->info;
  if (descriptor.hostInterfaceType == kEthernetHostType) descriptor.flags |= QOR_INTERFACE_FLAG_ETHERNET;

  if (stopRequested_) {
    refuse(recordErrorf(nullptr, kNone, QOR_ERR_SERVER_INIT_FAILED, "daemon is stopping"));
    return;
  }
  // The client's pid is the one its queues were checked against: no client acts for another process.
  if (request->processId != channel.client.pid()) {
    refuse(recordErrorf(nullptr, kNone, QOR_ERR_SERVER_INVALID_PARAMETER, "process id %u is not the client's (%u)",
                        request->processId, channel.client.pid()));
    return;
  }
  const HostType* host = findHostType(descriptor.hostInterfaceType);
  if (host == nullptr) {
    refuse(recordErrorf(nullptr, kNone, QOR_ERR_SERVER_UNKNOWN_DEVICE_TYPE, "device type '%u' is unknown",
                        descriptor.hostInterfaceType));
    return;
  }
  // The queues are the daemon's memory: no larger than the model's size group asks for.
  if (request->queueMessageSize < sizeof(ServerResponseHeader) ||
      request->queueMessageSize > host->sizeGroup->queueMessageSize) {
    refuse(recordErrorf(nullptr, kNone, QOR_ERR_SERVER_INVALID_PARAMETER,
                        "queue message size %u is not valid for host interface type %u", request->queueMessageSize,
                        descriptor.hostInterfaceType));
    return;
  }
  for (int attempt = 0; attempt < kTakeAttempts; ++attempt) {
    const auto port = ports_.take(descriptor);
    if (!port) break;
    std::unique_lock lifecycle(port->lifecycle);
    if (port->released) continue;
    ConnectPortRequest admitted = *request;
    admitted.info = descriptor;
    connectOn(port, admitted, channel, lifecycle);
    return;
  }
  refuse(recordErrorf(nullptr, kNone, QOR_ERR_SERVER_TOO_MANY_DEVICES, "error getting hardware index"));
}

void Server::connectOn(const std::shared_ptr<Port>& port, const ConnectPortRequest& request, Channel& channel,
                       std::unique_lock<std::mutex>& lifecycle) {
  ConnectPortResponse answer = answerFor(port->index, kNone, 0);
  const auto fail = [&](uint32_t code) { reply(channel, bytesOf(answerFor(port->index, answer.applicationIndex, code))); };
  if (!port->device) {
    if (const uint32_t code = openDevice(*port)) {
      closePortIfUnused(port);
      fail(code);
      return;
    }
  }
  const Qor_InterfaceInfo_t& descriptor = request.info;
  const auto app = port->admit([&](uint8_t slot) {
    return std::make_shared<Application>(slot, channel.client, request.clientPortId, descriptor.controllerNumber,
                                         descriptor.interfaceNumber, request.queueMessageSize);
  });
  if (!app) {
    closePortIfUnused(port);
    fail(recordErrorf(port.get(), kNone, QOR_ERR_SERVER_NO_FREE_APPLICATION, "error getting application handle"));
    return;
  }
  answer.applicationIndex = app->index;
  const auto abandon = [&](uint32_t code) {
    closeApplication(port, app, lifecycle);
    fail(code);
  };
  // A stop that began meanwhile may have closed the applications it saw already: this one goes, too.
  if (stopRequested_) {
    abandon(recordErrorf(nullptr, kNone, QOR_ERR_SERVER_INIT_FAILED, "daemon is stopping"));
    return;
  }

  app->requestThread = workers_.start("Srv-RequestT", [this, port, app](Worker& self) {
    serveApplication(port, app, self);
  });
  if (!app->requestThread) {
    abandon(recordErrorf(port.get(), app->index, QOR_ERR_SERVER_REQUEST_THREAD_NOT_STARTED, "%s", strerror(errno)));
    return;
  }
  if (!app->requestThread->waitStarted(kRequestThreadStartBound)) {
    // A thread that ended has recorded why (its queues could not be created).
    uint32_t code = app->requestThread->ended() ? app->queueResult.load() : 0;
    if (code == 0) {
      code = recordErrorf(port.get(), app->index, QOR_ERR_SERVER_REQUEST_THREAD_NOT_STARTED, "timeout for request thread");
    }
    abandon(code);
    return;
  }

  LockTables::Grant granted;
  {
    std::lock_guard table(port->tableLock);
    granted = port->locks.grant(channel.client.pid(), descriptor.controllerNumber, descriptor.interfaceNumber);
  }
  answer.controllerLockGranted = granted.controller ? 1 : 0;
  answer.interfaceLockGranted = granted.interfaceLock ? 1 : 0;
  answer.module = port->device->properties.module;
  answer.deviceIdentifier = port->device->properties.deviceIdentifier;
  reply(channel, bytesOf(answer));

  const auto reader = port->hardwareThread();
  if (port->hostType.daemon.hardwareThread != HardwareThreadKind::None && (!reader || reader->ended())) {
    if (const uint32_t code = startHardwareThread(port)) abandon(code);
  }
}

uint32_t Server::openDevice(Port& port) {
  std::unique_ptr<Device> device;
  PathStatus status;
  const auto kind = DeviceAccess::pathFor(port.descriptor);
  if (std::holds_alternative<PathKind>(kind) && std::get<PathKind>(kind) == PathKind::Usb) {
    UsbSuspension suspension(*this);
    status = access_.open(port.descriptor, device);
  } else {
    status = access_.open(port.descriptor, device);
  }
  if (!status.ok()) return recordPathError(&port, kNone, status);
  if (device->properties.flushAfterOpen) device->flushResponse();
  DeviceLocks locks(port);
  port.device = std::move(device);
  return 0;
}

} // namespace qor::daemon
