#include "commands/command_exchange.hpp"
#include "commands/receive_role.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "startup/error_store.hpp"
#include "ports/port_events.hpp"
#include "ports/port_table.hpp"
#include "qor_api.h"
#include "qor_shared/deadline.hpp"
#include "qor_shared/firmware_records.hpp"
#include "qor_shared/protocol.hpp"
#include "qor_shared/scoped_lock.hpp"
#include "commands/unmatched_frames.hpp"
#include "startup/exported_call.hpp"

using namespace qor::client;
namespace protocol = qor::protocol;

namespace {

constexpr uint8_t kMaxControlBytes = 8;
constexpr uint32_t kErrorTextCapacity = 32756;

bool commandsWithoutResponseAreSynchronous(Qor_PortInfo_t& entry) {
  return !portFlag(entry, PortFlag::AsyncEnabled) || portFlag(entry, PortFlag::CommandsWaitForAcknowledge);
}

// Frames whose command, type and control bytes match the armed record end the caller's wait.
bool matchFrame(Qor_PortInfo_t& entry, const protocol::Frame& frame) {
  Qor_PortContext& context = *portContext(entry);
  ExpectedResponse& expected = context.commands.expected;
  if (expected.armedPort == QOR_NO_PORT || expected.command != frame.header.command) return false;
  if (frame.isNegativeAcknowledge()) {
    const std::string_view text = frame.negativeAcknowledgeText();
    char stored[QOR_ERROR_TEXT_SIZE];
    snprintf(stored, sizeof stored, "%.*s", static_cast<int>(text.size()), text.data());
    storeError(&entry, frame.negativeAcknowledgeCode(), stored);
    signalError(context, frame.negativeAcknowledgeCode());
    return true;
  }
  if (frame.header.type != expected.frameType) return false;
  if (frame.header.type == QOR_FRAME_ACKNOWLEDGE) {
    Qor_Internal_SetEvent(&context.events.acknowledge);
    return true;
  }
  if (frame.data.size() < expected.controlCount ||
      memcmp(frame.data.data(), expected.control, expected.controlCount) != 0) {
    return false;
  }
  const uint32_t capacity = expected.size ? *expected.size : 0;
  if (frame.data.size() > capacity) {
    const uint32_t code = Qor_Client_ErrorHandler(&entry, QOR_ERR_API_RESPONSE_BUFFER_TOO_SMALL,
                                                  "response buffer (%d bytes) < response (%d bytes)",
                                                  static_cast<int>(capacity), static_cast<int>(frame.data.size()));
    signalError(context, code);
    return true;
  }
  if (!frame.data.empty()) memcpy(expected.buffer, frame.data.data(), frame.data.size());
  *expected.size = static_cast<uint32_t>(frame.data.size());
  Qor_Internal_SetEvent(&context.events.response);
  return true;
}

uint32_t checkFirmwareHost(PortRef& ref) {
  if (ref.context().interfaceHost != QOR_INTERFACE_HOST_FIRMWARE) {
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_DEVICE_TYPE, "Firmware interface host expected");
  }
  return 0;
}

// A synchronous exchange: arm, send, wait for the response, disarm. The command lock is held throughout.
uint32_t exchange(PortRef& ref, uint8_t command, uint8_t controlCount, const void* parameters, uint32_t length,
                  void* response, uint32_t* size) {
  Qor_PortInfo_t& entry = ref.entry();
  const uint32_t result = [&] {
    qor::SectionLock commandLock(ref.context().commands.lock);
    const ArmedResponse armed(entry, command, QOR_FRAME_RESPONSE, static_cast<const uint8_t*>(parameters), controlCount,
                              response, size);
    const uint32_t sent = Qor_Client_SendFwCommand(entry, QOR_REQUEST_NO_ACKNOWLEDGE, command, parameters, length);
    if (sent != 0) return sent;
    return waitForEvent(entry, ref.context().events.response, ref.context().responseTimeoutMs.load());
  }();
  if (result == 0) return 0;
  *size = 0;
  if (result == QOR_ERR_API_NO_RESPONSE) {
    Qor_Client_ErrorHandler(&entry, QOR_ERR_API_NO_RESPONSE, "no response for command 0x%02x on interface 0x%02x",
                            command, ref.context().interfaceType);
  }
  return result;
}

uint32_t checkBuffers(PortRef& ref, const void* parameters, uint32_t length, const void* response,
                      const uint32_t* size) {
  if (size == nullptr || (response == nullptr && *size != 0) || (parameters == nullptr && length != 0)) {
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  return 0;
}

} // namespace

ArmedResponse::ArmedResponse(Qor_PortInfo_t& entry, uint8_t command, uint32_t expectedType, const uint8_t* control,
                             uint8_t controlCount, void* buffer, uint32_t* size)
    : context_(*portContext(entry)) {
  Qor_PortContext& context = context_;
  qor::SectionLock general(context.general);
  ExpectedResponse& expected = context.commands.expected;
  expected.command = command;
  expected.frameType = expectedType;
  expected.controlCount = std::min(controlCount, kMaxControlBytes);
  if (control != nullptr && expected.controlCount != 0) memcpy(expected.control, control, expected.controlCount);
  expected.buffer = buffer;
  expected.size = size;
  expected.armedPort = static_cast<uint32_t>(&entry - PortInfo);
}

ArmedResponse::~ArmedResponse() {
  qor::SectionLock general(context_.general);
  context_.commands.expected.armedPort = QOR_NO_PORT;
}

uint32_t Qor_Client_SendCommand(Qor_PortInfo_t& entry, const uint8_t* message, uint32_t length) {
  Qor_PortContext& context = *portContext(entry);
  int rc = -1;
  int sendError = EBADF;
  {
    qor::SectionLock queues(context.queues.section);
    if (context.queues.request != -1) {
      // A daemon that stopped reading must not hang the caller.
      const timespec deadline = qor::realtimeDeadline(context.responseTimeoutMs.load());
      rc = mq_timedsend(context.queues.request, reinterpret_cast<const char*>(message), length, 0, &deadline);
      sendError = errno;
    }
  }
  if (rc != 0) {
    return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_WRITE_PIPE, "error during MsgSend: %s", strerror(sendError));
  }
  return 0;
}

uint32_t Qor_Client_SendFwCommand(Qor_PortInfo_t& entry, uint8_t requestKind, uint8_t command, const void* parameters,
                                  uint32_t length) {
  Qor_PortContext& context = *portContext(entry);
  if (length > context.maxParameterLength) {
    return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_INVALID_COMMAND_LENGTH, "%d > %d (max. parameterlength of device)",
                                   static_cast<int>(length), static_cast<int>(context.maxParameterLength));
  }
  std::vector<uint8_t>& message = context.commands.messageTemplate;
  constexpr size_t kFrameOffset = sizeof(ServerRequestHeader);
  FirmwareMessageHeader header;
  memcpy(&header, message.data() + kFrameOffset, sizeof header);
  header.requestKind = requestKind;
  header.command = command;
  header.length = static_cast<uint16_t>(QOR_FRAME_HEADER_SIZE + length);
  memcpy(message.data() + kFrameOffset, &header, sizeof header);
  if (length != 0) memcpy(message.data() + kFrameOffset + QOR_FRAME_HEADER_SIZE, parameters, length);
  const auto messageLength = static_cast<uint32_t>(
      protocol::encodeFirmwareFrameMessage(message, context.portIndex, context.applicationIndex,
                                           protocol::Bytes(message.data() + kFrameOffset, header.length)));
  clearExchangeEvents(context);
  return Qor_Client_SendCommand(entry, message.data(), messageLength);
}

bool Qor_Client_MatchFrame(Qor_PortInfo_t& entry, const protocol::Frame& frame) {
  return qor::underSection(portContext(entry)->general, [&] { return matchFrame(entry, frame); });
}

void Qor_Client_ReceivedFrame(Qor_PortInfo_t& entry, const protocol::Frame& frame) {
  if (!Qor_Client_MatchFrame(entry, frame)) routeUnmatchedFrame(entry, frame);
}

uint32_t Qor_Client_DaemonRequest(Qor_PortInfo_t& entry, uint8_t code, InternalEvent& event, uint32_t milliseconds) {
  Qor_PortContext& context = *portContext(entry);
  qor::SectionLock commandLock(context.commands.lock);
  const ServerRequestHeader request{code, context.portIndex, context.applicationIndex, 0, QOR_BARE_REQUEST_LENGTH};
  clearExchangeEvents(context);
  Qor_Internal_ResetEvent(&event);
  if (uint32_t result = Qor_Client_SendCommand(entry, reinterpret_cast<const uint8_t*>(&request), sizeof request)) {
    return result;
  }
  return waitForEvent(entry, event, milliseconds);
}

extern "C" {

uint32_t Qor_CommandWithResponseEx(uint32_t port, uint8_t mode, uint8_t command, uint8_t controlDataLength,
                                   const void* params, uint32_t length, void* response, uint32_t* size) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  if (uint32_t result = checkFirmwareHost(ref)) return result;
  Qor_PortInfo_t& entry = ref.entry();
  if (controlDataLength > kMaxControlBytes) {
    return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_INVALID_PARAMETER, "'controlDataLength' > '%d'",
                                   kMaxControlBytes);
  }
  if (mode == 1 && !portFlag(entry, PortFlag::AsyncEnabled)) return storeError(&entry, QOR_ERR_API_ASYNC_NOT_ENABLED, "");
  if (mode > 1) return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_INVALID_PARAMETER, "unknown mode");
  if (params == nullptr && length != 0) {
    return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  // The control bytes that the answer must repeat are the first bytes of the parameters.
  if (controlDataLength > length) {
    return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_INVALID_PARAMETER, "'controlDataLength' > parameter length");
  }
  if (mode == 1) {
    qor::SectionLock commandLock(ref.context().commands.lock);
    return Qor_Client_SendFwCommand(entry, QOR_REQUEST_NO_ACKNOWLEDGE, command, params, length);
  }
  if (uint32_t result = checkBuffers(ref, params, length, response, size)) return result;
  return exchange(ref, command, controlDataLength, params, length, response, size);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_CommandWithResponse(uint32_t port, uint8_t command, const void* params, uint32_t length, void* response,
                                 uint32_t* size) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  if (uint32_t result = checkFirmwareHost(ref)) return result;
  if (uint32_t result = checkBuffers(ref, params, length, response, size)) return result;
  return exchange(ref, command, 0, params, length, response, size);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Command(uint32_t port, uint8_t command, const void* params, uint32_t length) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  Qor_PortInfo_t& entry = ref.entry();
  if (params == nullptr && length != 0) {
    return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  qor::SectionLock commandLock(ref.context().commands.lock);
  if (uint32_t result = checkFirmwareHost(ref)) return result;
  if (!commandsWithoutResponseAreSynchronous(entry)) {
    return Qor_Client_SendFwCommand(entry, QOR_REQUEST_NO_ACKNOWLEDGE, command, params, length);
  }
  const ArmedResponse armed(entry, command, QOR_FRAME_ACKNOWLEDGE, nullptr, 0, nullptr, nullptr);
  if (uint32_t result = Qor_Client_SendFwCommand(entry, QOR_REQUEST_ACKNOWLEDGE, command, params, length)) {
    return result;
  }
  return waitForEvent(entry, ref.context().events.acknowledge, ref.context().responseTimeoutMs.load());
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_GetErrorDescription2(uint32_t port, uint32_t code, uint32_t* size, char* text) try {
  if (size == nullptr || (text == nullptr && *size != 0)) {
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  std::vector<char> answer;
  const char* description = nullptr;
  size_t descriptionLength = 0;
  if (code == 0 || code > QOR_FIRMWARE_CODE_MAX || port == QOR_NO_PORT) {
    description = describeCode(code);
    descriptionLength = strlen(description) + 1;
  } else {
    answer.resize(kErrorTextCapacity + 1, '\0');
    uint32_t answerSize = kErrorTextCapacity;
    const qor::firmware::ErrorTextQuery query{code};
    const uint32_t result = Qor_CommandWithResponse(port, qor::firmware::kErrorTextCommand, &query, sizeof query,
                                                    answer.data(), &answerSize);
    if (result != 0) {
      *size = 0;
      return result;
    }
    // The text follows the head and ends at its NUL or with the answer.
    constexpr size_t kTextOffset = sizeof(qor::firmware::ErrorTextHead);
    description = answerSize > kTextOffset ? answer.data() + kTextOffset : "";
    descriptionLength = answerSize > kTextOffset ? strnlen(description, answerSize - kTextOffset) : 0;
    answer[std::min<size_t>(answerSize, kErrorTextCapacity)] = '\0';
    ++descriptionLength; // with its NUL
  }
  const size_t copied = std::min<size_t>(descriptionLength, *size);
  if (copied != 0) memcpy(text, description, copied);
  *size = static_cast<uint32_t>(copied);
  return 0;
} catch (...) {
  return failedCall(port);
}

} // extern "C"
