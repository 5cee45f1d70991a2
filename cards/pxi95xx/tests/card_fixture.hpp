// Emulated 95xx cards under a /proc root of the test's own, in place of the Vortaq driver's entries; the library is
// loaded (its cards found and connected) by connect(). Each test runs in a sandbox of its own: the library logs.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "QorPxi95xx_API.h"
#include "cards.hpp"
#include "driver_access.hpp"
#include "card_test_frames.hpp"
#include "qor_emulator/card95xx.hpp"

namespace qor::pxi95xx::test {

using emulator::Bytes;

// A command frame of the card's firmware (byte 10, the card number, is not used on 95xx cards).
inline Bytes commandFrame(uint8_t command, size_t length) { return cards::test::commandFrame(0, command, length); }

class CardFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qor_pxi95xx.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = std::string(pattern) + "/";
    useDriver(root_.c_str(), emulator::Card95xx::request);
  }
  void TearDown() override {
    moduleExit();
    useDriver(nullptr, nullptr);
    cards_.clear();
    std::filesystem::remove_all(root_);
  }

  emulator::Card95xx& addCard(emulator::Card95xxConfig config = {}, int number = -1) {
    const auto directory = static_cast<uint32_t>(number >= 0 ? number : static_cast<int>(cards_.size()));
    cards_.push_back(std::make_unique<emulator::Card95xx>(device_, root_, directory, config));
    return *cards_.back();
  }
  void connect() { ASSERT_EQ(moduleInit(), 0); }

  // Reads responses of a card until a frame arrives, waiting for the message interrupt between tries (at most 2 s).
  Bytes awaitResponse(uint8_t card) {
    Bytes buffer(QOR_FRAME_MAX_LENGTH);
    for (int attempt = 0; attempt < 20; ++attempt) {
      auto length = static_cast<uint32_t>(buffer.size());
      EXPECT_EQ(QorPxi95xx_ReadRsp(card, buffer.data(), &length), 0);
      if (length != 0) return Bytes(buffer.begin(), buffer.begin() + length);
      EXPECT_EQ(QorPxi95xx_WaitForRsp(card, 100), 0);
    }
    return {};
  }

  std::string root_;
  emulator::Device device_{emulator::DeviceConfig{.serialNumber = 9512, .hostType = 81}};
  std::vector<std::unique_ptr<emulator::Card95xx>> cards_;
};

}  // namespace qor::pxi95xx::test
