// Transport-protocol channels set up for ISO 10681-2 and for the AUTOSAR FlexRay transport protocol: the kit's set-up
// head, the protocol's fields, 80 bytes.
#include <cstddef>

#include "flexray_library.hpp"
#include "qor_flexray_tp.h"
#include "qor_kit/transport_setup.hpp"

namespace qor::flexray {
namespace {

constexpr size_t kRecordBytes = 80;
constexpr uint8_t kControlBytes = 2;  // set-up and channel
constexpr uint16_t kIso10681 = 1, kAutosar = 2;
constexpr const char* kReservedText = "reserved bytes have to be '0'";

// The first optional value's flag bit; the others follow in order.
constexpr unsigned kFirstOptionalFlag = 5;

uint32_t initIso10681(const kit::Call& call, uint8_t channel, const Qor_FlexRay_TpConfigIso10681_t* config) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = call.checkPointer(config, "config")) return code;
  if (uint32_t code = call.checkReserved(config->reserved, kReservedText)) return code;
  if (uint32_t code = call.checkFlags(config->flags, QOR_FLEXRAY_TP_ISO10681_FLAGS)) return code;
  kit::RecordWriter record =
      kit::transportSetupRecord(kRecordBytes, channel, kIso10681, static_cast<uint16_t>(config->flags));
  record.u16(config->value1).u16(config->value2).u16(config->value3).u16(config->value4).bytes(config->block1, 16);
  record.u32(config->value5).u32(config->value6).u16(config->value7);
  record.u8(config->value8).u8(config->value9).u8(config->value10).u8(config->value11).u8(config->value12).u8(0);
  record.bytes(config->block2, 16);
  const uint16_t optional[] = {config->value13, config->value14, config->value15, config->value16};
  for (unsigned i = 0; i < 4; ++i) record.u16((config->flags >> (kFirstOptionalFlag + i) & 1) != 0 ? optional[i] : 0);
  return kit::sendTransportSetup(call, kControlBytes, record);
}

uint32_t initAutosar(const kit::Call& call, uint8_t channel, const Qor_FlexRay_TpConfigAutosar_t* config) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = call.checkPointer(config, "config")) return code;
  if (uint32_t code = call.checkReserved(config->reserved, kReservedText)) return code;
  if (uint32_t code = call.checkFlags(config->flags, QOR_FLEXRAY_TP_AUTOSAR_FLAGS)) return code;
  if (config->ackType > QOR_FLEXRAY_TP_MAX_ACK_TYPE) {
    return call.fail(kFlexRay.code(kUnknownType), "ack type is unknown");
  }
  if (config->addressingType > QOR_FLEXRAY_TP_MAX_ADDRESSING_TYPE) {
    return call.fail(kFlexRay.code(kUnknownType), "addressing type is unknown");
  }
  if (config->lengthMode > QOR_FLEXRAY_TP_MAX_LENGTH_MODE) {
    return call.fail(kit::GeneralError::UnknownMode, "length mode is unknown");
  }
  kit::RecordWriter record =
      kit::transportSetupRecord(kRecordBytes, channel, kAutosar, static_cast<uint16_t>(config->flags));
  record.u8(config->ackType).u8(config->addressingType).u8(config->lengthMode).u8(0);
  record.u16(config->value1).u16(config->value2).u16(config->value3).u16(config->value4).bytes(config->block1, 16);
  record.u32(config->value5).u32(config->value6).u32(config->value7);
  record.bytes(config->values8to15, 8).bytes(config->block2, 16);
  return kit::sendTransportSetup(call, kControlBytes, record);
}

}  // namespace
}  // namespace qor::flexray

using qor::flexray::kFlexRay;
using qor::kit::Call;

uint32_t Qor_FlexRay_Tp_Init_Iso10681(uint32_t port, uint8_t channel,
                                      const Qor_FlexRay_TpConfigIso10681_t* config) try {
  return qor::flexray::initIso10681(Call(kFlexRay, port), channel, config);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Tp_Init_Autosar(uint32_t port, uint8_t channel, const Qor_FlexRay_TpConfigAutosar_t* config) try {
  return qor::flexray::initAutosar(Call(kFlexRay, port), channel, config);
} catch (...) {
  return kFlexRay.failedCall(port);
}
