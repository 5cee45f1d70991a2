// One recording of bus trace records as MDF 4.10 files: the identification block, the header with its file
// history, events and one bus-logging structure per bus, and the data written through compressed data lists. A
// file that reaches its size limit is closed and the recording goes on in the next file, named with a running
// number: log.mf4, log_1.mf4, log_2.mf4, ...
//
// Order of use: construct; optionally FileInformationHeader; File_Open; Bus_Add for each bus; Write; Data_Insert
// and Event in time order; File_Close. Single-threaded; results are reported as bool, nothing is thrown but
// std::bad_alloc. No exported function creates it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "bus.hpp"
#include "qor_trace_entry.h"

namespace MDF {

struct FileInfo {
  std::string author;
  std::string department;
  std::string project;
  std::string subject;
  std::string comment;
};

class MdfFile : public FileStream {
 public:
  static constexpr uint64_t kDefaultMaxSize = 0x7FE00000;
  // Standard unfinalized flag kept while a file is being recorded: the cycle counts are not final yet.
  static constexpr uint16_t kCycleCountsPending = 0x0001;

  MdfFile(const std::string& fileName, uint64_t startTime);
  // `maxSizeKiB` 0: no size limit.
  MdfFile(const std::string& fileName, uint64_t startTime, uint32_t maxSizeKiB);
  ~MdfFile() override;

  void File_SetMaxSize(uint32_t maxSizeKiB);
  // The file size in bytes at which the recording goes on in the next file; 0: no limit.
  uint64_t File_MaxSize() const { return maxSize_; }
  bool File_Open(uint64_t time);
  // Ends the recording range, writes everything and closes; the file is marked finalized only when every byte
  // was written. False when anything failed.
  bool File_Close(uint64_t time);
  bool File_FlushData();
  // Places and writes every block that needs writing.
  void Write();
  void FileInformationHeader(const FileInfo& info);
  bool StartTime_Reset(uint64_t time, bool relativeBaseToo);
  void UnfinalizedFlags(uint16_t flags);
  void UnfinalizedFlags_Custom(uint16_t flags);

  bool Bus_Add(uint32_t channel, uint8_t busType);
  uint64_t Bus_Cycles(uint32_t channel, uint8_t busType) const;
  // The bus's type; 4 when there is no such bus.
  uint32_t Bus_Type(uint32_t channel, uint8_t busType) const;
  void Bus_Reset();

  // Event kinds: 1 acquisition interrupt, 2 marker, 4 start, 5 stop, 6 trigger. With a bus, 4 and 5 begin and
  // end a recording interrupt of that bus instead.
  bool Event(const std::string& name, uint8_t kind, uint8_t cause, uint64_t time);
  bool Event(const std::string& name, uint8_t kind, uint8_t cause, uint64_t time, uint32_t channel,
             uint8_t busType);

  // The record is `entry.length` bytes long, as every trace record.
  bool Data_Insert(const Qor_Trace_Entry_t& entry);
  bool Data_Insert(std::span<const uint8_t> record);
  bool Data_Insert(uint32_t channel, uint8_t busType, std::span<const uint8_t> record);

  std::string FileName() const;

 private:
  static uint64_t MaxSize_FromKiB(uint32_t maxSizeKiB);
  // Splits the recording when the file reached its limit; true when the record stands stored.
  bool FileIterationHandler(uint64_t time);
  bool Event_Link(std::unique_ptr<EVBLOCK> created, const Bus* scope);
  void UnfinalizedFlags_Write();

  uint64_t maxSize_;
  uint64_t iteration_ = 0;
  std::string baseName_;
  bool firstInsertionDone_ = false;
  uint16_t standardFlags_ = 0;
  IDBLOCK id_;
  std::unique_ptr<HDBLOCK> header_;
  std::unique_ptr<BusRoot> buses_;
  EVBLOCK* beginOfRecording_ = nullptr;
  EVBLOCK* openInterrupt_ = nullptr;
};

}  // namespace MDF
