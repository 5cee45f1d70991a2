#include "qor_emulator/card95xx.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "qor_emulator/card_response_sink.hpp"
#include "qor_protocol.h"
#include "vortaq_abi.h"

namespace qor::emulator {
namespace {

constexpr std::chrono::milliseconds kPollInterval{1};
constexpr uint32_t kWindowSize = VORTAQ_V2_WINDOW_SIZE;
constexpr uint32_t kRingDwords = 0x40000;
constexpr uint32_t kPage = 4096;
constexpr uint64_t kBusAddressBase = 0x100000000ull;  // where the card sees pinned pages: one page after another

[[noreturn]] void fail(const std::string& what) { throw std::system_error(errno, std::generic_category(), what); }

uint8_t* mapFile(const std::string& path, size_t size, ino_t* inode) {
  const int file = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (file < 0) fail("cannot create " + path);
  struct stat status {};
  if (ftruncate(file, static_cast<off_t>(size)) != 0 || fstat(file, &status) != 0) {
    close(file);
    fail("cannot size " + path);
  }
  *inode = status.st_ino;
  void* mapping = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
  close(file);
  if (mapping == MAP_FAILED) fail("cannot map " + path);
  return static_cast<uint8_t*>(mapping);
}

std::mutex registryMutex;
std::vector<Card95xx*> registry;

template <typename Record>
Record& recordAt(void* record) {
  return *static_cast<Record*>(record);
}

}  // namespace

Card95xx::Card95xx(Device& device, std::string root, uint32_t number, Card95xxConfig config)
    : device_(device),
      config_(config),
      directory_(root + "Pxi95xx" + std::to_string(number) + "/"),
      sink_(std::make_shared<CardResponseSink<Card95xx>>(*this)) {
  if (mkdir(directory_.c_str(), 0755) != 0) fail("cannot create " + directory_);
  windows_ = mapFile(directory_ + "vortaq", kPage, &deviceInode_);
  memory_ = mapFile(directory_ + "memory", kCardMemorySize, &memoryInode_);
  for (const char* channelFile : {"DMA0", "DMA1"}) {
    if (symlink("memory", (directory_ + channelFile).c_str()) != 0) fail("cannot link " + directory_ + channelFile);
  }
  auto* header = reinterpret_cast<PCI_CONFIG_HEADER*>(configSpace_.data());
  header->VendorId = config_.pciVendorId;
  header->DeviceId = config_.pciDeviceId;
  header->BarCfg[0] = 0xF0000000u;
  const uint32_t capability = config_.serialNumber != 0 ? 3u | (1u << 16) : 1u | (1u << 16);  // serial / AER
  std::memcpy(configSpace_.data() + 0x100, &capability, 4);
  std::memcpy(configSpace_.data() + 0x104, &config_.serialNumber, 4);
  const uint32_t first = config_.firstRingIndex % kRingDwords;
  setRegister(0, V2_SCRATCH0, kCommandRingBase);
  setRegister(1, V2_SCRATCH0, kResponseRingBase);
  for (uint32_t channel : {0u, 1u}) {
    setRegister(channel, V2_SCRATCH2, first);
    setRegister(channel, V2_SCRATCH3, first);
  }
  {
    std::lock_guard lock(registryMutex);
    registry.push_back(this);
  }
  thread_ = std::thread([this] { run(); });
}

Card95xx::~Card95xx() {
  {
    std::lock_guard lock(stopMutex_);
    stopping_ = true;
  }
  stopRequested_.notify_all();
  thread_.join();
  {
    std::lock_guard lock(registryMutex);
    std::erase(registry, this);
  }
  munmap(const_cast<uint8_t*>(windows_), kPage);
  munmap(memory_, kCardMemorySize);
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

uint32_t Card95xx::registerAt(uint32_t channel, uint32_t offset) const {
  return *reinterpret_cast<const volatile uint32_t*>(windows_ + channel * kWindowSize + offset);
}

void Card95xx::setRegister(uint32_t channel, uint32_t offset, uint32_t value) {
  *reinterpret_cast<volatile uint32_t*>(windows_ + channel * kWindowSize + offset) = value;
}

int Card95xx::request(int descriptor, unsigned long request, void* record) {
  struct stat status {};
  if (fstat(descriptor, &status) == 0) {
    std::lock_guard lock(registryMutex);
    for (Card95xx* card : registry) {
      if (status.st_ino == card->deviceInode_ || status.st_ino == card->memoryInode_) {
        return card->answer(request, record);
      }
    }
  }
  errno = ENOTTY;
  return -1;
}

void Card95xx::setConfigDword(uint32_t offset, uint32_t value) {
  std::lock_guard lock(stateMutex_);
  if (offset <= configSpace_.size() - 4) std::memcpy(configSpace_.data() + offset, &value, 4);
}

void Card95xx::failNextRequest(unsigned long request, int error) {
  std::lock_guard lock(stateMutex_);
  failingRequest_ = request;
  failingErrno_ = error;
}

bool Card95xx::pinned(uint32_t channel) const {
  std::lock_guard lock(stateMutex_);
  return channel < kChannels && pinned_[channel].address != nullptr;
}

int Card95xx::answer(unsigned long request, void* record) {
  std::unique_lock lock(stateMutex_);
  const auto refuse = [](int error) {
    errno = error;
    return -1;
  };
  if (failingRequest_ != 0 && request == failingRequest_) {
    failingRequest_ = 0;
    return refuse(failingErrno_);
  }
  switch (request) {
    case VORTAQ_GET_BOARD_CONFIG: {
      auto& config = recordAt<BOARD_CONFIG_STRUCT>(record);
      std::memcpy(&config.PciConfig, configSpace_.data(), sizeof config.PciConfig);
      config.NumDmaChannels = config_.dmaChannels;
      config.DriverVersionMajor = 2019;
      config.DriverVersionMinor = 1;
      config.DriverVersionSubMinor = 9;
      config.DriverVersionBuildNumber = 1;
      return 0;
    }
    case VORTAQ_READ_PCI_CONFIG: {
      const auto& read = recordAt<RW_PCI_CONFIG_STRUCT>(record);
      if (read.Length > 4 || read.Offset >= configSpace_.size() || read.Length > configSpace_.size() - read.Offset) {
        return refuse(EINVAL);
      }
      std::memcpy(reinterpret_cast<void*>(read.Buffer), configSpace_.data() + read.Offset, read.Length);
      return 0;
    }
    case VORTAQ_GET_BARMEM_INFO: {
      auto& bars = recordAt<QORPXI95XX_BARMEM_INFO>(record);
      bars = QORPXI95XX_BARMEM_INFO{};
      bars.BarType[0] = 1;
      bars.BarPhysicalAddress[0] = 0xF0000000u;
      bars.BarLength[0] = kPage;
      return 0;
    }
    case VORTAQ_ALLOC_DMA_MEM: {
      auto& pin = recordAt<GET_DMA_MEM>(record);
      if (pin.ChannelNum >= kChannels || pin.Length == 0) return refuse(EINVAL);
      PinnedBuffer& buffer = pinned_[pin.ChannelNum];
      if (buffer.address != nullptr) return refuse(EBUSY);
      buffer = {reinterpret_cast<uint8_t*>(pin.BufferUser_VA), pin.Length,
                static_cast<uint32_t>((pin.Length + kPage - 1) / kPage)};
      pin.NumPages = buffer.pages;
      pin.BufferSize = buffer.pages * kPage;
      setRegister(pin.ChannelNum, V2_SCRATCH0, 0);
      setRegister(pin.ChannelNum, V2_SCRATCH1, 0);
      return 0;
    }
    case VORTAQ_RELEASE_DMA_MEM: {
      const uint32_t channel = recordAt<uint32_t>(record);
      if (channel >= kChannels) return refuse(EINVAL);
      pinned_[channel] = PinnedBuffer{};
      return 0;
    }
    case VORTAQ_GET_PAGE_TABLE: {
      // The driver reads only the first 12 bytes of the header, then writes the entries from offset 0.
      uint32_t header[3];
      std::memcpy(header, record, VORTAQ_GET_SGL_HEADER_BYTES);
      if (header[1] >= kChannels) return refuse(EINVAL);
      const PinnedBuffer& buffer = pinned_[header[1]];
      if (buffer.address == nullptr || header[2] != buffer.pages) return refuse(EINVAL);
      auto* entries = static_cast<SG_ENTRY*>(record);
      for (uint32_t page = 0; page < buffer.pages; ++page) {
        entries[page].LogicalAddress = kBusAddressBase + header[1] * 0x10000000ull + page * uint64_t{kPage};
        entries[page].Size = std::min<uint64_t>(kPage, buffer.length - page * uint64_t{kPage});
      }
      return 0;
    }
    case VORTAQ_WAIT_MSG_ANSWER: {
      const std::chrono::milliseconds timeout{recordAt<uint32_t>(record)};
      if (!messageRaised_.wait_for(lock, timeout, [this] { return messagePending_; })) return refuse(ETIME);
      messagePending_ = false;
      return 0;
    }
    case VORTAQ_NO_OPERATION:
      return 0;
    default:
      return refuse(ENOTTY);
  }
}

size_t Card95xx::writeDma(uint32_t channel, std::span<const uint8_t> data) {
  std::lock_guard lock(stateMutex_);
  if (channel >= kChannels || pinned_[channel].address == nullptr) return 0;
  const PinnedBuffer& buffer = pinned_[channel];
  uint64_t position = registerAt(channel, V2_SCRATCH0) % buffer.length;
  const uint64_t limit = registerAt(channel, V2_SCRATCH1) % buffer.length;
  const uint64_t room = (limit + buffer.length - position) % buffer.length;
  const size_t count = static_cast<size_t>(std::min<uint64_t>(room, data.size()));
  // In at most two pieces: up to the buffer's end, then from its start.
  for (size_t done = 0; done < count;) {
    const auto piece = static_cast<size_t>(std::min<uint64_t>(count - done, buffer.length - position));
    std::memcpy(buffer.address + position, data.data() + done, piece);
    position = (position + piece) % buffer.length;
    done += piece;
  }
  setRegister(channel, V2_SCRATCH0, static_cast<uint32_t>(position));
  return count;
}

bool Card95xx::writeResponse(std::span<const uint8_t> frame) {
  {
    std::lock_guard lock(ringMutex_);
    const uint32_t read = registerAt(1, V2_SCRATCH3) % kRingDwords;
    uint32_t write = registerAt(1, V2_SCRATCH2) % kRingDwords;
    const uint32_t free = read > write ? read - write : read + kRingDwords - write;
    const auto needed = static_cast<uint32_t>((frame.size() + 3) / 4);
    if (needed + 1 > free) return false;
    for (size_t offset = 0; offset < frame.size(); offset += 4) {
      uint32_t word = 0;
      std::memcpy(&word, frame.data() + offset, std::min<size_t>(4, frame.size() - offset));
      std::memcpy(memory_ + kResponseRingBase + 4 * write, &word, 4);
      write = (write + 1) % kRingDwords;
    }
    setRegister(1, V2_SCRATCH2, write);
  }
  {
    std::lock_guard lock(stateMutex_);
    messagePending_ = true;
  }
  messageRaised_.notify_all();
  return true;
}

void Card95xx::run() {
  std::unique_lock lock(stopMutex_);
  while (!stopRequested_.wait_for(lock, kPollInterval, [this] { return stopping_; })) {
    lock.unlock();
    if (registerAt(0, V2_AXI_INT_ASSERT) & V2_ASSERT_INT) {
      ++doorbells_;
      setRegister(0, V2_AXI_INT_ASSERT, 0);
    }
    takeCommands();
    lock.lock();
  }
}

void Card95xx::takeCommands() {
  uint32_t read = registerAt(0, V2_SCRATCH3) % kRingDwords;
  const uint32_t write = registerAt(0, V2_SCRATCH2) % kRingDwords;
  while (read != write) {
    const uint32_t waiting = (write + kRingDwords - read) % kRingDwords;
    std::vector<uint8_t> frame(4 * waiting > 12 ? 12 : 4 * waiting);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = memory_[kCommandRingBase + (4 * read + i) % 0x100000];
    uint16_t length = 0;
    if (frame.size() >= 4) std::memcpy(&length, frame.data() + 2, 2);
    const uint32_t frameDwords = std::max<uint32_t>(1, (length + 3u) / 4);
    if (frame.size() < 12 || frame[0] != QOR_FRAME_MARKER || length < 12 || frameDwords > waiting) {
      setRegister(0, V2_SCRATCH3, write);  // a frame that lies about itself: the card drops the rest
      return;
    }
    frame.resize(length);
    for (size_t i = 0; i < length; ++i) frame[i] = memory_[kCommandRingBase + (4 * read + i) % 0x100000];
    read = (read + frameDwords) % kRingDwords;
    setRegister(0, V2_SCRATCH3, read);
    device_.receive(frame, sink_);
  }
}

}  // namespace qor::emulator
