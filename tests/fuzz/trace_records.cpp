// Trace records built from firmware items or taken back from a swap file, broken in any way, and written as ASC
// lines and pcapng blocks: builders and writers never read outside the bytes they were given, a record that is
// built is exactly as long as it says and holds its bus's fixed part, and an ASC line is one whole line.
// Input: byte 0 chooses the source (bits 0-1 the bus of a firmware item, bit 2 a stored record instead), byte 1 the
// ASC writer's flags; the rest is the item or record.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "asc_lines.hpp"
#include "pcapng_writer.hpp"
#include "trace_entry.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qor::trace;
  if (size < 2) return 0;
  const std::span<const uint8_t> bytes(data + 2, size - 2);
  SharedEntry entry;
  if (data[0] & 4) {
    entry = TraceEntry::fromRecord(bytes);
  } else {
    switch (data[0] & 3) {
      case 0: entry = TraceEntry::fromCanItem(7, bytes); break;
      case 1: entry = TraceEntry::fromLinItem(7, bytes); break;
      case 2: entry = TraceEntry::fromFlexRayEntry(7, bytes); break;
      default: entry = TraceEntry::fromEthernetItem(7, bytes); break;
    }
  }
  if (!entry) return 0;
  const auto record = entry->record();
  if (fieldAt<uint32_t>(record, 0) != record.size() || record.size() < sizeof(Qor_Trace_Entry_t) ||
      record.size() > QOR_TRACE_ENTRY_MAX_LENGTH) {
    std::abort();
  }
  if (entry->busType() == QOR_TRACE_BUS_LIN && (record.size() != 48 || record[32] > 9)) std::abort();

  std::string text;
  AscLine line(text, data[1] & 1);
  appendAscLine(line, *entry, {"1.000000000", static_cast<int64_t>(data[1]) - 128});
  if (!text.empty() && (text.back() != '\n' || text.find('\n') != text.size() - 1)) std::abort();
  if (text.size() > 4 * record.size() + 1024) std::abort();

  PcapngWriter pcapng(data[1] & 1, "/dev/null", 0);
  pcapng.writeEntry(*entry);
  pcapng.finish();
  return 0;
}
