// Node properties and diagnostic configurations on the whole road, against the request table of an emulated
// K-Line controller.
#include <functional>
#include <vector>

#include "kline_test_support.hpp"

namespace qor::test {
namespace {

using emulator::Bytes;

constexpr uint8_t kPropertyCommand = 0x21;
constexpr uint8_t kDiagCommand = 0xA0;

using KLineNode = KLineFixture;

TEST_F(KLineNode, PropertiesByIdAreTheFirmwaresFromZero) {
  const uint32_t port = open(kKLineInterface);
  for (uint16_t id : {1, 2, 3}) {
    const auto property = static_cast<uint8_t>(id - 1);
    device_->expect(kPropertyCommand, {0, 0, 0, 0, property, 0, 0, 0, 0x78, 0x56, 0x34, 0x12}).answer({0, 0, 0, 0});
    device_->expect(kPropertyCommand, {1, 0, 0, 0, property, 0, 0, 0})
        .answer({1, 0, 0, 0, property, 0, 0, 0, static_cast<uint8_t>(id), 0, 0, 0xA0});
    EXPECT_EQ(Qor_KLine_Node_Property_SetById(port, id, 0x12345678), 0u) << Qor_GetLastErrorDescription();
    uint32_t value = 0;
    EXPECT_EQ(Qor_KLine_Node_Property_GetById(port, id, &value), 0u) << Qor_GetLastErrorDescription();
    EXPECT_EQ(value, 0xA0000000u | id);
  }
}

TEST_F(KLineNode, AnUnknownIdSendsNothing) {
  const uint32_t port = open(kKLineInterface);
  uint32_t value = 7;
  for (uint16_t id : {0, 4, 0xFFFF}) {
    EXPECT_EQ(Qor_KLine_Node_Property_SetById(port, id, 1), kUnknownId);
    EXPECT_EQ(Qor_KLine_Node_Property_GetById(port, id, &value), kUnknownId);
  }
  EXPECT_TRUE(lastTextEndsWith("id '0xffff' is unknown"));
  EXPECT_EQ(value, 7u);
}

TEST_F(KLineNode, AFailedOrShortPropertyAnswerLeavesTheValue) {
  const uint32_t port = open(kKLineInterface);
  device_->expect(kPropertyCommand, {1, 0, 0, 0, 2, 0, 0, 0}).fail(kFirmwareError, "no property");
  device_->expect(kPropertyCommand, {1, 0, 0, 0, 2, 0, 0, 0}).answer({1, 0, 0, 0, 2, 0, 0, 0, 9, 9});
  uint32_t value = 7;
  EXPECT_EQ(Qor_KLine_Node_Property_GetById(port, 3, &value), kFirmwareError);
  EXPECT_EQ(Qor_KLine_Node_Property_GetById(port, 3, &value), kInvalidParameter);
  EXPECT_TRUE(lastTextEndsWith("response of 10 bytes is too short"));
  EXPECT_EQ(Qor_KLine_Node_Property_GetById(port, 3, nullptr), kInvalidParameter);
  EXPECT_EQ(value, 7u);
}

// Every function refuses a port of another interface type, and a bad handle gives the core's code.
TEST_F(KLineNode, OtherInterfacesAreRefused) {
  const uint32_t can = open(kCanInterface);
  uint32_t a = 0, b = 0, c = 0;
  uint8_t byte = 0;
  Qor_KLine_FifoConfig_t fifo{};
  Qor_KLine_Monitor_RegularItem_t item{};
  ExternalEvent event{};
  Qor_KLine_DiagConfigKw2000_t kw2000{};
  Qor_KLine_DiagConfigKw1281_t kw1281{};
  Qor_KLine_DiagConfigIso9141Ford_t iso{};
  Qor_KLine_DiagConfigWBus_t wbus{};
  const std::vector<std::function<uint32_t(uint32_t)>> calls = {
      [&](uint32_t p) { return Qor_KLine_Node_Property_SetById(p, 1, 0); },
      [&](uint32_t p) { return Qor_KLine_Node_Property_GetById(p, 1, &a); },
      [&](uint32_t p) { return Qor_KLine_Diag_Config_Kw2000(p, 0, 0, &kw2000); },
      [&](uint32_t p) { return Qor_KLine_Diag_Config_Kw1281(p, 0, 0, &kw1281); },
      [&](uint32_t p) { return Qor_KLine_Diag_Config_Iso9141Ford(p, 0, 0, &iso); },
      [&](uint32_t p) { return Qor_KLine_Diag_Config_WBus(p, 0, 0, &wbus); },
      [&](uint32_t p) { return Qor_KLine_Fifo_Reset(p); },
      [&](uint32_t p) { return Qor_KLine_Fifo_Init(p, 0, &fifo, &a); },
      [&](uint32_t p) { return Qor_KLine_Fifo_Tx_Write(p, 1, &byte); },
      [&](uint32_t p) { return Qor_KLine_Fifo_Tx_GetState(p, &a, &b, &c); },
      [&](uint32_t p) { b = 1; return Qor_KLine_Fifo_Rx_Read(p, &a, &b, &byte); },
      [&](uint32_t p) { return Qor_KLine_Fifo_Rx_GetState(p, &a, &b, &c); },
      [&](uint32_t p) { return Qor_KLine_Monitor_Config_Regular(p, 0, 0); },
      [&](uint32_t p) { return Qor_KLine_Monitor_Config_Advanced(p, 0, 0, 0, 0); },
      [&](uint32_t p) { return Qor_KLine_Monitor_Start(p); },
      [&](uint32_t p) { return Qor_KLine_Monitor_Stop(p); },
      [&](uint32_t p) { return Qor_KLine_Monitor_Config_Off(p); },
      [&](uint32_t p) { return Qor_KLine_Monitor_EnableEvent(p, &event); },
      [&](uint32_t p) { return Qor_KLine_Monitor_DisableEvent(p); },
      [&](uint32_t p) { b = 1; return Qor_KLine_Monitor_GetItems_Regular(p, &b, &item); },
      [&](uint32_t p) { b = 12; return Qor_KLine_Monitor_GetItems_Advanced(p, &b, &item); },
  };
  for (size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(calls[i](can), kWrongInterface);
    EXPECT_TRUE(lastTextEndsWith("K-Line Interface expected!!!"));
    EXPECT_EQ(calls[i](QOR_MAX_PORTS + 1), QOR_ERR_API_INVALID_PORT_HANDLE);
  }
}

// KWP2000 without flags in fast init: the defaults of the record tables, as the controller receives them.
TEST_F(KLineNode, ADiagnosticConfigurationGoesOutAsOneRecord) {
  const uint32_t port = open(kKLineInterface);
  Qor_KLine_DiagConfigKw2000_t config{};
  config.targetAddress = 0x33;
  config.InitMode = 1;
  Bytes record(84, 0);
  record[0] = 5, record[1] = 1;
  const uint16_t fields[][2] = {{8, 0xF1}, {10, 0x33}, {14, 20}, {18, 1000}, {22, 5000}, {26, 20}, {28, 0xF1},
                                {30, 0x33}, {36, 1}, {40, 0xF1}, {42, 0x33}, {44, 300}, {46, 300}, {48, 50},
                                {50, 50}, {52, 25}, {54, 25}, {58, 20}, {62, 1000}, {66, 5000}, {70, 20},
                                {72, 10400}, {76, 0xFFFF}, {78, 0xFFFF}, {80, 0xFFFF}};
  for (const auto& [offset, value] : fields) {
    record[offset] = static_cast<uint8_t>(value);
    record[offset + 1] = static_cast<uint8_t>(value >> 8);
  }
  device_->expect(kDiagCommand, record);
  device_->expect(kDiagCommand, record).fail(kFirmwareError, "busy");
  EXPECT_EQ(Qor_KLine_Diag_Config_Kw2000(port, 5, 0, &config), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_KLine_Diag_Config_Kw2000(port, 5, 0, &config), kFirmwareError);
}

// The checks of the callers' records, in their order, before anything is sent.
TEST_F(KLineNode, RefusedConfigurationsSendNothing) {
  const uint32_t port = open(kKLineInterface);
  struct Case {
    const char* name;
    std::function<uint32_t()> call;
    uint32_t code;
    const char* text;
  };
  Qor_KLine_DiagConfigKw2000_t kw2000{};
  Qor_KLine_DiagConfigKw1281_t kw1281{};
  Qor_KLine_DiagConfigIso9141Ford_t iso{};
  Qor_KLine_DiagConfigWBus_t wbus{};
  auto kw2000With = [&](auto change, uint32_t flags) {
    return [&kw2000, change, flags, port] {
      Qor_KLine_DiagConfigKw2000_t config{};
      change(config);
      kw2000 = config;
      return Qor_KLine_Diag_Config_Kw2000(port, 0, flags, &kw2000);
    };
  };
  const std::vector<Case> cases = {
      {"KWP2000 flag 8", kw2000With([](auto&) {}, 0x100), kUnknownFlag, "command flag value '0x0100' is unknown"},
      {"KWP2000 reserved 3", kw2000With([](auto& c) { c.reserved3 = 1; }, 0), kInvalidParameter,
       "reserved bytes have to be zero"},
      {"tester present 2", kw2000With([](auto& c) { c.testerPresentFlag = 2; }, 0x20), kUnknownFlag,
       "tester present flag value '0x02' is unknown"},
      {"reserved 27", kw2000With([](auto& c) { c.reserved27 = 1; }, 0x20), kInvalidParameter,
       "reserved bytes have to be zero"},
      {"InitMode 2", kw2000With([](auto& c) { c.InitMode = 2; }, 0), kInvalidParameter, "InitMode is unknown"},
      {"fast reserved 54", kw2000With([](auto& c) { c.InitMode = 1, c.reserved54 = 1; }, 0), kInvalidParameter,
       "reserved bytes have to be zero"},
      {"slow parity 2", kw2000With([](auto& c) { c.slowInitParity = 2; }, 0x40), kInvalidParameter,
       "init slow: parity value is unknown"},
      {"slow reserved 30", kw2000With([](auto& c) { c.reserved30 = 1; }, 0x40), kInvalidParameter,
       "reserved bytes have to be zero"},
      {"reserved 94", kw2000With([](auto& c) { c.reserved94 = 1; }, 0x80), kInvalidParameter,
       "reserved bytes have to be zero"},
      {"KWP2000 NULL", [&] { return Qor_KLine_Diag_Config_Kw2000(port, 0, 0, nullptr); }, kInvalidParameter,
       "'config' is NULL"},
      {"KW1281 flag 3", [&] { return Qor_KLine_Diag_Config_Kw1281(port, 0, 8, &kw1281); }, kUnknownFlag,
       "command flag value '0x0008' is unknown"},
      {"KW1281 parity 2",
       [&] {
         kw1281.parity = 2;
         return Qor_KLine_Diag_Config_Kw1281(port, 0, 2, &kw1281);
       },
       kInvalidParameter, "init: parity value is unknown"},
      {"KW1281 reserved 18",
       [&] {
         kw1281.parity = 0, kw1281.reserved18 = 1;
         return Qor_KLine_Diag_Config_Kw1281(port, 0, 2, &kw1281);
       },
       kInvalidParameter, "reserved bytes have to be zero"},
      {"ISO 9141 flag 4", [&] { return Qor_KLine_Diag_Config_Iso9141Ford(port, 0, 0x10, &iso); }, kUnknownFlag,
       "command flag value '0x0010' is unknown"},
      {"ISO 9141 reserved 22",
       [&] {
         iso.reserved22 = 1;
         return Qor_KLine_Diag_Config_Iso9141Ford(port, 0, 8, &iso);
       },
       kInvalidParameter, "reserved bytes have to be zero"},
      {"W-Bus flag 6", [&] { return Qor_KLine_Diag_Config_WBus(port, 0, 0x40, &wbus); }, kUnknownFlag,
       "command flag value '0x0040' is unknown"},
      {"W-Bus option bit 2",
       [&] {
         wbus.optionBits = 4;
         return Qor_KLine_Diag_Config_WBus(port, 0, 0x20, &wbus);
       },
       kUnknownFlag, "reserved bytes have to be zero"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.call(), c.code) << c.name;
    EXPECT_TRUE(lastTextEndsWith(c.text)) << c.name;
  }
}

// The fields that a clear flag leaves out are not checked: their values are not sent.
TEST_F(KLineNode, FieldsOfClearFlagsAreNotChecked) {
  const uint32_t port = open(kKLineInterface);
  device_->expectStartingWith(kDiagCommand, {0, 1});
  device_->expectStartingWith(kDiagCommand, {0, 2});
  device_->expectStartingWith(kDiagCommand, {0, 3});
  device_->expectStartingWith(kDiagCommand, {0, 4});
  Qor_KLine_DiagConfigKw2000_t kw2000{};
  kw2000.testerPresentFlag = 9, kw2000.reserved27 = 1, kw2000.slowInitParity = 5, kw2000.reserved94 = 1;
  Qor_KLine_DiagConfigKw1281_t kw1281{};
  kw1281.parity = 3, kw1281.reserved17 = 1;
  Qor_KLine_DiagConfigIso9141Ford_t iso{};
  iso.reserved22 = 1;
  Qor_KLine_DiagConfigWBus_t wbus{};
  wbus.optionBits = 0xFF;
  EXPECT_EQ(Qor_KLine_Diag_Config_Kw2000(port, 0, 0, &kw2000), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_KLine_Diag_Config_Kw1281(port, 0, 0, &kw1281), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_KLine_Diag_Config_Iso9141Ford(port, 0, 0, &iso), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_KLine_Diag_Config_WBus(port, 0, 0, &wbus), 0u) << Qor_GetLastErrorDescription();
}

}  // namespace
}  // namespace qor::test
