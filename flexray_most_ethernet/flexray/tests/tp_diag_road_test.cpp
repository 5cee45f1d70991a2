// Transport-protocol set-ups and the UDS diagnostic configuration of a FlexRay port, from the library through the
// daemon to an emulated controller: every record byte-exact, and the refusals, in their order, sending nothing.
#include <gtest/gtest.h>

#include <string>

#include "flexray_road.hpp"
#include "tp_diag_road.hpp"

namespace qor::test {
namespace {

using namespace tp_diag;

constexpr auto uds = udsConfig<Qor_FlexRay_DiagConfigUds_t>;

Qor_FlexRay_TpConfigIso10681_t iso10681(uint32_t flags) {
  Qor_FlexRay_TpConfigIso10681_t config{};
  config.flags = flags;
  config.value1 = 0x0101;
  config.value2 = 0x0202;
  config.value3 = 0x0303;
  config.value4 = 0x0404;
  for (uint8_t i = 0; i < 16; ++i) config.block1[i] = static_cast<uint8_t>(0x10 + i);
  config.value5 = 0x05050505;
  config.value6 = 0x06060606;
  config.value7 = 0x0707;
  config.value8 = 8;
  config.value9 = 9;
  config.value10 = 10;
  config.value11 = 11;
  config.value12 = 12;
  for (uint8_t i = 0; i < 16; ++i) config.block2[i] = static_cast<uint8_t>(0x20 + i);
  config.value13 = 0x1313;
  config.value14 = 0x1414;
  config.value15 = 0x1515;
  config.value16 = 0x1616;
  return config;
}

// Everything after the head up to the optional values.
Record iso10681Body() {
  return std::move(Record().u16(0x0101).u16(0x0202).u16(0x0303).u16(0x0404).bytes(counting(0x10, 16)).u32(0x05050505)
                       .u32(0x06060606).u16(0x0707).u8(8).u8(9).u8(10).u8(11).u8(12).u8(0).bytes(counting(0x20, 16)));
}

Qor_FlexRay_TpConfigAutosar_t autosar() {
  Qor_FlexRay_TpConfigAutosar_t config{};
  config.flags = 0x7F;
  config.ackType = 2;
  config.addressingType = 1;
  config.lengthMode = 2;
  config.value1 = 0x0101;
  config.value2 = 0x0202;
  config.value3 = 0x0303;
  config.value4 = 0x0404;
  for (uint8_t i = 0; i < 16; ++i) config.block1[i] = static_cast<uint8_t>(0x10 + i);
  config.value5 = 0x05050505;
  config.value6 = 0x06060606;
  config.value7 = 0x07070707;
  for (uint8_t i = 0; i < 8; ++i) config.values8to15[i] = static_cast<uint8_t>(8 + i);
  for (uint8_t i = 0; i < 16; ++i) config.block2[i] = static_cast<uint8_t>(0x20 + i);
  return config;
}

using FlexRayTpDiagRoad = TpDiagRoad<FlexRayRoad>;

TEST_F(FlexRayTpDiagRoad, EveryFunctionRefusesAPortOfAnotherBusAndAClosedHandle) {
  const auto iso = iso10681(0);
  const auto as = autosar();
  const auto diag = uds(0, 0, 0);
  const PortCall calls[] = {
      [&](uint32_t p) { return Qor_FlexRay_Tp_Init_Iso10681(p, 0, &iso); },
      [&](uint32_t p) { return Qor_FlexRay_Tp_Init_Autosar(p, 0, &as); },
      [&](uint32_t p) { return Qor_FlexRay_Diag_Config_Uds(p, 0, 0, &diag); },
      [](uint32_t p) { return Qor_FlexRay_Diag_Config_Off(p, 0); },
  };
  expectEachRefusesAnotherBusAndAClosedHandle(calls);
}

// The optional values go out only with their flags; bytes 76 to 79 are zeros.
TEST_F(FlexRayTpDiagRoad, TransportSetUpsGoOutAsEightyByteRecords) {
  const auto all = iso10681(0x1FF), first = iso10681(0x20), last = iso10681(0x100), none = iso10681(0x1F);
  const auto as = autosar();
  const Sent cases[] = {
      {"ISO 10681, every optional value", [&](uint32_t p) { return Qor_FlexRay_Tp_Init_Iso10681(p, 1, &all); },
       Record().bytes(setupHead(1, 1, 0x1FF)).bytes(iso10681Body()).u16(0x1313).u16(0x1414).u16(0x1515).u16(0x1616)
           .zeros(4)},
      {"ISO 10681, value 13 alone", [&](uint32_t p) { return Qor_FlexRay_Tp_Init_Iso10681(p, 2, &first); },
       Record().bytes(setupHead(2, 1, 0x20)).bytes(iso10681Body()).u16(0x1313).zeros(10)},
      {"ISO 10681, value 16 alone", [&](uint32_t p) { return Qor_FlexRay_Tp_Init_Iso10681(p, 3, &last); },
       Record().bytes(setupHead(3, 1, 0x100)).bytes(iso10681Body()).zeros(6).u16(0x1616).zeros(4)},
      {"ISO 10681, no optional value", [&](uint32_t p) { return Qor_FlexRay_Tp_Init_Iso10681(p, 4, &none); },
       Record().bytes(setupHead(4, 1, 0x1F)).bytes(iso10681Body()).zeros(12)},
      {"AUTOSAR", [&](uint32_t p) { return Qor_FlexRay_Tp_Init_Autosar(p, 0xFF, &as); },
       Record().bytes(setupHead(0xFF, 2, 0x7F)).u8(2).u8(1).u8(2).u8(0).u16(0x0101).u16(0x0202).u16(0x0303)
           .u16(0x0404).bytes(counting(0x10, 16)).u32(0x05050505).u32(0x06060606).u32(0x07070707)
           .bytes(counting(8, 8)).bytes(counting(0x20, 16)).zeros(4)},
  };
  expectSetUpsSent(cases, 80);
}

TEST_F(FlexRayTpDiagRoad, TheFirmwaresRefusalOfASetUpComesBackUnchanged) {
  const auto none = iso10681(0);
  device_->expect(kTransportSetup, Record().bytes(setupHead(5, 1, 0)).bytes(iso10681Body()).zeros(12))
      .fail(kFirmwareBusy, "busy");
  EXPECT_EQ(Qor_FlexRay_Tp_Init_Iso10681(port_, 5, &none), kFirmwareBusy);
}

// Bytes past the TesterPresent length and, without TesterPresent, its whole part are zeros.
TEST_F(FlexRayTpDiagRoad, DiagnosticConfigurationsGoOutAsTheirRecords) {
  const auto full = uds(1, 0x81, 8), shortMessage = uds(1, 0, 2), off = uds(0, 0x42, 9);
  const Sent cases[] = {
      {"TesterPresent of 8 bytes", [&](uint32_t p) { return Qor_FlexRay_Diag_Config_Uds(p, 1, 0xDEADBEEF, &full); },
       Record().bytes(udsHead(1, 0xDEADBEEF, 1)).u16(0x0B0B).u8(0x81).u8(8).bytes(counting(0x3E, 8))},
      {"TesterPresent of 2 bytes", [&](uint32_t p) { return Qor_FlexRay_Diag_Config_Uds(p, 2, 7, &shortMessage); },
       Record().bytes(udsHead(2, 7, 1)).u16(0x0B0B).u8(0).u8(2).u8(0x3E).u8(0x3F).zeros(6)},
      {"without TesterPresent its fields are neither checked nor sent",
       [&](uint32_t p) { return Qor_FlexRay_Diag_Config_Uds(p, 3, 9, &off); },
       Record().bytes(udsHead(3, 9, 0)).zeros(12)},
      {"off", [](uint32_t p) { return Qor_FlexRay_Diag_Config_Off(p, 4); }, Record().u8(4).zeros(3)},
  };
  expectDiagConfigsSent(cases);
}

TEST_F(FlexRayTpDiagRoad, RefusalsComeInTheirOrderAndSendNothing) {
  auto isoReserved = iso10681(0x200);
  isoReserved.reserved = 1;
  const auto isoFlags = iso10681(0x200);
  auto asReserved = autosar();
  asReserved.reserved = 1;
  asReserved.flags = 0x80;
  auto asFlags = autosar();
  asFlags.flags = 0x80;
  asFlags.ackType = 3;
  auto asAck = autosar();
  asAck.ackType = 3;
  asAck.addressingType = 2;
  asAck.lengthMode = 3;
  auto asAddressing = autosar();
  asAddressing.addressingType = 2;
  asAddressing.lengthMode = 3;
  auto asLength = autosar();
  asLength.lengthMode = 3;
  auto diagReserved = uds(2, 0x42, 9);
  diagReserved.reserved = 0x0100;
  const auto diagFlags = uds(2, 0x42, 9), mode41 = uds(1, 0x41, 9), modeC0 = uds(1, 0xC0, 0), mode42 = uds(1, 0x42, 9),
             length9 = uds(1, 0x80, 9);
  const Refusal cases[] = {
      {"ISO 10681: the reserved byte before the flags",
       [&](uint32_t p) { return Qor_FlexRay_Tp_Init_Iso10681(p, 0, &isoReserved); }, kInvalidParameter,
       "reserved bytes have to be '0'"},
      {"ISO 10681: flag bit 9", [&](uint32_t p) { return Qor_FlexRay_Tp_Init_Iso10681(p, 0, &isoFlags); },
       kUnknownFlag, ""},
      {"ISO 10681: no record", [](uint32_t p) { return Qor_FlexRay_Tp_Init_Iso10681(p, 0, nullptr); },
       kInvalidParameter, "'config' is NULL"},
      {"AUTOSAR: the reserved byte first", [&](uint32_t p) { return Qor_FlexRay_Tp_Init_Autosar(p, 0, &asReserved); },
       kInvalidParameter, "reserved bytes have to be '0'"},
      {"AUTOSAR: flag bit 7 before the types", [&](uint32_t p) { return Qor_FlexRay_Tp_Init_Autosar(p, 0, &asFlags); },
       kUnknownFlag, ""},
      {"AUTOSAR: ack type 3 before the addressing type",
       [&](uint32_t p) { return Qor_FlexRay_Tp_Init_Autosar(p, 0, &asAck); }, kUnknownType, "ack type is unknown"},
      {"AUTOSAR: addressing type 2 before the length mode",
       [&](uint32_t p) { return Qor_FlexRay_Tp_Init_Autosar(p, 0, &asAddressing); }, kUnknownType,
       "addressing type is unknown"},
      {"AUTOSAR: length mode 3", [&](uint32_t p) { return Qor_FlexRay_Tp_Init_Autosar(p, 0, &asLength); },
       kUnknownMode, "length mode is unknown"},
      {"UDS: the reserved field before the flags",
       [&](uint32_t p) { return Qor_FlexRay_Diag_Config_Uds(p, 0, 0, &diagReserved); }, kInvalidParameter,
       "reserved bytes have to be '0'"},
      {"UDS: flag bit 1", [&](uint32_t p) { return Qor_FlexRay_Diag_Config_Uds(p, 0, 0, &diagFlags); }, kUnknownFlag,
       ""},
      {"UDS: mode 0x41 before the length", [&](uint32_t p) { return Qor_FlexRay_Diag_Config_Uds(p, 0, 0, &mode41); },
       kInvalidParameter, "TesterPresent request mode is invalid for this configutation"},
      {"UDS: mode 0xC0", [&](uint32_t p) { return Qor_FlexRay_Diag_Config_Uds(p, 0, 0, &modeC0); },
       kInvalidParameter, "TesterPresent request mode is invalid for this configutation"},
      {"UDS: mode 0x42", [&](uint32_t p) { return Qor_FlexRay_Diag_Config_Uds(p, 0, 0, &mode42); }, kUnknownMode,
       "TesterPresent request mode 66 is unknown"},
      {"UDS: length 9", [&](uint32_t p) { return Qor_FlexRay_Diag_Config_Uds(p, 0, 0, &length9); },
       kInvalidParameter, "TesterPresent length > 8"},
      {"UDS: no record", [](uint32_t p) { return Qor_FlexRay_Diag_Config_Uds(p, 0, 0, nullptr); }, kInvalidParameter,
       "'config' is NULL"},
  };
  expectDescribedRefusals(port_, cases);
}

}  // namespace
}  // namespace qor::test
