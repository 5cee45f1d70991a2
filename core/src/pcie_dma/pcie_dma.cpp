// Device-to-host DMA channels of 95xx cards: the card library pins the buffers and maps the channel's registers,
// the firmware learns the buffers' scatter-gather list through command 0x0E, and the daemon gives the texts of the
// card library's codes and the card's link (board request 0x52).
//
// The buffers stay pinned while the firmware may still write into them: a channel whose firmware did not take back
// its buffers keeps them, and its state says which steps of a reset are still due.
#include <dlfcn.h>
#include <syslog.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "pcie_dma/pcie_dma.hpp"
#include "ports/private_pair.hpp"
#include "qor_api.h"
#include "qor_error_codes.h"
#include "qor_pcie_dma.h"
#include "qor_protocol.h"
#include "qor_shared/card_library.hpp"
#include "qor_shared/host_types.hpp"
#include "startup/error_store.hpp"
#include "startup/exported_call.hpp"

using namespace qor::client;

namespace {

void freeChannel(DmaChannel* channel) { delete channel; }

constexpr const char* kCardLibrary = qor::kPxi95xxLibraryName;
constexpr uint8_t kDmaControlBytes = 6;
constexpr uint32_t kDmaAnswerRoom = 32756;
constexpr size_t kDmaCommandHead = 8;
constexpr size_t kDmaDataMax = kDmaAnswerRoom - kDmaCommandHead;
constexpr size_t kListChunkHead = 12;
constexpr size_t kListEntrySize = 12;
constexpr uint32_t kBoardReplyRoom = 1040;
constexpr size_t kResultTextMax = 1024;
constexpr const char* kNotInitialized = "PCIe DMA not initialized";
constexpr const char* kNotConfigured = "could not enable pcie dma channel - channel is not configured";

std::vector<uint8_t> words(std::initializer_list<uint32_t> values) {
  std::vector<uint8_t> bytes;
  return appendU32(bytes, values);
}

bool pcieConnected(const Qor_PortContext& context) {
  return context.hostCommunicationType == QOR_COMMUNICATION_PCIE ||
         context.hostCommunicationType == QOR_COMMUNICATION_PXIE;
}

// Board request 0x52 on a control pair: 0 with the reply's data, a transport error, or the daemon's code.
uint32_t boardRequest(const Qor_PortContext& context, uint32_t subFunction, uint32_t value,
                      std::vector<uint8_t>& data) {
  const BoardRequest95xx request{
      {QOR_MSG_BOARD_REQUEST_95XX, context.portIndex, context.applicationIndex, 0, sizeof(BoardRequest95xx)},
      subFunction, value};
  std::vector<uint8_t> reply(kBoardReplyRoom);
  size_t received = 0;
  if (uint32_t result = Qor_Client_Linux_CallNamedPipe(&request, sizeof request, reply.data(),
                                                       static_cast<uint32_t>(reply.size()), &received)) {
    return result;
  }
  ServerResponseHeader head{};
  if (received < sizeof head) return QOR_ERR_API_COULD_NOT_CONNECT;
  std::memcpy(&head, reply.data(), sizeof head);
  if (head.code != QOR_MSG_BOARD_REQUEST_95XX) return QOR_ERR_API_UNEXPECTED_COMMAND;
  if (head.error != 0) return head.error;
  // The data are what the length field claims, and never more than arrived.
  const size_t end = std::min<size_t>(head.length, received);
  data.assign(reply.begin() + std::min(end, sizeof(BoardReply95xx)), reply.begin() + end);
  return 0;
}

// Records a card library code as 0x200000D, with the daemon's text of it when the daemon gives one.
uint32_t cardLibraryFailed(PortRef& ref, int32_t code) {
  std::vector<uint8_t> text;
  if (boardRequest(ref.context(), QOR_PCIE_BOARD_RESULT_TEXT, static_cast<uint32_t>(code), text) == 0) {
    const auto end = std::find(text.begin(), text.begin() + std::min(text.size(), kResultTextMax), uint8_t{0});
    const std::string described(text.begin(), end);
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_CONFIGURATION,
                                   "could not configure PCIe DMA channel - driver call returned %i - %s", code,
                                   described.c_str());
  }
  return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_CONFIGURATION,
                                 "could not configure PCIe DMA channel - driver call returned %i", code);
}

// Loads the card library and binds its functions into channel: 0 or 0x2000102, the library unloaded again.
uint32_t loadCardLibrary(PortRef& ref, DmaChannel& channel) {
  channel.library = dlopen(kCardLibrary, RTLD_NOW);
  if (channel.library == nullptr) {
    const int error = errno;
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INIT_FAILED, "could not load %s - %s", kCardLibrary,
                                   strerror(error));
  }
  DmaCardFunctions& functions = channel.functions;
  const std::pair<const char*, void**> names[] = {
      {"QorPxi95xx_Channel_Config_Dwth", reinterpret_cast<void**>(&functions.configure)},
      {"QorPxi95xx_Channel_Reset", reinterpret_cast<void**>(&functions.reset)},
      {"QorPxi95xx_Channel_Enable", reinterpret_cast<void**>(&functions.enable)},
      {"QorPxi95xx_Channel_Disable", reinterpret_cast<void**>(&functions.disable)},
      {"QorPxi95xx_Dwth_SgList_Get", reinterpret_cast<void**>(&functions.scatterGatherList)},
      {"QorPxi95xx_MapDmaChScratchpad", reinterpret_cast<void**>(&functions.mapScratchpad)},
      {"QorPxi95xx_UnMapDmaChScratchpad", reinterpret_cast<void**>(&functions.unmapScratchpad)},
  };
  for (const auto& [name, function] : names) {
    dlerror();
    *function = dlsym(channel.library, name);
    if (*function != nullptr) continue;
    const char* reason = dlerror();
    const std::string text = reason != nullptr ? reason : "not found";
    syslog(LOG_ERR, "%s:%d : Error %s on 'dlsym'\n", __FILE__, __LINE__, text.c_str());
    dlclose(channel.library);
    channel.library = nullptr;
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INIT_FAILED, "could not load function %s in DLL %s - %s",
                                   name, kCardLibrary, text.c_str());
  }
  return 0;
}

// Undoes a configuration that failed after the card library pinned the buffers. A buffer the firmware may still
// write into (its reset failed) stays pinned, and the channel with it, for a later reset.
void unwindConfiguration(PortRef& ref, PcieDma& dma, DmaChannelPtr channel, bool firmwareHasList) {
  if (firmwareHasList && sendDmaCommand(ref, QOR_PCIE_DMA_SELECT_CHANNEL, QOR_PCIE_DMA_RESET, channel->channel) != 0) {
    syslog(LOG_ERR, "PCIe DMA channel %u of card %u: the firmware kept its buffers, which stay pinned\n",
           channel->channel, channel->card);
    dma.channel = std::move(channel);
    return;
  }
  if (channel->scratchpad != nullptr) channel->functions.unmapScratchpad(channel->card, channel->channel);
  channel->functions.reset(channel->card, channel->channel);
  dlclose(channel->library);
}

// Tells the firmware the buffers: geometry, the list's length, the list in chunks, its end and the settings.
uint32_t describeBuffers(PortRef& ref, const DmaChannel& channel, const Qor_PcieDma_ChannelConfig_t& config,
                         uint32_t size16, const std::vector<QorPxi95xxSgEntry_t>& list) {
  const uint8_t number = channel.channel;
  if (uint32_t result = sendDmaCommand(ref, QOR_PCIE_DMA_SELECT_CHANNEL, QOR_PCIE_DMA_GEOMETRY, number,
                                       words({0, config.bufferCount, config.bufferSize, size16}))) {
    return result;
  }
  const auto entries = static_cast<uint32_t>(list.size());
  if (uint32_t result = sendDmaCommand(ref, QOR_PCIE_DMA_SELECT_CHANNEL, QOR_PCIE_DMA_LIST_LENGTH, number,
                                       words({0, entries}))) {
    return result;
  }
  const uint32_t parameterRoom = std::max<uint32_t>(ref.context().maxParameterLength, 20 + kListEntrySize);
  const auto perChunk = static_cast<uint32_t>(std::min((parameterRoom - 20) / kListEntrySize,
                                                       (kDmaDataMax - kListChunkHead) / kListEntrySize));
  for (uint32_t first = 0; first < entries; first += perChunk) {
    const uint32_t count = std::min(perChunk, entries - first);
    std::vector<uint8_t> chunk = words({0, first, count});
    for (uint32_t i = first; i < first + count; ++i) {
      appendU32(chunk, {static_cast<uint32_t>(list[i].busAddress), static_cast<uint32_t>(list[i].busAddress >> 32),
                        static_cast<uint32_t>(list[i].length)});
    }
    if (uint32_t result = sendDmaCommand(ref, QOR_PCIE_DMA_SELECT_CHANNEL, QOR_PCIE_DMA_LIST_CHUNK, number, chunk)) {
      return result;
    }
  }
  if (uint32_t result = sendDmaCommand(ref, QOR_PCIE_DMA_SELECT_CHANNEL, QOR_PCIE_DMA_LIST_END, number, words({0}))) {
    return result;
  }
  return sendDmaCommand(ref, QOR_PCIE_DMA_SELECT_CHANNEL, QOR_PCIE_DMA_SETTINGS, number,
                        words({0, config.settings[0], config.settings[1], config.settings[2], config.settings[3]}));
}

uint32_t checkConfiguration(uint32_t port, const Qor_PcieDma_ChannelConfig_t* config, const uint64_t* addresses) {
  if (config == nullptr || addresses == nullptr) {
    return Qor_ErrorHandler(port, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  if (config->flags != 0) return Qor_ErrorHandler(port, QOR_ERR_API_UNKNOWN_FLAG, "%s", "");
  if (std::any_of(std::begin(config->reserved), std::end(config->reserved), [](uint8_t byte) { return byte != 0; })) {
    return Qor_ErrorHandler(port, QOR_ERR_API_INVALID_PARAMETER, "reserved bytes have to be zero");
  }
  return 0;
}

// Configures the channel; the channel section is held and the port has no channel.
uint32_t configure(PortRef& ref, PcieDma& dma, const Qor_PcieDma_ChannelConfig_t& config, uint64_t* addresses) {
  DmaChannelPtr channel(new (std::nothrow) DmaChannel, freeChannel);
  if (!channel) {
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_NOT_ENOUGH_MEMORY, "could not allocate PCIe DMA info");
  }
  if (uint32_t result = loadCardLibrary(ref, *channel)) return result;
  channel->card = static_cast<uint8_t>(ref.context().descriptor.deviceNumber - 1);
  channel->channel = config.channel;
  // 64-bit: a wrapped length would pin less than the addresses below span.
  const uint64_t size16 = (uint64_t{config.bufferSize} + 15) & ~uint64_t{15};
  uint32_t pages = 0;
  void* base = nullptr;
  const DmaCardFunctions& card = channel->functions;
  if (int32_t code = card.configure(channel->card, channel->channel, config.bufferCount * size16, &pages, &base)) {
    dlclose(channel->library);
    return cardLibraryFailed(ref, code);
  }
  channel->bufferPinned = true;
  std::vector<QorPxi95xxSgEntry_t> list;
  try {
    list.resize(pages);
  } catch (const std::bad_alloc&) {
    unwindConfiguration(ref, dma, std::move(channel), false);
    return storeError(&ref.entry(), QOR_ERR_API_NOT_ENOUGH_MEMORY, "");
  }
  uint32_t entries = pages;
  int32_t code = card.scatterGatherList(channel->card, channel->channel, &entries, list.data());
  if (code == 0 && entries > pages) code = QORPXI95XX_ERROR_LENGTH; // never more than the room it was given
  uint64_t scratchpad = 0;
  if (code == 0) code = card.mapScratchpad(channel->card, channel->channel, &scratchpad);
  if (code != 0) {
    unwindConfiguration(ref, dma, std::move(channel), false);
    return cardLibraryFailed(ref, code);
  }
  channel->scratchpad = reinterpret_cast<volatile uint32_t*>(scratchpad);
  list.resize(entries);
  if (uint32_t result = describeBuffers(ref, *channel, config, static_cast<uint32_t>(size16), list)) {
    unwindConfiguration(ref, dma, std::move(channel), true);
    return result;
  }
  const auto first = reinterpret_cast<uintptr_t>(base);
  for (uint32_t i = 0; i < config.bufferCount; ++i) addresses[i] = first + i * size16;
  channel->configured = true;
  dma.channel = std::move(channel);
  return 0;
}

// Resets the port's channel step by step (channel section held); each step done is recorded, so that a failing
// step leaves the channel as far as it got and a later reset goes on from there.
uint32_t resetChannel(PortRef& ref, PcieDma& dma) {
  DmaChannel* channel = dma.channel.get();
  if (channel == nullptr) return 0;
  const DmaCardFunctions& card = channel->functions;
  if (int32_t code = card.disable(channel->card, channel->channel)) return cardLibraryFailed(ref, code);
  channel->enabled = false;
  if (uint32_t result = sendDmaCommand(ref, QOR_PCIE_DMA_SELECT_CHANNEL, QOR_PCIE_DMA_DISABLE, channel->channel)) {
    return result;
  }
  if (channel->scratchpad != nullptr) {
    if (int32_t code = card.unmapScratchpad(channel->card, channel->channel)) return cardLibraryFailed(ref, code);
    channel->scratchpad = nullptr;
  }
  if (channel->bufferPinned) {
    if (int32_t code = card.reset(channel->card, channel->channel)) return cardLibraryFailed(ref, code);
    channel->bufferPinned = false;
  }
  channel->configured = false;
  if (uint32_t result = sendDmaCommand(ref, QOR_PCIE_DMA_SELECT_CHANNEL, QOR_PCIE_DMA_RESET, channel->channel)) {
    return result;
  }
  dlclose(channel->library);
  dma.channel.reset();
  return 0;
}

uint32_t closePortChannel(Qor_PortInfo_t& entry) {
  PortRef ref = PortRef::acquire(static_cast<uint32_t>(&entry - PortInfo));
  if (!ref) return 0;
  PcieDma& dma = ref.context().pcieDma;
  qor::SectionLock lock(dma.section);
  return resetChannel(ref, dma);
}

// The channel's registers: the caller's call on the port's configured channel.
template <class Access>
uint32_t withScratchpad(uint32_t port, Access access) {
  return onConfiguredChannel(port, kNotConfigured, [&](PortRef&, DmaChannel& channel) {
    access(channel.scratchpad);
    return 0u;
  });
}

} // namespace

namespace qor::client {

uint32_t sendDmaCommand(PortRef& ref, uint32_t selector, uint8_t subFunction, uint8_t channel,
                        std::span<const uint8_t> data) {
  if (data.size() > kDmaDataMax) {
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_COMMAND_LENGTH,
                                   "invalid command length for internal pcie dma configuration");
  }
  std::vector<uint8_t> command = words({selector});
  command.insert(command.end(), {subFunction, channel, 0, 0});
  command.insert(command.end(), data.begin(), data.end());
  std::vector<uint8_t> answer(kDmaAnswerRoom);
  uint32_t size = kDmaAnswerRoom;
  return Qor_CommandWithResponseEx(ref.handle(), 0, QOR_PCIE_DMA_COMMAND, kDmaControlBytes, command.data(),
                                   static_cast<uint32_t>(command.size()), answer.data(), &size);
}

uint32_t configuredChannel(PortRef& ref, const char* notConfiguredText, DmaChannel*& channel) {
  channel = ref.context().pcieDma.channel.get();
  if (channel == nullptr) {
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_NOT_INITIALIZED, "%s", kNotInitialized);
  }
  if (!channel->configured) {
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_NOT_INITIALIZED, "%s", notConfiguredText);
  }
  return 0;
}

Teardown pcieDmaTeardown() { return {.beforeDisconnect = closePortChannel, .afterTraffic = nullptr}; }

} // namespace qor::client

extern "C" {

bool Qor_PcieDma_IsAvailable(uint32_t port) try {
  PortRef ref = PortRef::acquire(port);
  if (!ref || !pcieConnected(ref.context())) return false;
  const qor::HostType* host = qor::findHostType(ref.context().descriptor.hostInterfaceType);
  return host != nullptr && host->daemon.path == qor::DevicePath::Cards95xx;
} catch (...) {
  return failedCall(port, false);
}

uint32_t Qor_PcieDma_Channel_Config_Dwth(uint32_t port, const Qor_PcieDma_ChannelConfig_t* config,
                                         uint64_t* addresses) try {
  if (uint32_t result = checkConfiguration(port, config, addresses)) return result;
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  Qor_PortContext& context = ref.context();
  if (!pcieConnected(context)) {
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_OPERATION_NOT_ALLOWED,
                                   "you need to to be connected via PCIe to use DMA");
  }
  // The card index is one byte, and the buffers one region.
  if (context.descriptor.deviceNumber == 0 || context.descriptor.deviceNumber > QORPXI95XX_CARD_COUNT_MAX) {
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_PARAMETER, "invalid device number %u",
                                   context.descriptor.deviceNumber);
  }
  if (config->bufferCount == 0 || config->bufferSize == 0) {
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_PARAMETER,
                                   "number and size of the buffers must not be 0");
  }
  PcieDma& dma = context.pcieDma;
  qor::SectionLock lock(dma.section);
  // A channel that could not be reset keeps its buffers: it is not overwritten.
  if (uint32_t result = resetChannel(ref, dma)) return result;
  return configure(ref, dma, *config, addresses);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_PcieDma_Channel_Enable(uint32_t port) try {
  return onConfiguredChannel(port, kNotConfigured, [](PortRef& ref, DmaChannel& channel) {
    if (int32_t code = channel.functions.enable(channel.card, channel.channel)) return cardLibraryFailed(ref, code);
    if (uint32_t result = sendDmaCommand(ref, QOR_PCIE_DMA_SELECT_CHANNEL, QOR_PCIE_DMA_ENABLE, channel.channel)) {
      channel.functions.disable(channel.card, channel.channel);
      return result;
    }
    channel.enabled = true;
    return 0u;
  });
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_PcieDma_Channel_Disable(uint32_t port) try {
  return onPortDma(port, [](PortRef& ref, PcieDma& dma) {
    DmaChannel* channel = dma.channel.get();
    if (channel == nullptr) return 0u;
    if (uint32_t result = sendDmaCommand(ref, QOR_PCIE_DMA_SELECT_CHANNEL, QOR_PCIE_DMA_DISABLE, channel->channel)) {
      return result;
    }
    if (int32_t code = channel->functions.disable(channel->card, channel->channel)) return cardLibraryFailed(ref, code);
    channel->enabled = false;
    return 0u;
  });
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_PcieDma_Channel_Reset(uint32_t port) try {
  return onPortDma(port, resetChannel);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_PcieDma_Channel_Get(uint32_t port, uint8_t* channel) try {
  if (channel == nullptr) return Qor_ErrorHandler(port, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  return onConfiguredChannel(port, "pcie dma channel is not initialized", [channel](PortRef&, DmaChannel& configured) {
    *channel = configured.channel;
    return 0u;
  });
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_PcieDma_Channel_WriteLimit_Set(uint32_t port, uint32_t limit) try {
  return withScratchpad(port, [limit](volatile uint32_t* scratchpad) { scratchpad[1] = limit; });
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_PcieDma_Channel_WritePosition_Get(uint32_t port, uint32_t* position) try {
  if (position == nullptr) return Qor_ErrorHandler(port, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  return withScratchpad(port, [position](volatile uint32_t* scratchpad) { *position = scratchpad[0]; });
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_PcieDma_GetBusData(uint32_t port, uint8_t data[4]) try {
  if (data == nullptr) return Qor_ErrorHandler(port, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  std::vector<uint8_t> link;
  if (uint32_t result = boardRequest(ref.context(), QOR_PCIE_BOARD_LINK_DATA, 0, link)) return result;
  if (link.size() < 4) return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_COMMAND_LENGTH, "%s", "");
  std::memcpy(data, link.data(), 4);
  return 0;
} catch (...) {
  return failedCall(port);
}

} // extern "C"
