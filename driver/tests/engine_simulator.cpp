#include "engine_simulator.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {
constexpr std::uint64_t kQueueAddressMask = ~std::uint64_t{0x3F};
}

EngineSimulator::EngineSimulator(Generation generation, std::uint32_t windows, const std::vector<std::uint32_t>& present,
                                 std::size_t cardMemoryBytes)
    : generation_(generation), windows_(windows),
      registers_(windows * (generation == Generation::second ? VORTAQ_V2_WINDOW_SIZE : VORTAQ_V1_WINDOW_SIZE)),
      card_(cardMemoryBytes), pendingStatus_(windows) {
  for (std::uint32_t index : present) {
    if (generation_ == Generation::second)
      write32(index, V2_DMA_STATUS, V2_DMA_PRESENT | (index << 4));
    else
      __atomic_store_n(reinterpret_cast<std::uint16_t*>(&registers_[windowBase(index) + V1_DMA_CONTROL]),
                       static_cast<std::uint16_t>(V1_DMA_PRESENT | (index << 4)), __ATOMIC_RELEASE);
  }
  vq_register_written_context = this;
  vq_register_written = &EngineSimulator::registerWritten;
  thread_ = std::thread([this] { run(); });
}

EngineSimulator::~EngineSimulator() { stop(); }

void EngineSimulator::stop() {
  if (!thread_.joinable())
    return;
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
  vq_register_written = nullptr;
  vq_register_written_context = nullptr;
}

void EngineSimulator::onInterrupt(std::function<void(std::uint32_t)> handler) {
  std::lock_guard lock(mutex_);
  interrupt_ = std::move(handler);
}

void EngineSimulator::pause() {
  std::lock_guard lock(mutex_);
  paused_ = true;
}

void EngineSimulator::resume() {
  {
    std::lock_guard lock(mutex_);
    paused_ = false;
    dirty_ = true;
  }
  changed_.notify_all();
}

std::uint32_t EngineSimulator::windowBase(std::uint32_t index) const {
  return index * (generation_ == Generation::second ? VORTAQ_V2_WINDOW_SIZE : VORTAQ_V1_WINDOW_SIZE);
}

std::uint32_t EngineSimulator::read32(std::uint32_t window, std::uint32_t offset) const {
  return __atomic_load_n(reinterpret_cast<const std::uint32_t*>(&registers_[windowBase(window) + offset]),
                         __ATOMIC_ACQUIRE);
}

void EngineSimulator::write32(std::uint32_t window, std::uint32_t offset, std::uint32_t value) {
  __atomic_store_n(reinterpret_cast<std::uint32_t*>(&registers_[windowBase(window) + offset]), value,
                   __ATOMIC_RELEASE);
}

void EngineSimulator::registerWritten(void* context, void* address) {
  auto* self = static_cast<EngineSimulator*>(context);
  const auto offset = static_cast<std::size_t>(static_cast<std::uint8_t*>(address) - self->registers_.data());
  if (offset < self->registers_.size())
    self->acknowledged(static_cast<std::uint32_t>(offset));
  self->poke();
}

// Writing the interrupt status clears the bits written; the register then shows what is still pending.
void EngineSimulator::acknowledged(std::uint32_t offset) {
  const bool second = generation_ == Generation::second;
  const std::uint32_t windowSize = second ? VORTAQ_V2_WINDOW_SIZE : VORTAQ_V1_WINDOW_SIZE;
  const std::uint32_t index = offset / windowSize;
  std::lock_guard lock(statusMutex_);
  if (second && offset % windowSize == V2_PCIE_INT_STATUS) {
    pendingStatus_[index] &= ~read32(index, V2_PCIE_INT_STATUS);
    write32(index, V2_PCIE_INT_STATUS, pendingStatus_[index]);
  } else if (!second && offset % windowSize == V1_PCIE_STATUS) {
    std::uint8_t& status = registers_[offset];
    std::uint8_t written = __atomic_load_n(&status, __ATOMIC_ACQUIRE);
    pendingStatus_[index] &= ~(written & V1_PCIE_INT_STATUS);
    __atomic_store_n(&status, static_cast<std::uint8_t>((written & ~V1_PCIE_INT_STATUS) | pendingStatus_[index]),
                     __ATOMIC_RELEASE);
  }
}

void EngineSimulator::raiseStatus(std::uint32_t index, std::uint32_t bits) {
  std::lock_guard lock(statusMutex_);
  pendingStatus_[index] |= bits;
  if (generation_ == Generation::second)
    write32(index, V2_PCIE_INT_STATUS, pendingStatus_[index]);
  else
    __atomic_fetch_or(&registers_[windowBase(index) + V1_PCIE_STATUS], static_cast<std::uint8_t>(bits),
                      __ATOMIC_RELEASE);
}

void EngineSimulator::poke() {
  {
    std::lock_guard lock(mutex_);
    dirty_ = true;
  }
  changed_.notify_all();
}

void EngineSimulator::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stop_ || (dirty_ && !paused_); });
    if (stop_)
      return;
    dirty_ = false;
    auto interrupt = interrupt_;
    lock.unlock();
    for (std::uint32_t index = 0; index < windows_; ++index)
      while (serviceChannel(index)) {
        if (interrupt)
          interrupt(index);
      }
    lock.lock();
  }
}

EngineSimulator::Queue EngineSimulator::queue(std::uint32_t index, std::uint32_t pointer, std::uint32_t size,
                                              std::uint32_t limit, std::uint32_t next) const {
  std::uint64_t base = read32(index, pointer) | static_cast<std::uint64_t>(read32(index, pointer + 4)) << 32;
  return {base & kQueueAddressMask, read32(index, size), read32(index, limit), read32(index, next)};
}

bool EngineSimulator::copyOut(std::uint64_t address, bool card, std::uint32_t bytes, std::vector<std::uint8_t>& data) {
  if (card) {
    if (address > card_.size() || bytes > card_.size() - address)
      return false;
    data.insert(data.end(), card_.begin() + static_cast<std::ptrdiff_t>(address),
                card_.begin() + static_cast<std::ptrdiff_t>(address + bytes));
    return true;
  }
  const auto* host = reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(address));
  data.insert(data.end(), host, host + bytes);
  return true;
}

bool EngineSimulator::copyIn(std::uint64_t address, bool card, const std::uint8_t* data, std::uint32_t bytes) {
  if (card) {
    if (address > card_.size() || bytes > card_.size() - address)
      return false;
    std::memcpy(card_.data() + address, data, bytes);
    return true;
  }
  std::memcpy(reinterpret_cast<void*>(static_cast<std::uintptr_t>(address)), data, bytes);
  return true;
}

void EngineSimulator::streamToHost(std::vector<std::uint8_t> packet) {
  {
    std::lock_guard lock(streamMutex_);
    toHost_.push_back(std::move(packet));
  }
  poke();
}

std::vector<std::uint8_t> EngineSimulator::streamFromHost() {
  std::lock_guard lock(streamMutex_);
  return std::exchange(fromHost_, {});
}

namespace {
std::uint32_t elementBytes(std::uint32_t flags) {
  std::uint32_t count = flags & SG_BYTE_COUNT_MASK;
  return count ? count : SG_MAX_ELEMENT_BYTES;
}

template <typename Element> Element* ring(std::uint64_t base) {
  return reinterpret_cast<Element*>(static_cast<std::uintptr_t>(base));
}
} // namespace

// The source elements of the next packet (up to the one with EOP), when all of them lie before the limit.
std::optional<std::vector<std::uint32_t>> EngineSimulator::sourcePacket(const Queue& src, std::uint64_t& bytes) const {
  auto* sources = ring<SOURCE_SG_ELEMENT_STRUCT>(src.base);
  std::vector<std::uint32_t> packet;
  bytes = 0;
  for (std::uint32_t at = src.next;; at = (at + 1) % src.size) {
    if (at == src.limit)
      return std::nullopt;
    packet.push_back(at);
    bytes += elementBytes(sources[at].BYTE_COUNT_FLAGS);
    if (sources[at].BYTE_COUNT_FLAGS & SG_EOP)
      return packet;
  }
}

// Destination elements enough for bytes, when all of them lie before the limit.
std::optional<std::vector<std::uint32_t>> EngineSimulator::destinationRoom(const Queue& dst, std::uint64_t bytes) const {
  auto* destinations = ring<DESTINATION_SG_ELEMENT_STRUCT>(dst.base);
  std::vector<std::uint32_t> targets;
  std::uint64_t room = 0;
  for (std::uint32_t at = dst.next; room < bytes; at = (at + 1) % dst.size) {
    if (at == dst.limit)
      return std::nullopt;
    targets.push_back(at);
    room += elementBytes(destinations[at].BYTE_COUNT_FLAGS);
  }
  return targets;
}

bool EngineSimulator::raise(std::uint32_t index) {
  raiseStatus(index, generation_ == Generation::second ? V2_PCIE_SGL_INT : V1_PCIE_INT_STATUS);
  return true;
}

// An 8-byte status element on the STATD queue, when its limit leaves room.
bool EngineSimulator::writeWideStatus(std::uint32_t index, std::uint32_t status, std::uint16_t handle,
                                      std::uint16_t id) {
  Queue sta = queue(index, V2_STAD_Q_PTR, V2_STAD_Q_SIZE, V2_STAD_Q_LIMIT, V2_STAD_Q_NEXT);
  if (sta.size == 0 || sta.next == sta.limit)
    return false;
  auto* element = ring<STATUS_ELEMENT64_STRUCT>(sta.base) + sta.next;
  element->USER_HANDLE = handle;
  element->USER_ID = id;
  __atomic_store_n(&element->STATUS, status | STAT_UPPER_STAT_NZ, __ATOMIC_RELEASE);
  write32(index, V2_STAD_Q_NEXT, (sta.next + 1) % sta.size);
  return true;
}

// Moves one packet of the channel when its queues allow it. Returns whether an interrupt is due.
bool EngineSimulator::serviceChannel(std::uint32_t index) {
  if (generation_ == Generation::first)
    return (__atomic_load_n(reinterpret_cast<std::uint16_t*>(&registers_[windowBase(index) + V1_DMA_CONTROL]),
                            __ATOMIC_ACQUIRE) & V1_DMA_ENABLE) && serviceAddressed(index);
  if (!(read32(index, V2_DMA_CONTROL) & V2_DMA_ENABLE))
    return false;
  const bool source = read32(index, V2_SRC_Q_PTR) & QUEUE_ENABLE;
  const bool destination = read32(index, V2_DST_Q_PTR) & QUEUE_ENABLE;
  if (read32(index, V2_STA_Q_PTR) & QUEUE_ENABLE)
    return source && destination && serviceAddressed(index);
  if (!(read32(index, V2_STAD_Q_PTR) & QUEUE_ENABLE))
    return false;
  if (source)
    return serviceStreamOut(index);
  return destination && serviceStreamIn(index);
}

// Addressed mode: one packet from the source to the destination elements, one status element per packet.
bool EngineSimulator::serviceAddressed(std::uint32_t index) {
  const bool second = generation_ == Generation::second;
  const std::uint32_t nextOffset = second ? std::uint32_t{V2_SRC_Q_NEXT} : std::uint32_t{V1_SRC_Q_NEXT};
  Queue src = queue(index, V2_SRC_Q_PTR, V2_SRC_Q_SIZE, V2_SRC_Q_LIMIT, nextOffset);
  Queue dst = queue(index, V2_DST_Q_PTR, V2_DST_Q_SIZE, V2_DST_Q_LIMIT, nextOffset + 4);
  Queue sta = queue(index, V2_STA_Q_PTR, V2_STA_Q_SIZE, V2_STA_Q_LIMIT, nextOffset + 8);
  if (src.size == 0 || dst.size == 0 || sta.size == 0 || src.next == src.limit || sta.next == sta.limit)
    return false;
  auto* sources = ring<SOURCE_SG_ELEMENT_STRUCT>(src.base);
  auto* destinations = ring<DESTINATION_SG_ELEMENT_STRUCT>(dst.base);
  std::uint64_t packetBytes = 0;
  auto packet = sourcePacket(src, packetBytes);
  if (!packet)
    return false;
  auto targets = destinationRoom(dst, packetBytes);
  if (!targets)
    return false;

  std::uint32_t status = STAT_COMPLETED;
  std::vector<std::uint8_t> data;
  for (std::uint32_t at : *packet)
    if (!copyOut(sources[at].SRC_ADDRESS, sources[at].BYTE_COUNT_FLAGS & SG_LOCATION_CARD,
                 elementBytes(sources[at].BYTE_COUNT_FLAGS), data))
      status |= STAT_SOURCE_ERROR;
  if (failPackets_.load() > 0) {
    --failPackets_;
    status |= STAT_DESTINATION_ERROR;
  }
  std::uint32_t moved = 0;
  if (!(status & STAT_ERROR_MASK))
    for (std::uint32_t at : *targets) {
      std::uint32_t bytes = std::min<std::uint32_t>(elementBytes(destinations[at].BYTE_COUNT_FLAGS),
                                                    static_cast<std::uint32_t>(data.size() - moved));
      if (!copyIn(destinations[at].DEST_ADDRESS, destinations[at].BYTE_COUNT_FLAGS & SG_LOCATION_CARD,
                  data.data() + moved, bytes))
        status |= STAT_DESTINATION_ERROR;
      moved += bytes;
    }
  if (shortenPackets_.load() > 0 && moved > 0) {
    --shortenPackets_;
    --moved;
  }
  status |= (moved << STAT_COMP_BYTE_COUNT_SHIFT) & STAT_COMP_BYTE_COUNT_MASK;

  const SOURCE_SG_ELEMENT_STRUCT& last = sources[packet->back()];
  auto* statusBase = reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(sta.base));
  if (second && (read32(index, V2_DMA_CONTROL) & V2_DMA_STAT_SIZE)) {
    auto* element = reinterpret_cast<STATUS_ELEMENT64_STRUCT*>(statusBase + sta.next * 8u);
    element->USER_HANDLE = last.USER_HANDLE;
    element->USER_ID = last.USER_ID;
    __atomic_store_n(&element->STATUS, status | STAT_UPPER_STAT_NZ, __ATOMIC_RELEASE);
  } else {
    __atomic_store_n(reinterpret_cast<std::uint32_t*>(statusBase + sta.next * 4u), status, __ATOMIC_RELEASE);
  }
  write32(index, nextOffset, (packet->back() + 1) % src.size);
  write32(index, nextOffset + 4, (targets->back() + 1) % dst.size);
  write32(index, nextOffset + 8, (sta.next + 1) % sta.size);
  return (last.BYTE_COUNT_FLAGS & SG_INTERRUPT) ? raise(index) : serviceAddressed(index);
}

// FIFO mode towards the card: a packet of host pages goes to the card's stream.
bool EngineSimulator::serviceStreamOut(std::uint32_t index) {
  Queue src = queue(index, V2_SRC_Q_PTR, V2_SRC_Q_SIZE, V2_SRC_Q_LIMIT, V2_SRC_Q_NEXT);
  if (src.size == 0 || src.next == src.limit)
    return false;
  std::uint64_t bytes = 0;
  auto packet = sourcePacket(src, bytes);
  if (!packet)
    return false;
  auto* sources = ring<SOURCE_SG_ELEMENT_STRUCT>(src.base);
  std::vector<std::uint8_t> data;
  for (std::uint32_t at : *packet)
    copyOut(sources[at].SRC_ADDRESS, false, elementBytes(sources[at].BYTE_COUNT_FLAGS), data);
  const SOURCE_SG_ELEMENT_STRUCT& last = sources[packet->back()];
  if (!writeWideStatus(index, STAT_COMPLETED | static_cast<std::uint32_t>(bytes << STAT_COMP_BYTE_COUNT_SHIFT),
                       last.USER_HANDLE, last.USER_ID))
    return false;
  {
    std::lock_guard lock(streamMutex_);
    fromHost_.insert(fromHost_.end(), data.begin(), data.end());
  }
  write32(index, V2_SRC_Q_NEXT, (packet->back() + 1) % src.size);
  return (last.BYTE_COUNT_FLAGS & SG_INTERRUPT) ? raise(index) : serviceStreamOut(index);
}

// FIFO mode from the card: the stream's next packet fills destination elements in host memory.
bool EngineSimulator::serviceStreamIn(std::uint32_t index) {
  std::vector<std::uint8_t> packet;
  {
    std::lock_guard lock(streamMutex_);
    if (toHost_.empty())
      return false;
    packet = toHost_.front();
  }
  Queue dst = queue(index, V2_DST_Q_PTR, V2_DST_Q_SIZE, V2_DST_Q_LIMIT, V2_DST_Q_NEXT);
  if (dst.size == 0)
    return false;
  auto targets = destinationRoom(dst, packet.size());
  if (!targets)
    return false;
  auto* destinations = ring<DESTINATION_SG_ELEMENT_STRUCT>(dst.base);
  std::uint32_t moved = 0;
  for (std::uint32_t at : *targets) {
    std::uint32_t bytes = std::min<std::uint32_t>(elementBytes(destinations[at].BYTE_COUNT_FLAGS),
                                                  static_cast<std::uint32_t>(packet.size() - moved));
    copyIn(destinations[at].DEST_ADDRESS, false, packet.data() + moved, bytes);
    moved += bytes;
  }
  // The data lands before its status element: the driver may look at the status at any time.
  if (!writeWideStatus(index, STAT_COMPLETED | static_cast<std::uint32_t>(packet.size() << STAT_COMP_BYTE_COUNT_SHIFT),
                       destinations[targets->back()].USER_HANDLE, 0))
    return false;
  {
    std::lock_guard lock(streamMutex_);
    toHost_.pop_front();
  }
  write32(index, V2_DST_Q_NEXT, (targets->back() + 1) % dst.size);
  return raise(index);
}
