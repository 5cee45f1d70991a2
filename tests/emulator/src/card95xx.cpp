#include "qor_emulator/card95xx.hpp"

#include <fcntl.h>
#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>
#include <utility>
#include <vector>

#include "qor_emulator/card_response_sink.hpp"
#include "qor_protocol.h"
#include "vortaq_abi.h"

namespace qor::emulator {

// What the driver keeps of a card, in the card's file "driver", so that every process reaching the card sees one.
struct Card95xxDriverState {
  uint32_t messagePending;  // the message interrupt: 1 once raised, until a wait takes it; a futex word
  uint32_t dmaChannels;
  uint8_t configSpace[4096];
};

namespace {

constexpr uint32_t kWindowSize = VORTAQ_V2_WINDOW_SIZE;
constexpr uint32_t kRingDwords = 0x40000;
constexpr uint32_t kPage = 4096;
constexpr uint64_t kBusAddressBase = 0x100000000ull;  // where the card sees pinned pages: one page after another
constexpr char kDriverStateFile[] = "driver";
static_assert(std::atomic_ref<uint32_t>::is_always_lock_free);

[[noreturn]] void fail(const std::string& what) { throw std::system_error(errno, std::generic_category(), what); }

int refuse(int error) {
  errno = error;
  return -1;
}

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
// The driver state of cards of other processes, by the (device, inode) of the card file a descriptor is. Kept
// mapped for the process's life: a card's files are new files when it is made again.
std::map<std::pair<dev_t, ino_t>, Card95xxDriverState*> otherProcessCards;

// The driver state beside the card file that descriptor is (under registryMutex); null when there is none.
Card95xxDriverState* stateOfAnotherProcess(int descriptor, const struct stat& file) {
  const auto key = std::make_pair(file.st_dev, file.st_ino);
  if (const auto known = otherProcessCards.find(key); known != otherProcessCards.end()) return known->second;
  char link[PATH_MAX];
  const std::string proc = "/proc/self/fd/" + std::to_string(descriptor);
  const ssize_t length = readlink(proc.c_str(), link, sizeof link - 1);
  if (length <= 0) return nullptr;
  const std::string path(link, static_cast<size_t>(length));
  const std::string statePath = path.substr(0, path.rfind('/') + 1) + kDriverStateFile;
  const int stateFile = open(statePath.c_str(), O_RDWR | O_CLOEXEC);
  if (stateFile < 0) return nullptr;
  struct stat status {};
  void* mapping = fstat(stateFile, &status) == 0 && status.st_size == sizeof(Card95xxDriverState)
                      ? mmap(nullptr, sizeof(Card95xxDriverState), PROT_READ | PROT_WRITE, MAP_SHARED, stateFile, 0)
                      : MAP_FAILED;
  close(stateFile);
  if (mapping == MAP_FAILED) return nullptr;
  return otherProcessCards[key] = static_cast<Card95xxDriverState*>(mapping);
}

void raiseMessage(Card95xxDriverState& state) {
  std::atomic_ref<uint32_t>(state.messagePending).store(1);
  syscall(SYS_futex, &state.messagePending, FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
}

bool takeMessage(Card95xxDriverState& state, std::chrono::milliseconds timeout) {
  std::atomic_ref<uint32_t> pending(state.messagePending);
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (pending.exchange(0) == 0) {
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::nanoseconds::zero()) return false;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
    const timespec wait{seconds.count(), std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds).count()};
    syscall(SYS_futex, &state.messagePending, FUTEX_WAIT, 0, &wait, nullptr, 0);
  }
  return true;
}

bool isDmaRequest(unsigned long request) {
  return request == VORTAQ_ALLOC_DMA_MEM || request == VORTAQ_RELEASE_DMA_MEM || request == VORTAQ_GET_PAGE_TABLE;
}

template <typename Record>
Record& recordAt(void* record) {
  return *static_cast<Record*>(record);
}

// The requests the driver answers from what it keeps of a card.
int answerFromDriverState(Card95xxDriverState& state, unsigned long request, void* record) {
  switch (request) {
    case VORTAQ_GET_BOARD_CONFIG: {
      auto& config = recordAt<BOARD_CONFIG_STRUCT>(record);
      std::memcpy(&config.PciConfig, state.configSpace, sizeof config.PciConfig);
      config.NumDmaChannels = state.dmaChannels;
      config.DriverVersionMajor = 2019;
      config.DriverVersionMinor = 1;
      config.DriverVersionSubMinor = 9;
      config.DriverVersionBuildNumber = 1;
      return 0;
    }
    case VORTAQ_READ_PCI_CONFIG: {
      const auto& read = recordAt<RW_PCI_CONFIG_STRUCT>(record);
      if (read.Length > 4 || read.Offset >= sizeof state.configSpace ||
          read.Length > sizeof state.configSpace - read.Offset) {
        return refuse(EINVAL);
      }
      std::memcpy(reinterpret_cast<void*>(read.Buffer), state.configSpace + read.Offset, read.Length);
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
    case VORTAQ_WAIT_MSG_ANSWER:
      return takeMessage(state, std::chrono::milliseconds(recordAt<uint32_t>(record))) ? 0 : refuse(ETIME);
    case VORTAQ_NO_OPERATION:
      return 0;
    default:
      return refuse(ENOTTY);
  }
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
  ino_t stateInode = 0;
  driver_ = reinterpret_cast<Card95xxDriverState*>(
      mapFile(directory_ + kDriverStateFile, sizeof(Card95xxDriverState), &stateInode));
  driver_->dmaChannels = config_.dmaChannels;
  for (const char* channelFile : {"DMA0", "DMA1"}) {
    if (symlink("memory", (directory_ + channelFile).c_str()) != 0) fail("cannot link " + directory_ + channelFile);
  }
  auto* header = reinterpret_cast<PCI_CONFIG_HEADER*>(driver_->configSpace);
  header->VendorId = config_.pciVendorId;
  header->DeviceId = config_.pciDeviceId;
  header->BarCfg[0] = 0xF0000000u;
  const uint32_t capability = config_.serialNumber != 0 ? 3u | (1u << 16) : 1u | (1u << 16);  // serial / AER
  std::memcpy(driver_->configSpace + 0x100, &capability, 4);
  std::memcpy(driver_->configSpace + 0x104, &config_.serialNumber, 4);
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
  munmap(driver_, sizeof(Card95xxDriverState));
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
  if (fstat(descriptor, &status) != 0) return refuse(ENOTTY);
  Card95xx* card = nullptr;
  Card95xxDriverState* state = nullptr;
  {
    std::lock_guard lock(registryMutex);
    for (Card95xx* candidate : registry) {
      if (status.st_ino == candidate->deviceInode_ || status.st_ino == candidate->memoryInode_) card = candidate;
    }
    if (card == nullptr) state = stateOfAnotherProcess(descriptor, status);
  }
  if (card != nullptr) return card->answer(request, record);
  if (state == nullptr) return refuse(ENOTTY);
  return isDmaRequest(request) ? refuse(EOPNOTSUPP) : answerFromDriverState(*state, request, record);
}

void Card95xx::setConfigDword(uint32_t offset, uint32_t value) {
  if (offset <= sizeof driver_->configSpace - 4) std::memcpy(driver_->configSpace + offset, &value, 4);
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
  {
    std::lock_guard lock(stateMutex_);
    if (failingRequest_ != 0 && request == failingRequest_) {
      failingRequest_ = 0;
      return refuse(failingErrno_);
    }
  }
  return isDmaRequest(request) ? answerDma(request, record) : answerFromDriverState(*driver_, request, record);
}

int Card95xx::answerDma(unsigned long request, void* record) {
  std::lock_guard lock(stateMutex_);
  switch (request) {
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
  for (size_t i = 0; i < count; ++i) {
    buffer.address[position] = data[i];
    position = (position + 1) % buffer.length;
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
  raiseMessage(*driver_);
  return true;
}

void Card95xx::run() {
  std::unique_lock lock(stopMutex_);
  while (!stopRequested_.wait_for(lock, config_.commandPoll, [this] { return stopping_; })) {
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
