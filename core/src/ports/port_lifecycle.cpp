#include "ports/port_lifecycle.hpp"

#include <arpa/inet.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>
#include <string>
#include <thread>

#include "async/async_callbacks.hpp"
#include "commands/command_exchange.hpp"
#include "commands/firmware_frames.hpp"
#include "lvds/lvds_frame_data.hpp"
#include "monitors/monitors.hpp"
#include "pcie_dma/pcie_dma.hpp"
#include "ports/control_requests.hpp"
#include "startup/error_store.hpp"
#include "ports/port_events.hpp"
#include "ports/port_table.hpp"
#include "ports/private_pair.hpp"
#include "ports/server_queue.hpp"
#include "qor_api.h"
#include "qor_shared/deadline.hpp"
#include "qor_shared/host_types.hpp"
#include "qor_shared/protocol.hpp"
#include "qor_shared/scoped_lock.hpp"
#include "commands/response_thread.hpp"
#include "startup/signal_closer.hpp"
#include "startup/exported_call.hpp"

using namespace qor::client;

namespace {

constexpr double kResponseThreadStartMs = 5000;
// The response thread ends at most its close-reply wait plus one receive slice after the stop byte.
constexpr uint32_t kResponseThreadEndMs = 2000;
constexpr uint32_t kCallsDrainMarginMs = 1000;

// Frees the entry under the process lock, once no call works on the port any more. If a call or a thread does
// not finish in time, the state is left allocated rather than freed under it.
void releaseEntry(Qor_PortInfo_t& entry, uint32_t drainMs, bool threadsEnded) {
  const uint32_t port = static_cast<uint32_t>(&entry - PortInfo);
  PortSlot& slot = portSlot(port);
  const double start = GetTickCount();
  while (slot.users.load() != 0 && GetTickCount() - start < drainMs) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::unique_ptr<Qor_PortContext> context;
  {
    qor::SectionLock process(ClientInfo.lock);
    context = std::move(slot.context);
    setPortContext(entry, nullptr);
    clearPortFlags(entry);
    slot.openPhase.store(OpenPhase::Done);
    if (context) --ClientInfo.openPorts;
  }
  // A thread that did not end may still use the state: then it is left to that thread, never freed under it.
  if (!threadsEnded || slot.users.load() != 0) static_cast<void>(context.release());
  context.reset();
  slot.closing.store(false);
  slot.closeStarted.store(false);
}

bool convertAddress(const Qor_InterfaceInfo_t& descriptor, Qor_InterfaceInfo_t& request) {
  char text[sizeof descriptor.ipAddress + 1] = {};
  memcpy(text, descriptor.ipAddress, sizeof descriptor.ipAddress); // at most 16 bytes, never beyond
  in_addr address{};
  if (inet_pton(AF_INET, text, &address) != 1) return false;
  memset(request.ipAddress, 0, sizeof request.ipAddress);
  memcpy(request.ipAddress, &address.s_addr, sizeof address.s_addr);
  request.flags |= QOR_INTERFACE_FLAG_BINARY_IPV4;
  return true;
}

// Builds the port's state in its slot; the entry is in use afterwards.
uint32_t takeSlot(const Qor_InterfaceInfo_t& descriptor, uint32_t& port) {
  qor::SectionLock process(ClientInfo.lock);
  port = QOR_NO_PORT;
  for (uint32_t candidate = 0; candidate < QOR_MAX_PORTS; ++candidate) {
    if (!portFlag(PortInfo[candidate], PortFlag::InUse) && !portSlot(candidate).closeStarted.load()) {
      port = candidate;
      break;
    }
  }
  if (port == QOR_NO_PORT) return storeError(nullptr, QOR_ERR_API_TOO_MANY_DEVICES, "");
  Qor_PortInfo_t& entry = PortInfo[port];
  std::unique_ptr<Qor_PortContext> context;
  try {
    context = std::make_unique<Qor_PortContext>();
  } catch (const std::bad_alloc&) {
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_NOT_ENOUGH_MEMORY, "could not allocate map structure");
  }
  context->descriptor = descriptor;
  const std::optional<qor::SizeGroup> group = qor::sizeGroupOf(descriptor.hostInterfaceType);
  if (!group) {
    return storeError(nullptr, QOR_ERR_API_UNKNOWN_DEVICE_TYPE, "");
  }
  context->queueMessageSize = group->queueMessageSize;
  context->minMonitorBufferSize = group->minMonitorBufferSize;
  context->interfaceHost = group->interfaceHost;
  context->maxParameterLength = group->maxParameterLength;
  context->responseTimeoutMs = group->responseTimeoutMs;
  context->hostCommunicationType = Qor_Internal_GetHostCommunicationType(&descriptor);
  try {
    context->queues.receiveBuffer.resize(context->queueMessageSize);
    context->commands.messageTemplate.resize(sizeof(ServerRequestHeader) + QOR_FRAME_HEADER_SIZE + context->maxParameterLength);
  } catch (const std::bad_alloc&) {
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_NOT_ENOUGH_MEMORY, "could not allocate pipe buffer memory");
  }
  // Unique among the process's open ports: the daemon names the application's queues with it.
  context->clientPortId = port + 1;
  context->processId = static_cast<uint32_t>(getpid());
  context->portHandle = port;
  context->entry = &entry;
  // The 0x20 header in front of the frame is written with each command.
  const FirmwareMessageHeader frame = qor::protocol::commandHeader(0, descriptor.controllerNumber,
                                                                  descriptor.interfaceNumber, 0, 0, 0, 0);
  memcpy(context->commands.messageTemplate.data() + sizeof(ServerRequestHeader), &frame, sizeof frame);
  if (createEvents(*context) != 0 || createCallbackEvent(*context) != 0) {
    return storeError(nullptr, QOR_ERR_API_CREATE_EVENT, "");
  }
  for (const Teardown& teardown :
       {asyncCommunicationTeardown(), firmwareBufferTeardown(), lvdsFramesTeardown(), monitorsTeardown(),
        pcieDmaTeardown()}) {
    context->teardowns.add(teardown);
  }
  const bool wide = group->parameters64Bit;
  setPortFlag(entry, PortFlag::Property0, group->property0);
  setPortFlag(entry, PortFlag::Parameters64Bit, wide);
  setPortContext(entry, context.get());
  portSlot(port).context = std::move(context);
  portSlot(port).openPhase.store(OpenPhase::Running);
  setPortFlag(entry, PortFlag::InUse, true);
  ++ClientInfo.openPorts;
  return 0;
}

std::string applicationQueueName(const Qor_PortContext& context, const char* kind) {
  char name[128];
  snprintf(name, sizeof name, QOR_APPLICATION_QUEUE_NAME_FORMAT, context.processId, context.clientPortId,
           context.applicationIndex, kind);
  return name;
}

void storeConnection(Qor_PortInfo_t& entry, const ConnectPortResponse& response) {
  Qor_PortContext& context = *portContext(entry);
  {
    qor::SectionLock general(context.general);
    context.applicationIndex = response.applicationIndex;
    context.portIndex = response.portIndex;
    context.module = response.module;
    context.deviceIdentifier = response.deviceIdentifier;
    uint8_t* message = context.commands.messageTemplate.data();
    message[sizeof(ServerRequestHeader) + offsetof(FirmwareMessageHeader, App)] = response.applicationIndex;
    message[sizeof(ServerRequestHeader) + offsetof(FirmwareMessageHeader, Mod)] = response.module;
  }
  setPortFlag(entry, PortFlag::ControllerLock, response.controllerLockGranted == 1);
  setPortFlag(entry, PortFlag::InterfaceLock, response.interfaceLockGranted == 1);
}

// After the daemon admitted the application: the application queues and the response thread.
uint32_t startReceiving(Qor_PortInfo_t& entry) {
  Qor_PortContext& context = *portContext(entry);
  {
    qor::SectionLock queues(context.queues.section);
    context.queues.response = mq_open(applicationQueueName(context, QOR_APPLICATION_RESPONSE_QUEUE).c_str(), O_RDONLY);
    context.queues.request = mq_open(applicationQueueName(context, QOR_APPLICATION_REQUEST_QUEUE).c_str(), O_WRONLY);
    if (context.queues.response == -1 || context.queues.request == -1) {
      queues.unlock();
      return storeError(&entry, QOR_ERR_API_COULD_NOT_CONNECT, "");
    }
  }
  context.queues.responseThread = Qor_Internal_Thread_Start(Qor_Client_ResponseThread, "ClientResponseThread", &entry);
  if (context.queues.responseThread == 0) {
    Qor_Client_ErrorHandler(&entry, QOR_ERR_API_THREAD_NOT_STARTED, "could not start response thread - %s",
                            strerror(errno));
    return QOR_ERR_API_THREAD_NOT_STARTED;
  }
  const double start = GetTickCount();
  while (!portFlag(entry, PortFlag::ResponseThreadRunning)) {
    if (GetTickCount() - start > kResponseThreadStartMs) {
      Qor_Client_ErrorHandler(&entry, QOR_ERR_API_THREAD_NOT_STARTED, "could not start response thread");
      return QOR_ERR_API_THREAD_NOT_STARTED;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return 0;
}

// The daemon releases the application and its locks; a port whose response queue the daemon closed (a failed
// device) is still released through the request queue.
void sendDisconnect(Qor_PortInfo_t& entry, Qor_PortContext& context) {
  qor::SectionLock queues(context.queues.section);
  if (context.queues.request == -1) return;
  context.queues.closeRequested = true;
  const ServerRequestHeader disconnect{QOR_MSG_DISCONNECT, context.portIndex, context.applicationIndex, 0,
                                       QOR_BARE_REQUEST_LENGTH};
  const timespec deadline = qor::realtimeDeadline(context.responseTimeoutMs.load());
  if (mq_timedsend(context.queues.request, reinterpret_cast<const char*>(&disconnect), sizeof disconnect, 0,
                   &deadline) != 0) {
    Qor_Client_ErrorHandler(&entry, QOR_ERR_API_COULD_NOT_CONNECT, "could not connect to API server thread");
  }
}

// Closes a port whose close this thread has claimed (closeStarted set).
uint32_t closeClaimed(Qor_PortInfo_t* entry) {
  const uint32_t port = static_cast<uint32_t>(entry - PortInfo);
  PortSlot& slot = portSlot(port);
  Qor_PortContext* context = portContext(*entry);
  if (context == nullptr) {
    slot.closeStarted.store(false);
    return 0;
  }
  // The features go first, while the port still answers: their stop commands need it.
  if (uint32_t result = context->teardowns.beforeDisconnect(*entry)) {
    slot.closeStarted.store(false);
    return result;
  }
  setPortFlag(*entry, PortFlag::StopResponseThread, true);
  // From here on the port turns new calls away.
  slot.closing.store(true);
  sendDisconnect(*entry, *context);
  bool threadEnded = true;
  if (context->queues.responseThread != 0) {
    timespec deadline = qor::realtimeDeadline(kResponseThreadEndMs);
    threadEnded = pthread_timedjoin_np(context->queues.responseThread, nullptr, &deadline) == 0;
    if (!threadEnded) pthread_detach(context->queues.responseThread);
  }
  const bool featureThreadsEnded = context->teardowns.afterTraffic(*entry);
  threadEnded = threadEnded && featureThreadsEnded;
  const uint32_t drainMs = context->responseTimeoutMs.load() + kCallsDrainMarginMs;
  releaseEntry(*entry, threadEnded ? drainMs : 0, threadEnded);
  return 0;
}

// Undoes a failed open; the caller's code is what the open returns.
uint32_t failOpen(uint32_t port, uint32_t code) {
  Qor_Client_Close(&PortInfo[port]);
  return code;
}

} // namespace

uint32_t Qor_Client_OpenInterface(const Qor_InterfaceInfo_t* descriptor, uint32_t* port) {
  *port = QOR_NO_PORT;
  const uint32_t folded = Qor_Internal_GetInternalHostInterfaceType(descriptor->hostInterfaceType);
  uint8_t controllers = 0;
  Qor_Internal_GetMaxNumberOfControllers(folded, &controllers);
  if (descriptor->controllerNumber > controllers) {
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_INVALID_CONTROLLER, "maximum number of controllers: %d",
                                   controllers);
  }
  ConnectPortRequest request{};
  request.header = {QOR_MSG_CONNECT_PORT, 0, 0, 0, sizeof request};
  request.info = *descriptor;
  request.info.hostInterfaceType = folded;
  const bool ethernet = folded == qor::kEthernetHostType || (descriptor->flags & QOR_INTERFACE_FLAG_ETHERNET);
  if (ethernet && !(descriptor->flags & QOR_INTERFACE_FLAG_BINARY_IPV4) && !convertAddress(*descriptor, request.info)) {
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_INVALID_PARAMETER, "invalid IPv4 address");
  }

  uint32_t slot = QOR_NO_PORT;
  if (uint32_t result = takeSlot(*descriptor, slot)) return result;
  Qor_PortInfo_t& entry = PortInfo[slot];
  Qor_PortContext& context = *portContext(entry);
  SignalCloser::ensureStarted();

  if (context.hostCommunicationType == QOR_COMMUNICATION_USB) {
    if (uint32_t result = refreshDriverInfo(1)) return failOpen(slot, result);
  }
  if (!daemonQueueExists()) return failOpen(slot, storeError(nullptr, QOR_ERR_API_COULD_NOT_CONNECT, ""));
  setPortFlag(entry, PortFlag::Connected, true);
  char baseName[128];
  snprintf(baseName, sizeof baseName, QOR_OPEN_PAIR_NAME_FORMAT, QOR_SERVER_QUEUE_NAME, static_cast<int>(context.processId),
           descriptor->controllerNumber, descriptor->interfaceNumber, descriptor->deviceNumber);
  PrivatePair pair;
  if (uint32_t result = PrivatePair::announce(baseName, QOR_PRIVATE_PAIR_MESSAGE_SIZE, pair)) return failOpen(slot, result);

  request.processId = context.processId;
  request.clientPortId = context.clientPortId;
  request.maxParameterLength = context.maxParameterLength;
  request.queueMessageSize = context.queueMessageSize;
  ConnectPortResponse response{};
  size_t received = 0;
  uint32_t result = pair.exchange(&request, sizeof request, &response, sizeof response, &received);
  if (result != 0 || received < sizeof response) {
    pair.closeConnection(); // the daemon's control thread need not wait for our death
    pair.destroy();
    return failOpen(slot, storeError(nullptr, QOR_ERR_API_COULD_NOT_CONNECT, ""));
  }
  if (response.header.error != 0) {
    pair.closeConnection();
    pair.destroy();
    failOpen(slot, 0);
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_SERVER_DEVICE_NOT_CONNECTED, "server returned with ERRORCODE 0x%x",
                                   response.header.error);
  }
  storeConnection(entry, response);
  result = startReceiving(entry);
  pair.closeConnection();
  pair.destroy();
  if (result != 0) {
    failOpen(slot, 0);
    if (result == QOR_ERR_API_THREAD_NOT_STARTED) {
      return Qor_Client_ErrorHandler(nullptr, result, "failed to start response thread");
    }
    return result;
  }
  *port = slot;
  return 0;
}

uint32_t Qor_Client_Close(Qor_PortInfo_t* entry) {
  bool expected = false;
  if (!portSlot(static_cast<uint32_t>(entry - PortInfo)).closeStarted.compare_exchange_strong(expected, true)) {
    return 0; // another thread closes it
  }
  return closeClaimed(entry);
}

uint32_t Qor_Client_FinishOpen(uint32_t port) {
  OpenPhase running = OpenPhase::Running;
  if (portSlot(port).openPhase.compare_exchange_strong(running, OpenPhase::Done)) return 0;
  Qor_Client_Close(&PortInfo[port]);
  return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_COULD_NOT_CONNECT, "port closed by a signal during the open");
}

void Qor_Client_CloseUnlessOpening(Qor_PortInfo_t* entry) {
  if (!portFlag(*entry, PortFlag::InUse)) return;
  PortSlot& slot = portSlot(static_cast<uint32_t>(entry - PortInfo));
  {
    // Under the process lock, where the open takes the slot: the decision and the claim see one state of it.
    qor::SectionLock process(ClientInfo.lock);
    if (!portFlag(*entry, PortFlag::InUse)) return;
    OpenPhase running = OpenPhase::Running;
    if (slot.openPhase.compare_exchange_strong(running, OpenPhase::CloseRequested)) return;
    if (running == OpenPhase::CloseRequested) return;
    bool expected = false;
    if (!slot.closeStarted.compare_exchange_strong(expected, true)) return; // another thread closes it
  }
  closeClaimed(entry);
}

extern "C" uint32_t Qor_CloseInterface(uint32_t port) try {
  if (!checkedPort(port)) return 0;
  return Qor_Client_Close(&PortInfo[port]);
} catch (...) {
  return failedCall(port);
}
