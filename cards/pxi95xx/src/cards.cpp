#include "cards.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver_access.hpp"
#include "vortaq_abi.h"

namespace qor::pxi95xx {
namespace {

constexpr const char kCardPrefix[] = "Pxi95xx";

// The suffixes of the card directories under the /proc root. The driver numbers a new card after the last one, so
// after a removal the numbers have gaps: cards are taken in the order of their numbers, not counted from 0.
std::vector<uint32_t> cardDirectories() {
  std::vector<uint32_t> found;
  DIR* directory = opendir(procRoot().c_str());
  if (directory == nullptr) return found;
  while (const dirent* entry = readdir(directory)) {
    const char* name = entry->d_name;
    if (std::strncmp(name, kCardPrefix, sizeof kCardPrefix - 1) != 0) continue;
    const char* digits = name + sizeof kCardPrefix - 1;
    char* end = nullptr;
    const unsigned long number = std::strtoul(digits, &end, 10);
    if (end == digits || *end != '\0' || number > 255) continue;
    bool isDirectory = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat status {};
      isDirectory = stat((procRoot() + name).c_str(), &status) == 0 && S_ISDIR(status.st_mode);
    }
    if (isDirectory) found.push_back(static_cast<uint32_t>(number));
  }
  closedir(directory);
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace

void releaseChannelBuffer(ChannelRecord& channel) {
  if (channel.buffer != nullptr) {
    munlock(channel.buffer, channel.lockedSize);
    std::free(channel.buffer);
  }
  channel = ChannelRecord{};
}

Library& library() {
  static Library state;
  return state;
}

int32_t checkCard(uint8_t card, int32_t noCard) {
  const Library& state = library();
  if (state.count == 0 || !state.PcfgParams) return noCard;
  if (card >= QORPXI95XX_CARD_COUNT_MAX || card >= state.count) return QORPXI95XX_ERROR_PARAMETER;
  return 0;
}

int32_t checkChannel(uint8_t card, uint8_t channel) {
  const int32_t result = checkCard(card, QORPXI95XX_ERROR_NO_BOARD);
  if (result != 0) return result;
  return channel < QORPXI95XX_CHANNEL_COUNT ? 0 : QORPXI95XX_ERROR_PARAMETER;
}

CardRecord& cardRecord(uint8_t card) { return (*library().PcfgParams)[card]; }

std::string cardDirectory(uint32_t card) {
  return procRoot() + kCardPrefix + std::to_string(library().suffix[card]) + "/";
}

uint32_t readRegister(const CardRecord& card, uint32_t channel, uint32_t offset) {
  return *reinterpret_cast<const volatile uint32_t*>(card.windows + channel * kWindowSize + offset);
}

void writeRegister(CardRecord& card, uint32_t channel, uint32_t offset, uint32_t value) {
  *reinterpret_cast<volatile uint32_t*>(card.windows + channel * kWindowSize + offset) = value;
}

int32_t moduleInit() {
  Library& state = library();
  state.count = 0;
  state.PcfgParams.reset(new (std::nothrow) std::array<CardRecord, QORPXI95XX_CARD_COUNT_MAX>());
  if (!state.PcfgParams) return QORPXI95XX_ERROR_MEMORY;
  // More directories than the table holds: the first 32 are served.
  const std::vector<uint32_t> found = cardDirectories();
  state.count = static_cast<uint32_t>(std::min<size_t>(found.size(), QORPXI95XX_CARD_COUNT_MAX));
  std::copy_n(found.begin(), state.count, state.suffix.begin());
  for (uint32_t card = 0; card < state.count; ++card) {
    CardRecord& record = (*state.PcfgParams)[card];
    record.device = ConnectDriver(static_cast<int32_t>(card));
    if (record.device < 0) {
      if (card == 0) syslog(LOG_INFO, "Driver %s not loaded\n", "vortaq");
      break;
    }
    void* windows = mmap(nullptr, kMappedBytes, PROT_READ | PROT_WRITE, MAP_SHARED, record.device, 0);
    if (windows == MAP_FAILED) {
      std::fprintf(stderr, "memory map: %s\n", std::strerror(errno));
    } else {
      record.windows = static_cast<volatile uint8_t*>(windows);
    }
  }
  return 0;
}

int32_t moduleExit() {
  Library& state = library();
  if (!state.PcfgParams) return 0;
  int32_t result = 0;
  for (uint32_t card = 0; card < state.count; ++card) {
    CardRecord& record = (*state.PcfgParams)[card];
    if (record.device < 0) continue;
    for (uint32_t channel = 0; channel < QORPXI95XX_CHANNEL_COUNT; ++channel) {
      if (record.channels[channel].buffer != nullptr) {
        uint32_t number = channel;
        if (const int32_t code = driverRequest(record.device, VORTAQ_RELEASE_DMA_MEM, &number)) result = code;
        releaseChannelBuffer(record.channels[channel]);
      }
      if (record.windows != nullptr) {
        uint32_t number = channel;
        if (const int32_t code = driverRequest(record.device, VORTAQ_NO_OPERATION, &number)) result = code;
      }
    }
    if (record.windows != nullptr) munmap(const_cast<uint8_t*>(record.windows), kMappedBytes);
    for (int* file : {&record.commandFile, &record.responseFile, &record.device}) {
      if (*file >= 0) close(*file);
      *file = -1;
    }
  }
  state.PcfgParams.reset();
  state.count = 0;
  return result;
}

}  // namespace qor::pxi95xx

int32_t ConnectDriver(int32_t card) {
  using namespace qor::pxi95xx;
  if (card < 0 || static_cast<uint32_t>(card) >= library().count) return -1;
  return open((cardDirectory(static_cast<uint32_t>(card)) + "vortaq").c_str(), O_RDWR | O_CLOEXEC);
}
