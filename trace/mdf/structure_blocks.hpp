// The blocks that describe a recording: the header (HD) with its file history (FH), events (EV) and data groups
// (DG); per data group its channel groups (CG) with their channels (CN), conversions (CC) and sources (SI).
// Names become TX blocks and comments MD blocks of the block that carries them, only when not empty.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "block.hpp"

namespace MDF {

class DGBLOCK;
class EVBLOCK;

class FHBLOCK : public SectionBlock {
 public:
  FHBLOCK(uint64_t time, std::string_view comment);

 protected:
  void Data_Put(ByteWriter& data) const override;

 private:
  uint64_t time_;
};

class CGBLOCK;
class CNBLOCK;

class DGBLOCK : public SectionBlock {
 public:
  static constexpr uint32_t kLinkData = 2;

  explicit DGBLOCK(bool recordId);
  // Appends a data group at the end of the chain that starts here.
  void Link_DGBLOCK(DGBLOCK* group);
  void Link_CGBLOCK(CGBLOCK* group);

 protected:
  void Data_Put(ByteWriter& data) const override;

 private:
  uint8_t recordIdSize_;
};

class CGBLOCK : public SectionBlock {
 public:
  static constexpr uint32_t kLinkSource = 3;

  CGBLOCK(std::string_view name, uint64_t recordId, uint16_t flags, uint32_t dataBytes);
  void Link_CGBLOCK(CGBLOCK* group);
  void Link_CNBLOCK(CNBLOCK* channel);
  void Block_LengthRefresh() override;
  // Bytes of one record: the channels' widths, each composition as wide as its members reach.
  uint32_t RecordsSize();
  uint64_t CycleCount() const { return cycleCount_; }
  void CycleCount_Set(uint64_t count);
  uint32_t DataBytes() const { return dataBytes_; }

 protected:
  void Data_Put(ByteWriter& data) const override;

 private:
  uint64_t recordId_;
  uint64_t cycleCount_ = 0;
  uint16_t flags_;
  uint32_t dataBytes_;
  bool recordsSizeDirty_ = true;
};

class CNBLOCK : public SectionBlock {
 public:
  static constexpr uint32_t kLinkComposition = 1;
  static constexpr uint32_t kLinkSource = 3;
  static constexpr uint32_t kLinkConversion = 4;
  static constexpr uint32_t kLinkData = 5;
  static constexpr uint32_t kLinkUnit = 6;
  static constexpr uint32_t kLinkComment = 7;

  CNBLOCK(std::string_view name, uint8_t channelType, uint8_t syncType, uint8_t dataType, uint32_t bitPosition,
          uint32_t bitCount);
  // Appends a channel to this channel's composition (`composition`) or to the chain of its next channels.
  void Link_CNBLOCK(CNBLOCK* channel, bool composition);
  void Flags_Set(uint32_t flags);
  void ChannelType_Set(uint8_t channelType);
  uint32_t BitPosition() const { return 8 * byteOffset_ + bitOffset_; }
  uint32_t BitCount() const { return bitCount_; }
  void BitCount_Set(uint32_t bitCount);

 protected:
  void Data_Put(ByteWriter& data) const override;

 private:
  uint8_t channelType_;
  uint8_t syncType_;
  uint8_t dataType_;
  uint8_t bitOffset_;
  uint32_t byteOffset_;
  uint32_t bitCount_;
  uint32_t flags_ = 0;
};

class CCBLOCK : public SectionBlock {
 public:
  static constexpr uint8_t kLinear = 1;
  static constexpr uint8_t kValueToText = 7;

  CCBLOCK(uint8_t conversionType, uint16_t flags, std::string_view unit);
  void Value_Add(double value);
  // A value-to-text table: one value and one text per row, then the default text (none when empty).
  void ValueTexts_Set(const std::vector<std::pair<double, std::string>>& rows, std::string_view defaultText);
  void Block_LengthRefresh() override;

 protected:
  void Data_Put(ByteWriter& data) const override;

 private:
  static constexpr uint32_t kFixedLinks = 4;

  uint8_t conversionType_;
  uint16_t flags_;
  std::vector<double> values_;
};

class SIBLOCK : public SectionBlock {
 public:
  SIBLOCK(std::string_view name, uint32_t channelNumber, uint8_t sourceType, uint8_t busType, uint8_t flags);

 protected:
  void Data_Put(ByteWriter& data) const override;

 private:
  uint8_t sourceType_;
  uint8_t busType_;
  uint8_t flags_;
};

class EVBLOCK : public SectionBlock {
 public:
  // Event types and range types as the file names them.
  static constexpr uint8_t kRecording = 0;
  static constexpr uint8_t kRecordingInterrupt = 1;
  static constexpr uint8_t kAcquisitionInterrupt = 2;
  static constexpr uint8_t kStartTrigger = 3;
  static constexpr uint8_t kStopTrigger = 4;
  static constexpr uint8_t kTrigger = 5;
  static constexpr uint8_t kMarker = 6;
  static constexpr uint8_t kRangePoint = 0;
  static constexpr uint8_t kRangeBegin = 1;
  static constexpr uint8_t kRangeEnd = 2;

  // A stand-alone event: a recording begins a range; triggers and markers are points; other types are left
  // without a name.
  EVBLOCK(std::string_view name, uint8_t type, uint8_t cause, uint64_t time);
  // The end of the recording range `other`, or an event below the parent `other`. Other types, or no `other`,
  // leave an empty event (type 0, sync type 0), which callers must not link.
  EVBLOCK(std::string_view name, uint8_t type, uint8_t cause, uint64_t time, EVBLOCK* other);
  // The end of a recording interrupt below `parent` that began with `range`.
  EVBLOCK(std::string_view name, uint8_t type, uint8_t cause, uint64_t time, EVBLOCK* parent, EVBLOCK* range);

  void ScopedBlock_Add(Block* scope);
  bool IsEmpty() const { return empty_; }

 protected:
  void Data_Put(ByteWriter& data) const override;

 private:
  static constexpr uint32_t kLinkParent = 1;
  static constexpr uint32_t kLinkRange = 2;
  static constexpr uint32_t kLinkName = 3;
  static constexpr uint32_t kFixedLinks = 5;

  void Name_Set(std::string_view name);

  uint8_t type_;
  uint8_t rangeType_ = kRangePoint;
  uint8_t cause_;
  uint32_t scopeCount_ = 0;
  uint64_t time_;
  bool empty_ = false;
};

class HDBLOCK : public SectionBlock {
 public:
  static constexpr uint32_t kLinkFirstDataGroup = 0;
  static constexpr uint32_t kLinkFileHistory = 1;
  static constexpr uint32_t kLinkFirstEvent = 4;
  static constexpr uint32_t kLinkComment = 5;

  explicit HDBLOCK(uint64_t startTime = 0);

  using SectionBlock::Block_Reset;
  // For a new file: the event list is emptied and the whole structure forgets its place.
  void Block_Reset(bool deep) override;
  // Index 0 appends a data group to the chain and index 4 an event to the list.
  void Links_Set(uint32_t index, Block* target) override;
  void Link_DGBLOCK(DGBLOCK* group);
  void Link_EVBLOCK(EVBLOCK* event);

  // The header owns the structure below it.
  template <typename T, typename... Args>
  T* Adopt(Args&&... args) {
    auto block = std::make_unique<T>(std::forward<Args>(args)...);
    T* const adopted = block.get();
    structure_.push_back(std::move(block));
    return adopted;
  }
  // Takes an event and appends it to the event list; an empty event is refused (null).
  EVBLOCK* Event_Add(std::unique_ptr<EVBLOCK> event);
  void Comment_Set(std::string_view xml);

  void StartTime_Set(uint64_t startTime);
  // Times at or after the base count from it; earlier times are taken as relative already.
  uint64_t RelativeTime(uint64_t time) const { return time >= relativeBase_ ? time - relativeBase_ : time; }
  void RelativeTime_Set(uint64_t base) { relativeBase_ = base; }

 protected:
  void Data_Put(ByteWriter& data) const override;

 private:
  uint64_t startTime_;
  uint64_t relativeBase_;
  EVBLOCK* lastEvent_ = nullptr;
  std::vector<std::unique_ptr<Block>> structure_;
  std::vector<std::unique_ptr<EVBLOCK>> events_;
};

}  // namespace MDF
