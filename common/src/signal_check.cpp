#include "qor_common_signal.h"

#include "common_library.hpp"
#include "qor_kit/call.hpp"
#include "signal_check.hpp"

namespace qor::common {
namespace {

constexpr uint32_t kMinimumSize = 1;
constexpr uint32_t kMaximumSize = 64;
constexpr uint32_t kLastBit = 511;  // 64 bytes

}  // namespace

uint32_t checkSignalLayout(const kit::Call& call, const Qor_Common_Signal_t& signal) {
  using kit::GeneralError;
  if (signal.size < kMinimumSize) return call.fail(GeneralError::InvalidParameter, "signal size < %u", kMinimumSize);
  if (signal.size > kMaximumSize) return call.fail(GeneralError::InvalidParameter, "signal size > %u", kMaximumSize);
  if (signal.startBit > kLastBit) return call.fail(GeneralError::InvalidParameter, "signal offset > %u", kLastBit);
  switch (signal.byteOrder) {
    case QOR_COMMON_SIGNAL_INTEL:
      if (uint32_t{signal.startBit} + signal.size - 1 > kLastBit) {
        return call.fail(GeneralError::InvalidParameter, "signal size value too high");
      }
      return 0;
    case QOR_COMMON_SIGNAL_MOTOROLA: {
      const int startByte = signal.startBit / 8;
      const int furtherBytes = (signal.startBit % 8 + signal.size - 1) / 8;
      if (startByte - furtherBytes < 0) return call.fail(GeneralError::InvalidParameter, "signal size value too high");
      return 0;
    }
    default:
      return call.fail(GeneralError::InvalidParameter, "invalid byte order");
  }
}

namespace {

uint32_t checkSignal(const kit::Call& call, const Qor_Common_Signal_t* signal) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(signal, "signal")) return code;
  return checkSignalLayout(call, *signal);
}

}  // namespace
}  // namespace qor::common

using qor::common::kCommon;

uint32_t Qor_Common_Signal_Check(uint32_t port, const Qor_Common_Signal_t* signal) try {
  return qor::common::checkSignal(qor::kit::Call(kCommon, port), signal);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Signal_CheckAndTranslate(uint32_t port, const Qor_Common_Signal_t* signal, uint8_t* byteIndex,
                                             uint8_t* bitIndex, uint8_t* size, uint8_t* motorola) try {
  const qor::kit::Call call(kCommon, port);
  if (uint32_t code = qor::common::checkSignal(call, signal)) return code;
  for (const void* output : {static_cast<void*>(byteIndex), static_cast<void*>(bitIndex), static_cast<void*>(size),
                             static_cast<void*>(motorola)}) {
    if (uint32_t code = call.checkPointer(output, "output")) return code;
  }
  *byteIndex = static_cast<uint8_t>(signal->startBit / 8);
  *bitIndex = static_cast<uint8_t>(signal->startBit % 8);
  *size = signal->size;
  *motorola = signal->byteOrder == QOR_COMMON_SIGNAL_MOTOROLA ? 1 : 0;
  return 0;
} catch (...) {
  return kCommon.failedCall(port);
}
