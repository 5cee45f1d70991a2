#include "structure_blocks.hpp"

#include <algorithm>

#include "text_blocks.hpp"

namespace MDF {
namespace {

// The last block of the chain that starts at `first` and follows link `next`.
Block* Chain_Last(Block* first, uint32_t next) {
  Block* last = first;
  while (last->Links_Get(next) != nullptr) last = last->Links_Get(next);
  return last;
}

// Appends `target` to the chain whose first element is `owner`'s link `firstLink`, following link `next`.
void Chain_Append(Block& owner, uint32_t firstLink, Block* target, uint32_t next) {
  Block* const first = owner.Links_Get(firstLink);
  if (first == nullptr) owner.Links_Set(firstLink, target);
  else Chain_Last(first, next)->Links_Set(next, target);
}

constexpr uint32_t kLinkNext = 0;

}  // namespace

FHBLOCK::FHBLOCK(uint64_t time, std::string_view comment) : SectionBlock(FH, "FH", 2), time_(time) {
  Data_Length_Set(16);
  Links_SetOwned(1, Comment_Make(comment));
}

void FHBLOCK::Data_Put(ByteWriter& data) const { data.Put(time_).Put(int16_t{0}).Put(int16_t{0}).Zeros(4); }

DGBLOCK::DGBLOCK(bool recordId) : SectionBlock(DG, "DG", 4), recordIdSize_(recordId ? 1 : 0) { Data_Length_Set(8); }

void DGBLOCK::Link_DGBLOCK(DGBLOCK* group) { Chain_Last(this, kLinkNext)->Links_Set(kLinkNext, group); }

void DGBLOCK::Link_CGBLOCK(CGBLOCK* group) { Chain_Append(*this, 1, group, kLinkNext); }

void DGBLOCK::Data_Put(ByteWriter& data) const { data.Put(recordIdSize_).Zeros(7); }

CGBLOCK::CGBLOCK(std::string_view name, uint64_t recordId, uint16_t flags, uint32_t dataBytes)
    : SectionBlock(CG, "CG", 6), recordId_(recordId), flags_(flags), dataBytes_(dataBytes) {
  Data_Length_Set(32);
  Links_SetOwned(2, Text_Make(name));
}

void CGBLOCK::Link_CGBLOCK(CGBLOCK* group) { Chain_Last(this, kLinkNext)->Links_Set(kLinkNext, group); }

void CGBLOCK::Link_CNBLOCK(CNBLOCK* channel) {
  Chain_Append(*this, 1, channel, kLinkNext);
  recordsSizeDirty_ = true;
}

uint32_t CGBLOCK::RecordsSize() {
  uint32_t total = 0;
  for (Block* block = Links_Get(1); block != nullptr; block = block->Links_Get(kLinkNext)) {
    auto* const channel = static_cast<CNBLOCK*>(block);
    if (Block* member = channel->Links_Get(CNBLOCK::kLinkComposition)) {
      uint32_t end = 0;
      for (; member != nullptr; member = member->Links_Get(kLinkNext)) {
        const auto* const part = static_cast<const CNBLOCK*>(member);
        end = std::max(end, part->BitPosition() + part->BitCount());
      }
      const uint32_t bits = end > channel->BitPosition() ? end - channel->BitPosition() : 0;
      channel->BitCount_Set((bits + 7) & ~uint32_t{7});
    }
    total += channel->BitCount() / 8;
  }
  return total;
}

void CGBLOCK::Block_LengthRefresh() {
  if (recordsSizeDirty_) {
    dataBytes_ = RecordsSize();
    recordsSizeDirty_ = false;
    Data_Changed();
  }
  SectionBlock::Block_LengthRefresh();
}

void CGBLOCK::CycleCount_Set(uint64_t count) {
  cycleCount_ = count;
  Data_Changed();
}

void CGBLOCK::Data_Put(ByteWriter& data) const {
  data.Put(recordId_).Put(cycleCount_).Put(flags_).Put(uint16_t{'.'}).Zeros(4).Put(dataBytes_).Put(uint32_t{0});
}

CNBLOCK::CNBLOCK(std::string_view name, uint8_t channelType, uint8_t syncType, uint8_t dataType,
                 uint32_t bitPosition, uint32_t bitCount)
    : SectionBlock(CN, "CN", 8),
      channelType_(channelType),
      syncType_(syncType),
      dataType_(dataType),
      bitOffset_(static_cast<uint8_t>(bitPosition % 8)),
      byteOffset_(bitPosition / 8),
      bitCount_(bitCount) {
  Data_Length_Set(72);
  Links_SetOwned(2, Text_Make(name));
}

void CNBLOCK::Link_CNBLOCK(CNBLOCK* channel, bool composition) {
  if (composition) Chain_Append(*this, kLinkComposition, channel, kLinkNext);
  else Chain_Last(this, kLinkNext)->Links_Set(kLinkNext, channel);
}

void CNBLOCK::Flags_Set(uint32_t flags) {
  flags_ = flags;
  Data_Changed();
}

void CNBLOCK::ChannelType_Set(uint8_t channelType) {
  channelType_ = channelType;
  Data_Changed();
}

void CNBLOCK::BitCount_Set(uint32_t bitCount) {
  bitCount_ = bitCount;
  Data_Changed();
}

void CNBLOCK::Data_Put(ByteWriter& data) const {
  data.Put(channelType_).Put(syncType_).Put(dataType_).Put(bitOffset_).Put(byteOffset_).Put(bitCount_).Put(flags_);
  data.Put(uint32_t{0}).Put(uint8_t{0}).Put(uint8_t{0}).Put(uint16_t{0}).Zeros(6 * sizeof(double));
}

CCBLOCK::CCBLOCK(uint8_t conversionType, uint16_t flags, std::string_view unit)
    : SectionBlock(CC, "CC", kFixedLinks), conversionType_(conversionType), flags_(flags) {
  Links_SetOwned(1, Text_Make(unit));
}

void CCBLOCK::Value_Add(double value) {
  values_.push_back(value);
  Data_Changed();
}

void CCBLOCK::ValueTexts_Set(const std::vector<std::pair<double, std::string>>& rows, std::string_view defaultText) {
  values_.clear();
  uint32_t reference = kFixedLinks;
  for (const auto& [value, text] : rows) {
    values_.push_back(value);
    Links_Set(reference, nullptr);
    Links_SetOwned(reference++, Text_Make(text));
  }
  Links_Set(reference, nullptr);
  Links_SetOwned(reference, Text_Make(defaultText));
  Data_Changed();
}

void CCBLOCK::Block_LengthRefresh() {
  Data_Length_Set(static_cast<uint32_t>(24 + 8 * values_.size()));
  SectionBlock::Block_LengthRefresh();
}

void CCBLOCK::Data_Put(ByteWriter& data) const {
  data.Put(conversionType_).Put(uint8_t{0}).Put(flags_);
  data.Put(static_cast<uint16_t>(Links_Count() - kFixedLinks)).Put(static_cast<uint16_t>(values_.size()));
  data.Put(0.0).Put(0.0);
  for (double value : values_) data.Put(value);
}

SIBLOCK::SIBLOCK(std::string_view name, uint32_t channelNumber, uint8_t sourceType, uint8_t busType, uint8_t flags)
    : SectionBlock(SI, "SI", 3), sourceType_(sourceType), busType_(busType), flags_(flags) {
  Data_Length_Set(8);
  Links_SetOwned(0, Text_Make(name));
  Links_SetOwned(2, Comment_Make("<SIcomment><TX/><common_properties> <e name = \"ChannelNo\" ro = \"true\">" +
                                 std::to_string(channelNumber) + "</e > </common_properties></SIcomment>"));
}

void SIBLOCK::Data_Put(ByteWriter& data) const { data.Put(sourceType_).Put(busType_).Put(flags_).Zeros(5); }

EVBLOCK::EVBLOCK(std::string_view name, uint8_t type, uint8_t cause, uint64_t time)
    : SectionBlock(EV, "EV", kFixedLinks), type_(type), cause_(cause), time_(time) {
  Data_Length_Set(32);
  if (type == kRecording) rangeType_ = kRangeBegin;
  if (type == kRecording || type == kTrigger || type == kMarker) Name_Set(name);
}

EVBLOCK::EVBLOCK(std::string_view name, uint8_t type, uint8_t cause, uint64_t time, EVBLOCK* other)
    : SectionBlock(EV, "EV", kFixedLinks), type_(type), cause_(cause), time_(time) {
  Data_Length_Set(32);
  if (other != nullptr && type == kRecording) {
    Links_Set(kLinkRange, other);
    rangeType_ = kRangeEnd;
  } else if (other != nullptr && type == kRecordingInterrupt) {
    Links_Set(kLinkParent, other);
    rangeType_ = kRangeBegin;
  } else if (other != nullptr && type >= kAcquisitionInterrupt && type <= kStopTrigger) {
    Links_Set(kLinkParent, other);
  } else {
    empty_ = true;
    return;
  }
  Name_Set(name);
}

EVBLOCK::EVBLOCK(std::string_view name, uint8_t type, uint8_t cause, uint64_t time, EVBLOCK* parent,
                 EVBLOCK* range)
    : SectionBlock(EV, "EV", kFixedLinks), type_(type), cause_(cause), time_(time) {
  Data_Length_Set(32);
  if (type != kRecordingInterrupt || parent == nullptr || range == nullptr) {
    empty_ = true;
    return;
  }
  Links_Set(kLinkParent, parent);
  Links_Set(kLinkRange, range);
  rangeType_ = kRangeEnd;
  Name_Set(name);
}

void EVBLOCK::Name_Set(std::string_view name) { Links_SetOwned(kLinkName, Text_Make(name)); }

void EVBLOCK::ScopedBlock_Add(Block* scope) {
  Links_Add(scope);
  ++scopeCount_;
  Data_Changed();
}

void EVBLOCK::Data_Put(ByteWriter& data) const {
  if (empty_) {
    data.Zeros(Data_Length());
    return;
  }
  static constexpr double kNanoseconds = 1e-9;
  data.Put(type_).Put(uint8_t{1}).Put(rangeType_).Put(cause_).Put(uint8_t{0}).Zeros(3);
  data.Put(scopeCount_).Put(uint16_t{0}).Put(uint16_t{0}).Put(static_cast<int64_t>(time_)).Put(kNanoseconds);
}

HDBLOCK::HDBLOCK(uint64_t startTime)
    : SectionBlock(HD, "HD", 6), startTime_(startTime), relativeBase_(startTime) {
  Data_Length_Set(32);
}

void HDBLOCK::Block_Reset(bool deep) {
  Data_Changed();
  Block::Links_Set(kLinkFirstEvent, nullptr);
  lastEvent_ = nullptr;
  events_.clear();
  SectionBlock::Block_Reset(deep);
}

void HDBLOCK::Links_Set(uint32_t index, Block* target) {
  if (index == kLinkFirstDataGroup && target != nullptr) Link_DGBLOCK(static_cast<DGBLOCK*>(target));
  else if (index == kLinkFirstEvent && target != nullptr) Link_EVBLOCK(static_cast<EVBLOCK*>(target));
  else SectionBlock::Links_Set(index, target);
}

void HDBLOCK::Link_DGBLOCK(DGBLOCK* group) {
  if (Block* first = Links_Get(kLinkFirstDataGroup)) static_cast<DGBLOCK*>(first)->Link_DGBLOCK(group);
  else SectionBlock::Links_Set(kLinkFirstDataGroup, group);
}

void HDBLOCK::Link_EVBLOCK(EVBLOCK* event) {
  if (event == nullptr) return;
  if (lastEvent_ != nullptr) lastEvent_->Links_Set(kLinkNext, event);
  else SectionBlock::Links_Set(kLinkFirstEvent, event);
  lastEvent_ = event;
}

EVBLOCK* HDBLOCK::Event_Add(std::unique_ptr<EVBLOCK> event) {
  if (event == nullptr || event->IsEmpty()) return nullptr;
  EVBLOCK* const added = events_.emplace_back(std::move(event)).get();
  Link_EVBLOCK(added);
  return added;
}

void HDBLOCK::Comment_Set(std::string_view xml) {
  SectionBlock::Links_Set(kLinkComment, nullptr);
  Links_SetOwned(kLinkComment, Comment_Make(xml));
}

void HDBLOCK::StartTime_Set(uint64_t startTime) {
  startTime_ = startTime;
  Data_Changed();
}

void HDBLOCK::Data_Put(ByteWriter& data) const {
  data.Put(startTime_).Put(int16_t{0}).Put(int16_t{0}).Zeros(4).Put(0.0).Put(0.0);
}

}  // namespace MDF
