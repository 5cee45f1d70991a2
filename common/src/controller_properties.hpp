// Controller properties: numbered values that a controller keeps, set and read with the controller-control command
// 0x0C. Its one control byte is the low byte of the sub-function that begins the record, so that the answer is told
// apart from the other uses of 0x0C:
//   set  (sub-function 9):  {u32 9, u16 id, u16 length L, L value bytes}; the answer is not inspected
//   read (sub-function 10): {u32 10, u16 id, u16 0}; answer {u32 10, u16 id, u16 length n, n value bytes}
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "qor_common_properties.h"
#include "qor_kit/call.hpp"

namespace qor::common {

inline constexpr uint8_t kControllerControlCommand = 0x0C;

namespace property {
inline constexpr uint16_t kStartFirmware = QOR_COMMON_PROPERTY_START_FIRMWARE;
inline constexpr uint16_t kTemperatures = QOR_COMMON_PROPERTY_TEMPERATURES;
inline constexpr uint16_t kIpAddress = QOR_COMMON_PROPERTY_IP_ADDRESS;
inline constexpr uint16_t kDhcpMode = QOR_COMMON_PROPERTY_DHCP_MODE;
inline constexpr uint16_t kSubnetMask = 4;
inline constexpr uint16_t kTcpPort = 5;
inline constexpr uint16_t kDefaultGateway = 8;
inline constexpr uint16_t kFtpServerAutoStart = 17;
inline constexpr uint16_t kTemperature1 = QOR_COMMON_PROPERTY_TEMPERATURE_1;
inline constexpr uint16_t kTemperature2 = QOR_COMMON_PROPERTY_TEMPERATURE_2;
inline constexpr uint16_t kTemperature3 = QOR_COMMON_PROPERTY_TEMPERATURE_3;
}  // namespace property

// Where the value begins, in the set record and in the read answer.
inline constexpr size_t kPropertyValueOffset = 8;
// The longest value a set record carries: the head and the value fill the answer capacity that commands offer.
inline constexpr size_t kMaxPropertyValueLength = kit::kResponseCapacity - kPropertyValueOffset;
static_assert(kMaxPropertyValueLength == QOR_COMMON_PROPERTY_MAX_LENGTH);

// The records as they are sent; a set record with a longer value than kMaxPropertyValueLength is refused.
kit::RecordWriter setPropertyRecord(uint16_t id, std::span<const uint8_t> value);
kit::RecordWriter readPropertyRecord(uint16_t id);
// The length of a read answer up to its value's end; empty when the answer is shorter than its head or than the
// value length it claims.
std::optional<size_t> propertyAnswerLength(std::span<const uint8_t> answer);

// Writes the value to property id.
uint32_t setProperty(const kit::Call& call, uint16_t id, std::span<const uint8_t> value);
// Reads property id. answer: the read answer cut at its value's end, the value from kPropertyValueOffset on.
// An answer shorter than its head or its value gives "invalid response length".
uint32_t readProperty(const kit::Call& call, uint16_t id, std::vector<uint8_t>& answer);

}  // namespace qor::common
