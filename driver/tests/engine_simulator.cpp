#include "engine_simulator.hpp"

#include <algorithm>
#include <cstring>

namespace {
constexpr std::uint64_t kQueueAddressMask = ~std::uint64_t{0x3F};
}

EngineSimulator::EngineSimulator(Generation generation, std::uint32_t windows, const std::vector<std::uint32_t>& present,
                                 std::size_t cardMemoryBytes)
    : generation_(generation), windows_(windows),
      registers_(windows * (generation == Generation::second ? VORTAQ_V2_WINDOW_SIZE : VORTAQ_V1_WINDOW_SIZE)),
      card_(cardMemoryBytes) {
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

void EngineSimulator::registerWritten(void* context, void*) { static_cast<EngineSimulator*>(context)->poke(); }

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

// Moves one packet (source elements up to EOP) of the channel when the driver has handed over all it needs.
// Returns whether a packet that asked for an interrupt completed.
bool EngineSimulator::serviceChannel(std::uint32_t index) {
  const bool second = generation_ == Generation::second;
  if (second ? !(read32(index, V2_DMA_CONTROL) & V2_DMA_ENABLE)
             : !(__atomic_load_n(reinterpret_cast<std::uint16_t*>(&registers_[windowBase(index) + V1_DMA_CONTROL]),
                                 __ATOMIC_ACQUIRE) & V1_DMA_ENABLE))
    return false;
  const std::uint32_t nextOffset = second ? std::uint32_t{V2_SRC_Q_NEXT} : std::uint32_t{V1_SRC_Q_NEXT};
  Queue src = queue(index, V2_SRC_Q_PTR, V2_SRC_Q_SIZE, V2_SRC_Q_LIMIT, nextOffset);
  Queue dst = queue(index, V2_DST_Q_PTR, V2_DST_Q_SIZE, V2_DST_Q_LIMIT, nextOffset + 4);
  Queue sta = queue(index, V2_STA_Q_PTR, V2_STA_Q_SIZE, V2_STA_Q_LIMIT, nextOffset + 8);
  if (src.size == 0 || dst.size == 0 || sta.size == 0 || src.next == src.limit || sta.next == sta.limit)
    return false;

  auto* sources = reinterpret_cast<SOURCE_SG_ELEMENT_STRUCT*>(static_cast<std::uintptr_t>(src.base));
  auto* destinations = reinterpret_cast<DESTINATION_SG_ELEMENT_STRUCT*>(static_cast<std::uintptr_t>(dst.base));
  auto elementBytes = [](std::uint32_t flags) {
    std::uint32_t count = flags & SG_BYTE_COUNT_MASK;
    return count ? count : SG_MAX_ELEMENT_BYTES;
  };

  // The packet: source elements up to the one with EOP, all before the limit.
  std::vector<std::uint32_t> packet;
  std::uint64_t packetBytes = 0;
  for (std::uint32_t at = src.next;; at = (at + 1) % src.size) {
    if (at == src.limit)
      return false;
    packet.push_back(at);
    packetBytes += elementBytes(sources[at].BYTE_COUNT_FLAGS);
    if (sources[at].BYTE_COUNT_FLAGS & SG_EOP)
      break;
  }
  // Destination elements enough for it, all before the limit.
  std::vector<std::uint32_t> targets;
  std::uint64_t room = 0;
  for (std::uint32_t at = dst.next; room < packetBytes; at = (at + 1) % dst.size) {
    if (at == dst.limit)
      return false;
    targets.push_back(at);
    room += elementBytes(destinations[at].BYTE_COUNT_FLAGS);
  }

  std::uint32_t status = STAT_COMPLETED;
  std::vector<std::uint8_t> data;
  for (std::uint32_t at : packet)
    if (!copyOut(sources[at].SRC_ADDRESS, sources[at].BYTE_COUNT_FLAGS & SG_LOCATION_CARD,
                 elementBytes(sources[at].BYTE_COUNT_FLAGS), data))
      status |= STAT_SOURCE_ERROR;
  if (failPackets_.load() > 0) {
    --failPackets_;
    status |= STAT_DESTINATION_ERROR;
  }
  std::uint32_t moved = 0;
  if (!(status & STAT_ERROR_MASK))
    for (std::uint32_t at : targets) {
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

  const SOURCE_SG_ELEMENT_STRUCT& last = sources[packet.back()];
  const bool wide = second && (read32(index, V2_DMA_CONTROL) & V2_DMA_STAT_SIZE);
  auto* statusBase = reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(sta.base));
  if (wide) {
    auto* element = reinterpret_cast<STATUS_ELEMENT64_STRUCT*>(statusBase + sta.next * 8u);
    element->USER_HANDLE = last.USER_HANDLE;
    element->USER_ID = last.USER_ID;
    __atomic_store_n(&element->STATUS, status | STAT_UPPER_STAT_NZ, __ATOMIC_RELEASE);
  } else {
    __atomic_store_n(reinterpret_cast<std::uint32_t*>(statusBase + sta.next * 4u), status, __ATOMIC_RELEASE);
  }
  write32(index, nextOffset, (packet.back() + 1) % src.size);
  write32(index, nextOffset + 4, (targets.empty() ? dst.next : (targets.back() + 1) % dst.size));
  write32(index, nextOffset + 8, (sta.next + 1) % sta.size);

  if (!(last.BYTE_COUNT_FLAGS & SG_INTERRUPT))
    return serviceChannel(index);
  if (second)
    write32(index, V2_PCIE_INT_STATUS, read32(index, V2_PCIE_INT_STATUS) | V2_PCIE_SGL_INT);
  else
    __atomic_fetch_or(&registers_[windowBase(index) + V1_PCIE_STATUS], V1_PCIE_INT_STATUS, __ATOMIC_RELEASE);
  return true;
}
