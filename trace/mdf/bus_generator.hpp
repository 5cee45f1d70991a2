// Builds the bus-logging structure of one bus: per kind of bus event a data group with one channel group whose
// records hold the time and a frame channel composed of the member channels of its layout, then the `Bus` that
// writes records in that layout. The blocks belong to the recording's header.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "bus.hpp"
#include "bus_layouts.hpp"

namespace MDF {

class BusGenerator {
 public:
  static std::unique_ptr<Bus> Get_CAN(uint32_t channel, BusRoot& root);
  static std::unique_ptr<Bus> Get_LIN(uint32_t channel, BusRoot& root);
  static std::unique_ptr<Bus> Get_FlexRay(uint32_t channel, BusRoot& root);
  // A CAN data-frame structure with a fixed-length payload channel, for tests; it takes no records.
  static std::unique_ptr<Bus> Get_Test(uint32_t channel, BusRoot& root);

  // One group of `layout` behind `parent` (the header or a data group); `signalChannel` receives the
  // variable-length payload channel when the layout has one. Null, with no block built, for another parent.
  static DGBLOCK* Channel_Group(BusRoot& root, Block* parent, const GroupLayout& layout, uint8_t recordId,
                                const std::string& busName, uint32_t channel, uint8_t sourceBusType,
                                CNBLOCK** signalChannel);
  // The part every group shares: DG, CG, source, time channel, frame channel and its bus-channel constant.
  static bool Channel_CommonStructure(DGBLOCK** group, CNBLOCK** frame, BusRoot& root, Block* parent,
                                      const std::string& frameName, uint8_t recordId, const std::string& busName,
                                      uint32_t channel, uint8_t sourceBusType);
  static CNBLOCK* Channel_Time(HDBLOCK& header, CGBLOCK* channels);
  static CNBLOCK* DataField(HDBLOCK& header, const std::string& name, uint32_t bitPosition, uint32_t bitCount,
                            uint8_t channelType, uint8_t dataType, CNBLOCK* frame);
  static CNBLOCK* StaticElement_Add(HDBLOCK& header, const std::string& name, CNBLOCK* frame, double value,
                                    const char* comment);
};

}  // namespace MDF
