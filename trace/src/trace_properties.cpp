// The trace's properties: counts, the flushes, the memory limit, the live ASC file and the MDF values (kept and
// returned; nothing else reads them while the MDF export is not available). Failures belong to no port.
#include <algorithm>
#include <cstring>
#include <limits>

#include "trace_export.hpp"
#include "trace_monitor.hpp"

namespace qor::trace {
namespace {

enum PropertyId : uint16_t {
  kEntryCount = 0,
  kListEntryCount = 1,
  kDiscardTrace = 2,
  kDiscardList = 3,
  kMemoryLimit = 4,
  kAscFileName = 5,
  kAscMaxFileSize = 6,
  kMdfFileName = 7,
  kMdfValue = 8,
  kMdfAuthor = 9,
  kMdfSubject = 12,
};

bool isText(uint16_t id) { return id == kAscFileName || id == kMdfFileName || id >= kMdfAuthor; }

void checkKnown(uint16_t id) {
  if (id > kMdfSubject) throw TraceException(kNoPort, kUnknownId, "");
}

void checkLength(uint32_t length, uint32_t minimum) {
  if (length < minimum) {
    throw TraceException(kNoPort, kInvalidParameter, "minimum length is " + std::to_string(minimum) + " bytes");
  }
}

void checkData(const void* data) {
  if (data == nullptr) throw TraceException(kNoPort, kInvalidParameter, "no data given");
}

void putValue(uint32_t value, uint32_t& length, uint8_t* data) {
  std::memcpy(data, &value, sizeof value);
  length = sizeof value;
}

void putText(const std::string& text, uint32_t& length, uint8_t* data) {
  const size_t copied = std::min<size_t>(text.size(), length - 1);
  std::memcpy(data, text.data(), copied);
  data[copied] = '\0';
  length = static_cast<uint32_t>(copied);
}

// Up to the NUL; with a length, never past it.
std::string takeText(uint32_t length, const uint8_t* data) {
  const auto* text = reinterpret_cast<const char*>(data);
  return std::string(text, length == 0 ? std::strlen(text) : strnlen(text, length));
}

uint32_t takeValue(const uint8_t* data) {
  uint32_t value = 0;
  std::memcpy(&value, data, sizeof value);
  return value;
}

}  // namespace

void TraceMonitor::getProperty(uint16_t id, uint32_t& length, uint8_t* data) {
  checkKnown(id);
  if (id == kDiscardTrace || id == kDiscardList) {
    throw TraceException(kNoPort, kInvalidId, "this property id is write-only");
  }
  checkLength(length, isText(id) ? 1 : sizeof(uint32_t));
  checkData(data);
  switch (id) {
    case kEntryCount: {
      std::lock_guard store(storeMutex_);
      putValue(static_cast<uint32_t>(std::min<uint64_t>(store_.total(), std::numeric_limits<uint32_t>::max())),
               length, data);
      return;
    }
    case kListEntryCount: {
      std::lock_guard list(listMutex_);
      putValue(static_cast<uint32_t>(list_.size()), length, data);
      return;
    }
    case kMemoryLimit: {
      std::lock_guard store(storeMutex_);
      putValue(memoryLimit_, length, data);
      return;
    }
    default:
      break;
  }
  std::lock_guard properties(propertiesMutex_);
  switch (id) {
    case kAscFileName: return putText(ascFileName_, length, data);
    case kAscMaxFileSize: return putValue(ascMaxFileSize_, length, data);
    case kMdfFileName: return putText(mdfFileName_, length, data);
    case kMdfValue: return putValue(mdfValue_, length, data);
    default: return putText(mdfTexts_[id - kMdfAuthor], length, data);
  }
}

void TraceMonitor::setProperty(uint16_t id, uint32_t length, const uint8_t* data) {
  checkKnown(id);
  if (id == kEntryCount || id == kListEntryCount) {
    throw TraceException(kNoPort, kInvalidId, "this property id is read-only");
  }
  if (id == kDiscardTrace) return discardTrace();
  if (id == kDiscardList) {
    std::lock_guard list(listMutex_);
    return list_.clear();
  }
  if (!isText(id)) checkLength(length, sizeof(uint32_t));
  checkData(data);
  if (id == kMemoryLimit) {
    const uint32_t limit = takeValue(data);
    std::lock_guard store(storeMutex_);
    memoryLimit_ = limit;
    return store_.setMemoryLimit(limit);
  }
  std::lock_guard properties(propertiesMutex_);
  switch (id) {
    case kAscFileName: ascFileName_ = takeText(length, data); return;
    case kAscMaxFileSize: {
      // Live output splits its files at this size; below the split minimum every record would open a file.
      const uint32_t size = takeValue(data);
      if (size < kAscMinimumSplitSize) {
        throw TraceException(kNoPort, kInvalidParameter,
                             "file size needs to be >= " + std::to_string(kAscMinimumSplitSize) + " bytes");
      }
      ascMaxFileSize_ = size;
      return;
    }
    case kMdfFileName: mdfFileName_ = takeText(length, data); return;
    case kMdfValue: mdfValue_ = takeValue(data); return;
    default: mdfTexts_[id - kMdfAuthor] = takeText(length, data); return;
  }
}

}  // namespace qor::trace
