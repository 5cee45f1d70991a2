// The common part of every MDF 4.10 block except the identification block: the 24-byte header, the links to other
// blocks, the block's place in the file and what must be (re)written. Block kinds add their data sections.
//
// A block does not own what it links to, except the blocks it made for itself (its name and comment texts, a
// conversion's value texts): those are kept in its own list and go with it. Structure blocks belong to the header
// block, data blocks to their data lists.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "byte_writer.hpp"
#include "file_stream.hpp"

namespace MDF {

// The block kinds in alphabetical order of their identifiers; 13 is the identification block's place.
enum blockType_t : uint32_t {
  AT = 1, CC = 2, CG = 3, CN = 4, DG = 5, DL = 6, DT = 7, DZ = 8, EV = 9, FH = 10, HD = 11, HL = 12,
  ID = 13, MD = 14, SD = 15, SI = 16, TX = 17,
};

inline constexpr int64_t kBlockHeaderLength = 24;

class Block {
 public:
  // Blocks are told apart by identity: blocks not yet placed all share position 0.
  using BlockSet = std::unordered_set<const Block*>;

  Block(blockType_t type, std::string_view letters, uint32_t linkCount);
  virtual ~Block() = default;
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;

  // Forgets the block's place for a new file; `deep` also resets the placed blocks it links to.
  virtual void Block_Reset(bool deep, BlockSet& visited);
  virtual void Block_Reset(bool deep);
  // True when the block must be written: never written, or its header or links changed.
  virtual bool WriteRequest() const;
  // Recomputes the header's length from the links and the data length.
  virtual void Block_LengthRefresh();
  // Sets a link, growing the list with null links when `index` lies beyond it.
  virtual void Links_Set(uint32_t index, Block* target);
  // Writes the header and the links (in place when already written); returns the position of the data section,
  // or 0 when the block has no place yet and nothing was written.
  virtual int64_t Write(FileStream& stream);

  blockType_t Block_Type() const { return type_; }
  int64_t Block_FilePos() const { return position_; }
  void Block_FilePos_Set(int64_t position) { position_ = position; }
  bool Block_Written() const { return written_; }
  uint64_t Block_Length();

  void Links_Add(Block* target);
  Block* Links_Get(uint32_t index) const { return index < links_.size() ? links_[index] : nullptr; }
  uint32_t Links_Count() const { return static_cast<uint32_t>(links_.size()); }
  // Links a block that this block made for itself and keeps.
  Block* Links_SetOwned(uint32_t index, std::unique_ptr<Block> target);

  // Lays out a fresh structure depth first in link order, each block at the next 8-byte boundary after `*position`
  // (blocks already placed keep their place), and lists those that must be written (all of them when `force`).
  void Block_PlaceAndList(bool force, int64_t* position, std::vector<Block*>* toWrite);
  void Block_PlaceAndList(bool force, int64_t* position, std::vector<Block*>* toWrite, BlockSet& visited);

 protected:
  void Data_Length_Set(uint32_t length) { dataLength_ = length; }
  uint32_t Data_Length() const { return dataLength_; }
  void Header_Write(FileStream& stream);
  void Links_Write(FileStream& stream);
  // A data block that could not be compressed is written as the kind it holds.
  void Block_Kind_Set(blockType_t type, std::string_view letters);

 private:
  // A data list writes its own data blocks and the lists that follow it.
  static bool IgnoreSubBlock(const Block* target);

  blockType_t type_;
  char letters_[2];
  int64_t position_ = 0;
  bool written_ = false;
  uint64_t length_ = 0;
  bool headerChanged_ = true;
  std::vector<Block*> links_;
  bool linksChanged_ = true;
  uint32_t dataLength_ = 0;
  std::vector<std::unique_ptr<Block>> owned_;
};

// A block whose data section is a fixed record made up from its fields; kinds give the record and its length.
class SectionBlock : public Block {
 public:
  using Block::Block;
  using Block::Block_Reset;

  void Block_Reset(bool deep, BlockSet& visited) override;
  bool WriteRequest() const override;
  int64_t Write(FileStream& stream) override;

 protected:
  virtual void Data_Put(ByteWriter& data) const = 0;
  void Data_Changed() { dataChanged_ = true; }

 private:
  bool dataChanged_ = true;
};

// The 64 bytes at the start of every file: identifiers, the version and the unfinalized flags.
class IDBLOCK {
 public:
  static constexpr uint16_t kVersion = 410;
  static constexpr int64_t kLength = kIdentificationBlockLength;

  IDBLOCK();

  // Writes the block at offset 0 when it changed, leaving the stream where it was.
  void Write(FileStream& stream);
  // Marks the file finalized when no unfinalized flag is left; false when the file is not sound to be marked.
  bool Finalize(FileStream& stream);
  void UnfinFlags(uint16_t flags);
  void UnfinFlags_Custom(uint16_t flags);
  void Block_Reset();

 private:
  uint8_t bytes_[kLength];
  bool mustBeWritten_ = true;
};

}  // namespace MDF
