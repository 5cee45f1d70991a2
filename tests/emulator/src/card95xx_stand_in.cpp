// libQorPxi95xx_API over one emulated card: the card is made below a /proc root of the process's own, the library's
// driver requests go to it, and the library connects the cards only then.
#include "qor_emulator/card95xx_stand_in.h"

#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "cards.hpp"
#include "driver_access.hpp"
#include "qor_emulator/card95xx.hpp"
#include "qor_pcie_dma.h"

namespace {

using qor::emulator::Bytes;
using qor::emulator::ReceivedFrame;
using qor::emulator::Reply;

constexpr size_t kControlBytes = 6;

struct StandIn {
  std::string root;
  qor::emulator::Device device{
      qor::emulator::DeviceConfig{.serialNumber = QOR_STAND_IN_95XX_SERIAL, .hostType = QOR_STAND_IN_95XX_HOST_TYPE}};
  std::unique_ptr<qor::emulator::Card95xx> card;
  std::mutex mutex; // what follows
  std::vector<Bytes> dmaCommands;
  std::map<std::pair<uint32_t, uint8_t>, uint32_t> failures;

  Reply answerDma(const ReceivedFrame& frame) {
    const auto parameters = frame.parameters();
    std::lock_guard lock(mutex);
    dmaCommands.emplace_back(parameters.begin(), parameters.end());
    if (parameters.size() >= kControlBytes) {
      uint32_t selector = 0;
      std::memcpy(&selector, parameters.data(), sizeof selector);
      const auto failure = failures.find({selector, parameters[4]});
      if (failure != failures.end()) return Reply(frame.negativeAcknowledge(failure->second, "DMA command refused"));
    }
    return Reply(frame.response({}, kControlBytes));
  }
};

StandIn* standIn = nullptr;

} // namespace

extern "C" {

bool QorStandIn95xx_Start(void) {
  if (standIn != nullptr) return false;
  char pattern[] = "/tmp/qor_pxi95xx_stand_in.XXXXXX";
  if (mkdtemp(pattern) == nullptr) return false;
  standIn = new StandIn;
  standIn->root = std::string(pattern) + "/";
  standIn->card = std::make_unique<qor::emulator::Card95xx>(standIn->device, standIn->root, 0);
  standIn->device.onCommand(QOR_PCIE_DMA_COMMAND, [](const ReceivedFrame& frame) { return standIn->answerDma(frame); });
  qor::pxi95xx::useDriver(standIn->root.c_str(), qor::emulator::Card95xx::request);
  return qor::pxi95xx::moduleInit() == 0;
}

void QorStandIn95xx_Stop(void) {
  if (standIn == nullptr) return;
  qor::pxi95xx::moduleExit();
  qor::pxi95xx::useDriver(nullptr, nullptr);
  const std::string root = standIn->root;
  delete standIn;
  standIn = nullptr;
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
}

uint32_t QorStandIn95xx_DmaCommand(uint32_t index, uint8_t* parameters, uint32_t room) {
  std::lock_guard lock(standIn->mutex);
  if (index >= standIn->dmaCommands.size()) return 0;
  const Bytes& command = standIn->dmaCommands[index];
  std::copy_n(command.begin(), std::min<size_t>(room, command.size()), parameters);
  return static_cast<uint32_t>(command.size());
}

uint32_t QorStandIn95xx_DmaCommandCount(void) {
  std::lock_guard lock(standIn->mutex);
  return static_cast<uint32_t>(standIn->dmaCommands.size());
}

void QorStandIn95xx_FailDmaCommand(uint32_t selector, uint8_t subFunction, uint32_t code) {
  std::lock_guard lock(standIn->mutex);
  if (code == 0) {
    standIn->failures.erase({selector, subFunction});
  } else {
    standIn->failures[{selector, subFunction}] = code;
  }
}

void QorStandIn95xx_FailNextDriverRequest(unsigned long request, int error) {
  standIn->card->failNextRequest(request, error);
}

uint32_t QorStandIn95xx_WriteDma(uint32_t channel, const uint8_t* data, uint32_t length) {
  return static_cast<uint32_t>(standIn->card->writeDma(channel, {data, length}));
}

bool QorStandIn95xx_Pinned(uint32_t channel) { return standIn->card->pinned(channel); }

} // extern "C"
