#include "data_blocks.hpp"

#include <zlib.h>

#include <algorithm>

namespace MDF {
namespace {

constexpr int kCompressionLevel = 4;
constexpr uint32_t kOwnerIsDataGroup = 2;
constexpr uint32_t kOwnerIsChannel = 5;
// Room left behind a new DL block so that it grows in place up to its maximum number of data blocks.
constexpr int64_t kGrowthPerBlock = 32;

std::unique_ptr<DataBlock> DataBlock_Get(const Block* owner, bool compress) {
  const bool signalData = owner == nullptr || owner->Block_Type() != DG;
  if (compress) return std::make_unique<DZBLOCK>(signalData);
  if (signalData) return std::make_unique<SDBLOCK>();
  return std::make_unique<DTBLOCK>();
}

}  // namespace

bool DataBlockDynamic::Insert(std::span<const uint8_t> bytes) {
  if (uint64_t{buffer_.size()} + bytes.size() + kReserve > kCapacity) return false;
  const size_t needed = buffer_.size() + bytes.size();
  if (needed > buffer_.capacity()) {
    buffer_.reserve(std::min<size_t>(kCapacity, std::max(2 * buffer_.capacity(), needed)));
  }
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
  return true;
}

void DataBlock::Block_Reset(bool deep, BlockSet& visited) {
  Data_Length_Set(0);
  Reset();
  Block::Block_Reset(deep, visited);
}

int64_t DataBlock::Section_Write(FileStream& stream, std::span<const uint8_t> head, std::span<const uint8_t> body) {
  Data_Length_Set(static_cast<uint32_t>(head.size() + body.size()));
  const int64_t dataSection = Block::Write(stream);
  if (dataSection == 0) return 0;
  stream.Seek(dataSection);
  stream.Bytes_Write(head);
  stream.Bytes_Write(body);
  Reset();
  return stream.Position();
}

int64_t DataBlock::Write(FileStream& stream) {
  if (!stream.is_open()) return 0;
  return Section_Write(stream, {}, Buffered());
}

DZBLOCK::DZBLOCK(bool signalData) : DataBlock(DZ, "DZ"), signalData_(signalData) {}

void DZBLOCK::Block_Reset(bool deep, BlockSet& visited) {
  Block_Kind_Set(DZ, "DZ");
  DataBlock::Block_Reset(deep, visited);
}

int64_t DZBLOCK::Write(FileStream& stream) {
  if (!stream.is_open()) return IsEmpty() ? stream.Position() : 0;
  if (IsEmpty()) return stream.Position();
  if (Block_FilePos() == 0) Block_FilePos_Set(stream.NextBlockPosition());
  const std::span<const uint8_t> original = Buffered();
  // Compressed into a buffer of its own, large enough for any input, so the original stays whole when zlib fails.
  compressed_.resize(compressBound(original.size()));
  uLongf compressedLength = compressed_.size();
  const int result = compress2(compressed_.data(), &compressedLength, original.data(), original.size(),
                               kCompressionLevel);
  if (result != Z_OK || compressedLength >= original.size()) {
    Block_Kind_Set(signalData_ ? SD : DT, signalData_ ? "SD" : "DT");
    return Section_Write(stream, {}, original);
  }
  ByteWriter head(24);
  head.Chars(signalData_ ? "SD" : "DT").Put(uint8_t{0}).Put(uint8_t{0}).Put(uint32_t{0});
  head.Put(uint64_t{original.size()}).Put(uint64_t{compressedLength});
  return Section_Write(stream, head.Bytes(), std::span(compressed_.data(), compressedLength));
}

void HLBLOCK::Data_Put(ByteWriter& data) const { data.Put(uint16_t{0}).Put(uint8_t{0}).Zeros(5); }

DLBLOCK::DLBLOCK(Block* owner, uint16_t maximumBlocks, bool compress, FileStream& stream)
    : Block(DL, "DL", 2),
      owner_(owner),
      ownerLinkIndex_(owner != nullptr && owner->Block_Type() == DG ? kOwnerIsDataGroup : kOwnerIsChannel),
      maximumBlocks_(maximumBlocks == 0 ? 1 : maximumBlocks),
      current_(DataBlock_Get(owner, compress)),
      stream_(&stream) {
  Data_Length_Set(16);
  Links_Set(1, current_.get());
  if (compress) {
    headerList_ = std::make_unique<HLBLOCK>();
    headerList_->Links_Set(0, this);
  }
}

bool DLBLOCK::Insert(std::span<const uint8_t> bytes) {
  if (current_->Insert(bytes)) return true;
  if (!Write()) return false;
  return current_->Insert(bytes);
}

int64_t DLBLOCK::Write(FileStream&) { return Write() ? Block_FilePos() : 0; }

bool DLBLOCK::Write() {
  if (!stream_->is_open() || current_->IsEmpty() || !stream_->good()) return false;
  if (count_ > maximumBlocks_) {
    const uint64_t runningOffset = runningOffset_;
    Extend_List();
    runningOffset_ = runningOffset;
    offsets_ = {runningOffset_};
  }
  if (!(Block_Written() ? Write_Changed() : Write_First())) return false;
  runningOffset_ += current_->DataBytes();
  offsets_.push_back(runningOffset_);
  current_->Write(*stream_);
  Data_Length_Set(Data_Length() + 8);
  ++count_;
  blockCountInFile_ = count_;
  current_->Block_Reset(false);
  return stream_->good();
}

void DLBLOCK::Offsets_Write() {
  ByteWriter data(8 + 8 * offsets_.size());
  data.Put(uint32_t{0}).Put(blockCountInFile_);
  for (uint64_t offset : offsets_) data.Put(offset);
  stream_->Bytes_Write(data.Bytes());
}

bool DLBLOCK::Write_First() {
  FileStream& stream = *stream_;
  const int64_t end = stream.NextBlockPosition();
  bool tellOwner = false;
  if (headerList_ != nullptr && headerList_->Block_FilePos() == 0) {
    // The header list goes first; its placement walk gives this DL its place right behind it.
    headerList_->Links_Set(0, this);
    int64_t position = end;
    headerList_->Block_PlaceAndList(false, &position, nullptr);
    headerList_->Write(stream);
    tellOwner = true;
  } else if (headerList_ == nullptr && Block_FilePos() == 0) {
    Block_FilePos_Set(end);
    tellOwner = true;
  }
  Data_Length_Set(static_cast<uint32_t>(8 + 8 * offsets_.size()));
  if (current_->Block_FilePos() == 0) {
    const int64_t room = static_cast<int64_t>(Block_Length()) + (maximumBlocks_ - 1) * kGrowthPerBlock;
    current_->Block_FilePos_Set(CalcStartPos(Block_FilePos() + room));
  }
  Links_Set(1, current_.get());
  Block::Write(stream);
  Offsets_Write();
  stream.ExtendFile(current_->Block_FilePos());
  if (tellOwner && owner_ != nullptr) {
    owner_->Links_Set(ownerLinkIndex_, headerList_ != nullptr ? static_cast<Block*>(headerList_.get()) : this);
    owner_->Write(stream);
  } else if (previousNextLink_ != 0) {
    stream.Seek(previousNextLink_);
    stream.Bytes_Write(ByteWriter(8).Put(static_cast<uint64_t>(Block_FilePos())).Bytes());
  }
  return stream.good();
}

bool DLBLOCK::Write_Changed() {
  FileStream& stream = *stream_;
  const int64_t end = stream.NextBlockPosition();
  const uint64_t linkCount = uint64_t{count_} + 1;
  ByteWriter header(kBlockHeaderLength);
  header.Chars("##DL").Put(uint32_t{0}).Put(kBlockHeaderLength + 8 * linkCount + Data_Length()).Put(linkCount);
  stream.Seek(Block_FilePos());
  stream.Bytes_Write(header.Bytes());
  current_->Block_FilePos_Set(end);
  stream.Seek(Block_FilePos() + kBlockHeaderLength + 8 * count_);
  stream.Bytes_Write(ByteWriter(8).Put(static_cast<uint64_t>(current_->Block_FilePos())).Bytes());
  Offsets_Write();
  return stream.good();
}

void DLBLOCK::Extend_List() {
  previousNextLink_ = Block_FilePos() + kBlockHeaderLength;
  Block_Reset(false);
  offsets_.clear();
  Block_FilePos_Set(stream_->NextBlockPosition());
}

void DLBLOCK::Block_Reset(bool deep, BlockSet& visited) {
  Block::Block_Reset(deep, visited);
  count_ = 1;
  blockCountInFile_ = 1;
  runningOffset_ = 0;
  offsets_ = {0};
  Data_Length_Set(16);
  if (!deep) return;
  previousNextLink_ = 0;
  if (owner_ != nullptr) owner_->Links_Set(ownerLinkIndex_, nullptr);
  if (headerList_ != nullptr) headerList_->Block_Reset(false);
}

}  // namespace MDF
