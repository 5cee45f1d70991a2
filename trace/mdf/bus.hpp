// The buses of one recording: each bus keeps the channel groups built for it (one per kind of bus event, each
// with a data list for its records and, for frames with a variable-length payload, one for that signal data) and
// turns trace records into records of those groups. `BusRoot` keys the buses by channel and bus type.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <vector>

#include "data_blocks.hpp"
#include "structure_blocks.hpp"

namespace MDF {

class Bus {
 public:
  struct Info {
    enum busType_t : uint32_t { CAN = 0, LIN = 1, FlexRay = 2, Test = 99 };
  };
  // Data blocks per DL block in every data list of a bus.
  static constexpr uint16_t kBlocksPerList = 4;

  // The first channel group; `signalChannel` (may be null) receives a signal-data list.
  Bus(uint32_t channel, uint32_t type, DGBLOCK* group, CNBLOCK* signalChannel, FileStream& stream);
  void Channel_New(DGBLOCK* group, FileStream& stream);

  uint32_t BusChannel_Get() const { return channel_; }
  uint32_t BusType_Get() const { return type_; }
  uint64_t CycleCount_Get() const;

  // Writes the trace record (its whole bytes) as a record of its kind at `time` (ns from the recording's base);
  // false when the record has no kind here or could not be stored, and then nothing of it is stored.
  bool Data_Insert(std::span<const uint8_t> record, uint64_t time);
  // Writes every list's partly filled data block (the stream tells whether the file took it).
  void Write();
  // Gives each channel group its cycle count, rewriting the CG in place when it changed.
  void Block_Refresh(FileStream& stream);
  // The event applies to every channel group of the bus.
  void Event_ScopeAdd(EVBLOCK* event) const;
  // For a new file: cycle counts and signal-data offsets start again.
  void Reset();

 private:
  struct ChannelGroup {
    DGBLOCK* dataGroup;
    std::unique_ptr<DLBLOCK> records;
    std::unique_ptr<DLBLOCK> signalData;
    uint64_t cycleCount = 0;
    uint64_t signalBytes = 0;
  };

  bool Can_Insert(std::span<const uint8_t> record, uint64_t time);
  bool Lin_Insert(std::span<const uint8_t> record, uint64_t time);
  bool FlexRay_Insert(std::span<const uint8_t> record, uint64_t time);
  // Stores one record of group `kind`, after its value in signal data when it has one.
  bool Record_Store(size_t kind, const ByteWriter& record, std::span<const uint8_t> signalValue = {});

  uint32_t channel_;
  uint32_t type_;
  std::vector<ChannelGroup> groups_;
};

class BusRoot {
 public:
  using channelKey_t = uint64_t;

  BusRoot(HDBLOCK* header, FileStream& stream);
  ~BusRoot();

  static channelKey_t Key(uint32_t channel, uint8_t busType) { return channel | (channelKey_t{busType} << 32); }

  // Builds the bus's structure behind the latest data group; null when the key is taken or the type unknown.
  Bus* Bus_Add(uint32_t channel, uint8_t busType);
  Bus* Bus_Get(uint32_t channel, uint8_t busType) const;
  // Routes the whole record to the bus of its channel and bus type.
  bool Data_Insert(std::span<const uint8_t> record);
  bool Data_Insert(Bus* bus, std::span<const uint8_t> record);
  // Writes every bus's open data blocks and cycle counts and flushes; false when the file failed.
  bool Write();
  void Bus_Write();
  void Bus_Reset();

  uint8_t NextID() { return ++recordId_; }
  Block* LatestHierarchieElement() const { return latest_; }
  void LatestHierarchieElement(Block* element) { latest_ = element; }
  FileStream& Get_FileStream() { return stream_; }
  HDBLOCK& Header() { return *header_; }

 private:
  FileStream& stream_;
  Block* latest_;
  uint8_t recordId_ = 0;
  std::map<channelKey_t, std::unique_ptr<Bus>> buses_;
  HDBLOCK* header_;
};

}  // namespace MDF
