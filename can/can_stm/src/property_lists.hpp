// Property lists of the disturbance (command 0x21) and the trigger (0x22): set sub-function 0, get sub-function 1,
// each entry checked against the command's highest property id before anything is sent.
#pragma once

#include <cstdint>

#include "qor_can_stm.h"
#include "qor_kit/call.hpp"

namespace qor::can_stm {

struct PropertyListCommand {
  uint8_t command;
  uint32_t highestProperty;
};

inline constexpr PropertyListCommand kDisturbanceProperties{0x21, QOR_CANSTM_MAX_DISTURBANCE_PROPERTY};
inline constexpr PropertyListCommand kTriggerProperties{0x22, QOR_CANSTM_MAX_TRIGGER_PROPERTY};

uint32_t setProperties(const kit::Call& call, PropertyListCommand command, const Qor_CanStm_PropertyList_t* list);
uint32_t getProperties(const kit::Call& call, PropertyListCommand command, const Qor_CanStm_PropertyIdList_t* list,
                       Qor_CanStm_PropertyValues_t* result);

}  // namespace qor::can_stm
