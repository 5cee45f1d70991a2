// Diagnostic transport set-ups and the UDS diagnostic configuration of an Ethernet port, from the library through the
// daemon to an emulated controller: every record byte-exact, and the refusals, in their order, sending nothing.
#include <gtest/gtest.h>

#include "ethernet_road.hpp"
#include "qor_ethernet.h"
#include "tp_diag_road.hpp"

namespace qor::test {
namespace {

using namespace tp_diag;

constexpr auto uds = udsConfig<Qor_Ethernet_DiagConfigUds_t>;

void fill(uint8_t* block, uint8_t first) {
  for (uint8_t i = 0; i < 16; ++i) block[i] = static_cast<uint8_t>(first + i);
}

Qor_Ethernet_TpConfigIso13400_t iso13400(uint32_t flags) {
  Qor_Ethernet_TpConfigIso13400_t config{};
  config.flags = flags;
  config.value1 = 1;
  config.value2 = 2;
  config.vehIdentReqMode = 2;
  config.value3 = 0x0303;
  config.value4 = 0x0404;
  config.value5 = 0x0505;
  config.value6 = 0x0606;
  fill(config.block1, 0x10);
  config.value7 = 0x07070707;
  config.value8 = 0x08080808;
  config.value9 = 0x09090909;
  config.value10 = 10;
  config.value11 = 11;
  config.ipAddressType1 = 5;
  config.ipAddressType2 = 2;
  fill(config.block2, 0x20);
  fill(config.block3, 0x30);
  config.value12 = 0x12121212;
  config.value13 = 0x13131313;
  config.value14 = 0x1414;
  fill(config.block4, 0x40);
  config.value15 = 15;
  config.value16 = 0x16161616;
  return config;
}

// Everything after the head up to value 16.
Record iso13400Body() {
  return std::move(Record().u8(1).u8(2).u8(2).u8(0).u16(0x0303).u16(0x0404).u16(0x0505).u16(0x0606)
                       .bytes(counting(0x10, 16)).u32(0x07070707).u32(0x08080808).u32(0x09090909).u8(10).u8(11).u8(5)
                       .u8(2).bytes(counting(0x20, 16)).bytes(counting(0x30, 16)).u32(0x12121212).u32(0x13131313)
                       .u16(0x1414).u16(0).bytes(counting(0x40, 16)).u8(15).zeros(3));
}

Qor_Ethernet_TpConfigDoSoAd_t doSoAd() {
  Qor_Ethernet_TpConfigDoSoAd_t config{};
  config.flags = 0x1F;
  config.value1 = 0x0101;
  config.value2 = 0x0202;
  config.value3 = 0x0303;
  config.value4 = 0x0404;
  config.localIpAddressType = 0;
  config.remoteIpAddressType = 2;
  config.socketProtocolType = 3;
  fill(config.block1, 0x10);
  fill(config.block2, 0x20);
  config.value5 = 0x0505;
  config.value6 = 0x0606;
  config.value7 = 0x07070707;
  config.value8 = 0x08080808;
  config.value9 = 0x09090909;
  return config;
}

using EthernetTpDiagRoad = TpDiagRoad<EthernetRoad>;

TEST_F(EthernetTpDiagRoad, EveryFunctionRefusesAPortOfAnotherBusAndAClosedHandle) {
  const uint32_t canPort = open(2);
  const auto iso = iso13400(0);
  const auto soAd = doSoAd();
  const auto diag = uds(0, 0, 0);
  const std::function<uint32_t(uint32_t)> calls[] = {
      [&](uint32_t p) { return Qor_Ethernet_Tp_Init_Iso13400(p, 0, &iso); },
      [&](uint32_t p) { return Qor_Ethernet_Tp_Init_DoSoAd(p, 0, &soAd); },
      [&](uint32_t p) { return Qor_Ethernet_Diag_Config_Uds(p, 0, 0, &diag); },
      [](uint32_t p) { return Qor_Ethernet_Diag_Config_Off(p, 0); },
  };
  for (const auto& call : calls) {
    EXPECT_EQ(call(canPort), kWrongInterfaceType);
    EXPECT_EQ(lastText(), described(kWrongInterfaceType, "Ethernet Interface expected"));
    EXPECT_EQ(call(0x7777), kInvalidPortHandle);
  }
}

// Value 16 goes out only with flag bit 11; the bytes no field fills are zeros.
TEST_F(EthernetTpDiagRoad, TransportSetUpsGoOutAs124ByteRecords) {
  const auto withValue16 = iso13400(0x800), withoutValue16 = iso13400(0x7FF);
  const auto soAd = doSoAd();
  const Sent cases[] = {
      {"ISO 13400 with value 16", [&](uint32_t p) { return Qor_Ethernet_Tp_Init_Iso13400(p, 1, &withValue16); },
       Record().bytes(setupHead(1, 1, 0x800)).bytes(iso13400Body()).u32(0x16161616)},
      {"ISO 13400 without value 16", [&](uint32_t p) { return Qor_Ethernet_Tp_Init_Iso13400(p, 2, &withoutValue16); },
       Record().bytes(setupHead(2, 1, 0x7FF)).bytes(iso13400Body()).zeros(4)},
      {"DoSoAd", [&](uint32_t p) { return Qor_Ethernet_Tp_Init_DoSoAd(p, 0xFF, &soAd); },
       Record().bytes(setupHead(0xFF, 2, 0x1F)).u16(0x0101).u16(0x0202).u16(0x0303).u16(0x0404).u8(0).u8(2).u8(3)
           .u8(0).bytes(counting(0x10, 16)).bytes(counting(0x20, 16)).u16(0x0505).u16(0x0606).u32(0x07070707)
           .u32(0x08080808).u32(0x09090909).zeros(52)},
  };
  expectSetUpsSent(cases, 124);
}

TEST_F(EthernetTpDiagRoad, TheFirmwaresRefusalOfASetUpComesBackUnchanged) {
  const auto iso = iso13400(0);
  device_->expect(kTransportSetup, Record().bytes(setupHead(5, 1, 0)).bytes(iso13400Body()).zeros(4))
      .fail(kFirmwareBusy, "busy");
  EXPECT_EQ(Qor_Ethernet_Tp_Init_Iso13400(port_, 5, &iso), kFirmwareBusy);
}

// Bytes past the TesterPresent length and, without TesterPresent, its whole part are zeros.
TEST_F(EthernetTpDiagRoad, DiagnosticConfigurationsGoOutAsTheirRecords) {
  const auto full = uds(1, 0x80, 8), shortMessage = uds(1, 1, 1), off = uds(0, 0x42, 9);
  const Sent cases[] = {
      {"TesterPresent of 8 bytes", [&](uint32_t p) { return Qor_Ethernet_Diag_Config_Uds(p, 1, 0xDEADBEEF, &full); },
       Record().bytes(udsHead(1, 0xDEADBEEF, 1)).u16(0x0B0B).u8(0x80).u8(8).bytes(counting(0x3E, 8))},
      {"TesterPresent of 1 byte", [&](uint32_t p) { return Qor_Ethernet_Diag_Config_Uds(p, 2, 7, &shortMessage); },
       Record().bytes(udsHead(2, 7, 1)).u16(0x0B0B).u8(1).u8(1).u8(0x3E).zeros(7)},
      {"without TesterPresent its fields are neither checked nor sent",
       [&](uint32_t p) { return Qor_Ethernet_Diag_Config_Uds(p, 3, 9, &off); },
       Record().bytes(udsHead(3, 9, 0)).zeros(12)},
      {"off: 12 bytes", [](uint32_t p) { return Qor_Ethernet_Diag_Config_Off(p, 4); }, Record().u8(4).zeros(11)},
  };
  expectDiagConfigsSent(cases);
}

TEST_F(EthernetTpDiagRoad, RefusalsComeInTheirOrderAndSendNothing) {
  auto isoFlags = iso13400(0x1000);
  isoFlags.reserved1 = 1;
  auto isoReserved1 = iso13400(0);
  isoReserved1.reserved1 = 1;
  isoReserved1.vehIdentReqMode = 3;
  auto isoReserved2 = iso13400(0);
  isoReserved2.reserved2 = 0x0100;
  auto isoReserved3 = iso13400(0);
  isoReserved3.reserved3[2] = 1;
  auto isoMode = iso13400(0);
  isoMode.vehIdentReqMode = 3;
  isoMode.ipAddressType1 = 6;
  auto isoType1 = iso13400(0);
  isoType1.ipAddressType1 = 6;
  auto isoType2 = iso13400(0);
  isoType2.ipAddressType2 = 0xFF;
  auto soAdFlags = doSoAd();
  soAdFlags.flags = 0x20;
  soAdFlags.reserved = 1;
  auto soAdReserved = doSoAd();
  soAdReserved.reserved = 1;
  soAdReserved.remoteIpAddressType = 0;
  auto soAdRemote0 = doSoAd();
  soAdRemote0.remoteIpAddressType = 0;
  soAdRemote0.localIpAddressType = 6;
  auto soAdRemote3 = doSoAd();
  soAdRemote3.remoteIpAddressType = 3;
  auto soAdLocal = doSoAd();
  soAdLocal.localIpAddressType = 6;
  soAdLocal.socketProtocolType = 4;
  auto soAdSocket = doSoAd();
  soAdSocket.socketProtocolType = 4;
  auto diagFlags = uds(2, 0x42, 9);
  diagFlags.reserved = 1;
  auto diagReserved = uds(1, 0x42, 9);
  diagReserved.reserved = 1;
  const auto mode41 = uds(1, 0x41, 9), modeC1 = uds(1, 0xC1, 0), mode42 = uds(1, 0x42, 9), length9 = uds(1, 0x81, 9);
  const Refusal cases[] = {
      {"ISO 13400: flag bit 12 before the reserved fields",
       [&](uint32_t p) { return Qor_Ethernet_Tp_Init_Iso13400(p, 0, &isoFlags); }, kUnknownFlag, ""},
      {"ISO 13400: the reserved byte at 7 before the mode",
       [&](uint32_t p) { return Qor_Ethernet_Tp_Init_Iso13400(p, 0, &isoReserved1); }, kInvalidParameter,
       "reserved bytes have to be zero"},
      {"ISO 13400: the reserved word at 90",
       [&](uint32_t p) { return Qor_Ethernet_Tp_Init_Iso13400(p, 0, &isoReserved2); },
       kInvalidParameter, "reserved bytes have to be zero"},
      {"ISO 13400: the reserved byte at 111",
       [&](uint32_t p) { return Qor_Ethernet_Tp_Init_Iso13400(p, 0, &isoReserved3); }, kInvalidParameter,
       "reserved bytes have to be zero"},
      {"ISO 13400: VehIdentReqMode 3 before the address types",
       [&](uint32_t p) { return Qor_Ethernet_Tp_Init_Iso13400(p, 0, &isoMode); }, kUnknownMode,
       "'VehIdentReqMode '0x03' is unknown"},
      {"ISO 13400: address type 1", [&](uint32_t p) { return Qor_Ethernet_Tp_Init_Iso13400(p, 0, &isoType1); },
       kUnknownMode, "ip address type is unknown"},
      {"ISO 13400: address type 2", [&](uint32_t p) { return Qor_Ethernet_Tp_Init_Iso13400(p, 0, &isoType2); },
       kUnknownMode, "ip address type is unknown"},
      {"ISO 13400: no record", [](uint32_t p) { return Qor_Ethernet_Tp_Init_Iso13400(p, 0, nullptr); },
       kInvalidParameter, "'config' is NULL"},
      {"DoSoAd: flag bit 5 before the reserved byte",
       [&](uint32_t p) { return Qor_Ethernet_Tp_Init_DoSoAd(p, 0, &soAdFlags); }, kUnknownFlag, ""},
      {"DoSoAd: the reserved byte before the remote type",
       [&](uint32_t p) { return Qor_Ethernet_Tp_Init_DoSoAd(p, 0, &soAdReserved); }, kInvalidParameter,
       "reserved bytes have to be zero"},
      {"DoSoAd: remote type 0 before the local type",
       [&](uint32_t p) { return Qor_Ethernet_Tp_Init_DoSoAd(p, 0, &soAdRemote0); }, kInvalidParameter,
       "remote Ip address type must not be any"},
      {"DoSoAd: remote type 3", [&](uint32_t p) { return Qor_Ethernet_Tp_Init_DoSoAd(p, 0, &soAdRemote3); },
       kInvalidParameter, "remote Ip address type must not be any"},
      {"DoSoAd: local type 6 before the socket protocol",
       [&](uint32_t p) { return Qor_Ethernet_Tp_Init_DoSoAd(p, 0, &soAdLocal); }, kUnknownMode,
       "ip address type is unknown"},
      {"DoSoAd: socket protocol 4", [&](uint32_t p) { return Qor_Ethernet_Tp_Init_DoSoAd(p, 0, &soAdSocket); },
       kUnknownProtocol, "socket protocol type is unknown"},
      {"UDS: flag bit 1 before the reserved field",
       [&](uint32_t p) { return Qor_Ethernet_Diag_Config_Uds(p, 0, 0, &diagFlags); }, kUnknownFlag, ""},
      {"UDS: the reserved field before TesterPresent",
       [&](uint32_t p) { return Qor_Ethernet_Diag_Config_Uds(p, 0, 0, &diagReserved); }, kInvalidParameter,
       "reserved bytes have to be zero"},
      {"UDS: mode 0x41 before the length", [&](uint32_t p) { return Qor_Ethernet_Diag_Config_Uds(p, 0, 0, &mode41); },
       kInvalidParameter, "TesterPresent request mode is invalid for this configutation"},
      {"UDS: mode 0xC1", [&](uint32_t p) { return Qor_Ethernet_Diag_Config_Uds(p, 0, 0, &modeC1); },
       kInvalidParameter, "TesterPresent request mode is invalid for this configutation"},
      {"UDS: mode 0x42", [&](uint32_t p) { return Qor_Ethernet_Diag_Config_Uds(p, 0, 0, &mode42); }, kUnknownMode,
       "TesterPresent request mode 66 is unknown"},
      {"UDS: length 9", [&](uint32_t p) { return Qor_Ethernet_Diag_Config_Uds(p, 0, 0, &length9); },
       kInvalidParameter, "TesterPresent length > 8"},
      {"UDS: no record", [](uint32_t p) { return Qor_Ethernet_Diag_Config_Uds(p, 0, 0, nullptr); },
       kInvalidParameter, "'config' is NULL"},
  };
  expectDescribedRefusals(port_, cases);
}

}  // namespace
}  // namespace qor::test
