#include "can_library.hpp"

#include "qor_can_message.h"

namespace qor::can {

uint32_t checkCanInterface(const kit::Call& call) {
  return call.checkInterface(kCanInterfaceType, "CAN Interface expected");
}

// The message says 16 although 15 is the highest DLC; callers compare messages, so it stays.
uint32_t checkDlc(const kit::Call& call, uint32_t dlc) {
  return dlc > QOR_CAN_MAX_DLC ? call.fail(kCan.code(kInvalidDlc), "only values from 0 to 16 are valid") : 0;
}

uint8_t dataBytesOfDlc(uint32_t dlc) { return Qor_Can_Internal_DlcToNumberOfDataBytes_LUT[dlc & QOR_CAN_MAX_DLC]; }

uint32_t firmwareMessageFlags(const kit::Call& call, uint8_t flags, uint8_t* firmwareFlags) {
  const std::optional<uint8_t> translated = translatedMessageFlags(flags);
  if (!translated) return call.fail(kit::GeneralError::UnknownFlag, "CAN message flag is unknown");
  *firmwareFlags = *translated;
  return 0;
}

std::optional<uint8_t> translatedMessageFlags(uint8_t flags) {
  if ((flags & ~QOR_CAN_MSG_FLAGS_DEFINED) != 0) return std::nullopt;
  return flags;  // the firmware's bits 0 and 1 mean what the API's do
}

}  // namespace qor::can
