// The memory of a controller through the daemon and an emulated controller that keeps its RAM and flash: pieces of
// the port's parameter length, bytes that come back as written, and a flash write that cleans up on every path.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <vector>

#include "qor_test/interface_fixture.hpp"
#include "qor_common_memory.h"

namespace qor::test {
namespace {

using emulator::Bytes;
using emulator::words;
using emulator::ReceivedFrame;
using emulator::Reply;

constexpr uint32_t kUnknownFlag = 0x02010004;
constexpr uint32_t kInvalidResponseLength = 0x02010003;
constexpr uint32_t kFirmwareError = 0x4711;

Bytes pattern(size_t length, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(length);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
  return bytes;
}

// RAM handed out from one base, flash per bank, and the faults a test asks for.
class EmulatedMemory {
 public:
  static constexpr uint32_t kRamBase = 0x20000000;

  EmulatedMemory(emulator::Device& device, uint32_t port) : port_(port), ram_(1 << 20) {
    device.onCommand(0x0C, [this](const ReceivedFrame& frame) { return ramCommand(frame); });
    device.onCommand(0x0A, [this](const ReceivedFrame& frame) { return write(frame); });
    device.onCommand(0x0B, [this](const ReceivedFrame& frame) { return read(frame); });
  }

  void failSub(uint32_t sub) {
    std::lock_guard lock(mutex_);
    failingSub_ = sub;
  }
  void failWrites() {
    std::lock_guard lock(mutex_);
    failWrites_ = true;
  }

  std::vector<uint32_t> freed() const {
    std::lock_guard lock(mutex_);
    return freed_;
  }
  Bytes flash(uint8_t bank) const {
    std::lock_guard lock(mutex_);
    return flash_.count(bank) ? flash_.at(bank) : Bytes();
  }
  // The port's response time-out while the firmware programmed flash.
  std::optional<uint32_t> timeoutWhileProgramming() const {
    std::lock_guard lock(mutex_);
    return programmingTimeout_;
  }

 private:
  uint8_t* at(uint32_t address, uint32_t length) {
    if (address < kRamBase || address - kRamBase > ram_.size() || ram_.size() - (address - kRamBase) < length) {
      return nullptr;
    }
    return ram_.data() + (address - kRamBase);
  }

  Reply ramCommand(const ReceivedFrame& frame) {
    std::lock_guard lock(mutex_);
    const uint32_t sub = frame.parameterWord(0);
    if (sub == failingSub_) return frame.negativeAcknowledge(kFirmwareError, "flash not ready");
    switch (sub) {
      case 5:
        return frame.response(words({5, kDeviceSerial}));
      case 20: {
        const uint32_t address = next_;
        next_ += (frame.parameterWord(8) + 15) / 16 * 16;
        return frame.response(words({20, address}));
      }
      case 21:
        freed_.push_back(frame.parameterWord(8));
        return frame.response(words({21}));
      case 22: {
        const uint8_t bank = frame.parameters()[4];
        const uint32_t offset = frame.parameterWord(8), length = frame.parameterWord(16);
        const uint8_t* source = at(frame.parameterWord(12), length);
        if (source == nullptr) return frame.negativeAcknowledge(1, "outside RAM");
        Bytes& flash = flash_[bank];
        flash.resize(std::max<size_t>(flash.size(), offset + length));
        std::copy_n(source, length, flash.begin() + offset);
        programmingTimeout_ = Qor_GetResponseTimeout(port_);
        return frame.response(words({22}));
      }
      default:
        return frame.negativeAcknowledge(2, "unknown sub-function");
    }
  }

  Reply write(const ReceivedFrame& frame) {
    std::lock_guard lock(mutex_);
    const auto parameters = frame.parameters();
    const uint32_t length = frame.parameterWord(4);
    uint8_t* target = at(frame.parameterWord(0), length);
    if (failWrites_ || target == nullptr || parameters.size() != 12 + size_t{length}) {
      return frame.negativeAcknowledge(kFirmwareError, "write refused");
    }
    std::copy_n(parameters.begin() + 12, length, target);
    return frame.acknowledge();
  }

  Reply read(const ReceivedFrame& frame) {
    std::lock_guard lock(mutex_);
    const uint32_t address = frame.parameterWord(0), length = frame.parameterWord(4);
    const uint8_t* source = at(address, length);
    if (source == nullptr) return frame.negativeAcknowledge(1, "outside RAM");
    Bytes answer = words({address, length});
    answer.insert(answer.end(), source, source + length);
    return frame.response(answer);
  }

  const uint32_t port_;
  mutable std::mutex mutex_;
  Bytes ram_;
  uint32_t next_ = kRamBase;
  std::vector<uint32_t> freed_;
  std::map<uint8_t, Bytes> flash_;
  std::optional<uint32_t> programmingTimeout_;
  uint32_t failingSub_ = 0;
  bool failWrites_ = false;
};

class MemoryRoad : public InterfaceFixture {
 protected:
  MemoryRoad() : InterfaceFixture(modelOfParameterLength1012()) {}

  void SetUp() override {
    InterfaceFixture::SetUp();
    if (HasFatalFailure()) return;
    port_ = open();
    uint32_t parameterLength = 0;
    ASSERT_EQ(Qor_GetParamSize(port_, &parameterLength), 0u);
    ASSERT_EQ(parameterLength, 1012u);
    device_->recorder().clear();
  }

  // A controller that keeps the bytes written; cases whose requests stand in the request table do without.
  EmulatedMemory& emulateMemory() { return memory_.emplace(*device_, port_); }

  // The frames of this command since the last clear.
  std::vector<ReceivedFrame> sent(uint8_t command) const {
    std::vector<ReceivedFrame> frames = device_->recorder().frames();
    std::erase_if(frames, [&](const ReceivedFrame& frame) { return frame.command() != command; });
    return frames;
  }

  uint32_t allocate(uint32_t size) {
    uint32_t address = 0;
    EXPECT_EQ(Qor_Common_Memory_Allocate(port_, 0, size, &address), 0u) << Qor_GetLastErrorDescription();
    return address;
  }

  uint32_t port_ = QOR_NO_PORT;
  std::optional<EmulatedMemory> memory_;
};

TEST_F(MemoryRoad, WritesAndReadsGoInPiecesOfTheParameterLength) {
  emulateMemory();
  const uint32_t address = allocate(2000);
  const Bytes data = pattern(2000, 1);
  ASSERT_EQ(Qor_Common_Memory_Write(port_, address, 4, 2000, data.data()), 0u) << Qor_GetLastErrorDescription();
  const auto writes = sent(0x0A);
  ASSERT_EQ(writes.size(), 2u);
  for (size_t i = 0; i < writes.size(); ++i) {
    const auto parameters = writes[i].parameters();
    ASSERT_EQ(parameters.size(), 1012u);
    EXPECT_EQ(Bytes(parameters.begin(), parameters.begin() + 12),
              Bytes(words({address + 1000 * static_cast<uint32_t>(i), 1000, 4})));
    EXPECT_TRUE(std::equal(parameters.begin() + 12, parameters.end(), data.begin() + 1000 * static_cast<long>(i)));
  }

  Bytes back(2000);
  ASSERT_EQ(Qor_Common_Memory_Read(port_, address, 4, 2000, back.data()), 0u) << Qor_GetLastErrorDescription();
  const auto reads = sent(0x0B);
  ASSERT_EQ(reads.size(), 2u);
  Bytes expected = words({address, 1004, 4});
  expected.resize(16);
  EXPECT_EQ(Bytes(reads[0].parameters().begin(), reads[0].parameters().end()), expected);
  expected = words({address + 1004, 996, 4});
  expected.resize(16);
  EXPECT_EQ(Bytes(reads[1].parameters().begin(), reads[1].parameters().end()), expected);
  EXPECT_EQ(back, data);
}

TEST_F(MemoryRoad, LargeBufferComesBackAsWritten) {
  emulateMemory();
  constexpr uint32_t kLength = 300000;
  const uint32_t address = allocate(kLength);
  const Bytes data = pattern(kLength, 2);
  ASSERT_EQ(Qor_Common_Memory_Write(port_, address, 1, kLength, data.data()), 0u) << Qor_GetLastErrorDescription();
  Bytes back(kLength);
  ASSERT_EQ(Qor_Common_Memory_Read(port_, address, 1, kLength, back.data()), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(back, data);
  EXPECT_EQ(sent(0x0A).size(), (kLength + 999) / 1000);
}

TEST_F(MemoryRoad, NothingToMoveSendsNothing) {
  EXPECT_EQ(Qor_Common_Memory_Write(port_, EmulatedMemory::kRamBase, 1, 0, nullptr), 0u);
  EXPECT_EQ(Qor_Common_Memory_Read(port_, EmulatedMemory::kRamBase, 1, 0, nullptr), 0u);
  EXPECT_EQ(device_->recorder().count(), 0u);
}

TEST_F(MemoryRoad, ShortReadAnswerIsRefusedAfterTheGoodPieces) {
  emulateMemory();
  const uint32_t address = allocate(2000);
  const Bytes data = pattern(2000, 3);
  ASSERT_EQ(Qor_Common_Memory_Write(port_, address, 1, 2000, data.data()), 0u);
  // The first piece's answer is whole; the second piece (996 bytes) comes back with 995 data bytes.
  device_->onCommand(0x0B, [&](const ReceivedFrame& frame) -> Reply {
    const uint32_t offset = frame.parameterWord(0) - address;
    const uint32_t length = frame.parameterWord(4) - (offset == 0 ? 0 : 1);
    Bytes answer = words({frame.parameterWord(0), length});
    answer.insert(answer.end(), data.begin() + offset, data.begin() + offset + length);
    return frame.response(answer);
  });
  Bytes back(2000, 0xEE);
  EXPECT_EQ(Qor_Common_Memory_Read(port_, address, 1, 2000, back.data()), kInvalidResponseLength);
  EXPECT_TRUE(std::equal(back.begin(), back.begin() + 1004, data.begin()));
  EXPECT_TRUE(std::all_of(back.begin() + 1004, back.end(), [](uint8_t byte) { return byte == 0xEE; }));
}

TEST_F(MemoryRoad, ExecuteSendsEachFlagBitAsAByte) {
  const std::pair<uint32_t, Bytes> flagBytes[] = {
      {0x9, {1, 0, 0, 1}}, {0x6, {0, 1, 1, 0}}, {0x0, {0, 0, 0, 0}}, {0xF, {1, 1, 1, 1}}};
  for (const auto& [flags, bytes] : flagBytes) {
    Bytes record = words({0x20001000});
    record.insert(record.end(), bytes.begin(), bytes.end());
    const Bytes argument = words({0xA5A5A5A5});
    record.insert(record.end(), argument.begin(), argument.end());
    device_->expect(0x09, record);
    EXPECT_EQ(Qor_Common_Memory_Execute(port_, flags, 0x20001000, 0xA5A5A5A5), 0u) << flags;
  }
}

TEST_F(MemoryRoad, RefusedArgumentsSendNothing) {
  uint32_t address = 0;
  EXPECT_EQ(Qor_Common_Memory_Execute(port_, 0x10, 0x20001000, 0), kUnknownFlag);
  EXPECT_EQ(Qor_Common_Memory_Allocate(port_, 4, 16, nullptr), 0x02010007u);
  EXPECT_EQ(Qor_Common_Memory_Allocate(port_, 4, 16, &address), kUnknownFlag);
  EXPECT_EQ(Qor_Common_Memory_Free(port_, 1, EmulatedMemory::kRamBase), kUnknownFlag);
  EXPECT_EQ(Qor_Common_Memory_Write(port_, EmulatedMemory::kRamBase, 1, 1, nullptr), 0x02010007u);
  EXPECT_EQ(Qor_Common_Memory_Read(port_, EmulatedMemory::kRamBase, 1, 1, nullptr), 0x02010007u);
  EXPECT_EQ(Qor_Common_Memory_Flash_Write(port_, 0, 0, nullptr, 1, 1000), 0x02010007u);
  EXPECT_EQ(device_->recorder().count(), 0u);
}

TEST_F(MemoryRoad, AllocateAndFreeCarryTheirRecords) {
  device_->expect(0x0C, words({20, 3, 100})).answer(words({20, 0x20000040}));
  device_->expect(0x0C, words({21, 0, 0x20000040, 0})).answer(words({21}));
  device_->expect(0x0C, words({20, 0, 16})).answer(words({20}));  // no address
  uint32_t address = 0;
  ASSERT_EQ(Qor_Common_Memory_Allocate(port_, 3, 100, &address), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(address, 0x20000040u);
  EXPECT_EQ(Qor_Common_Memory_Free(port_, 0, address), 0u);
  EXPECT_EQ(Qor_Common_Memory_Allocate(port_, 0, 16, &address), kInvalidResponseLength);
  EXPECT_EQ(address, 0x20000040u);
}

TEST_F(MemoryRoad, FlashWriteStagesProgramsAndCleansUp) {
  EmulatedMemory& memory = emulateMemory();
  const uint32_t ownTimeout = Qor_GetResponseTimeout(port_);
  const Bytes data = pattern(2500, 4);
  ASSERT_EQ(Qor_Common_Memory_Flash_Write(port_, 2, 0x100, data.data(), 2500, 7000), 0u)
      << Qor_GetLastErrorDescription();
  const Bytes flash = memory.flash(2);
  ASSERT_EQ(flash.size(), 0x100u + 2500);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), flash.begin() + 0x100));
  EXPECT_EQ(memory.timeoutWhileProgramming(), 7000u);
  EXPECT_EQ(Qor_GetResponseTimeout(port_), ownTimeout);
  EXPECT_EQ(memory.freed(), std::vector<uint32_t>{EmulatedMemory::kRamBase});
  const auto writes = sent(0x0A);
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[0].parameters()[8], QOR_COMMON_MEMORY_FLASH_STAGING_WIDTH);
  const auto ram = sent(0x0C);
  ASSERT_EQ(ram.size(), 3u);
  EXPECT_EQ(Bytes(ram[1].parameters().begin(), ram[1].parameters().end()),
            (Bytes{22, 0, 0, 0, 2, 0, 0, 0, 0x00, 0x01, 0, 0, 0x00, 0x00, 0x00, 0x20, 0xC4, 0x09, 0, 0}));
}

TEST_F(MemoryRoad, FlashWriteFailingInTheFirmwareStillFreesAndRestores) {
  EmulatedMemory& memory = emulateMemory();
  const uint32_t ownTimeout = Qor_GetResponseTimeout(port_);
  memory.failSub(22);
  const Bytes data = pattern(100, 5);
  EXPECT_EQ(Qor_Common_Memory_Flash_Write(port_, 1, 0, data.data(), 100, 7000), kFirmwareError);
  EXPECT_EQ(Qor_GetResponseTimeout(port_), ownTimeout);
  const auto ram = sent(0x0C);
  ASSERT_EQ(ram.size(), 3u);
  EXPECT_EQ(ram[1].parameterWord(0), 22u);
  EXPECT_EQ(ram[2].parameterWord(0), 21u);
  EXPECT_EQ(ram[2].parameterWord(8), EmulatedMemory::kRamBase);
  EXPECT_TRUE(memory.flash(1).empty());
}

TEST_F(MemoryRoad, FlashWriteFailingToStageFreesWithoutTouchingTheTimeout) {
  EmulatedMemory& memory = emulateMemory();
  const uint32_t ownTimeout = Qor_GetResponseTimeout(port_);
  memory.failWrites();
  const Bytes data = pattern(100, 6);
  EXPECT_EQ(Qor_Common_Memory_Flash_Write(port_, 1, 0, data.data(), 100, 7000), kFirmwareError);
  EXPECT_EQ(Qor_GetResponseTimeout(port_), ownTimeout);
  const auto ram = sent(0x0C);
  ASSERT_EQ(ram.size(), 2u);
  EXPECT_EQ(ram[0].parameterWord(0), 20u);
  EXPECT_EQ(ram[1].parameterWord(0), 21u);
  EXPECT_EQ(memory.freed(), std::vector<uint32_t>{EmulatedMemory::kRamBase});
}

TEST_F(MemoryRoad, FlashWriteWithoutRamSendsNothingMore) {
  EmulatedMemory& memory = emulateMemory();
  memory.failSub(20);
  const Bytes data = pattern(100, 7);
  EXPECT_EQ(Qor_Common_Memory_Flash_Write(port_, 1, 0, data.data(), 100, 7000), kFirmwareError);
  EXPECT_EQ(device_->recorder().count(), 1u);
  EXPECT_TRUE(memory.freed().empty());
}

}  // namespace
}  // namespace qor::test
