// The disturbance's properties (command 0x21).
#include "property_lists.hpp"
#include "qor_can_stm.h"
#include "stm_library.hpp"

using qor::can_stm::kStm;
using qor::kit::Call;

uint32_t Qor_CanStm_Disturbance_Properties_SetById(uint32_t port, const Qor_CanStm_PropertyList_t* list) try {
  return qor::can_stm::setProperties(Call(kStm, port), qor::can_stm::kDisturbanceProperties, list);
} catch (...) {
  return kStm.failedCall(port);
}

uint32_t Qor_CanStm_Disturbance_Properties_GetById(uint32_t port, const Qor_CanStm_PropertyIdList_t* list,
                                                   Qor_CanStm_PropertyValues_t* result) try {
  return qor::can_stm::getProperties(Call(kStm, port), qor::can_stm::kDisturbanceProperties, list, result);
} catch (...) {
  return kStm.failedCall(port);
}
