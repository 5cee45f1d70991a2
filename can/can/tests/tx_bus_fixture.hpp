// The emulated device's CAN interfaces 1 and 2 on one emulated bus, the transmit FIFO and trace firmware behind them
// and port 1 open: what interface 1 sends is what the listener on interface 2 hears.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "qor_api.h"
#include "qor_emulator/can_bus.hpp"
#include "qor_emulator/can_tx_fifo_firmware.hpp"
#include "qor_test/interface_fixture.hpp"

namespace qor::can {

inline std::string lastText() { return Qor_GetLastErrorDescription(); }

class TxBusFixture : public test::InterfaceFixture {
 protected:
  static constexpr uint8_t kSender = 1;
  static constexpr uint8_t kListener = 2;

  TxBusFixture(uint32_t slots, uint32_t framesPerSecond, test::EmulatedModel model = test::ethernetController())
      : InterfaceFixture(std::move(model)), slots_(slots), framesPerSecond_(framesPerSecond) {}

  void SetUp() override {
    InterfaceFixture::SetUp();
    bus_.attach(*device_, kSender);
    bus_.attach(*device_, kListener);
    bus_.listen(*device_, kListener, [this](const emulator::CanFrame& frame, uint64_t) {
      const std::lock_guard lock(mutex_);
      heard_.push_back(frame);
    });
    firmware_ = emulator::CanTxFifoFirmware::attachTo(*device_, bus_, slots_, framesPerSecond_);
    port_ = open(kSender);
  }

  // Everything the firmware had to send, once it is on the bus.
  std::vector<emulator::CanFrame> heardWhenSent() {
    EXPECT_TRUE(firmware_->waitUntilSent(kSender, 10000));
    const std::lock_guard lock(mutex_);
    return heard_;
  }

  const uint32_t slots_;
  const uint32_t framesPerSecond_;
  // What the listener heard, kept until the firmware has stopped sending.
  std::mutex mutex_;
  std::vector<emulator::CanFrame> heard_;
  emulator::CanBus bus_;
  // Declared after the bus: it stops sending before the bus goes.
  std::shared_ptr<emulator::CanTxFifoFirmware> firmware_;
  uint32_t port_ = QOR_NO_PORT;
};

}  // namespace qor::can
