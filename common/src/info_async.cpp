#include <span>

#include "common_library.hpp"
#include "controller_answers.hpp"
#include "controller_requests.hpp"
#include "qor_api.h"
#include "qor_common_controller.h"
#include "qor_kit/async_family.hpp"
#include "qor_kit/call.hpp"

namespace qor::common {
namespace {

using kit::AsyncFamily;

const AsyncFamily kFirmwareVersionFamily(kFirmwareVersionCommand, {}, 0);
const AsyncFamily kControllerInfoFamily(kControllerQueryCommand, {}, sizeof(Qor_Common_ControllerInfo_t));
const AsyncFamily kInterfaceInfoFamily(kInterfaceInfoCommand, {}, sizeof(Qor_Common_InterfaceInfo_t));
const AsyncFamily kTransceiverInfoFamily(kControllerQueryCommand, {kTransceiverInfoQuery},
                                         sizeof(Qor_Common_TransceiverInfo_t));

// What a decoding relay needs of its family: the record, the application's callback and the decoder.
struct ControllerInfoAnswer {
  using Record = Qor_Common_ControllerInfo_t;
  using Callback = Qor_Common_GetControllerInfo_Callback_t;
  static constexpr const char* kRelay = "Qor_Common_GetControllerInfo_Async_Callback";
  static bool decode(uint32_t port, std::span<const uint8_t> answer, Record& record) {
    return decodeControllerInfo(answer, Qor_GetHostInterfaceType(port), record);
  }
};

struct InterfaceInfoAnswer {
  using Record = Qor_Common_InterfaceInfo_t;
  using Callback = Qor_Common_GetInterfaceInfo_Callback_t;
  static constexpr const char* kRelay = "Qor_Common_GetInterfaceInfo_Async_Callback";
  static bool decode(uint32_t, std::span<const uint8_t> answer, Record& record) {
    return decodeInterfaceInfo(answer, record);
  }
};

struct TransceiverInfoAnswer {
  using Record = Qor_Common_TransceiverInfo_t;
  using Callback = Qor_Common_GetTransceiverInfo_Callback_t;
  static constexpr const char* kRelay = "Qor_Common_GetTransceiverInfo_Async_Callback";
  static bool decode(uint32_t, std::span<const uint8_t> answer, Record& record) {
    return decodeTransceiverInfo(answer, record);
  }
};

// On the port's callback thread: decodes into the entry's record and hands it to the application.
template <class Answer>
void decodingRelay(uint32_t port, void* context, const uint8_t* data, uint32_t length) {
  auto* record = AsyncFamily::decodedRecord<typename Answer::Record>(context);
  if (!Answer::decode(port, std::span(data, length), *record)) {
    kit::reportRelayFailure(port, kCommon.code(kit::GeneralError::InvalidResponseLength), Answer::kRelay);
    return;
  }
  AsyncFamily::applicationCallback<typename Answer::Callback>(context)(port, record);
}

void firmwareVersionRelay(uint32_t port, void* context, const uint8_t* data, uint32_t length) {
  AsyncFamily::applicationCallback<Qor_Common_GetFirmwareVersion_Callback_t>(context)(port, data, length);
}

uint32_t addCallback(const AsyncFamily& family, uint32_t port, Qor_AsyncCommunication_Callback_t relay,
                     auto callback) {
  // The same refusal as Call::checkPointer's, for a function pointer.
  if (callback == nullptr) {
    return kit::Call(kCommon, port).fail(kit::GeneralError::InvalidParameter, "'callback' is NULL");
  }
  return family.add(port, relay, callback);
}

}  // namespace
}  // namespace qor::common

using qor::common::kCommon;
using qor::common::kControllerInfoFamily;
using qor::common::kFirmwareVersionFamily;
using qor::common::kInterfaceInfoFamily;
using qor::common::kTransceiverInfoFamily;
using qor::kit::Call;
using qor::kit::RecordWriter;

uint32_t Qor_Common_GetFirmwareVersion_Async(uint32_t port) try {
  return kFirmwareVersionFamily.request(Call(kCommon, port), RecordWriter(0));
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_GetFirmwareVersion_Async_AddCallback(uint32_t port,
                                                         Qor_Common_GetFirmwareVersion_Callback_t callback) try {
  return qor::common::addCallback(kFirmwareVersionFamily, port, qor::common::firmwareVersionRelay, callback);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_GetFirmwareVersion_Async_RemoveCallback(uint32_t port) try {
  return kFirmwareVersionFamily.remove(port);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_GetControllerInfo_Async(uint32_t port) try {
  return kControllerInfoFamily.request(Call(kCommon, port),
                                       qor::common::controllerQuery(qor::common::kControllerInfoQuery));
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_GetControllerInfo_Async_AddCallback(uint32_t port,
                                                        Qor_Common_GetControllerInfo_Callback_t callback) try {
  return qor::common::addCallback(kControllerInfoFamily, port,
                                  qor::common::decodingRelay<qor::common::ControllerInfoAnswer>, callback);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_GetControllerInfo_Async_RemoveCallback(uint32_t port) try {
  return kControllerInfoFamily.remove(port);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_GetInterfaceInfo_Async(uint32_t port) try {
  return kInterfaceInfoFamily.request(Call(kCommon, port), RecordWriter(0));
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_GetInterfaceInfo_Async_AddCallback(uint32_t port,
                                                       Qor_Common_GetInterfaceInfo_Callback_t callback) try {
  return qor::common::addCallback(kInterfaceInfoFamily, port,
                                  qor::common::decodingRelay<qor::common::InterfaceInfoAnswer>, callback);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_GetInterfaceInfo_Async_RemoveCallback(uint32_t port) try {
  return kInterfaceInfoFamily.remove(port);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_GetTransceiverInfo_Async(uint32_t port) try {
  return kTransceiverInfoFamily.request(Call(kCommon, port),
                                        qor::common::controllerQuery(qor::common::kTransceiverInfoQuery));
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_GetTransceiverInfo_Async_AddCallback(uint32_t port,
                                                         Qor_Common_GetTransceiverInfo_Callback_t callback) try {
  return qor::common::addCallback(kTransceiverInfoFamily, port,
                                  qor::common::decodingRelay<qor::common::TransceiverInfoAnswer>, callback);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_GetTransceiverInfo_Async_RemoveCallback(uint32_t port) try {
  return kTransceiverInfoFamily.remove(port);
} catch (...) {
  return kCommon.failedCall(port);
}
