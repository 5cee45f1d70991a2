#include "qor_emulator/card95xx.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>
#include <utility>
#include <vector>

#include "qor_emulator/card_response_sink.hpp"
#include "qor_protocol.h"
#include "driver_support.hpp"
#include "vortaq_abi.h"

namespace qor::emulator {

// What the driver keeps of a card, in the card's file "driver", so that every process reaching the card sees one.
struct Card95xxDriverState {
  uint32_t messagePending;  // the message interrupt: 1 once raised, until a wait takes it; a futex word
  uint32_t dmaChannels;
  uint32_t failingRequest;  // the next request of this number fails with failingErrno; 0: none
  int32_t failingErrno;
  uint64_t pinnedLength[Card95xx::kChannels];   // the buffer pinned on a channel, in bytes; 0: none
  uint64_t pinnedAddress[Card95xx::kChannels];  // where it is in the process that pinned it
  uint64_t pinnings[Card95xx::kChannels];       // pins so far: tells a writer whether its mapping is of this buffer
  uint8_t configSpace[4096];
};

namespace {

constexpr uint32_t kWindowSize = VORTAQ_V2_WINDOW_SIZE;
constexpr uint32_t kRingDwords = 0x40000;
constexpr uint32_t kPage = 4096;
constexpr uint64_t kBusAddressBase = 0x100000000ull;  // where the card sees pinned pages: one page after another
constexpr char kDriverStateFile[] = "driver";
static_assert(std::atomic_ref<uint32_t>::is_always_lock_free && std::atomic_ref<uint64_t>::is_always_lock_free);

[[noreturn]] void fail(const std::string& what) { throw std::system_error(errno, std::generic_category(), what); }

int refuse(int error) {
  errno = error;
  return -1;
}

uint8_t* mapFile(const std::string& path, size_t size) {
  const int file = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (file < 0) fail("cannot create " + path);
  if (ftruncate(file, static_cast<off_t>(size)) != 0) {
    close(file);
    fail("cannot size " + path);
  }
  void* mapping = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
  close(file);
  if (mapping == MAP_FAILED) fail("cannot map " + path);
  return static_cast<uint8_t*>(mapping);
}

// An existing file of the card mapped whole, or null.
void* mapExisting(const std::string& path, size_t size) {
  const int file = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (file < 0) return nullptr;
  struct stat status {};
  void* mapping = fstat(file, &status) == 0 && static_cast<size_t>(status.st_size) >= size
                      ? mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, file, 0)
                      : MAP_FAILED;
  close(file);
  return mapping != MAP_FAILED ? mapping : nullptr;
}

std::string dmaFile(const std::string& directory, uint32_t channel) {
  return directory + "dma" + std::to_string(channel);
}

uint64_t pagesOf(uint64_t length) { return (length + kPage - 1) / kPage; }

// A card's files as the process that sends the driver's requests maps them.
struct CardFiles {
  std::string directory;
  Card95xxDriverState* state;
  volatile uint8_t* windows;
};

// The cards this process sent requests to, by the (device, inode) of the card file a descriptor is; kept mapped for
// the process's life, as a card made again has new files. The lock also keeps pins and releases one at a time.
std::mutex cardsMutex;
std::map<std::pair<dev_t, ino_t>, CardFiles> knownCards;

// The card whose file descriptor is (under cardsMutex); null for any other file.
const CardFiles* cardOf(int descriptor) {
  struct stat file {};
  if (fstat(descriptor, &file) != 0) return nullptr;
  const auto key = std::make_pair(file.st_dev, file.st_ino);
  if (const auto known = knownCards.find(key); known != knownCards.end()) return &known->second;
  const std::string path = pathOfDescriptor(descriptor);
  if (path.empty()) return nullptr;
  const std::string directory = path.substr(0, path.rfind('/') + 1);
  void* state = mapExisting(directory + kDriverStateFile, sizeof(Card95xxDriverState));
  void* windows = mapExisting(directory + "vortaq", kPage);
  if (state == nullptr || windows == nullptr) {
    if (state != nullptr) munmap(state, sizeof(Card95xxDriverState));
    if (windows != nullptr) munmap(windows, kPage);
    return nullptr;
  }
  return &(knownCards[key] = CardFiles{directory, static_cast<Card95xxDriverState*>(state),
                                       static_cast<volatile uint8_t*>(windows)});
}

void raiseMessage(Card95xxDriverState& state) {
  std::atomic_ref<uint32_t>(state.messagePending).store(1);
  wakeWordSleepers(&state.messagePending);
}

bool takeMessage(Card95xxDriverState& state, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::atomic_ref<uint32_t>(state.messagePending).exchange(0) == 0) {
    if (!sleepWhileWordIs(&state.messagePending, 0, deadline)) return false;
  }
  return true;
}

template <typename Record>
Record& recordAt(void* record) {
  return *static_cast<Record*>(record);
}

// Pinning makes the buffer's pages the pages of the channel's file, keeping what they hold, so that the card's
// process writes them as a device writes pinned pages. The bytes move through the kernel: the tail of the last page
// is not the caller's to read, and stays as it was.
int pin(const CardFiles& card, GET_DMA_MEM& request) {
  if (request.ChannelNum >= Card95xx::kChannels || request.Length == 0 || request.BufferUser_VA % kPage != 0) {
    return refuse(EINVAL);
  }
  std::atomic_ref<uint64_t> pinned(card.state->pinnedLength[request.ChannelNum]);
  if (pinned.load() != 0) return refuse(EBUSY);
  const uint64_t bytes = pagesOf(request.Length) * kPage;
  void* buffer = reinterpret_cast<void*>(request.BufferUser_VA);
  const int file = open(dmaFile(card.directory, request.ChannelNum).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC,
                        0600);
  if (file < 0) return -1;
  const bool shared = ftruncate(file, static_cast<off_t>(bytes)) == 0 &&
                      syscall(SYS_pwrite64, file, buffer, bytes, 0) == static_cast<long>(bytes) &&
                      mmap(buffer, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, file, 0) != MAP_FAILED;
  const int error = errno;
  close(file);
  if (!shared) return refuse(error);
  for (const uint32_t scratch : {V2_SCRATCH0, V2_SCRATCH1}) {
    *reinterpret_cast<volatile uint32_t*>(card.windows + request.ChannelNum * kWindowSize + scratch) = 0;
  }
  card.state->pinnedAddress[request.ChannelNum] = request.BufferUser_VA;
  std::atomic_ref<uint64_t>(card.state->pinnings[request.ChannelNum]).fetch_add(1);
  pinned.store(request.Length);
  request.NumPages = static_cast<uint32_t>(pagesOf(request.Length));
  request.BufferSize = static_cast<uint32_t>(bytes);
  return 0;
}

// Releasing gives the buffer private pages again, holding what the shared ones held.
int release(const CardFiles& card, uint32_t channel) {
  if (channel >= Card95xx::kChannels) return refuse(EINVAL);
  std::atomic_ref<uint64_t> pinned(card.state->pinnedLength[channel]);
  const uint64_t bytes = pagesOf(pinned.load()) * kPage;
  if (bytes == 0) return 0;
  const std::string path = dmaFile(card.directory, channel);
  const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) return -1;
  pinned.store(0);
  void* buffer = reinterpret_cast<void*>(card.state->pinnedAddress[channel]);
  const bool restored =
      mmap(buffer, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED &&
      syscall(SYS_pread64, file, buffer, bytes, 0) == static_cast<long>(bytes);
  const int error = errno;
  close(file);
  unlink(path.c_str());
  return restored ? 0 : refuse(error);
}

int pageTable(const CardFiles& card, void* record) {
  // The driver reads only the first 12 bytes of the header, then writes the entries from offset 0.
  uint32_t header[3];
  std::memcpy(header, record, VORTAQ_GET_SGL_HEADER_BYTES);
  if (header[1] >= Card95xx::kChannels) return refuse(EINVAL);
  const uint64_t length = std::atomic_ref<uint64_t>(card.state->pinnedLength[header[1]]).load();
  if (length == 0 || header[2] != pagesOf(length)) return refuse(EINVAL);
  auto* entries = static_cast<SG_ENTRY*>(record);
  for (uint32_t page = 0; page < header[2]; ++page) {
    entries[page].LogicalAddress = kBusAddressBase + header[1] * 0x10000000ull + page * uint64_t{kPage};
    entries[page].Size = std::min<uint64_t>(kPage, length - page * uint64_t{kPage});
  }
  return 0;
}

// The next request of this number fails once, when one was set to fail.
bool failsNow(Card95xxDriverState& state, unsigned long request, int& error) {
  uint32_t expected = static_cast<uint32_t>(request);
  if (request == 0 || !std::atomic_ref<uint32_t>(state.failingRequest).compare_exchange_strong(expected, 0)) {
    return false;
  }
  error = state.failingErrno;
  return true;
}

}  // namespace

Card95xx::Card95xx(Device& device, std::string root, uint32_t number, Card95xxConfig config)
    : device_(device),
      config_(config),
      directory_(root + "Pxi95xx" + std::to_string(number) + "/"),
      sink_(std::make_shared<CardResponseSink<Card95xx>>(*this)) {
  if (mkdir(directory_.c_str(), 0755) != 0) fail("cannot create " + directory_);
  windows_ = mapFile(directory_ + "vortaq", kPage);
  memory_ = mapFile(directory_ + "memory", kCardMemorySize);
  driver_ = reinterpret_cast<Card95xxDriverState*>(mapFile(directory_ + kDriverStateFile, sizeof(Card95xxDriverState)));
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
  thread_ = std::thread([this] { run(); });
}

Card95xx::~Card95xx() {
  {
    std::lock_guard lock(stopMutex_);
    stopping_ = true;
  }
  stopRequested_.notify_all();
  thread_.join();
  for (const DmaMapping& mapping : dmaMappings_) {
    if (mapping.address != nullptr) munmap(mapping.address, mapping.bytes);
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
  std::unique_lock lock(cardsMutex);
  const CardFiles* card = cardOf(descriptor);
  if (card == nullptr) return refuse(ENOTTY);
  Card95xxDriverState& state = *card->state;
  if (int error = 0; failsNow(state, request, error)) return refuse(error);
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
    case VORTAQ_ALLOC_DMA_MEM:
      return pin(*card, recordAt<GET_DMA_MEM>(record));
    case VORTAQ_RELEASE_DMA_MEM:
      return release(*card, recordAt<uint32_t>(record));
    case VORTAQ_GET_PAGE_TABLE:
      return pageTable(*card, record);
    case VORTAQ_WAIT_MSG_ANSWER:
      lock.unlock();  // the wait must not hold the other cards' requests
      return takeMessage(state, std::chrono::milliseconds(recordAt<uint32_t>(record))) ? 0 : refuse(ETIME);
    case VORTAQ_NO_OPERATION:
      return 0;
    default:
      return refuse(ENOTTY);
  }
}

void Card95xx::setConfigDword(uint32_t offset, uint32_t value) {
  if (offset <= sizeof driver_->configSpace - 4) std::memcpy(driver_->configSpace + offset, &value, 4);
}

void Card95xx::failNextRequest(unsigned long request, int error) {
  driver_->failingErrno = error;
  std::atomic_ref<uint32_t>(driver_->failingRequest).store(static_cast<uint32_t>(request));
}

bool Card95xx::pinned(uint32_t channel) const {
  return channel < kChannels && std::atomic_ref<uint64_t>(driver_->pinnedLength[channel]).load() != 0;
}

size_t Card95xx::writeDma(uint32_t channel, std::span<const uint8_t> data) {
  if (channel >= kChannels) return 0;
  std::lock_guard lock(dmaMutex_);
  const uint64_t length = std::atomic_ref<uint64_t>(driver_->pinnedLength[channel]).load();
  if (length == 0) return 0;
  // The buffer's file stays mapped until another buffer is pinned on the channel.
  DmaMapping& mapping = dmaMappings_[channel];
  const uint64_t pinning = std::atomic_ref<uint64_t>(driver_->pinnings[channel]).load();
  if (mapping.address == nullptr || mapping.pinning != pinning) {
    if (mapping.address != nullptr) munmap(mapping.address, mapping.bytes);
    mapping.bytes = pagesOf(length) * kPage;
    mapping.address = static_cast<uint8_t*>(mapExisting(dmaFile(directory_, channel), mapping.bytes));
    mapping.pinning = pinning;
    if (mapping.address == nullptr) return 0;
  }
  uint8_t* const buffer = mapping.address;
  uint64_t position = registerAt(channel, V2_SCRATCH0) % length;
  const uint64_t limit = registerAt(channel, V2_SCRATCH1) % length;
  const uint64_t room = (limit + length - position) % length;
  const size_t count = static_cast<size_t>(std::min<uint64_t>(room, data.size()));
  // In at most two pieces: up to the buffer's end, then from its start.
  for (size_t done = 0; done < count;) {
    const auto piece = static_cast<size_t>(std::min<uint64_t>(count - done, length - position));
    std::memcpy(buffer + position, data.data() + done, piece);
    position = (position + piece) % length;
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
