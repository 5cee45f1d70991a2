#include "qor_emulator/card94xx.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <cstring>
#include <system_error>
#include <vector>

#include "Pxi94xx.h"
#include "qor_emulator/card_response_sink.hpp"
#include "qor_shared/firmware_records.hpp"
#include "driver_support.hpp"

namespace qor::emulator {
namespace {


[[noreturn]] void fail(const std::string& what) { throw std::system_error(errno, std::generic_category(), what); }

volatile uint8_t* mapNode(const std::string& path, uint64_t size) {
  mkdir(PLX_NODE_DIRECTORY, 0755);
  const int node = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (node < 0) fail("cannot create " + path);
  if (ftruncate(node, static_cast<off_t>(size)) != 0) {
    close(node);
    fail("cannot size " + path);
  }
  void* mapping = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, node, 0);
  close(node);
  if (mapping == MAP_FAILED) fail("cannot map " + path);
  return static_cast<volatile uint8_t*>(mapping);
}

// The PCI identifiers, as a driver reads them from the configuration space.
void writeConfiguration(const std::string& path, uint16_t vendorId, uint16_t deviceId) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  const uint16_t head[] = {vendorId, deviceId};
  file.write(reinterpret_cast<const char*>(head), sizeof head);
  if (!file) fail("cannot write " + path);
}

}  // namespace

void answerIdentification(Device& device, const Card94xxIdentification& identification) {
  constexpr uint32_t kEepromArea = 10;
  constexpr uint32_t kIdentifierAddress = 10;
  constexpr uint32_t kReportsPositionAddress = 0x12;
  constexpr uint32_t kPositionRegister = 0x2000;
  const auto answerWith = [](const ReceivedFrame& frame, uint32_t value) {
    return Reply(frame.response(words({frame.parameterWord(0), frame.parameterWord(4), value})));
  };
  const auto neither = [](const ReceivedFrame& frame) {
    return frame.header().requestKind == QOR_REQUEST_ACKNOWLEDGE ? Reply(frame.acknowledge()) : Reply();
  };
  const uint32_t serialNumber = device.config().serialNumber;
  device.onCommand(firmware::kControllerControlCommand, [=](const ReceivedFrame& frame) {
    if (frame.parameterWord(0) == firmware::kSerialNumberSubFunction) {
      return Reply(frame.response(words({firmware::kSerialNumberSubFunction, serialNumber})));
    }
    if (frame.parameterWord(0) != kEepromArea) return neither(frame);
    switch (frame.parameterWord(4)) {
      case kIdentifierAddress: return answerWith(frame, identification.identifier);
      case kReportsPositionAddress: return answerWith(frame, identification.reportsPosition ? 1 : 0);
      default: return neither(frame);
    }
  });
  device.onCommand(0x0B, [=](const ReceivedFrame& frame) {
    if (frame.parameterWord(8) != kPositionRegister) return neither(frame);
    return answerWith(frame, uint32_t{identification.position} << 24 | identification.fpgaValue);
  });
}

Card94xx::Card94xx(Device& device, Card94xxConfig config)
    : device_(device),
      config_(config),
      nodePath_(std::string(PLX_NODE_DIRECTORY) + "Pxi94xx-" + std::to_string(config.deviceNumber)),
      bar0_(mapNode(nodePath_, config.bar0Size)),
      sink_(std::make_shared<CardResponseSink<Card94xx>>(*this)) {
  writeConfiguration(configurationPath(nodePath_), config_.pciVendorId, config_.pciDeviceId);
  if (config_.bar0Size >= PXI94XX_BAR0_SIZE) {
    setRegister(PXI94XX_CONTROL_WORD, PXI94XX_CONTROL_WAITING);
    const std::pair<uint32_t, uint32_t> rings[] = {{PXI94XX_COMMAND_READ_INDEX, PXI94XX_COMMAND_RING_SIZE},
                                                   {PXI94XX_RESPONSE_READ_INDEX, PXI94XX_RESPONSE_RING_SIZE},
                                                   {PXI94XX_MONITOR_READ_INDEX, PXI94XX_MONITOR_RING_SIZE}};
    for (const auto& [readIndex, size] : rings) {
      setRegister(readIndex, config_.firstRingIndex % (size / 4));
      setRegister(readIndex + 4, config_.firstRingIndex % (size / 4));
    }
  }
  thread_ = std::thread([this] { run(); });
}

Card94xx::~Card94xx() {
  {
    std::lock_guard lock(stopMutex_);
    stopping_ = true;
  }
  stopRequested_.notify_all();
  thread_.join();
  munmap(const_cast<uint8_t*>(bar0_), config_.bar0Size);
  unlink(nodePath_.c_str());
  unlink(configurationPath(nodePath_).c_str());
}

uint32_t Card94xx::registerAt(uint32_t offset) const {
  return *reinterpret_cast<volatile uint32_t*>(bar0_ + offset);
}

void Card94xx::setRegister(uint32_t offset, uint32_t value) {
  *reinterpret_cast<volatile uint32_t*>(bar0_ + offset) = value;
}

void Card94xx::run() {
  std::unique_lock lock(stopMutex_);
  while (!stopRequested_.wait_for(lock, config_.commandPoll, [this] { return stopping_; })) {
    if (config_.bar0Size < PXI94XX_BAR0_SIZE) continue;  // too small to hold the rings: a card that never answers
    lock.unlock();
    const uint32_t control = registerAt(PXI94XX_CONTROL_WORD);
    if (control & PXI94XX_CONTROL_DOORBELL) {
      ++doorbells_;
      setRegister(PXI94XX_CONTROL_WORD, PXI94XX_CONTROL_WAITING);
    }
    takeCommands();
    lock.lock();
  }
}

void Card94xx::takeCommands() {
  constexpr uint32_t dwords = PXI94XX_COMMAND_RING_SIZE / 4;
  uint32_t read = registerAt(PXI94XX_COMMAND_READ_INDEX) % dwords;
  const uint32_t write = registerAt(PXI94XX_COMMAND_WRITE_INDEX) % dwords;
  while (read != write) {
    const uint32_t waiting = (write + dwords - read) % dwords;
    const uint32_t length = registerAt(PXI94XX_COMMAND_RING + 4 * read) >> 16;
    const uint32_t frameDwords = std::max<uint32_t>(1, (length + 3) / 4);
    if (frameDwords > waiting) {  // a frame that lies about its length: the card drops the rest
      setRegister(PXI94XX_COMMAND_READ_INDEX, write);
      return;
    }
    std::vector<uint8_t> frame(4 * frameDwords);
    for (uint32_t i = 0; i < frameDwords; ++i) {
      const uint32_t word = registerAt(PXI94XX_COMMAND_RING + 4 * ((read + i) % dwords));
      std::memcpy(frame.data() + 4 * i, &word, 4);
    }
    frame.resize(std::max<uint32_t>(length, 1));
    read = (read + frameDwords) % dwords;
    setRegister(PXI94XX_COMMAND_READ_INDEX, read);
    device_.receive(frame, sink_);
  }
}

bool Card94xx::writeRing(uint32_t data, uint32_t size, uint32_t readIndex, uint32_t writeIndex,
                         std::span<const uint8_t> frame) {
  std::lock_guard lock(ringMutex_);
  const uint32_t dwords = size / 4;
  const uint32_t read = registerAt(readIndex) % dwords;
  uint32_t write = registerAt(writeIndex) % dwords;
  const uint32_t free = read > write ? read - write : read + dwords - write;
  const uint32_t needed = static_cast<uint32_t>((frame.size() + 3) / 4);
  if (needed + 1 > free) return false;
  for (size_t offset = 0; offset < frame.size(); offset += 4) {
    uint32_t word = 0;
    std::memcpy(&word, frame.data() + offset, std::min<size_t>(4, frame.size() - offset));
    setRegister(data + 4 * write, word);
    write = (write + 1) % dwords;
  }
  setRegister(writeIndex, write);
  return true;
}

bool Card94xx::writeMonitor(std::span<const uint8_t> frame) {
  return writeRing(PXI94XX_MONITOR_RING, PXI94XX_MONITOR_RING_SIZE, PXI94XX_MONITOR_READ_INDEX,
                   PXI94XX_MONITOR_WRITE_INDEX, frame);
}

bool Card94xx::writeResponse(std::span<const uint8_t> frame) {
  if (!writeRing(PXI94XX_RESPONSE_RING, PXI94XX_RESPONSE_RING_SIZE, PXI94XX_RESPONSE_READ_INDEX,
                 PXI94XX_RESPONSE_WRITE_INDEX, frame)) {
    return false;
  }
  const uint32_t interruptControl = registerAt(PXI94XX_INTERRUPT_CONTROL_WORD);
  if (interruptControl & PXI94XX_INTERRUPT_RESPONSE) {
    setRegister(PXI94XX_INTERRUPT_CONTROL_WORD, interruptControl & ~PXI94XX_INTERRUPT_RESPONSE);
    wakeWordSleepers(reinterpret_cast<volatile uint32_t*>(bar0_ + PXI94XX_INTERRUPT_CONTROL_WORD));
    {
      std::lock_guard lock(interruptMutex_);
      interruptPending_ = true;
    }
    interruptRaised_.notify_all();
  }
  return true;
}

bool Card94xx::waitForInterrupt(std::chrono::milliseconds timeout) {
  std::unique_lock lock(interruptMutex_);
  if (!interruptRaised_.wait_for(lock, timeout, [this] { return interruptPending_; })) return false;
  interruptPending_ = false;
  return true;
}

}  // namespace qor::emulator
