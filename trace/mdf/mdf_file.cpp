#include "mdf_file.hpp"

#include <algorithm>
#include <cstring>

#include "structure_blocks.hpp"
#include "text_blocks.hpp"

namespace MDF {
namespace {

constexpr uint8_t kRecordingCause = 4;
constexpr uint32_t kNoBus = 4;
constexpr uint64_t kMinimumSplit = 0x200000;

// The time stamp of a record that a bus took, so at least its head long.
uint64_t Record_Time(std::span<const uint8_t> record) {
  uint64_t time;
  std::memcpy(&time, record.data() + 8, sizeof time);
  return time;
}

}  // namespace

MdfFile::MdfFile(const std::string& fileName, uint64_t startTime) : MdfFile(fileName, startTime, 0) {
  maxSize_ = kDefaultMaxSize;
}

MdfFile::MdfFile(const std::string& fileName, uint64_t startTime, uint32_t maxSizeKiB)
    : maxSize_(maxSizeKiB == 0 ? 0 : MaxSize_FromKiB(maxSizeKiB)),
      header_(std::make_unique<HDBLOCK>(startTime)),
      buses_(std::make_unique<BusRoot>(header_.get(), *this)) {
  // Only a dot in the file's own name starts an extension.
  const size_t nameStart = fileName.find_last_of('/') == std::string::npos ? 0 : fileName.find_last_of('/') + 1;
  const size_t dot = fileName.find_last_of('.');
  baseName_ = dot != std::string::npos && dot >= nameStart ? fileName.substr(0, dot) : fileName;
  header_->Links_SetOwned(HDBLOCK::kLinkFileHistory,
                          std::make_unique<FHBLOCK>(startTime,
                                                    "<FHcomment><TX>created</TX><tool_id>Qor-API Trace DLL</tool_id>"
                                                    "<tool_vendor>HESTOR electronic GmbH</tool_vendor></FHcomment>"));
  beginOfRecording_ =
      header_->Event_Add(std::make_unique<EVBLOCK>("Begin of Recording", EVBLOCK::kRecording, kRecordingCause, 0));
}

MdfFile::~MdfFile() = default;

uint64_t MdfFile::MaxSize_FromKiB(uint32_t maxSizeKiB) {
  return std::max(uint64_t{maxSizeKiB} * 1024, kMinimumSplit) - (kMinimumSplit - 1);
}

void MdfFile::File_SetMaxSize(uint32_t maxSizeKiB) { maxSize_ = MaxSize_FromKiB(maxSizeKiB); }

std::string MdfFile::FileName() const {
  return iteration_ == 0 ? baseName_ + ".mf4" : baseName_ + "_" + std::to_string(iteration_) + ".mf4";
}

bool MdfFile::File_Open(uint64_t time) {
  if (!Open(FileName())) return false;
  if (beginOfRecording_ == nullptr) {
    beginOfRecording_ = header_->Event_Add(std::make_unique<EVBLOCK>(
        "Begin of Recording", EVBLOCK::kRecording, kRecordingCause, header_->RelativeTime(time)));
  }
  UnfinalizedFlags_Write();
  return true;
}

void MdfFile::UnfinalizedFlags_Write() {
  id_.UnfinFlags(is_open() ? static_cast<uint16_t>(standardFlags_ | kCycleCountsPending) : standardFlags_);
}

bool MdfFile::File_FlushData() { return buses_->Write(); }

bool MdfFile::File_Close(uint64_t time) {
  if (!is_open()) return false;
  bool result = File_FlushData();
  if (beginOfRecording_ != nullptr) {
    header_->Event_Add(std::make_unique<EVBLOCK>("End of Recording", EVBLOCK::kRecording, kRecordingCause,
                                                 header_->RelativeTime(time), beginOfRecording_));
    beginOfRecording_ = nullptr;
  }
  Write();
  result = result && good();
  if (result) {
    id_.UnfinFlags(standardFlags_);
    result = id_.Finalize(*this);
  }
  close();
  return result && good();
}

void MdfFile::Write() {
  if (!is_open()) return;
  id_.Write(*this);
  int64_t position = NextBlockPosition();
  std::vector<Block*> toWrite;
  header_->Block_PlaceAndList(false, &position, &toWrite);
  std::sort(toWrite.begin(), toWrite.end(),
            [](const Block* a, const Block* b) { return a->Block_FilePos() < b->Block_FilePos(); });
  for (Block* block : toWrite) block->Write(*this);
}

void MdfFile::FileInformationHeader(const FileInfo& info) {
  std::string text = "<HDcomment>\n";
  if (!info.comment.empty()) text += "<TX>" + Xml_Escape(info.comment) + "</TX>\n";
  text += "<common_properties>\n";
  const std::pair<const char*, const std::string*> fields[] = {
      {"author", &info.author}, {"department", &info.department}, {"project", &info.project},
      {"subject", &info.subject}};
  for (const auto& [name, value] : fields) {
    if (!value->empty()) text += std::string("<e name=\"") + name + "\">" + Xml_Escape(*value) + "</e>\n";
  }
  text += "</common_properties>\n</HDcomment>";
  header_->Comment_Set(text);
}

bool MdfFile::StartTime_Reset(uint64_t time, bool relativeBaseToo) {
  header_->StartTime_Set(time);
  if (relativeBaseToo) header_->RelativeTime_Set(time);
  return true;
}

void MdfFile::UnfinalizedFlags(uint16_t flags) {
  standardFlags_ = flags;
  UnfinalizedFlags_Write();
}

void MdfFile::UnfinalizedFlags_Custom(uint16_t flags) { id_.UnfinFlags_Custom(flags); }

bool MdfFile::Bus_Add(uint32_t channel, uint8_t busType) { return buses_->Bus_Add(channel, busType) != nullptr; }

uint64_t MdfFile::Bus_Cycles(uint32_t channel, uint8_t busType) const {
  const Bus* bus = buses_->Bus_Get(channel, busType);
  return bus == nullptr ? 0 : bus->CycleCount_Get();
}

uint32_t MdfFile::Bus_Type(uint32_t channel, uint8_t busType) const {
  const Bus* bus = buses_->Bus_Get(channel, busType);
  return bus == nullptr ? kNoBus : bus->BusType_Get();
}

void MdfFile::Bus_Reset() { buses_->Bus_Reset(); }

bool MdfFile::Event_Link(std::unique_ptr<EVBLOCK> created, const Bus* scope) {
  // An event without the parent or range it needs is empty and refused.
  if (created->IsEmpty()) return false;
  if (scope != nullptr) scope->Event_ScopeAdd(created.get());
  return header_->Event_Add(std::move(created)) != nullptr;
}

bool MdfFile::Event(const std::string& name, uint8_t kind, uint8_t cause, uint64_t time) {
  const uint64_t at = header_->RelativeTime(time);
  switch (kind) {
    case 1: return Event_Link(std::make_unique<EVBLOCK>("", EVBLOCK::kAcquisitionInterrupt, cause, at), nullptr);
    case 2: return Event_Link(std::make_unique<EVBLOCK>(name, EVBLOCK::kMarker, cause, at), nullptr);
    case 4:
      return Event_Link(std::make_unique<EVBLOCK>(name, EVBLOCK::kStartTrigger, cause, at, beginOfRecording_),
                        nullptr);
    case 5:
      return Event_Link(std::make_unique<EVBLOCK>(name, EVBLOCK::kStopTrigger, cause, at, beginOfRecording_),
                        nullptr);
    case 6: return Event_Link(std::make_unique<EVBLOCK>(name, EVBLOCK::kTrigger, cause, at), nullptr);
    default: return false;
  }
}

bool MdfFile::Event(const std::string& name, uint8_t kind, uint8_t cause, uint64_t time, uint32_t channel,
                    uint8_t busType) {
  const Bus* bus = buses_->Bus_Get(channel, busType);
  if (bus == nullptr) return false;
  const uint64_t at = header_->RelativeTime(time);
  switch (kind) {
    case 1:
      return Event_Link(
          std::make_unique<EVBLOCK>(name, EVBLOCK::kAcquisitionInterrupt, cause, at, beginOfRecording_), bus);
    case 2: return Event_Link(std::make_unique<EVBLOCK>(name, EVBLOCK::kMarker, cause, at), bus);
    case 4: {
      if (openInterrupt_ != nullptr) return false;
      auto begin = std::make_unique<EVBLOCK>(name, EVBLOCK::kRecordingInterrupt, cause, at, beginOfRecording_);
      EVBLOCK* const opened = begin.get();
      if (!Event_Link(std::move(begin), bus)) return false;
      openInterrupt_ = opened;
      return true;
    }
    case 5: {
      if (openInterrupt_ == nullptr) return false;
      // The end of the range is listed like every other event; the range stays open when it cannot be.
      if (!Event_Link(std::make_unique<EVBLOCK>(name, EVBLOCK::kRecordingInterrupt, cause, at, beginOfRecording_,
                                                openInterrupt_),
                      bus)) {
        return false;
      }
      openInterrupt_ = nullptr;
      return true;
    }
    case 6: return Event_Link(std::make_unique<EVBLOCK>(name, EVBLOCK::kTrigger, cause, at), bus);
    default: return false;
  }
}

bool MdfFile::Data_Insert(const Qor_Trace_Entry_t& entry) {
  return Data_Insert(std::span(reinterpret_cast<const uint8_t*>(&entry), entry.length));
}

bool MdfFile::Data_Insert(std::span<const uint8_t> record) {
  if (!good() || !buses_->Data_Insert(record)) return false;
  if (!firstInsertionDone_ && maxSize_ == 1 && is_open()) maxSize_ = 4 * static_cast<uint64_t>(EndOfFile());
  firstInsertionDone_ = true;
  return FileIterationHandler(Record_Time(record));
}

bool MdfFile::Data_Insert(uint32_t channel, uint8_t busType, std::span<const uint8_t> record) {
  Bus* const bus = buses_->Bus_Get(channel, busType);
  if (!good() || bus == nullptr || !buses_->Data_Insert(bus, record)) return false;
  if (!firstInsertionDone_ && is_open() && maxSize_ != 0 && maxSize_ < static_cast<uint64_t>(EndOfFile())) {
    maxSize_ = static_cast<uint64_t>(EndOfFile()) + 1024;
  }
  firstInsertionDone_ = true;
  return FileIterationHandler(Record_Time(record));
}

bool MdfFile::FileIterationHandler(uint64_t time) {
  if (!written) return true;
  written = false;
  if (maxSize_ == 0 || static_cast<uint64_t>(EndOfFile()) < maxSize_) return good();
  const bool flushed = File_Close(time);
  id_.Block_Reset();
  header_->Block_Reset(true);
  openInterrupt_ = nullptr;
  ++iteration_;
  if (!File_Open(time)) return false;
  buses_->Bus_Reset();
  Write();
  written = false;
  return flushed && good();
}

}  // namespace MDF
