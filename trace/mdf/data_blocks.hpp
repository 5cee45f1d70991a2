// Record data on its way to the file: data blocks that collect records in a 2 MiB buffer (DT for a data group's
// records, SD for a channel's signal data, DZ for either compressed with zlib), and the data list (DL) that writes
// each full block and lists it, chaining further DL blocks behind a header list (HL) when compressing.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "block.hpp"

namespace MDF {

class DataBlockDynamic {
 public:
  static constexpr uint32_t kCapacity = 0x200000;
  // Bytes that always stay free in the buffer.
  static constexpr uint32_t kReserve = 48;

  DataBlockDynamic() = default;
  virtual ~DataBlockDynamic() = default;

  // Appends the bytes when they fit, else changes nothing and returns false.
  bool Insert(std::span<const uint8_t> bytes);
  uint32_t DataBytes() const { return static_cast<uint32_t>(buffer_.size()); }
  bool IsEmpty() const { return buffer_.empty(); }
  // Keeps the memory for the next block of the group.
  void Reset() { buffer_.clear(); }

 protected:
  std::span<const uint8_t> Buffered() const { return buffer_; }

 private:
  // Grows as data come: groups that record little never hold the whole capacity.
  std::vector<uint8_t> buffer_;
};

// A plain data block: its data section is the buffered bytes.
class DataBlock : public Block, public DataBlockDynamic {
 public:
  DataBlock(blockType_t type, std::string_view letters) : Block(type, letters, 0) {}

  using Block::Block_Reset;
  // Forgets the place and the buffered bytes, ready to collect the next block.
  void Block_Reset(bool deep, BlockSet& visited) override;
  // Writes the block at its place and empties the buffer; 0 when the file is not open or the block has no place.
  int64_t Write(FileStream& stream) override;

 protected:
  int64_t Section_Write(FileStream& stream, std::span<const uint8_t> head, std::span<const uint8_t> body);
};

class DTBLOCK : public DataBlock {
 public:
  DTBLOCK() : DataBlock(DT, "DT") {}
};

class SDBLOCK : public DataBlock {
 public:
  SDBLOCK() : DataBlock(SD, "SD") {}
};

class DZBLOCK : public DataBlock {
 public:
  // `signalData` chooses what the block holds once inflated: SD, else DT.
  explicit DZBLOCK(bool signalData);

  void Block_Reset(bool deep, BlockSet& visited) override;
  // Compresses and writes the buffered bytes, at the next 8-byte boundary after the end when not placed. Data
  // that does not shrink, or that zlib refuses, goes to the file plain as the kind it holds.
  int64_t Write(FileStream& stream) override;

 private:
  bool signalData_;
  std::vector<uint8_t> compressed_;
};

class HLBLOCK : public SectionBlock {
 public:
  HLBLOCK() : SectionBlock(HL, "HL", 1) { Data_Length_Set(8); }

 protected:
  void Data_Put(ByteWriter& data) const override;
};

class DLBLOCK : public Block {
 public:
  // `owner` is the data group (its records) or the channel (its signal data) that receives the list when it is
  // first written.
  DLBLOCK(Block* owner, uint16_t maximumBlocks, bool compress, FileStream& stream);

  // Appends a whole record (or signal-data value); writes the full block first when it does not fit.
  bool Insert(std::span<const uint8_t> bytes);
  // Writes the current data block and lists it; false when nothing was buffered or the file failed.
  bool Write();
  // The block form writes to the list's own stream; the DL's position, or 0 when nothing was written.
  int64_t Write(FileStream& stream) override;
  // A data list writes itself when its block is full or flushed, never as part of the structure.
  bool WriteRequest() const override { return false; }
  using Block::Block_Reset;
  // For a new file: the chain starts again; `deep` also takes the list away from its owner.
  void Block_Reset(bool deep, BlockSet& visited) override;

 private:
  bool Write_First();
  bool Write_Changed();
  void Extend_List();
  void Offsets_Write();

  Block* owner_;
  uint32_t ownerLinkIndex_;
  uint16_t maximumBlocks_;
  uint16_t count_ = 1;
  uint32_t blockCountInFile_ = 1;
  std::vector<uint64_t> offsets_{0};
  uint64_t runningOffset_ = 0;
  int64_t previousNextLink_ = 0;
  std::unique_ptr<HLBLOCK> headerList_;
  std::unique_ptr<DataBlock> current_;
  FileStream* stream_;
};

}  // namespace MDF
