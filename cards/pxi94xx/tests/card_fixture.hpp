// Cards of the emulator behind the emulated bridge driver, in place of the driver's ioctl, for the library's tests.
// Each test runs in a sandbox of its own, where the nodes under /dev/plx are made.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "Pxi94xx.h"
#include "driver_request.hpp"
#include "card_test_frames.hpp"
#include "qor_emulator/card94xx.hpp"
#include "qor_emulator/plx_driver.hpp"

namespace qor::pxi94xx::test {

using emulator::Bytes;

using cards::test::commandFrame;

class CardFixture : public ::testing::Test {
 protected:
  void SetUp() override { setDriverRequestFunction(emulator::PlxDriver::request); }
  void TearDown() override {
    Pxi94xx__Close();
    setDriverRequestFunction(nullptr);
  }

  emulator::Card94xx& addCard(emulator::Card94xxConfig config = {}) {
    cards_.push_back(std::make_unique<emulator::Card94xx>(device_, config));
    driver_.addCard(*cards_.back());
    return *cards_.back();
  }

  // Polls the response ring of a card until a frame arrives (at most 2 s).
  Bytes awaitResponse(uint8_t card) {
    Bytes buffer(QOR_FRAME_MAX_LENGTH);
    for (int attempt = 0; attempt < 2000; ++attempt) {
      uint32_t length = 0;
      EXPECT_EQ(Pxi94xx__ReadResponse(card, buffer.data(), &length), 0u);
      if (length != 0) return Bytes(buffer.begin(), buffer.begin() + length);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return {};
  }

  emulator::PlxDriver driver_;
  emulator::Device device_{emulator::DeviceConfig{.serialNumber = 9440, .hostType = 24}};
  std::vector<std::unique_ptr<emulator::Card94xx>> cards_;
};

}  // namespace qor::pxi94xx::test
