#include "open/bus_records.hpp"

#include <bit>
#include <cstdarg>
#include <cstdio>
#include <limits>

#include "qor_error_codes.h"

namespace qor::client {
namespace {

constexpr uint64_t kNanosecondsPerSecond = 1000000000u;
constexpr uint16_t kFlexRayControllerCodes[] = {0x3535, 0x8566};
constexpr uint8_t kColourRegisters = 64;
constexpr uint32_t kColourBitSelected = 32;
constexpr size_t kDataEnableSource = 26; // colour group 6, third entry

__attribute__((format(printf, 2, 3))) Refusal refuse(uint32_t code, const char* format, ...) {
  char text[256];
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  return {code, text};
}

Refusal mostModeAbove(uint32_t value, uint32_t maximum, const char* text) {
  return value > maximum ? refuse(QOR_ERR_MOST_UNKNOWN_MODE, "%s: %u", text, value) : Refusal{};
}

// Four bytes into a register value, the first in the low byte.
uint32_t bytesToRegister(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  return uint32_t{a} | uint32_t{b} << 8 | uint32_t{c} << 16 | uint32_t{d} << 24;
}

uint8_t colourByte(uint8_t entry) { return entry == QOR_LVDS_COLOUR_UNUSED ? 0 : entry | kColourBitSelected; }

bool isColourEntry(uint32_t entry) { return entry <= QOR_LVDS_COLOUR_BIT_MAX || entry == QOR_LVDS_COLOUR_UNUSED; }

// A bit count at a baud rate in ns, when it fits.
bool bitTimeNs(uint32_t bits, uint32_t baudRate, uint32_t& ns) {
  const uint64_t time = uint64_t{bits} * (kNanosecondsPerSecond / baudRate);
  if (time > std::numeric_limits<uint32_t>::max()) return false;
  ns = static_cast<uint32_t>(time);
  return true;
}

} // namespace

Refusal packCanInit(uint32_t mode, uint32_t flags, Qor_Can_InitInterface_Param_t& record) {
  if (mode > QOR_CAN_MODE_MAX) return refuse(QOR_ERR_CAN_UNKNOWN_MODE, "%u", mode);
  if (flags > QOR_CAN_INIT_FLAGS_VALID) return refuse(QOR_ERR_CAN_UNKNOWN_FLAG, "%u", flags);
  const uint32_t fdModes = (flags & QOR_CAN_INIT_FLAGS_VALID) >> 3;
  if (std::popcount(fdModes) > 1) return refuse(QOR_ERR_CAN_INVALID_PARAMETER, "only 1 CAN FD MODE flag may be set");
  record = {};
  record.mode = static_cast<uint8_t>(mode);
  record.noAcknowledge = (flags & QOR_CAN_INIT_NO_ACKNOWLEDGE) ? 1 : 0;
  record.blinking = (flags & QOR_CAN_INIT_BLINKING) ? 1 : 0;
  record.flag2Clear = (flags & QOR_CAN_INIT_FLAG_2) ? 0 : 1;
  record.fdMode = fdModes == 0 ? 0 : static_cast<uint8_t>(std::countr_zero(fdModes) + 1);
  return {};
}

Qor_Can_SetBaudRate_Param_t canBaudRateRecord(uint32_t baudRate) {
  Qor_Can_SetBaudRate_Param_t record{};
  record.subFunction = QOR_CAN_BAUD_RATE_SET;
  record.baudRate = baudRate;
  return record;
}

Refusal packLinInit(uint32_t flags, Qor_Lin_InitInterface_Param_t& record) {
  if (flags > QOR_LIN_INIT_FLAGS_VALID) return refuse(QOR_ERR_LIN_UNKNOWN_FLAG, "unknown init interface flag");
  record = {0, static_cast<uint8_t>(flags & 1), static_cast<uint8_t>((flags >> 1) & 1),
            static_cast<uint8_t>((flags >> 2) & 1)};
  return {};
}

Refusal packLinNode(const Qor_Lin_NodeConfig_t& config, Qor_Lin_NodeConfig_Param_t& record) {
  if (config.flags > QOR_LIN_NODE_FLAGS_VALID) return refuse(QOR_ERR_LIN_UNKNOWN_FLAG, "Node_Config2 unknown flag");
  const bool master = config.flags & QOR_LIN_NODE_MASTER_TASK;
  const bool slave = config.flags & QOR_LIN_NODE_SLAVE_TASK;
  const bool detection = config.flags & QOR_LIN_NODE_BAUD_RATE_DETECTION;
  if (master && detection) {
    return refuse(QOR_ERR_LIN_INVALID_PARAMETER, "no baudrate detection allowed while master task is enabled");
  }
  if (slave && !detection && config.slaveBaudRate == 0) {
    return refuse(QOR_ERR_LIN_INVALID_PARAMETER, "baudRate is zero");
  }
  record = {};
  if (master) {
    record.masterTask = 1;
    record.baudRate = config.masterBaudRate;
    for (size_t i = 0; i < std::size(record.masterTicks); ++i) {
      record.masterTicks[i] = config.masterTimesNs[i] / QOR_LIN_TICK_NS;
    }
  }
  if (slave) {
    record.slaveTask = 1;
    record.baudRate = config.slaveBaudRate;
    record.baudRateDetection = detection ? 1 : 0;
    record.slaveBaudRate = config.slaveBaudRate;
    for (size_t i = 0; i < std::size(record.slaveTicks); ++i) {
      record.slaveTicks[i] = config.slaveTimesNs[i] / QOR_LIN_TICK_NS;
    }
  }
  return {};
}

Refusal linNodeConfig(const LinSettings& settings, Qor_Lin_NodeConfig_t& config) {
  config = {};
  if (settings.masterTask != 0) {
    if (settings.baudRate == 0) return refuse(QOR_ERR_LIN_INVALID_PARAMETER, "baudRate is zero");
    const struct {
      const char* name;
      uint32_t bits;
    } times[] = {{"BreakTime", settings.breakBits}, {"BreakDelimiterTime", settings.breakDelimiterBits}};
    for (size_t i = 0; i < std::size(times); ++i) {
      if (!bitTimeNs(times[i].bits, settings.baudRate, config.masterTimesNs[i])) {
        return refuse(QOR_ERR_LIN_INVALID_PARAMETER, "%s of %u bit times at %u baud is longer than %u ns",
                      times[i].name, times[i].bits, settings.baudRate, std::numeric_limits<uint32_t>::max());
      }
    }
    config.flags |= QOR_LIN_NODE_MASTER_TASK;
    config.masterBaudRate = settings.baudRate;
  }
  if (settings.slaveTask != 0) {
    config.flags |= QOR_LIN_NODE_SLAVE_TASK;
    if (settings.baudRateDetection != 0) config.flags |= QOR_LIN_NODE_BAUD_RATE_DETECTION;
    config.slaveBaudRate = settings.baudRate;
  }
  return {};
}

Refusal packFlexRayInit(uint32_t flags, uint32_t controllerType, uint32_t transceiverType,
                        Qor_FlexRay_Init_Param_t& record) {
  if (controllerType > QOR_FLEXRAY_CONTROLLER_TYPE_MAX) {
    return refuse(QOR_ERR_FLEXRAY_INVALID_PARAMETER, "controller type '0x%02x' is unknown", controllerType);
  }
  if (transceiverType != 0) {
    return refuse(QOR_ERR_FLEXRAY_INVALID_PARAMETER, "transceiver type '0x%02x' is unknown", transceiverType);
  }
  record = {0, flags, kFlexRayControllerCodes[controllerType], 1};
  return {};
}

Refusal packMostNode(uint32_t clockMode, uint32_t deviceMode, uint32_t networkMasterMode,
                     uint32_t logicalNodeAddressMode, uint16_t word1, uint16_t word2,
                     Qor_Most_NodeProperties_Param_t& record) {
  for (const Refusal& refusal : {mostModeAbove(clockMode, 1, "Unknown clockMode"),
                                 mostModeAbove(deviceMode, 2, "Unknown deviceMode"),
                                 mostModeAbove(networkMasterMode, 1, "Unknown networkMasterMode"),
                                 mostModeAbove(logicalNodeAddressMode, 1, "Unknown logicalNodeAddressMode")}) {
    if (refusal) return refusal;
  }
  record = {0,
            static_cast<uint8_t>(clockMode),
            static_cast<uint8_t>(deviceMode),
            static_cast<uint8_t>(networkMasterMode),
            static_cast<uint8_t>(logicalNodeAddressMode),
            word1,
            word2};
  return {};
}

Qor_Lvds_FrameGrabber2_Mode_Param_t grabber2ModeRecord(uint8_t channel, uint8_t mode) {
  return {0, channel, 0, QOR_LVDS_AUTOMATIC_READ_OUT, 1, mode};
}

Refusal checkGrabber1(const Qor_Lvds_FrameGrabber_Init_Parameters_t& grabber) {
  for (size_t i = 0; i < std::size(grabber.colourMap); ++i) {
    if (!isColourEntry(grabber.colourMap[i])) {
      return refuse(QOR_ERR_LVDS_INVALID_PARAMETER, "colour map entry %zu is %u: a bit from 0 to 31 or 255 expected",
                    i, grabber.colourMap[i]);
    }
  }
  return {};
}

std::vector<RegisterWrite> grabber1Registers(const Qor_Lvds_FrameGrabber_Init_Parameters_t& grabber) {
  std::vector<RegisterWrite> writes = {
      {2, 1},
      {16, uint32_t{grabber.height} << 16 | grabber.width},
      {18, uint32_t{grabber.syncWidthVertical} << 16 | grabber.syncWidthHorizontal},
  };
  for (uint8_t group = 0; group < 8; ++group) {
    const uint8_t* entries = grabber.colourMap + 4 * group;
    writes.push_back({static_cast<uint8_t>(kColourRegisters + group),
                      bytesToRegister(colourByte(entries[0]), colourByte(entries[1]), colourByte(entries[2]),
                                      colourByte(entries[3]))});
  }
  writes.push_back({73, 32});
  uint32_t control = 0x1000000;
  if (grabber.colourMap[kDataEnableSource] != QOR_LVDS_COLOUR_UNUSED) control |= 0x200000;
  if (grabber.clockEdge == 1) control |= 0x10000;
  if (grabber.vSyncLevel == 1) control |= 0x20000;
  if (grabber.hSyncLevel == 1) control |= 0x40000;
  if (grabber.dataEnableLevel == 1) control |= 0x80000;
  writes.push_back({3, control});
  return writes;
}

RegisterWrite deserializerVector(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  return {80, bytesToRegister(a, b, c, d)};
}

const std::array<std::string, kLvdsSettingCount>& lvdsSettingNames() {
  static const std::array<std::string, kLvdsSettingCount> names = [] {
    std::array<std::string, kLvdsSettingCount> list = {
        "Width", "Height", "SyncWidthHorizontal", "SyncWidthVertical", "SignalLevelDataEnable", "SignalLevelHSync",
        "SignalLevelVSync", "ClockEdge"};
    size_t next = 8;
    for (int k = 0; k < 8; ++k) {
      for (const char* colour : {"Red", "Green", "Blue", "C"}) list[next++] = colour + std::to_string(k);
    }
    for (int k = 0; k < 4; ++k) list[next++] = "DeserializerConfig" + std::to_string(k);
    return list;
  }();
  return names;
}

Refusal grabber1FromSettings(std::span<const uint32_t, kLvdsSettingCount> values, Grabber1Settings& settings) {
  constexpr size_t kColours = 8;
  constexpr size_t kDeserializer = 40;
  const auto& names = lvdsSettingNames();
  for (size_t i = 0; i < kLvdsSettingCount; ++i) {
    const bool colour = i >= kColours && i < kDeserializer;
    const uint32_t maximum = i < 4 ? 0xFFFF : 0xFF;
    if (colour ? !isColourEntry(values[i]) : values[i] > maximum) {
      return refuse(QOR_ERR_LVDS_INVALID_PARAMETER, "'%s' is out of range: %u", names[i].c_str(), values[i]);
    }
  }
  Qor_Lvds_FrameGrabber_Init_Parameters_t& grabber = settings.grabber;
  grabber = {};
  grabber.width = static_cast<uint16_t>(values[0]);
  grabber.height = static_cast<uint16_t>(values[1]);
  grabber.syncWidthHorizontal = static_cast<uint16_t>(values[2]);
  grabber.syncWidthVertical = static_cast<uint16_t>(values[3]);
  grabber.dataEnableLevel = static_cast<uint8_t>(values[4]);
  grabber.hSyncLevel = static_cast<uint8_t>(values[5]);
  grabber.vSyncLevel = static_cast<uint8_t>(values[6]);
  grabber.clockEdge = static_cast<uint8_t>(values[7]);
  // Unit k of the file is Red<k>, Green<k>, Blue<k>, C<k>.
  const auto entry = [&](size_t colour, size_t k) { return static_cast<uint8_t>(values[kColours + 4 * k + colour]); };
  enum { kRed, kGreen, kBlue, kControl };
  for (size_t k = 0; k < 8; ++k) {
    grabber.colourMap[k] = entry(kBlue, k);
    grabber.colourMap[8 + k] = entry(kGreen, k);
    grabber.colourMap[16 + k] = entry(kRed, k);
  }
  const size_t controlOrder[] = {2, 1, 0, 3, 4, 5, 6, 7};
  for (size_t i = 0; i < std::size(controlOrder); ++i) grabber.colourMap[24 + i] = entry(kControl, controlOrder[i]);
  for (size_t i = 0; i < settings.deserializer.size(); ++i) {
    settings.deserializer[i] = static_cast<uint8_t>(values[kDeserializer + i]);
  }
  return {};
}

} // namespace qor::client
