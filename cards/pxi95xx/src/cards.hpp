// The library's per-process state: one record per card found under the driver's /proc root, its device file, the
// mapped register windows of DMA channels 0-3 and the two ring channels' files and positions.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "QorPxi95xx_API.h"

namespace qor::pxi95xx {

constexpr uint32_t kWindowSize = 128;
constexpr uint32_t kMappedBytes = QORPXI95XX_CHANNEL_COUNT * kWindowSize;

struct ChannelRecord {
  uint32_t state = QORPXI95XX_CHANNEL_FREE;
  void* buffer = nullptr;
  uint32_t lockedSize = 0;
  uint32_t pages = 0;
};

struct CardRecord {
  int device = -1;                   // the card's "vortaq" file
  volatile uint8_t* windows = nullptr;  // channel k's register window at 128 k; null when the mapping failed
  std::array<ChannelRecord, QORPXI95XX_CHANNEL_COUNT> channels{};
  int responseFile = -1;  // DMA1
  uint32_t responseBase = 0;
  uint32_t responseRead = 0;
  int commandFile = -1;  // DMA0
  uint32_t commandBase = 0;
  uint32_t commandWrite = 0;
};

struct Library {
  uint32_t count = 0;  // cards found, at most 32
  std::unique_ptr<std::array<CardRecord, QORPXI95XX_CARD_COUNT_MAX>> PcfgParams;
  // Suffixes n of the "Pxi95xx<n>" directories, in ascending order: card i lives in directory suffix[i].
  std::array<uint32_t, QORPXI95XX_CARD_COUNT_MAX> suffix{};
};

Library& library();

// The card checks: no card gives noCard; a card number beyond the cards found gives -10; else 0.
int32_t checkCard(uint8_t card, int32_t noCard);
// The same for a channel call: a channel above 3 is -10 as well.
int32_t checkChannel(uint8_t card, uint8_t channel);
CardRecord& cardRecord(uint8_t card);
// The "/proc/Pxi95xx<n>/" directory of a card.
std::string cardDirectory(uint32_t card);

uint32_t readRegister(const CardRecord& card, uint32_t channel, uint32_t offset);
void writeRegister(CardRecord& card, uint32_t channel, uint32_t offset, uint32_t value);

// Unlocks and frees a channel's buffer and clears its record.
void releaseChannelBuffer(ChannelRecord& channel);

// Loading and unloading: find and connect the cards; release every buffer and close every file.
int32_t moduleInit();
int32_t moduleExit();

}  // namespace qor::pxi95xx
