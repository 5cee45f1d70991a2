#include "list_view.hpp"

#include "record_packer.hpp"

namespace qor::trace {

void ListView::update(const Round& round) {
  for (const auto& [key, entry] : round) {
    const auto [held, inserted] = entries_.try_emplace(key, entry);
    if (inserted) continue;
    entry->setRelativeTimestamp(*entry, *held->second);
    held->second = entry;
  }
}

void ListView::getItems(uint32_t start, uint32_t& count, uint32_t& size, uint8_t* buffer) const {
  const size_t available = entries_.size();
  if (start > available) {
    count = 0;
    size = 0;
    return;
  }
  const size_t take = count != 0 && size_t{start} + count <= available ? count : available - start;
  RecordPacker packer(buffer, size);
  count = 0;
  try {
    auto position = std::next(entries_.begin(), start);
    for (; count < take; ++count, ++position) packer.add(position->second->record());
  } catch (...) {
    size = static_cast<uint32_t>(packer.used());
    throw;
  }
  size = static_cast<uint32_t>(packer.used());
}

}  // namespace qor::trace
