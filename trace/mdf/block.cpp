#include "block.hpp"

#include <cstring>

namespace MDF {

Block::Block(blockType_t type, std::string_view letters, uint32_t linkCount)
    : type_(type), letters_{letters.at(0), letters.at(1)}, links_(linkCount, nullptr) {}

void Block::Block_Reset(bool deep, BlockSet& visited) {
  position_ = 0;
  written_ = false;
  headerChanged_ = true;
  linksChanged_ = true;
  visited.insert(this);
  if (!deep) return;
  for (Block*& target : links_) {
    if (target == nullptr || target->position_ == 0 || visited.contains(target)) continue;
    // Resetting a data list may clear this very link.
    const blockType_t kind = target->type_;
    target->Block_Reset(true, visited);
    // The data lists start again in the next file.
    if (kind == DL || kind == HL) target = nullptr;
  }
}

void Block::Block_Reset(bool deep) {
  BlockSet visited;
  Block_Reset(deep, visited);
}

void Block::Block_Kind_Set(blockType_t type, std::string_view letters) {
  type_ = type;
  letters_[0] = letters.at(0);
  letters_[1] = letters.at(1);
  headerChanged_ = true;
}

bool Block::WriteRequest() const { return !written_ || headerChanged_ || linksChanged_; }

void Block::Block_LengthRefresh() {
  const uint64_t length = kBlockHeaderLength + 8 * links_.size() + dataLength_;
  if (length != length_) headerChanged_ = true;
  length_ = length;
}

uint64_t Block::Block_Length() {
  Block_LengthRefresh();
  return length_;
}

void Block::Links_Set(uint32_t index, Block* target) {
  if (index >= links_.size()) links_.resize(index + 1, nullptr);
  links_[index] = target;
  linksChanged_ = true;
}

void Block::Links_Add(Block* target) { Links_Set(Links_Count(), target); }

Block* Block::Links_SetOwned(uint32_t index, std::unique_ptr<Block> target) {
  if (target == nullptr) return nullptr;
  Block* const linked = owned_.emplace_back(std::move(target)).get();
  Links_Set(index, linked);
  return linked;
}

bool Block::IgnoreSubBlock(const Block* target) {
  const blockType_t type = target->type_;
  return type == DL || type == DT || type == DZ || type == SD;
}

void Block::Block_PlaceAndList(bool force, int64_t* position, std::vector<Block*>* toWrite) {
  BlockSet visited;
  Block_PlaceAndList(force, position, toWrite, visited);
}

void Block::Block_PlaceAndList(bool force, int64_t* position, std::vector<Block*>* toWrite, BlockSet& visited) {
  if (position != nullptr) {
    Block_LengthRefresh();
    if (position_ == 0) {
      position_ = CalcStartPos(*position);
      *position = position_ + static_cast<int64_t>(length_);
    }
  }
  if (toWrite != nullptr && (force || WriteRequest())) toWrite->push_back(this);
  visited.insert(this);
  for (Block* target : links_) {
    if (target == nullptr || visited.contains(target)) continue;
    if (type_ == DL && IgnoreSubBlock(target)) continue;
    target->Block_PlaceAndList(force, position, toWrite, visited);
  }
}

void Block::Header_Write(FileStream& stream) {
  ByteWriter header(kBlockHeaderLength);
  header.Chars("##").Put(letters_[0]).Put(letters_[1]).Put(uint32_t{0}).Put(length_).Put(uint64_t{links_.size()});
  stream.Bytes_Write(header.Bytes());
  headerChanged_ = false;
}

void Block::Links_Write(FileStream& stream) {
  ByteWriter links(8 * links_.size());
  for (const Block* target : links_) links.Put(static_cast<uint64_t>(target == nullptr ? 0 : target->position_));
  stream.Bytes_Write(links.Bytes());
  linksChanged_ = false;
}

int64_t Block::Write(FileStream& stream) {
  if (position_ == 0) return 0;
  Block_LengthRefresh();
  const int64_t dataSection = position_ + kBlockHeaderLength + 8 * static_cast<int64_t>(links_.size());
  if (!written_) {
    if (position_ > stream.EndOfFile()) stream.ExtendFile(position_);
    else stream.Seek(position_);
    Header_Write(stream);
    Links_Write(stream);
    written_ = true;
    return dataSection;
  }
  if (headerChanged_) {
    stream.Seek(position_);
    Header_Write(stream);
  }
  if (linksChanged_) {
    stream.Seek(position_ + kBlockHeaderLength);
    Links_Write(stream);
  }
  return dataSection;
}

void SectionBlock::Block_Reset(bool deep, BlockSet& visited) {
  dataChanged_ = true;
  Block::Block_Reset(deep, visited);
}

bool SectionBlock::WriteRequest() const { return Block::WriteRequest() || dataChanged_; }

int64_t SectionBlock::Write(FileStream& stream) {
  if (!WriteRequest() || !stream.is_open()) return 0;
  const int64_t dataSection = Block::Write(stream);
  // A block without a place writes nothing, least of all its data at offset 0.
  if (dataSection == 0 || !dataChanged_) return dataSection;
  ByteWriter data(Data_Length());
  Data_Put(data);
  stream.Seek(dataSection);
  stream.Bytes_Write(data.Bytes());
  dataChanged_ = false;
  return stream.Position();
}

IDBLOCK::IDBLOCK() {
  std::memset(bytes_, 0, sizeof bytes_);
  std::memcpy(bytes_, "UnFinMF ", 8);
  std::memcpy(bytes_ + 8, "4.10    ", 8);
  std::memcpy(bytes_ + 16, "Qor_API", 7);
  std::memcpy(bytes_ + 28, &kVersion, sizeof kVersion);
}

void IDBLOCK::Write(FileStream& stream) {
  if (!mustBeWritten_ || !stream.is_open()) return;
  const int64_t resume = stream.Position();
  stream.Seek(0);
  stream.Bytes_Write(bytes_);
  if (resume > 0) stream.Seek(resume);
  mustBeWritten_ = false;
}

bool IDBLOCK::Finalize(FileStream& stream) {
  if (!stream.is_open()) return false;
  Write(stream);
  if (!stream.good()) return false;
  uint16_t standard, custom;
  std::memcpy(&standard, bytes_ + 60, 2);
  std::memcpy(&custom, bytes_ + 62, 2);
  if (standard != 0 || custom != 0) return true;
  const int64_t resume = stream.Position();
  stream.flush();
  // Only a file whose every byte reached the disk is marked finalized.
  if (!stream.good()) return false;
  stream.Seek(0);
  stream.write("MDF     ", 8);
  if (resume > 0) stream.Seek(resume);
  stream.flush();
  return stream.good();
}

void IDBLOCK::UnfinFlags(uint16_t flags) {
  std::memcpy(bytes_ + 60, &flags, 2);
  mustBeWritten_ = true;
}

void IDBLOCK::UnfinFlags_Custom(uint16_t flags) {
  std::memcpy(bytes_ + 62, &flags, 2);
  mustBeWritten_ = true;
}

void IDBLOCK::Block_Reset() {
  UnfinFlags(0);
  UnfinFlags_Custom(0);
}

}  // namespace MDF
