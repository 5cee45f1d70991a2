// The rest-bus helpers: a signal write that takes no command lock and waits for nothing, and the built-in callback
// entry for the firmware's update frames.
#include <cstring>

#include "commands/command_exchange.hpp"
#include "startup/error_store.hpp"
#include "ports/port_table.hpp"
#include "qor_api.h"
#include "qor_shared/protocol.hpp"
#include "qor_shared/scoped_lock.hpp"
#include "startup/exported_call.hpp"
#include "qor_protocol.h"

using namespace qor::client;

namespace {
constexpr uint8_t kWriteSignalCommand = 0x22;
constexpr uint8_t kUpdateCommand = 0x23;
} // namespace

extern "C" {

uint32_t Qor_Cyclor_WriteSignal(uint32_t port, const uint8_t* data, uint32_t length) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  Qor_PortInfo_t& entry = ref.entry();
  Qor_PortContext& context = ref.context();
  if (length > context.maxParameterLength) {
    return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_INVALID_COMMAND_LENGTH, "%d > %d (max. parameterlength of device)",
                                   static_cast<int>(length), static_cast<int>(context.maxParameterLength));
  }
  if (data == nullptr && length != 0) return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  // Its own message, beside the command template that another thread may be filling; the events of a waiting
  // exchange are left alone.
  qor::SectionLock queues(context.queues.section);
  std::vector<uint8_t>& message = context.queues.signalMessage;
  const size_t frameLength = QOR_FRAME_HEADER_SIZE + length;
  message.resize(sizeof(ServerRequestHeader) + frameLength);
  memcpy(message.data(), context.commands.messageTemplate.data(), sizeof(ServerRequestHeader) + QOR_FRAME_HEADER_SIZE);
  FirmwareMessageHeader header;
  memcpy(&header, message.data() + sizeof(ServerRequestHeader), sizeof header);
  header.requestKind = QOR_REQUEST_NO_ACKNOWLEDGE;
  header.command = kWriteSignalCommand;
  header.length = static_cast<uint16_t>(frameLength);
  memcpy(message.data() + sizeof(ServerRequestHeader), &header, sizeof header);
  if (length != 0) memcpy(message.data() + sizeof(ServerRequestHeader) + QOR_FRAME_HEADER_SIZE, data, length);
  const auto messageLength = static_cast<uint32_t>(qor::protocol::encodeFirmwareFrameMessage(
      message, context.portIndex, context.applicationIndex,
      qor::protocol::Bytes(message.data() + sizeof(ServerRequestHeader), frameLength)));
  return Qor_Client_SendCommand(entry, message.data(), messageLength);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Cyclor_UpdateCallback_Set(uint32_t port, Qor_AsyncCommunication_Callback_t callback) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  // No callback is the same as a reset: an entry without a function to call would drop into nothing.
  if (callback == nullptr) return Qor_Cyclor_UpdateCallback_Reset(port);
  auto update = std::make_shared<AsyncCallbackListEntry>();
  update->command = kUpdateCommand;
  update->frameType = QOR_FRAME_RESPONSE;
  update->callback = callback;
  qor::SectionLock general(ref.context().general);
  ref.context().async.restBusUpdateEntry = std::move(update);
  return 0;
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Cyclor_UpdateCallback_Reset(uint32_t port) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  qor::SectionLock general(ref.context().general);
  ref.context().async.restBusUpdateEntry.reset();
  return 0;
} catch (...) {
  return failedCall(port);
}

} // extern "C"
