// What the MDF writer does with trace records of any content: each record is routed to its bus and written as the
// records of its kind, every field read within the record's own length. The input is a stream of records, each
// after a u16 length; the record's head (length, channel, time, bus type) is the fuzzer's too.
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

#include "mdf_file.hpp"

namespace {

MDF::MdfFile& recording() {
  static const std::unique_ptr<MDF::MdfFile> file = [] {
    auto created = std::make_unique<MDF::MdfFile>("/tmp/mdf_fuzz.mf4", 0, 4096);
    created->File_Open(0);
    for (uint32_t channel : {0u, 1u}) {
      for (uint8_t busType : {uint8_t{0}, uint8_t{1}, uint8_t{2}, uint8_t{99}}) created->Bus_Add(channel, busType);
    }
    created->Write();
    return created;
  }();
  return *file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MDF::MdfFile& file = recording();
  std::span<const uint8_t> input(data, size);
  while (input.size() >= 2) {
    uint16_t length;
    std::memcpy(&length, input.data(), sizeof length);
    input = input.subspan(2);
    const std::span<const uint8_t> record = input.first(std::min<size_t>(length, input.size()));
    input = input.subspan(record.size());
    file.Data_Insert(record);
  }
  file.File_FlushData();
  return 0;
}
