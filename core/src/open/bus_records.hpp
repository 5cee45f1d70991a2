// The firmware records of the bus set-up: checking values and packing them, without a port. Values from the
// configuration file arrive as u32 and are checked whole before they are narrowed into their fields.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "qor_bus_configuration.h"

namespace qor::client {

// A refused value: the code and the text to record; code 0 when the values were accepted.
struct Refusal {
  uint32_t code = 0;
  std::string text;
  explicit operator bool() const { return code != 0; }
};

Refusal packCanInit(uint32_t mode, uint32_t flags, Qor_Can_InitInterface_Param_t& record);
Qor_Can_SetBaudRate_Param_t canBaudRateRecord(uint32_t baudRate);

Refusal packLinInit(uint32_t flags, Qor_Lin_InitInterface_Param_t& record);
Refusal packLinNode(const Qor_Lin_NodeConfig_t& config, Qor_Lin_NodeConfig_Param_t& record);

// The LIN settings of the configuration file: the break and its delimiter count bit times at the baud rate.
struct LinSettings {
  uint32_t baudRate = 0;
  uint32_t masterTask = 0;
  uint32_t breakBits = 0;
  uint32_t breakDelimiterBits = 0;
  uint32_t slaveTask = 0;
  uint32_t baudRateDetection = 0;
};
// The node configuration they give. A master needs a baud rate to time its bits, and its times must fit a u32.
Refusal linNodeConfig(const LinSettings& settings, Qor_Lin_NodeConfig_t& config);

Refusal packFlexRayInit(uint32_t flags, uint32_t controllerType, uint32_t transceiverType,
                        Qor_FlexRay_Init_Param_t& record);
Refusal packMostNode(uint32_t clockMode, uint32_t deviceMode, uint32_t networkMasterMode,
                     uint32_t logicalNodeAddressMode, uint16_t word1, uint16_t word2,
                     Qor_Most_NodeProperties_Param_t& record);

Qor_Lvds_FrameGrabber2_Mode_Param_t grabber2ModeRecord(uint8_t channel, uint8_t mode);

// One host-side FPGA register write.
struct RegisterWrite {
  uint8_t reg;
  uint32_t value;
  bool operator==(const RegisterWrite&) const = default;
};
// Colour map entries must name a bit (0 to 31) or be unused (255).
Refusal checkGrabber1(const Qor_Lvds_FrameGrabber_Init_Parameters_t& grabber);
// The writes that set the first-generation grabber up, in order.
std::vector<RegisterWrite> grabber1Registers(const Qor_Lvds_FrameGrabber_Init_Parameters_t& grabber);
RegisterWrite deserializerVector(uint8_t a, uint8_t b, uint8_t c, uint8_t d);

// The LVDS values of the configuration file, in the order they are read: sizes and levels, then "Red<k>",
// "Green<k>", "Blue<k>", "C<k>" for k = 0 to 7, then "DeserializerConfig0" to "DeserializerConfig3".
constexpr size_t kLvdsSettingCount = 44;
const std::array<std::string, kLvdsSettingCount>& lvdsSettingNames();
struct Grabber1Settings {
  Qor_Lvds_FrameGrabber_Init_Parameters_t grabber;
  std::array<uint8_t, 4> deserializer;
};
Refusal grabber1FromSettings(std::span<const uint32_t, kLvdsSettingCount> values, Grabber1Settings& settings);

} // namespace qor::client
