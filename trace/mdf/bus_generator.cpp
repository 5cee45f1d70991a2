#include "bus_generator.hpp"

#include <map>

#include "text_blocks.hpp"

namespace MDF {
namespace {

constexpr uint16_t kBusEventGroup = 6;  // bus event and plain bus event
constexpr uint32_t kBusEventChannel = 0x440;  // discrete value and bus event
constexpr uint8_t kSourceBus = 2;
constexpr uint8_t kSourceCan = 2;
constexpr uint8_t kSourceLin = 3;
constexpr uint8_t kSourceFlexRay = 5;
constexpr uint8_t kVariableLength = 1;
constexpr uint8_t kFixedLength = 0;
constexpr uint8_t kVirtual = 6;
constexpr uint8_t kByteArray = 10;
constexpr uint32_t kFramePosition = 64;

CCBLOCK* Linear_Add(HDBLOCK& header, CNBLOCK* channel, double offset, double factor, std::string_view unit) {
  auto* conversion = header.Adopt<CCBLOCK>(CCBLOCK::kLinear, 0, unit);
  conversion->Value_Add(offset);
  conversion->Value_Add(factor);
  channel->Links_Set(CNBLOCK::kLinkConversion, conversion);
  return conversion;
}

std::unique_ptr<Bus> Bus_Build(uint32_t channel, BusRoot& root, uint32_t type, const std::string& prefix,
                               const std::vector<GroupLayout>& layouts, bool oneRecordId, uint8_t sourceBusType) {
  const std::string busName = prefix + std::to_string(channel);
  Block* const parent = root.LatestHierarchieElement();
  std::unique_ptr<Bus> bus;
  DGBLOCK* last = nullptr;
  uint8_t recordId = root.NextID();
  for (const GroupLayout& layout : layouts) {
    if (last != nullptr && !oneRecordId) recordId = root.NextID();
    CNBLOCK* signalChannel = nullptr;
    DGBLOCK* const group = BusGenerator::Channel_Group(root, parent, layout, recordId, busName, channel,
                                                       sourceBusType, &signalChannel);
    if (group == nullptr) return nullptr;
    if (bus == nullptr) bus = std::make_unique<Bus>(channel, type, group, signalChannel, root.Get_FileStream());
    else bus->Channel_New(group, root.Get_FileStream());
    last = group;
  }
  root.LatestHierarchieElement(last);
  return bus;
}

}  // namespace

std::unique_ptr<Bus> BusGenerator::Get_CAN(uint32_t channel, BusRoot& root) {
  return Bus_Build(channel, root, Bus::Info::CAN, "CAN", CanLayouts(), true, kSourceCan);
}

std::unique_ptr<Bus> BusGenerator::Get_LIN(uint32_t channel, BusRoot& root) {
  return Bus_Build(channel, root, Bus::Info::LIN, "LIN", LinLayouts(), false, kSourceLin);
}

std::unique_ptr<Bus> BusGenerator::Get_FlexRay(uint32_t channel, BusRoot& root) {
  return Bus_Build(channel, root, Bus::Info::FlexRay, "FLEX", FlexRayLayouts(), false, kSourceFlexRay);
}

std::unique_ptr<Bus> BusGenerator::Get_Test(uint32_t channel, BusRoot& root) {
  CNBLOCK* payload = nullptr;
  DGBLOCK* const group = Channel_Group(root, root.LatestHierarchieElement(), CanLayouts().front(), root.NextID(),
                                       "CAN" + std::to_string(channel), channel, kSourceCan, &payload);
  if (group == nullptr) return nullptr;
  payload->ChannelType_Set(kFixedLength);
  root.LatestHierarchieElement(group);
  return std::make_unique<Bus>(channel, Bus::Info::Test, group, nullptr, root.Get_FileStream());
}

DGBLOCK* BusGenerator::Channel_Group(BusRoot& root, Block* parent, const GroupLayout& layout, uint8_t recordId,
                                     const std::string& busName, uint32_t channel, uint8_t sourceBusType,
                                     CNBLOCK** signalChannel) {
  DGBLOCK* group = nullptr;
  CNBLOCK* frame = nullptr;
  if (!Channel_CommonStructure(&group, &frame, root, parent, layout.name, recordId, busName, channel,
                               sourceBusType)) {
    return nullptr;
  }
  HDBLOCK& header = root.Header();
  std::map<std::string, CNBLOCK*, std::less<>> byName;
  for (const FieldLayout& field : layout.fields) {
    const std::string name = std::string(layout.name) + "." + field.name;
    if (field.constant) {
      StaticElement_Add(header, name, frame, *field.constant, field.comment);
      continue;
    }
    CNBLOCK* const member = DataField(header, name, 8 * field.byte + field.bit, field.bits, field.channelType,
                                      field.dataType, frame);
    byName[field.name] = member;
    if (!field.texts.empty()) {
      auto* conversion = header.Adopt<CCBLOCK>(CCBLOCK::kValueToText, 0, "");
      std::vector<std::pair<double, std::string>> rows;
      for (const ValueText& row : field.texts) rows.emplace_back(row.value, row.text);
      conversion->ValueTexts_Set(rows, "");
      member->Links_Set(CNBLOCK::kLinkConversion, conversion);
    }
    if (field.comment != nullptr) member->Links_SetOwned(CNBLOCK::kLinkComment, Comment_Make(field.comment));
    if (field.channelType == kVariableLength) *signalChannel = member;
  }
  for (const FieldLayout& field : layout.fields) {
    if (field.lengthField != nullptr) byName[field.name]->Links_Set(CNBLOCK::kLinkData, byName[field.lengthField]);
  }
  return group;
}

bool BusGenerator::Channel_CommonStructure(DGBLOCK** group, CNBLOCK** frame, BusRoot& root, Block* parent,
                                           const std::string& frameName, uint8_t recordId,
                                           const std::string& busName, uint32_t channel, uint8_t sourceBusType) {
  if (parent == nullptr || (parent->Block_Type() != HD && parent->Block_Type() != DG)) return false;
  HDBLOCK& header = root.Header();
  auto* const channels = header.Adopt<CGBLOCK>(busName, recordId, kBusEventGroup, 0);
  auto* const dataGroup = header.Adopt<DGBLOCK>(false);
  if (parent->Block_Type() == HD) static_cast<HDBLOCK*>(parent)->Link_DGBLOCK(dataGroup);
  else static_cast<DGBLOCK*>(parent)->Link_DGBLOCK(dataGroup);
  dataGroup->Link_CGBLOCK(channels);
  channels->Links_Set(CGBLOCK::kLinkSource,
                      header.Adopt<SIBLOCK>(frameName, channel, kSourceBus, sourceBusType, uint8_t{0}));
  Channel_Time(header, channels);
  auto* const frameChannel = header.Adopt<CNBLOCK>(frameName, 0, 0, kByteArray, kFramePosition, 0);
  frameChannel->Flags_Set(kBusEventChannel);
  channels->Link_CNBLOCK(frameChannel);
  auto* const busChannel = header.Adopt<CNBLOCK>(frameName + ".BusChannel", kVirtual, 0, 0, kFramePosition, 0);
  busChannel->Flags_Set(kBusEventChannel);
  frameChannel->Link_CNBLOCK(busChannel, true);
  Linear_Add(header, busChannel, channel, 0, "");
  *group = dataGroup;
  *frame = frameChannel;
  return true;
}

CNBLOCK* BusGenerator::Channel_Time(HDBLOCK& header, CGBLOCK* channels) {
  static constexpr double kSecondsPerNanosecond = 1e-9;
  auto* const time = header.Adopt<CNBLOCK>("t", 2, 1, 0, 0, 64);
  time->Links_SetOwned(CNBLOCK::kLinkUnit, Text_Make("s"));
  channels->Link_CNBLOCK(time);
  Linear_Add(header, time, 0, kSecondsPerNanosecond, "s");
  return time;
}

CNBLOCK* BusGenerator::DataField(HDBLOCK& header, const std::string& name, uint32_t bitPosition, uint32_t bitCount,
                                 uint8_t channelType, uint8_t dataType, CNBLOCK* frame) {
  if (frame == nullptr) return nullptr;
  auto* const member = header.Adopt<CNBLOCK>(name, channelType, 0, dataType, bitPosition, bitCount);
  member->Flags_Set(kBusEventChannel);
  frame->Link_CNBLOCK(member, true);
  return member;
}

CNBLOCK* BusGenerator::StaticElement_Add(HDBLOCK& header, const std::string& name, CNBLOCK* frame, double value,
                                         const char* comment) {
  if (frame == nullptr) return nullptr;
  CNBLOCK* const member = DataField(header, name, kFramePosition, 0, kVirtual, 0, frame);
  Linear_Add(header, member, value, 0, "");
  if (comment != nullptr) member->Links_SetOwned(CNBLOCK::kLinkComment, Comment_Make(comment));
  return member;
}

}  // namespace MDF
