// Programming flash from a host buffer: the data are staged in the controller's RAM, then the firmware copies them to
// the bank under a time-out of the caller's. Both changes are owned by a guard, so every way out frees the RAM and
// puts the port's time-out back.
#include "common_library.hpp"
#include "controller_memory.hpp"
#include "qor_api.h"
#include "qor_common_memory.h"

namespace qor::common {
namespace {

// RAM of the controller, freed when the guard ends unless released (with the free's code) before.
class StagingRam {
 public:
  explicit StagingRam(const kit::Call& call) : call_(call) {}
  StagingRam(const StagingRam&) = delete;
  StagingRam& operator=(const StagingRam&) = delete;
  ~StagingRam() {
    try {
      release();
    } catch (...) {  // nothing left to report it to
    }
  }

  uint32_t allocate(uint32_t size) {
    if (uint32_t code = allocateRam(call_, 0, size, &address_)) return code;
    held_ = true;
    return 0;
  }
  uint32_t address() const { return address_; }
  uint32_t release() {
    if (!held_) return 0;
    held_ = false;
    return freeRam(call_, address_);
  }

 private:
  const kit::Call& call_;
  uint32_t address_ = 0;
  bool held_ = false;
};

// The port's response time-out replaced for a while; the saved one is set again when the guard ends unless restored
// (with the core's code) before.
class ResponseTimeoutOverride {
 public:
  explicit ResponseTimeoutOverride(uint32_t port) : port_(port) {}
  ResponseTimeoutOverride(const ResponseTimeoutOverride&) = delete;
  ResponseTimeoutOverride& operator=(const ResponseTimeoutOverride&) = delete;
  ~ResponseTimeoutOverride() { restore(); }

  uint32_t set(uint32_t milliseconds) {
    saved_ = Qor_GetResponseTimeout(port_);
    if (uint32_t code = Qor_SetResponseTimeout(port_, milliseconds)) return code;
    active_ = true;
    return 0;
  }
  uint32_t restore() {
    if (!active_) return 0;
    active_ = false;
    return Qor_SetResponseTimeout(port_, saved_);
  }

 private:
  uint32_t port_;
  uint32_t saved_ = 0;
  bool active_ = false;
};

uint32_t flashWrite(const kit::Call& call, uint8_t bank, uint32_t offset, const uint8_t* data, uint32_t length,
                    uint32_t milliseconds) {
  if (uint32_t code = checkTransfer(call, length, data, "data")) return code;
  StagingRam ram(call);
  if (uint32_t code = ram.allocate(length)) return code;
  if (uint32_t code = writeMemory(call, ram.address(), QOR_COMMON_MEMORY_FLASH_STAGING_WIDTH, length, data)) {
    return code;
  }
  ResponseTimeoutOverride timeout(call.port());
  if (uint32_t code = timeout.set(milliseconds)) return code;
  const uint32_t programmed = programFlash(call, bank, offset, ram.address(), length);
  // The free goes out under the port's own time-out again.
  const uint32_t restored = timeout.restore();
  const uint32_t freed = ram.release();
  if (programmed != 0) return programmed;
  return restored != 0 ? restored : freed;
}

}  // namespace
}  // namespace qor::common

using qor::common::kCommon;

uint32_t Qor_Common_Memory_Flash_Write(uint32_t port, uint8_t bank, uint32_t offset, const void* data,
                                       uint32_t length, uint32_t milliseconds) try {
  return qor::common::flashWrite(qor::kit::Call(kCommon, port), bank, offset, static_cast<const uint8_t*>(data),
                                 length, milliseconds);
} catch (...) {
  return kCommon.failedCall(port);
}
