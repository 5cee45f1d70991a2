// Device-to-host DMA buffers: the library allocates, locks and has the driver pin a buffer per channel and keeps
// the channel's state; the firmware commands that start and stop the card's writing belong to the caller.
#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "QorPxi95xx_API.h"
#include "cards.hpp"
#include "driver_access.hpp"
#include "vortaq_abi.h"

using namespace qor::pxi95xx;

namespace {

constexpr uint8_t kFirstPagePattern = 0xCD;

// Page k holds (0xCD + k) mod 256; a last partial page, and a buffer below one page, hold 0xCD.
void fillTestPattern(uint8_t* buffer, uint64_t length, uint32_t pages) {
  std::memset(buffer, kFirstPagePattern, length);
  for (uint64_t page = 0; page < pages && (page + 1) * QORPXI95XX_PAGE_SIZE <= length; ++page) {
    std::memset(buffer + page * QORPXI95XX_PAGE_SIZE, static_cast<uint8_t>(kFirstPagePattern + page),
                QORPXI95XX_PAGE_SIZE);
  }
}

ChannelRecord* channelRecord(uint8_t card, uint8_t channel) { return &cardRecord(card).channels[channel]; }

}  // namespace

extern "C" {

int32_t QorPxi95xx_Channel_Config_Dwth(uint8_t card, uint8_t channel, uint64_t length, uint32_t* pages,
                                       void** buffer) {
  if (const int32_t code = checkChannel(card, channel)) return code;
  CardRecord& record = cardRecord(card);
  ChannelRecord& state = record.channels[channel];
  if (pages == nullptr || buffer == nullptr || state.state != QORPXI95XX_CHANNEL_FREE || length == 0 ||
      length > QORPXI95XX_DMA_LENGTH_MAX || record.device < 0) {
    return QORPXI95XX_ERROR_PARAMETER;
  }
  void* memory = nullptr;
  if (posix_memalign(&memory, QORPXI95XX_PAGE_SIZE, length) != 0) return QORPXI95XX_ERROR_MEMORY;
  if (mlock(memory, length) != 0) {
    std::free(memory);
    return QORPXI95XX_ERROR_MEMORY;
  }
  GET_DMA_MEM request{};
  request.BoardNum = card;
  request.ChannelNum = channel;
  request.Length = length;
  request.BufferUser_VA = reinterpret_cast<uint64_t>(memory);
  int32_t code = driverRequest(record.device, VORTAQ_ALLOC_DMA_MEM, &request);
  // The driver's page count sizes the lists built from it: it must cover the buffer and no more.
  const uint64_t expectedPages = (length + QORPXI95XX_PAGE_SIZE - 1) / QORPXI95XX_PAGE_SIZE;
  if (code == 0 && (request.NumPages != expectedPages || request.BufferSize < length)) {
    uint32_t number = channel;
    driverRequest(record.device, VORTAQ_RELEASE_DMA_MEM, &number);
    code = EIO;
  }
  if (code != 0) {
    munlock(memory, length);
    std::free(memory);
    return code;
  }
  state.buffer = memory;
  state.lockedSize = request.BufferSize;
  state.pages = request.NumPages;
  state.state = QORPXI95XX_CHANNEL_CONFIGURED;
  *buffer = memory;
  *pages = request.NumPages;
  fillTestPattern(static_cast<uint8_t*>(memory), length, request.NumPages);
  return 0;
}

int32_t QorPxi95xx_Dwth_SgList_Get(uint8_t card, uint8_t channel, uint32_t* count, QorPxi95xxSgEntry_t* list) {
  if (const int32_t code = checkChannel(card, channel)) return code;
  const CardRecord& record = cardRecord(card);
  const ChannelRecord& state = record.channels[channel];
  if (count == nullptr || list == nullptr || record.device < 0 || state.pages == 0 || *count < state.pages) {
    return QORPXI95XX_ERROR_PARAMETER;
  }
  // The driver reads its request header at the start of the list and writes the entries from offset 0: the
  // request goes through a buffer of the library's own that holds both, whatever the caller's list holds.
  std::vector<SG_ENTRY> reply(std::max<size_t>(state.pages, sizeof(GET_SGL) / sizeof(SG_ENTRY) + 1));
  auto* header = reinterpret_cast<GET_SGL*>(reply.data());
  header->BoardNum = card;
  header->ChannelNum = channel;
  header->NumPages = state.pages;
  if (const int32_t code = driverRequest(record.device, VORTAQ_GET_PAGE_TABLE, reply.data())) return code;
  static_assert(sizeof(SG_ENTRY) == sizeof(QorPxi95xxSgEntry_t));
  std::memcpy(list, reply.data(), state.pages * sizeof(SG_ENTRY));
  *count = state.pages;
  return 0;
}

int32_t QorPxi95xx_Channel_Enable(uint8_t card, uint8_t channel) {
  if (const int32_t code = checkChannel(card, channel)) return code;
  ChannelRecord* state = channelRecord(card, channel);
  if (state->state != QORPXI95XX_CHANNEL_CONFIGURED || cardRecord(card).device < 0) return QORPXI95XX_ERROR_PARAMETER;
  state->state = QORPXI95XX_CHANNEL_ENABLED;
  return 0;
}

int32_t QorPxi95xx_Channel_Disable(uint8_t card, uint8_t channel) {
  if (const int32_t code = checkChannel(card, channel)) return code;
  ChannelRecord* state = channelRecord(card, channel);
  if (state->state != QORPXI95XX_CHANNEL_ENABLED) return 0;
  if (cardRecord(card).device < 0) return QORPXI95XX_ERROR_PARAMETER;
  state->state = QORPXI95XX_CHANNEL_CONFIGURED;
  return 0;
}

int32_t QorPxi95xx_Channel_Reset(uint8_t card, uint8_t channel) {
  if (const int32_t code = checkChannel(card, channel)) return code;
  CardRecord& record = cardRecord(card);
  ChannelRecord& state = record.channels[channel];
  if (state.state == QORPXI95XX_CHANNEL_FREE) return 0;
  if (state.state != QORPXI95XX_CHANNEL_CONFIGURED || record.device < 0) return QORPXI95XX_ERROR_PARAMETER;
  uint32_t number = channel;
  const int32_t code = driverRequest(record.device, VORTAQ_RELEASE_DMA_MEM, &number);
  releaseChannelBuffer(state);
  return code;
}

int32_t QorPxi95xx_MapDmaChScratchpad(uint8_t card, uint8_t channel, uint64_t* address) {
  if (const int32_t code = checkChannel(card, channel)) return code;
  const CardRecord& record = cardRecord(card);
  if (address == nullptr || record.windows == nullptr) return QORPXI95XX_ERROR_PARAMETER;
  *address = reinterpret_cast<uint64_t>(record.windows + channel * kWindowSize + V2_SCRATCH0);
  return 0;
}

int32_t QorPxi95xx_UnMapDmaChScratchpad(uint8_t card, uint8_t channel) {
  if (const int32_t code = checkChannel(card, channel)) return code;
  return cardRecord(card).device < 0 ? QORPXI95XX_ERROR_PARAMETER : 0;
}

}  // extern "C"
