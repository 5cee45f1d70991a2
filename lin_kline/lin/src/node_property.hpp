// The node's properties by id (command 0x1A: set sub-function 4, read 5, a u16 id and a reserved u16).
#pragma once

#include "qor_kit/property_by_id.hpp"

namespace qor::lin {

inline constexpr kit::PropertyById kNodeProperty{0x1A, 4, 5, kit::PropertyById::IdField::HalfWordAndReserved, 12, 8};

inline constexpr uint16_t kPullUpResistorProperty = 49;

}  // namespace qor::lin
