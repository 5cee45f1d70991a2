// Host-side FPGA access: exchanges of message 0x40 with the daemon, and the handler of their replies.
//
// The daemon answers an application's requests one after the other, each with its reply or an error report. A
// request given up on (time-out) leaves its answer due; that answer is awaited before the next request goes out, so
// it can never be taken for the next request's reply.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <span>

#include "commands/command_exchange.hpp"
#include "commands/receive_role.hpp"
#include "startup/error_store.hpp"
#include "ports/port_events.hpp"
#include "ports/port_table.hpp"
#include "qor_api.h"
#include "qor_shared/byte_reader.hpp"
#include "qor_shared/protocol.hpp"
#include "qor_shared/scoped_lock.hpp"
#include "startup/exported_call.hpp"

using namespace qor::client;

namespace {

using Bytes = std::span<const uint8_t>;

// Loading a design takes minutes.
constexpr uint32_t kReconfigurationTimeoutMs = 1800000;

// An open port whose interface host is the FPGA; else empty, with the recorded code in result.
PortRef fpgaPort(uint32_t port, uint32_t& result) {
  PortRef ref = checkedPort(port);
  if (!ref) {
    result = QOR_ERR_API_INVALID_PORT_HANDLE;
    return ref;
  }
  if (ref.context().interfaceHost != QOR_INTERFACE_HOST_FPGA) {
    result = Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_DEVICE_TYPE, "FPGA interface host expected");
    return PortRef();
  }
  result = 0;
  return ref;
}

uint32_t invalidPointer(PortRef& ref) {
  return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
}

uint32_t timeoutOf(PortRef& ref) { return ref.context().responseTimeoutMs.load(); }

uint32_t remainingMs(double deadline) {
  const double left = deadline - GetTickCount();
  return left > 0 ? static_cast<uint32_t>(left) : 0;
}

// Waits, within timeoutMs, until every earlier request of the port has had its answer.
uint32_t awaitEarlierAnswers(Qor_PortInfo_t& entry, uint32_t subFunction, uint32_t timeoutMs) {
  Qor_PortContext& context = *portContext(entry);
  const double deadline = GetTickCount() + timeoutMs;
  for (;;) {
    {
      qor::SectionLock general(context.general);
      if (context.fpga.unanswered == 0) return 0;
    }
    const uint32_t result = waitForEvent(entry, context.events.fpgaReply, remainingMs(deadline));
    {
      qor::SectionLock general(context.general);
      // An error report answers the earliest of them (a late reply was counted by the handler); without any
      // answer in time they are taken as lost, so that the port's FPGA access does not stay blocked.
      if (result == QOR_ERR_API_NO_RESPONSE) {
        context.fpga.unanswered = 0;
      } else if (result != 0 && context.fpga.unanswered != 0) {
        --context.fpga.unanswered;
      }
    }
    if (result == QOR_ERR_API_NO_RESPONSE) {
      return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_NO_RESPONSE,
                                     "FPGA request %u not sent: an earlier one is still unanswered", subFunction);
    }
  }
}

// Waits for the awaited reply or error report; a time-out leaves the request's answer due.
uint32_t awaitReply(Qor_PortInfo_t& entry, uint32_t timeoutMs) {
  Qor_PortContext& context = *portContext(entry);
  const double deadline = GetTickCount() + timeoutMs;
  for (;;) {
    uint32_t result = waitForEvent(entry, context.events.fpgaReply, remainingMs(deadline));
    qor::SectionLock general(context.general);
    FpgaExchange& fpga = context.fpga;
    if (fpga.replied) return 0;
    if (result == 0) continue; // the event without our reply
    fpga.awaiting = false;
    if (result != QOR_ERR_API_NO_RESPONSE) fpga.unanswered = 0; // the error report was the answer
    return result;
  }
}

// Sends the request {0x40, sub-function, head, tail} and waits for its reply (command lock held). On success the
// reply lies in fpga.reply until the lock is left.
uint32_t sendAndAwait(PortRef& ref, uint32_t subFunction, Bytes head, Bytes tail, uint32_t timeoutMs) {
  Qor_PortInfo_t& entry = ref.entry();
  Qor_PortContext& context = ref.context();
  FpgaExchange& fpga = context.fpga;
  const uint64_t length = uint64_t{sizeof(FpgaRequest)} + head.size() + tail.size();
  if (length > context.queueMessageSize) {
    return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_INVALID_COMMAND_LENGTH,
                                   "%llu > %u (max. length of an FPGA request)",
                                   static_cast<unsigned long long>(length), context.queueMessageSize);
  }
  {
    qor::SectionLock general(context.general);
    try {
      fpga.request.resize(context.queueMessageSize);
      fpga.reply.resize(context.queueMessageSize);
    } catch (const std::bad_alloc&) {
      fpga.request.clear();
    }
  }
  if (fpga.request.empty()) return storeError(&entry, QOR_ERR_API_NOT_ENOUGH_MEMORY, "");
  if (uint32_t result = awaitEarlierAnswers(entry, subFunction, timeoutMs)) return result;

  const FpgaRequest request{{QOR_MSG_FPGA_ACCESS, context.portIndex, context.applicationIndex, 0,
                             static_cast<uint32_t>(length)},
                            subFunction};
  uint8_t* out = fpga.request.data();
  memcpy(out, &request, sizeof request);
  if (!head.empty()) memcpy(out + sizeof request, head.data(), head.size());
  if (!tail.empty()) memcpy(out + sizeof request + head.size(), tail.data(), tail.size());

  clearExchangeEvents(context);
  Qor_Internal_ResetEvent(&context.events.fpgaReply);
  {
    qor::SectionLock general(context.general);
    fpga.subFunction = subFunction;
    fpga.registerNumber = subFunction == QOR_FPGA_READ_REGISTER ? head[0] : 0;
    fpga.awaiting = true;
    fpga.replied = false;
    fpga.unanswered = 1;
  }
  if (uint32_t result = Qor_Client_SendCommand(entry, out, static_cast<uint32_t>(length))) {
    qor::SectionLock general(context.general);
    fpga.awaiting = false;
    fpga.unanswered = 0;
    return result;
  }
  return awaitReply(entry, timeoutMs);
}

// One exchange under the command lock; useReply reads the reply (from its header on) before the lock is left.
template <class UseReply>
uint32_t exchange(PortRef& ref, uint32_t subFunction, Bytes head, Bytes tail, uint32_t timeoutMs, UseReply useReply) {
  qor::SectionLock commandLock(ref.context().commands.lock);
  if (uint32_t result = sendAndAwait(ref, subFunction, head, tail, timeoutMs)) return result;
  const FpgaExchange& fpga = ref.context().fpga;
  return useReply(Bytes(fpga.reply.data(), fpga.replyLength));
}

uint32_t noReplyData(Bytes) { return 0; }

uint32_t replyTooShort(PortRef& ref, size_t length, size_t needed) {
  return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_COMMAND_LENGTH,
                                 "FPGA reply of %zu bytes < %zu bytes", length, needed);
}

// A reply's fixed record, when the reply carries all of it.
template <class Record>
uint32_t readReply(PortRef& ref, Bytes reply, Record& record) {
  if (reply.size() < sizeof record) return replyTooShort(ref, reply.size(), sizeof record);
  memcpy(&record, reply.data(), sizeof record);
  return 0;
}

Bytes bytesOf(const void* data, size_t length) { return Bytes(static_cast<const uint8_t*>(data), length); }

uint32_t switchRelays(uint32_t port, uint32_t subFunction, uint32_t value, uint16_t length, const uint8_t* relays) {
  uint32_t result = 0;
  PortRef ref = fpgaPort(port, result);
  if (!ref) return result;
  if (relays == nullptr && length != 0) return invalidPointer(ref);
  uint8_t head[sizeof value + sizeof length];
  memcpy(head, &value, sizeof value);
  memcpy(head + sizeof value, &length, sizeof length);
  return exchange(ref, subFunction, head, bytesOf(relays, length), timeoutOf(ref), noReplyData);
}

} // namespace

void Qor_Client_ReceivedResponse_Fpga(Qor_PortInfo_t& entry, const uint8_t* message, size_t length) {
  const auto response = qor::protocol::parseResponse({message, length});
  if (!response) return;
  Qor_PortContext& context = *portContext(entry);
  FpgaExchange& fpga = context.fpga;
  const uint32_t error = response->header.error;
  {
    qor::SectionLock general(context.general);
    if (fpga.unanswered == 0) return; // nothing was asked
    if (!fpga.awaiting) {
      // The answer of a request given up on: it only wakes the next request, which waits for it.
      --fpga.unanswered;
      Qor_Internal_SetEvent(&context.events.fpgaReply);
      return;
    }
    // A reply names its sub-function, a register read its register too; another one belongs to no request of ours.
    const Bytes data = response->data;
    const uint32_t subFunction = qor::readU32LE(data, 0).value_or(fpga.subFunction);
    uint32_t registerNumber = fpga.registerNumber;
    if (fpga.subFunction == QOR_FPGA_READ_REGISTER) {
      registerNumber = qor::readU32LE(data, sizeof subFunction).value_or(registerNumber);
    }
    if (error == 0 && (subFunction != fpga.subFunction || registerNumber != fpga.registerNumber)) return;
    fpga.awaiting = false;
    fpga.unanswered = 0;
    if (error == 0) {
      fpga.replyLength = static_cast<uint32_t>(std::min(sizeof(ServerResponseHeader) + data.size(), fpga.reply.size()));
      memcpy(fpga.reply.data(), message, fpga.replyLength);
      fpga.replied = true;
      Qor_Internal_SetEvent(&context.events.fpgaReply);
      return;
    }
  }
  storeError(&entry, error, "");
  signalError(context, error);
}

extern "C" {

uint32_t Qor_Fpga_ReadRegister(uint32_t port, uint8_t registerNumber, uint32_t* value) try {
  uint32_t result = 0;
  PortRef ref = fpgaPort(port, result);
  if (!ref) return result;
  if (value == nullptr) return invalidPointer(ref);
  const uint8_t head[] = {registerNumber, 0, 0, 0};
  return exchange(ref, QOR_FPGA_READ_REGISTER, head, {}, timeoutOf(ref), [&](Bytes reply) {
    FpgaRegisterReply record;
    if (uint32_t failed = readReply(ref, reply, record)) return failed;
    *value = record.value;
    return 0u;
  });
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Fpga_WriteRegister(uint32_t port, uint8_t registerNumber, uint32_t value) try {
  uint32_t result = 0;
  PortRef ref = fpgaPort(port, result);
  if (!ref) return result;
  uint8_t head[8] = {registerNumber, 0, 0, 0};
  memcpy(head + 4, &value, sizeof value);
  return exchange(ref, QOR_FPGA_WRITE_REGISTER, head, {}, timeoutOf(ref), noReplyData);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Fpga_ReadFifo(uint32_t port, void* buffer, uint32_t* size) try {
  uint32_t result = 0;
  PortRef ref = fpgaPort(port, result);
  if (!ref) return result;
  if (size == nullptr || (buffer == nullptr && *size != 0)) return invalidPointer(ref);
  return exchange(ref, QOR_FPGA_READ_FIFO, {}, {}, timeoutOf(ref), [&](Bytes reply) {
    if (reply.size() < sizeof(FpgaReply)) return replyTooShort(ref, reply.size(), sizeof(FpgaReply));
    const Bytes data = reply.subspan(sizeof(FpgaReply));
    if (data.size() > *size) {
      return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_RESPONSE_BUFFER_TOO_SMALL,
                                     "response buffer (%u bytes) < response (%u bytes)", *size,
                                     static_cast<unsigned>(data.size()));
    }
    if (!data.empty()) memcpy(buffer, data.data(), data.size());
    *size = static_cast<uint32_t>(data.size());
    return 0u;
  });
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Fpga_WriteFifo(uint32_t port, const void* data, uint32_t length) try {
  uint32_t result = 0;
  PortRef ref = fpgaPort(port, result);
  if (!ref) return result;
  if (data == nullptr && length != 0) return invalidPointer(ref);
  return exchange(ref, QOR_FPGA_WRITE_FIFO, {}, bytesOf(data, length), timeoutOf(ref), noReplyData);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Fpga_ReadVhdlDesignVersion(uint32_t port, uint32_t* version) try {
  uint32_t result = 0;
  PortRef ref = fpgaPort(port, result);
  if (!ref) return result;
  if (version == nullptr) return invalidPointer(ref);
  return exchange(ref, QOR_FPGA_READ_DESIGN_VERSION, {}, {}, timeoutOf(ref), [&](Bytes reply) {
    FpgaDesignVersionReply record;
    if (uint32_t failed = readReply(ref, reply, record)) return failed;
    *version = record.version;
    return 0u;
  });
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Fpga_Reconfiguration(uint32_t port, const char* path) try {
  uint32_t result = 0;
  PortRef ref = fpgaPort(port, result);
  if (!ref) return result;
  if (path == nullptr) return invalidPointer(ref);
  // With its NUL; a text without one within a message is refused by the length check.
  const size_t length = strnlen(path, ref.context().queueMessageSize) + 1;
  return exchange(ref, QOR_FPGA_RECONFIGURATION, {}, bytesOf(path, length), kReconfigurationTimeoutMs, noReplyData);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Fpga_Relays_Set(uint32_t port, uint32_t value, uint16_t length, const uint8_t* relays) try {
  return switchRelays(port, QOR_FPGA_RELAYS_SET, value, length, relays);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Fpga_Relays_Reset(uint32_t port, uint32_t value, uint16_t length, const uint8_t* relays) try {
  return switchRelays(port, QOR_FPGA_RELAYS_RESET, value, length, relays);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Fpga_Relays_SetDirect(uint32_t port, uint16_t length, const uint8_t* relays) try {
  uint32_t result = 0;
  PortRef ref = fpgaPort(port, result);
  if (!ref) return result;
  if (relays == nullptr && length != 0) return invalidPointer(ref);
  return exchange(ref, QOR_FPGA_RELAYS_SET_DIRECT, bytesOf(&length, sizeof length), bytesOf(relays, length),
                  timeoutOf(ref), noReplyData);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Fpga_Relays_GetState(uint32_t port, uint16_t length, const uint8_t* request, uint8_t* state) try {
  uint32_t result = 0;
  PortRef ref = fpgaPort(port, result);
  if (!ref) return result;
  if ((request == nullptr || state == nullptr) && length != 0) return invalidPointer(ref);
  return exchange(ref, QOR_FPGA_RELAYS_GET_STATE, bytesOf(&length, sizeof length), bytesOf(request, length),
                  timeoutOf(ref), [&](Bytes reply) {
                    if (reply.size() < QOR_FPGA_RELAY_STATE_OFFSET) {
                      return replyTooShort(ref, reply.size(), QOR_FPGA_RELAY_STATE_OFFSET);
                    }
                    const uint16_t count = *qor::readU16LE(reply, offsetof(FpgaRelayStateReply, count));
                    // The state is what both the reply's count and its bytes cover.
                    const size_t available = std::min<size_t>(count, reply.size() - QOR_FPGA_RELAY_STATE_OFFSET);
                    if (available < length) return replyTooShort(ref, QOR_FPGA_RELAY_STATE_OFFSET + available,
                                                                 QOR_FPGA_RELAY_STATE_OFFSET + size_t{length});
                    if (length != 0) memcpy(state, reply.data() + QOR_FPGA_RELAY_STATE_OFFSET, length);
                    return 0u;
                  });
} catch (...) {
  return failedCall(port);
}

} // extern "C"
