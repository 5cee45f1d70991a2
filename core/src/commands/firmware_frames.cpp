// The firmware buffer's exported functions and raw frames.
#include <cstring>

#include "commands/command_exchange.hpp"
#include "startup/error_store.hpp"
#include "ports/port_table.hpp"
#include "qor_api.h"
#include "qor_shared/scoped_lock.hpp"
#include "commands/firmware_frames.hpp"
#include "commands/unmatched_frames.hpp"
#include "startup/exported_call.hpp"

using namespace qor::client;

void Qor_Fw_Buffer_Write(Qor_PortContext& context, uint8_t command, uint8_t type, uint32_t length, const uint8_t* data) {
  qor::SectionLock buffer(context.firmwareBuffer.section);
  if (context.firmwareBuffer.buffer) context.firmwareBuffer.buffer->write(command, type, data, length);
}

namespace qor::client {
namespace {

// Disables the buffer at close or on request; the response thread writes only under the same section.
void disableFirmwareBuffer(Qor_PortInfo_t& entry) {
  Qor_PortContext& context = *portContext(entry);
  {
    qor::SectionLock general(context.general);
    setPortFlag(entry, PortFlag::FirmwareBufferEnabled, false);
  }
  qor::SectionLock buffer(context.firmwareBuffer.section);
  context.firmwareBuffer.buffer.reset();
}

} // namespace

Teardown firmwareBufferTeardown() {
  return {.beforeDisconnect = [](Qor_PortInfo_t& entry) -> uint32_t {
    disableFirmwareBuffer(entry);
    return 0;
  }};
}

} // namespace qor::client

extern "C" {

uint32_t Qor_Fw_Buffer_Enable(uint32_t port, uint32_t size) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  Qor_PortInfo_t& entry = ref.entry();
  Qor_PortContext& context = ref.context();
  if (portFlag(entry, PortFlag::FirmwareBufferEnabled)) {
    return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_OPERATION_NOT_ALLOWED, "fw buffer already enabled");
  }
  if (size == 0) size = context.queueMessageSize;
  if (size < FirmwareBuffer::kMinimumSize) {
    return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_INVALID_PARAMETER,
                                   "buffer size (%u byte) < minimum buffer size (%u byte)", size,
                                   static_cast<unsigned>(FirmwareBuffer::kMinimumSize));
  }
  std::unique_ptr<FirmwareBuffer> buffer;
  try {
    buffer = std::make_unique<FirmwareBuffer>(size);
  } catch (const std::bad_alloc&) {
    return storeError(&entry, QOR_ERR_API_NOT_ENOUGH_MEMORY, "");
  }
  {
    qor::SectionLock section(context.firmwareBuffer.section);
    context.firmwareBuffer.buffer = std::move(buffer);
  }
  setPortFlag(entry, PortFlag::FirmwareBufferEnabled, true);
  return 0;
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Fw_Buffer_Disable(uint32_t port) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  if (portFlag(ref.entry(), PortFlag::FirmwareBufferEnabled)) disableFirmwareBuffer(ref.entry());
  return 0;
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Fw_Read(uint32_t port, uint8_t* command, uint8_t* dataLost, uint8_t* type, uint32_t* length,
                     void* buffer) try {
  uint8_t ignoredByte = 0;
  uint32_t ignoredLength = 0;
  uint8_t& commandOut = command ? *command : ignoredByte;
  uint8_t& lostOut = dataLost ? *dataLost : ignoredByte;
  uint8_t& typeOut = type ? *type : ignoredByte;
  uint32_t& lengthOut = length ? *length : ignoredLength;
  const uint32_t capacity = lengthOut;
  commandOut = lostOut = typeOut = 0;
  lengthOut = 0;
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  Qor_PortInfo_t& entry = ref.entry();
  Qor_PortContext& context = ref.context();
  if (buffer == nullptr && capacity != 0) {
    return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  qor::SectionLock section(context.firmwareBuffer.section);
  if (!context.firmwareBuffer.buffer) {
    section.unlock();
    return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_OPERATION_NOT_ALLOWED, "fw buffer not enabled");
  }
  FirmwareBuffer& frames = *context.firmwareBuffer.buffer;
  if (frames.empty()) return 0;
  const FirmwareBuffer::Record record = frames.oldest();
  if (record.length > capacity) {
    return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_RESPONSE_BUFFER_TOO_SMALL, "response (%u byte) > buffer (%u byte)",
                                   static_cast<unsigned>(record.length), capacity);
  }
  frames.takeOldest(static_cast<uint8_t*>(buffer));
  commandOut = record.command;
  lostOut = record.dataLost ? 1 : 0;
  typeOut = record.type == QOR_FRAME_RESPONSE || record.type == QOR_FRAME_ACKNOWLEDGE ? record.type : 0;
  lengthOut = static_cast<uint32_t>(record.length);
  return 0;
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Fw_Write(uint32_t port, uint8_t mode, uint8_t command, uint32_t length, const void* data) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  Qor_PortInfo_t& entry = ref.entry();
  if (mode > QOR_REQUEST_NO_ACKNOWLEDGE) {
    return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_UNKNOWN_MODE, "mode '0x%02x' is unknown", mode);
  }
  if (data == nullptr && length != 0) {
    return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  qor::SectionLock commandLock(ref.context().commands.lock);
  return Qor_Client_SendFwCommand(entry, mode, command, data, length);
} catch (...) {
  return failedCall(port);
}

} // extern "C"
