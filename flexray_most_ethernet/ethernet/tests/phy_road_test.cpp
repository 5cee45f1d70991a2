// The PHY from the library through the daemon to an emulated Ethernet controller: every request byte-exact, the
// firmware's values translated, the refusals that send nothing, and answers too short to read.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "ethernet_road.hpp"
#include "qor_ethernet_phy.h"

namespace qor::test {
namespace {

constexpr uint8_t kPhy = 0x24;

Bytes getRequest(uint32_t parameter) { return Record().u32(1).u32(parameter); }
Bytes getAnswer(uint32_t value) { return Record().u32(1).u32(value); }

using PhyRoad = EthernetRoad;

TEST_F(PhyRoad, ReadsTranslateTheFirmwaresValues) {
  using Read = std::function<uint32_t(uint32_t, uint32_t*)>;
  auto narrow = [](uint32_t (*get)(uint32_t, uint8_t*)) {
    return Read([get](uint32_t port, uint32_t* value) {
      uint8_t narrowValue = 0xEE;
      const uint32_t code = get(port, &narrowValue);
      *value = narrowValue;
      return code;
    });
  };
  struct Case {
    const char* name;
    Read read;
    uint32_t parameter, firmwareValue, value;
  };
  const Case cases[] = {
      {"link state 0", narrow(Qor_Ethernet_Phy_LinkState_Get), 0, 0, 1},
      {"link state 1", narrow(Qor_Ethernet_Phy_LinkState_Get), 0, 1, 2},
      {"link state 7", narrow(Qor_Ethernet_Phy_LinkState_Get), 0, 7, 0},
      {"transceiver 4", narrow(Qor_Ethernet_Phy_TransceiverType_Get), 1, 4, 4},
      {"transceiver 5", narrow(Qor_Ethernet_Phy_TransceiverType_Get), 1, 5, 0},
      {"transceiver 0", narrow(Qor_Ethernet_Phy_TransceiverType_Get), 1, 0, 0},
      {"link quality", Qor_Ethernet_Phy_LinkQuality_Get, 2, 0x89ABCDEF, 0x89ABCDEF},
      {"master/slave 2", narrow(Qor_Ethernet_Phy_Master_Slave_Mode_Get), 3, 2, 2},
      {"master/slave 0x103", narrow(Qor_Ethernet_Phy_Master_Slave_Mode_Get), 3, 0x103, 3},
      {"TX amplitude", Qor_Ethernet_Phy_TxAmplitude_Get, 4, 700, 700},
      {"data rate", Qor_Ethernet_Phy_DataRate_Get, 5, 1000, 1000},
      {"temperature", Qor_Ethernet_Phy_Temperature_Get, 10, 0xFFFFFFF6, 0xFFFFFFF6},
      {"legacy 1", Qor_Ethernet_Phy_LegacyMode_Get, 11, 1, 1},
      {"legacy 9", Qor_Ethernet_Phy_LegacyMode_Get, 11, 9, 2},
      {"hardware revision", Qor_Ethernet_Phy_HwRevision_Get, 12, 0x0102, 0x0102},
  };
  for (const Case& c : cases) device_->expect(kPhy, getRequest(c.parameter)).answer(getAnswer(c.firmwareValue));
  for (const Case& c : cases) {
    uint32_t value = 0xEEEEEEEE;
    EXPECT_EQ(c.read(port_, &value), 0u) << c.name << ": " << lastText();
    EXPECT_EQ(value, c.value) << c.name;
  }
}

TEST_F(PhyRoad, SetsGoOutAsParameterAndValue) {
  struct Case {
    const char* name;
    std::function<uint32_t(uint32_t)> set;
    uint32_t parameter, value;
  };
  const Case cases[] = {
      {"master/slave 2", [](uint32_t p) { return Qor_Ethernet_Phy_Master_Slave_Mode_Set(p, 2); }, 3, 2},
      {"TX amplitude", [](uint32_t p) { return Qor_Ethernet_Phy_TxAmplitude_Set(p, 0x01020304); }, 4, 0x01020304},
      {"data rate", [](uint32_t p) { return Qor_Ethernet_Phy_DataRate_Set(p, 100); }, 5, 100},
      {"legacy 1", [](uint32_t p) { return Qor_Ethernet_Phy_LegacyMode_Set(p, 1); }, 11, 1},
      {"legacy 0", [](uint32_t p) { return Qor_Ethernet_Phy_LegacyMode_Set(p, 0); }, 11, 0},
  };
  for (const Case& c : cases) {
    device_->expect(kPhy, Record().u32(0).u32(c.parameter).u32(c.value)).answer(Record().u32(0));
  }
  for (const Case& c : cases) EXPECT_EQ(c.set(port_), 0u) << c.name << ": " << lastText();
}

TEST_F(PhyRoad, RefusalsSendNothingAndSayWhy) {
  struct Case {
    const char* name;
    std::function<uint32_t(uint32_t)> call;
    const char* text;
  };
  const Case cases[] = {
      {"master/slave 3", [](uint32_t p) { return Qor_Ethernet_Phy_Master_Slave_Mode_Set(p, 3); },
       "'Operation mode' is unknown"},
      {"TX amplitude 0", [](uint32_t p) { return Qor_Ethernet_Phy_TxAmplitude_Set(p, 0); }, "'tx amplitude' is Zero"},
      {"data rate 0", [](uint32_t p) { return Qor_Ethernet_Phy_DataRate_Set(p, 0); }, "'Data Rate' is Zero"},
      {"legacy 2", [](uint32_t p) { return Qor_Ethernet_Phy_LegacyMode_Set(p, 2); }, "'Legacy mode' is unknown"},
      {"no output", [](uint32_t p) { return Qor_Ethernet_Phy_LinkQuality_Get(p, nullptr); }, "'value' is NULL"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.call(port_), kInvalidParameter) << c.name;
    EXPECT_NE(lastText().find(std::string(" - ") + c.text), std::string::npos) << c.name << ": " << lastText();
  }
}

TEST_F(PhyRoad, AShortAnswerLeavesTheValueUntouched) {
  device_->expect(kPhy, getRequest(2)).answer(Record().u32(1).u16(0x1234));
  uint32_t value = 0xEEEEEEEE;
  EXPECT_EQ(Qor_Ethernet_Phy_LinkQuality_Get(port_, &value), kInvalidParameter);
  EXPECT_NE(lastText().find("response of 6 bytes, 8 expected"), std::string::npos) << lastText();
  EXPECT_EQ(value, 0xEEEEEEEEu);
}

TEST_F(PhyRoad, AnotherInterfaceIsRefusedBeforeAnythingIsSent) {
  const uint32_t canPort = open(2);
  uint32_t value = 0;
  EXPECT_EQ(Qor_Ethernet_Phy_HwRevision_Get(canPort, &value), kWrongInterfaceType);
  EXPECT_NE(lastText().find("Ethernet Interface expected"), std::string::npos) << lastText();
  EXPECT_EQ(Qor_Ethernet_Phy_DataRate_Set(canPort, 100), kWrongInterfaceType);
}

}  // namespace
}  // namespace qor::test
