// The exported trace functions over the process's monitor pool. The pool lends each call a share of its monitor,
// so a monitor deleted meanwhile lives until that call returns; it is destroyed outside the pool lock.
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "qor_trace_monitor.h"
#include "trace_monitor.hpp"

namespace qor::trace {
namespace {

class MonitorPool {
 public:
  uint32_t allocate() {
    auto monitor = std::make_shared<TraceMonitor>(nextHandle());
    std::lock_guard lock(mutex_);
    if (!monitors_.emplace(monitor->handle(), monitor).second) {
      throw TraceException(kNoPort, kInvalidMonitorHandle, "internal error while building monitor handle");
    }
    return monitor->handle();
  }

  std::shared_ptr<TraceMonitor> find(uint32_t handle) {
    std::lock_guard lock(mutex_);
    const auto found = monitors_.find(handle);
    if (found == monitors_.end()) throw TraceException(kNoPort, kInvalidMonitorHandle, "");
    return found->second;
  }

  void remove(uint32_t handle) {
    std::shared_ptr<TraceMonitor> leaving;
    std::lock_guard lock(mutex_);
    const auto found = monitors_.find(handle);
    if (found == monitors_.end()) return;
    leaving = std::move(found->second);
    monitors_.erase(found);
  }

  // Adds the port to the monitor unless a monitor of the pool, in handle order, records it already. One addition at
  // a time, so two threads cannot both find the port free.
  uint32_t addChannel(TraceMonitor& monitor, const Qor_Trace_ChannelInfo_t& info) {
    std::lock_guard adding(addMutex_);
    for (const auto& other : snapshot()) {
      if (other->records(info.portHandle)) {
        throw TraceException(info.portHandle, kInvalidPortHandle,
                             "interface already used for monitor trace with handle 0x" + hex(other->handle()));
      }
    }
    if (info.flags != 0) throw TraceException(info.portHandle, kUnknownFlag, "");
    return monitor.addChannel(info.portHandle, info.channelId);
  }

 private:
  uint32_t nextHandle() {
    std::lock_guard lock(counterMutex_);
    return ++handleCounter_;
  }

  std::vector<std::shared_ptr<TraceMonitor>> snapshot() {
    std::lock_guard lock(mutex_);
    std::vector<std::shared_ptr<TraceMonitor>> all;
    for (const auto& [handle, monitor] : monitors_) all.push_back(monitor);
    return all;
  }

  static std::string hex(uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%x", value);
    return text;
  }

  std::mutex counterMutex_;
  uint32_t handleCounter_ = 0;
  std::mutex mutex_;
  std::map<uint32_t, std::shared_ptr<TraceMonitor>> monitors_;
  std::mutex addMutex_;
};

MonitorPool& pool() {
  static MonitorPool instance;
  return instance;
}

// The handler of every exported function: the code of the failure in flight, which was recorded when it was made.
uint32_t failedCall() noexcept {
  try {
    throw;
  } catch (const TraceException& failure) {
    return failure.code();
  } catch (const std::bad_alloc&) {
    return TraceException(kNoPort, kNotEnoughMemory, "").code();
  } catch (...) {
    return kTrace.failedCall(kNoPort);
  }
}

template <class T>
T& given(T* pointer, const char* name) {
  if (pointer == nullptr) throw TraceException(kNoPort, kInvalidParameter, std::string(name) + " is a null pointer");
  return *pointer;
}

std::string fileNameOf(const Qor_Trace_ExportInfo_t& info) {
  const size_t length = strnlen(info.fileName, sizeof info.fileName);
  if (length == sizeof info.fileName) {
    throw TraceException(kNoPort, kInvalidParameter, "file name is not terminated within its 260 bytes");
  }
  return std::string(info.fileName, length);
}

void checkNoFlags(uint32_t flags) {
  if (flags != 0) throw TraceException(kNoPort, kUnknownFlag, "");
}

// The buffer may be absent only when it has no room.
uint8_t* bufferOf(uint8_t* buffer, uint32_t size) { return size == 0 ? buffer : &given(buffer, "buffer"); }

}  // namespace
}  // namespace qor::trace

using namespace qor::trace;

uint32_t Qor_Trace_Allocate(uint32_t flags, uint32_t* handle) try {
  uint32_t& out = given(handle, "handle");
  checkNoFlags(flags);
  try {
    out = pool().allocate();
  } catch (const std::bad_alloc&) {
    throw TraceException(kNoPort, kNotEnoughMemory, "could not allocate trace instance");
  }
  return 0;
} catch (...) {
  return failedCall();
}

uint32_t Qor_Trace_Delete(uint32_t handle) try {
  const std::shared_ptr<TraceMonitor> monitor = pool().find(handle);
  uint32_t code = 0;
  try {
    monitor->stop();
  } catch (...) {
    code = failedCall();
  }
  pool().remove(handle);
  return code;
} catch (...) {
  return failedCall();
}

uint32_t Qor_Trace_AddChannel(uint32_t handle, const Qor_Trace_ChannelInfo_t* info,
                              Qor_Trace_ChannelResult_t* result) try {
  if (result != nullptr) *result = {};
  const std::shared_ptr<TraceMonitor> monitor = pool().find(handle);
  const Qor_Trace_ChannelInfo_t& channel = given(info, "info");
  Qor_Trace_ChannelResult_t& out = given(result, "result");
  out.channelId = pool().addChannel(*monitor, channel);
  return 0;
} catch (...) {
  return failedCall();
}

uint32_t Qor_Trace_RemoveChannel(uint32_t handle, uint32_t channelId) try {
  pool().find(handle)->removeChannel(channelId);
  return 0;
} catch (...) {
  return failedCall();
}

uint32_t Qor_Trace_ClearChannelList(uint32_t handle) try {
  pool().find(handle)->clearChannels();
  return 0;
} catch (...) {
  return failedCall();
}

uint32_t Qor_Trace_Start(uint32_t handle, uint32_t flags) try {
  const std::shared_ptr<TraceMonitor> monitor = pool().find(handle);
  if ((flags & ~kStartFlagsDefined) != 0) throw TraceException(kNoPort, kUnknownFlag, "");
  monitor->start(flags);
  return 0;
} catch (...) {
  return failedCall();
}

uint32_t Qor_Trace_Stop(uint32_t handle) try {
  pool().find(handle)->stop();
  return 0;
} catch (...) {
  return failedCall();
}

uint32_t Qor_Trace_GetItems(uint32_t handle, uint32_t flags, uint32_t start, uint32_t* count, uint32_t* size,
                            uint8_t* buffer) try {
  const std::shared_ptr<TraceMonitor> monitor = pool().find(handle);
  checkNoFlags(flags);
  uint32_t& room = given(size, "size");
  monitor->getItems(start, given(count, "count"), room, bufferOf(buffer, room));
  return 0;
} catch (...) {
  return failedCall();
}

uint32_t Qor_Trace_GetListItems(uint32_t handle, uint32_t flags, uint32_t start, uint32_t* count, uint32_t* size,
                                uint8_t* buffer) try {
  const std::shared_ptr<TraceMonitor> monitor = pool().find(handle);
  checkNoFlags(flags);
  uint32_t& room = given(size, "size");
  monitor->getListItems(start, given(count, "count"), room, bufferOf(buffer, room));
  return 0;
} catch (...) {
  return failedCall();
}

uint32_t Qor_Trace_Property_GetById(uint32_t handle, uint32_t, uint16_t id, uint32_t* length, uint8_t* data) try {
  pool().find(handle)->getProperty(id, given(length, "length"), data);
  return 0;
} catch (...) {
  return failedCall();
}

uint32_t Qor_Trace_Property_SetById(uint32_t handle, uint32_t, uint16_t id, uint32_t length,
                                    const uint8_t* data) try {
  pool().find(handle)->setProperty(id, length, data);
  return 0;
} catch (...) {
  return failedCall();
}

uint32_t Qor_Trace_ExportToASC(uint32_t handle, const Qor_Trace_ExportInfo_t* info) try {
  const std::shared_ptr<TraceMonitor> monitor = pool().find(handle);
  const Qor_Trace_ExportInfo_t& exported = given(info, "info");
  monitor->exportToAsc(exported.flags, fileNameOf(exported), exported.startTime,
                       (exported.flags & QOR_TRACE_EXPORT_SPLIT) ? exported.maxFileSize : 0);
  return 0;
} catch (...) {
  return failedCall();
}

uint32_t Qor_Trace_ExportToPCAP(uint32_t handle, const Qor_Trace_ExportInfo_t* info) try {
  const std::shared_ptr<TraceMonitor> monitor = pool().find(handle);
  const Qor_Trace_ExportInfo_t& exported = given(info, "info");
  monitor->exportToPcapng(exported.flags, fileNameOf(exported), exported.startTime);
  return 0;
} catch (...) {
  return failedCall();
}

uint32_t Qor_Trace_ExportToMDF(uint32_t, const Qor_Trace_ExportInfo_t*) try {
  return kTrace.fail(kNoPort, 0x0200020B);
} catch (...) {
  return failedCall();
}
