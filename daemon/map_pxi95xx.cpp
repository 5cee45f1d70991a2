#include "map_pxi95xx.hpp"

#include <syslog.h>

#include <array>
#include <cstring>
#include <mutex>

#include "card_device_table.hpp"
#include "pxi95xx_probe.hpp"
#include "qor_error_codes.h"

namespace qor::daemon {
namespace {

constexpr uint32_t kResponseWaitMs = 100;
constexpr uint32_t kResultText = 0;
constexpr uint32_t kLinkInformation = 1;
constexpr size_t kLinkInformationSize = 20;

// What the path and its open cards share: the library and the cards that are open. The library is held from the
// probe on; an open while no card is open binds it again, the close of the last card gives that reference back.
struct Binding {
  // The library keeps no locks: one call on a card's rings at a time. Ports on one card share its opening, which
  // resets the ring positions.
  struct Card {
    std::mutex rings;
    size_t ports = 0; // guarded by Binding::mutex
  };

  std::unique_ptr<LoadedLibrary> library;
  std::array<Card, QORPXI95XX_CARD_COUNT_MAX> cards; // by card index
  std::mutex mutex; // guards what follows
  Pxi95xxFunctions functions;
  size_t openCards = 0;

  PathStatus bindForOpen(const CardDeviceTable& table, Pxi95xxFunctions& bound) {
    std::lock_guard lock(mutex);
    if (openCards == 0) {
      if (PathStatus status = bindPxi95xx(*library, table.libraryVersion, table.driverVersion, functions);
          !status.ok()) {
        return status;
      }
    }
    ++openCards;
    bound = functions;
    return {};
  }

  void closed() {
    std::lock_guard lock(mutex);
    if (--openCards == 0) library->unload();
  }
};

class OpenCard final : public Device {
public:
  OpenCard(std::shared_ptr<Binding> binding, const Pxi95xxFunctions& functions, const CardDeviceRecord& record)
      : binding_(std::move(binding)), functions_(functions), card_(record.card),
        rings_(binding_->cards[card_].rings) {
    std::memcpy(link_, record.pathSpecific, sizeof link_);
  }

  ~OpenCard() override {
    if (open_) {
      std::lock_guard lock(binding_->mutex);
      if (--binding_->cards[card_].ports == 0) {
        std::lock_guard rings(rings_);
        functions_.closeBoard(card_);
      }
    }
    binding_->closed();
  }

  PathStatus open() {
    std::lock_guard lock(binding_->mutex);
    if (binding_->cards[card_].ports == 0) {
      std::lock_guard rings(rings_);
      if (const int32_t result = functions_.openBoard(card_)) {
        return pxi95xxCallFailed(QOR_ERR_PXI95XX_INIT, "QorPxi95xx_OpenBoard", result);
      }
    }
    ++binding_->cards[card_].ports;
    open_ = true;
    return {};
  }

  PathStatus write(Bytes frame) override {
    std::lock_guard rings(rings_);
    if (const int32_t result = functions_.writeCmd(card_, frame.data(), static_cast<uint32_t>(frame.size()))) {
      return pxi95xxCallFailed(QOR_ERR_PXI95XX_WRITE, "QorPxi95xx_WriteCmd", result);
    }
    return {};
  }

  // One response; when none waits, one wait for the card's interrupt (or its time-out) and one more look. A wait
  // that fails is the card's failure, not "no data": a vanished card must end the port, not spin its thread.
  PathStatus read(Buffer frame, uint32_t& length) override {
    if (PathStatus status = takeResponse(frame, length); !status.ok() || length != 0) return status;
    if (const int32_t result = functions_.waitForRsp(card_, kResponseWaitMs)) {
      return pxi95xxCallFailed(QOR_ERR_PXI95XX_READ, "QorPxi95xx_WaitForRsp", result);
    }
    return takeResponse(frame, length);
  }

  // Maximum link speed and width, current link speed and width.
  const uint8_t* link() const { return link_; }

private:
  // The library copies a frame only when the buffer holds it all; a larger one is its error (-3).
  PathStatus takeResponse(Buffer frame, uint32_t& length) {
    std::lock_guard rings(rings_);
    length = static_cast<uint32_t>(frame.size());
    if (const int32_t result = functions_.readRsp(card_, frame.data(), &length)) {
      length = 0;
      return pxi95xxCallFailed(QOR_ERR_PXI95XX_READ, "QorPxi95xx_ReadRsp", result);
    }
    if (const uint32_t got = length; got > frame.size()) {
      length = 0;
      return pathError(QOR_ERR_PXI95XX_READ, "response of %u bytes does not fit the buffer of %zu bytes", got,
                       frame.size());
    }
    return {};
  }

  const std::shared_ptr<Binding> binding_;
  const Pxi95xxFunctions functions_;
  const uint8_t card_;
  std::mutex& rings_;
  uint8_t link_[4];
  bool open_ = false;
};

class Pxi95xxPath final : public AccessPath {
public:
  explicit Pxi95xxPath(std::unique_ptr<LoadedLibrary> library) : binding_(std::make_shared<Binding>()) {
    binding_->library = std::move(library);
  }

  PathStatus start(const PathSettings&) override {
    table_ = {};
    PathStatus probed;
    {
      std::lock_guard lock(binding_->mutex);
      probed = probePxi95xxCards(*binding_->library, binding_->functions, table_);
    }
    if (!probed.ok()) {
      syslog(LOG_ERR, "%s : 0x%08X %s\n", "Qor_Map_Pxi95xx_Init", probed.code, probed.text.c_str());
    }
    // A system without the library has no 95xx cards to serve: no failure of the daemon's start.
    return probed.code == QOR_ERR_PXI95XX_LOAD ? PathStatus{} : probed;
  }

  PathStatus open(const Qor_InterfaceInfo_t& descriptor, std::unique_ptr<Device>& device) override {
    const std::optional<CardDeviceRecord> record = table_.find(descriptor.hostInterfaceType, descriptor.deviceNumber);
    if (!record) return PathStatus{QOR_ERR_SERVER_DEVICE_NOT_CONNECTED, {}};
    Pxi95xxFunctions functions;
    if (PathStatus bound = binding_->bindForOpen(table_, functions); !bound.ok()) return bound;
    auto opened = std::make_unique<OpenCard>(binding_, functions, *record);
    opened->properties.module = record->card;
    opened->properties.deviceIdentifier = record->deviceIdentifier;
    if (PathStatus status = opened->open(); !status.ok()) return status;
    device = std::move(opened);
    return {};
  }

  PathStatus driverInfo(uint32_t, Buffer out, uint32_t& written, Bytes) override { return table_.copyTo(out, written); }

  PathStatus boardRequest(const BoardRequest95xx& request, Device* device, Buffer out, uint32_t& length) override {
    length = 0;
    switch (request.subCommand) {
    case kResultText: {
      const std::string text = pxi95xxResultText(static_cast<int32_t>(request.value));
      if (out.size() < text.size() + 1) return PathStatus{QOR_ERR_SERVER_RESPONSE_BUFFER_TOO_SMALL, {}};
      std::memcpy(out.data(), text.c_str(), text.size() + 1);
      length = static_cast<uint32_t>(text.size());
      return {};
    }
    case kLinkInformation: {
      // The named port must be open on a card of this path.
      const auto* card = dynamic_cast<const OpenCard*>(device);
      if (card == nullptr) return PathStatus{QOR_ERR_SERVER_DEVICE_NOT_CONNECTED, {}};
      if (out.size() < kLinkInformationSize) return PathStatus{QOR_ERR_SERVER_RESPONSE_BUFFER_TOO_SMALL, {}};
      std::memset(out.data(), 0, kLinkInformationSize);
      std::memcpy(out.data(), card->link(), 4);
      length = kLinkInformationSize;
      return {};
    }
    default:
      return pathError(QOR_ERR_PXI95XX_UNKNOWN_SUBFUNCTION, "unknown sub-function %u", request.subCommand);
    }
  }

private:
  const std::shared_ptr<Binding> binding_;
  CardDeviceTable table_; // built at start, read-only afterwards
};

} // namespace

std::unique_ptr<AccessPath> makePxi95xxPath(std::unique_ptr<LoadedLibrary> library) {
  return std::make_unique<Pxi95xxPath>(std::move(library));
}

std::unique_ptr<AccessPath> makePxi95xxPath() { return makePxi95xxPath(libraryByName(kPxi95xxLibraryName)); }

} // namespace qor::daemon
