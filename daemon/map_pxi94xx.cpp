#include "map_pxi94xx.hpp"

#include <sys/stat.h>
#include <syslog.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "card_device_table.hpp"
#include "pxi94xx_probe.hpp"
#include "qor_error_codes.h"
#include "qor_helpers.h"

namespace qor::daemon {
namespace {

constexpr char kPlxDirectory[] = "/dev/plx";
constexpr uint32_t kNotificationWaitMs = 100;
// Statuses of a notification wait that ended without the interrupt.
constexpr uint32_t kNoInterrupt[] = {13, 14};
constexpr double kFlushLimitMs = 1000;
constexpr uint8_t kMessageInterrupt = 1;

// What the path and its open cards share: the bound library and the cards that are open.
struct Binding {
  std::unique_ptr<LoadedLibrary> library;
  std::mutex mutex; // guards what follows
  Pxi94xxFunctions functions;
  size_t openCards = 0;

  // Binds the library again when no card is open (it may have been replaced meanwhile).
  PathStatus bindForOpen(const CardDeviceTable& table, Pxi94xxFunctions& bound) {
    std::lock_guard lock(mutex);
    if (openCards == 0) {
      if (PathStatus status = bindPxi94xx(*library, table.libraryVersion, table.driverVersion, functions);
          !status.ok()) {
        return status;
      }
    }
    bound = functions;
    return {};
  }
};

class OpenCard final : public Device {
public:
  OpenCard(std::shared_ptr<Binding> binding, const Pxi94xxFunctions& functions, uint8_t card)
      : binding_(std::move(binding)), functions_(functions), card_(card), response_(kPxi94xxResponseRoom) {}

  ~OpenCard() override {
    if (notifying_) functions_.notificationCancel(device_, &notification_);
    if (counted_) {
      std::lock_guard lock(binding_->mutex);
      --binding_->openCards;
    }
  }

  PathStatus open() {
    uint8_t index = 0;
    if (const uint32_t code = functions_.isDeviceNumberValid(card_, &index, &bar0_, &device_)) {
      return pxi94xxCallFailed(QOR_ERR_PXI94XX_DRIVER_INFO, "Pxi94xx__IsDeviceNumberValid", code);
    }
    if (const uint32_t code = functions_.setInterruptSource(card_)) {
      return pxi94xxCallFailed(QOR_ERR_PXI94XX_INIT, "Pxi94xx__SetInterruptSource", code);
    }
    const uint8_t flags[] = {kMessageInterrupt};
    if (const uint32_t code = functions_.notificationInit(device_, flags, &notification_)) {
      return pxi94xxCallFailed(QOR_ERR_PXI94XX_INIT, "Pxi94xx__NotificationInit", code);
    }
    notifying_ = true;
    if (PathStatus flushed = flushResponse(); !flushed.ok()) return flushed;
    std::lock_guard lock(binding_->mutex);
    ++binding_->openCards;
    counted_ = true;
    return {};
  }

  PathStatus write(Bytes frame) override {
    if (const uint32_t code = functions_.writeInstruction(frame.data(), static_cast<uint16_t>(frame.size()))) {
      return pxi94xxCallFailed(QOR_ERR_PXI94XX_WRITE, "Pxi94xx__WriteInstruction", code);
    }
    return {};
  }

  PathStatus read(Buffer frame, uint32_t& length) override {
    if (PathStatus status = takeResponse(frame, false, length); !status.ok() || length != 0) return status;
    rearmInterrupt();
    if (PathStatus status = takeResponse(frame, false, length); !status.ok() || length != 0) return status;
    const uint32_t waited = functions_.notificationWait(device_, &notification_, kNotificationWaitMs);
    if (std::ranges::find(kNoInterrupt, waited) != std::end(kNoInterrupt)) return {};
    if (waited != 0) return pxi94xxCallFailed(QOR_ERR_PXI94XX_NOTIFICATION, "Pxi94xx__NotificationWait", waited);
    return takeResponse(frame, false, length);
  }

  PathStatus flushResponse() override {
    const double start = GetTickCount();
    for (uint32_t dropped = 1; dropped != 0;) {
      if (PathStatus status = takeResponse({}, true, dropped); !status.ok()) return status;
      if (GetTickCount() - start > kFlushLimitMs) {
        return pathError(QOR_ERR_PXI94XX_FLUSH_TIMEOUT, "timeout while flushing response buffer");
      }
    }
    return {};
  }

private:
  // One response through the path's own buffer, which holds any frame the library may copy, then into frame unless
  // it is dropped; length 0 when none waits. A response longer than frame is an error, never copied past it. One
  // reader of the ring at a time: the connect's flush may meet the hardware thread's read.
  PathStatus takeResponse(Buffer frame, bool drop, uint32_t& length) {
    std::lock_guard lock(ringMutex_);
    length = 0;
    uint32_t got = 0;
    if (const uint32_t code = functions_.readResponse(card_, response_.data(), &got)) {
      return pxi94xxCallFailed(QOR_ERR_PXI94XX_READ, "Pxi94xx__ReadResponse", code);
    }
    if (drop || got == 0) {
      length = got;
      return {};
    }
    if (got > frame.size() || got > response_.size()) {
      return pathError(QOR_ERR_PXI94XX_READ, "response of %u bytes does not fit the buffer of %zu bytes", got,
                       frame.size());
    }
    std::memcpy(frame.data(), response_.data(), got);
    length = got;
    return {};
  }

  // The card clears its interrupt enable when it raises the interrupt: set it again before each wait.
  void rearmInterrupt() const {
    *reinterpret_cast<volatile uint32_t*>(bar0_ + PXI94XX_INTERRUPT_CONTROL_WORD) = PXI94XX_INTERRUPT_RESPONSE;
  }

  const std::shared_ptr<Binding> binding_;
  const Pxi94xxFunctions functions_;
  const uint8_t card_;
  std::mutex ringMutex_;
  std::vector<uint8_t> response_; // guarded by ringMutex_
  volatile uint8_t* bar0_ = nullptr;
  PlxDeviceObject_t* device_ = nullptr;
  Pxi94xxNotification_t notification_{};
  bool notifying_ = false;
  bool counted_ = false;
};

class Pxi94xxPath final : public AccessPath {
public:
  explicit Pxi94xxPath(std::unique_ptr<LoadedLibrary> library) : binding_(std::make_shared<Binding>()) {
    binding_->library = std::move(library);
  }

  PathStatus start(const PathSettings&) override {
    table_ = {};
    struct stat node;
    if (stat(kPlxDirectory, &node) != 0) {
      syslog(LOG_NOTICE, "%s : No Pxi94xx device found\n", "Qor_Map_Pxi94xx_Init");
      return PathStatus{PXI94XX_ERROR_NO_CARD, {}};
    }
    PathStatus probed;
    {
      std::lock_guard lock(binding_->mutex);
      probed = probePxi94xxCards(*binding_->library, binding_->functions, table_);
    }
    if (!probed.ok()) {
      syslog(LOG_ERR, "%s : 0x%08X %s\n", "Qor_Map_Pxi94xx_Init", probed.code, probed.text.c_str());
    }
    // A system without the library has no 94xx cards to serve: no failure of the daemon's start.
    return probed.code == QOR_ERR_PXI94XX_LOAD ? PathStatus{} : probed;
  }

  PathStatus open(const Qor_InterfaceInfo_t& descriptor, std::unique_ptr<Device>& device) override {
    const std::optional<CardDeviceRecord> record = table_.find(descriptor.hostInterfaceType, descriptor.deviceNumber);
    if (!record) return PathStatus{QOR_ERR_SERVER_DEVICE_NOT_CONNECTED, {}};
    Pxi94xxFunctions functions;
    if (PathStatus bound = binding_->bindForOpen(table_, functions); !bound.ok()) return bound;
    auto opened = std::make_unique<OpenCard>(binding_, functions, record->card);
    opened->properties.module = record->card;
    opened->properties.deviceIdentifier = record->deviceIdentifier;
    opened->properties.flushAfterOpen = true;
    if (PathStatus status = opened->open(); !status.ok()) return status;
    device = std::move(opened);
    return {};
  }

  PathStatus driverInfo(uint32_t, Buffer out, uint32_t& written, Bytes) override { return table_.copyTo(out, written); }

private:
  const std::shared_ptr<Binding> binding_;
  CardDeviceTable table_; // built at start, read-only afterwards
};

} // namespace

std::unique_ptr<AccessPath> makePxi94xxPath(std::unique_ptr<LoadedLibrary> library) {
  return std::make_unique<Pxi94xxPath>(std::move(library));
}

std::unique_ptr<AccessPath> makePxi94xxPath() { return makePxi94xxPath(libraryByName(kPxi94xxLibraryName)); }

} // namespace qor::daemon
