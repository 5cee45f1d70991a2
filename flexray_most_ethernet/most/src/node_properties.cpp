// The node's properties (command 0x20, selector 1), synchronous and through the asynchronous triple: four modes,
// each checked against its range, and four address words.
#include <cstddef>
#include <span>
#include <vector>

#include "most_library.hpp"
#include "qor_kit/async_family.hpp"
#include "qor_most_node.h"

namespace qor::most {
namespace {

constexpr uint8_t kNodeCommand = 0x20;
constexpr uint8_t kReadProperties = 1;
constexpr uint32_t kAnswerCapacity = 16;
constexpr size_t kAnswerBytes = 16;
constexpr size_t kAddressWordsOffset = 8;
constexpr const char* kAsyncFunction = "Qor_Most_Node_GetProperties_Async";

struct ModeField {
  size_t offset;
  uint8_t highest;
  const char* name;
  uint8_t Qor_Most_Node_Properties_t::*field;
};

// In the order they are checked and stored.
constexpr ModeField kModes[] = {
    {4, QOR_MOST_CLOCK_MODE_MAX, "clock", &Qor_Most_Node_Properties_t::clockMode},
    {5, QOR_MOST_DEVICE_MODE_MAX, "device", &Qor_Most_Node_Properties_t::deviceMode},
    {6, QOR_MOST_NETWORK_MASTER_MODE_MAX, "network master", &Qor_Most_Node_Properties_t::networkMasterMode},
    {7, QOR_MOST_NODE_ADDRESS_MODE_MAX, "node address", &Qor_Most_Node_Properties_t::logicalNodeAddressMode},
};

kit::AsyncFamily propertiesFamily() { return kit::AsyncFamily(kNodeCommand, {kReadProperties}, 0); }

kit::RecordWriter propertiesRequest() {
  kit::RecordWriter record(4);
  record.u8(kReadProperties).u8(0).u16(0);
  return record;
}

// Stores the fields in order up to the first mode out of range, which it returns; nullptr when all are stored. The
// answer holds kAnswerBytes at least.
const ModeField* decodeProperties(std::span<const uint8_t> answer, Qor_Most_Node_Properties_t& properties) {
  for (const ModeField& mode : kModes) {
    if (answer[mode.offset] > mode.highest) return &mode;
    properties.*mode.field = answer[mode.offset];
  }
  for (size_t i = 0; i < 4; ++i) {
    const size_t at = kAddressWordsOffset + 2 * i;
    properties.addressWords[i] = static_cast<uint16_t>(answer[at] | answer[at + 1] << 8);
  }
  return nullptr;
}

uint32_t getProperties(const kit::Call& call, Qor_Most_Node_Properties_t* properties) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(properties, "properties")) return code;
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kNodeCommand, 1, propertiesRequest(), answer, kAnswerCapacity)) return code;
  if (answer.size() < kAnswerBytes) return shortAnswer(call, answer.size());
  if (const ModeField* bad = decodeProperties(answer, *properties)) {
    return call.fail(kit::GeneralError::InvalidResponseParameter, "%s mode '%d' in firmware response is unknown",
                     bad->name, answer[bad->offset]);
  }
  return 0;
}

uint32_t requestProperties(const kit::Call& call) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return propertiesFamily().request(call, propertiesRequest());
}

// On the port's callback thread.
void propertiesRelay(uint32_t port, void* context, const uint8_t* data, uint32_t length) {
  const std::span<const uint8_t> answer(data, length);
  if (answer.size() < kAnswerBytes) {
    kit::reportRelayFailure(port, kMost.code(kit::GeneralError::InvalidResponseLength), kAsyncFunction);
    return;
  }
  Qor_Most_Node_Properties_t properties{};
  if (decodeProperties(answer, properties) != nullptr) {
    kit::reportRelayFailure(port, kMost.code(kit::GeneralError::InvalidResponseParameter), kAsyncFunction);
    return;
  }
  kit::AsyncFamily::applicationCallback<Qor_Most_Node_GetPropertiesCallback_t>(context)(port, &properties);
}

uint32_t addPropertiesCallback(const kit::Call& call, Qor_Most_Node_GetPropertiesCallback_t callback) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(reinterpret_cast<const void*>(callback), "callback")) return code;
  return propertiesFamily().add(call.port(), propertiesRelay, callback);
}

uint32_t removePropertiesCallback(const kit::Call& call) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return propertiesFamily().remove(call.port());
}

}  // namespace
}  // namespace qor::most

using qor::kit::Call;
using qor::most::kMost;

uint32_t Qor_Most_Node_GetProperties(uint32_t port, Qor_Most_Node_Properties_t* properties) try {
  return qor::most::getProperties(Call(kMost, port), properties);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Node_GetProperties_Async(uint32_t port) try {
  return qor::most::requestProperties(Call(kMost, port));
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Node_GetProperties_Async_AddCallback(uint32_t port,
                                                       Qor_Most_Node_GetPropertiesCallback_t callback) try {
  return qor::most::addPropertiesCallback(Call(kMost, port), callback);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Node_GetProperties_Async_RemoveCallback(uint32_t port) try {
  return qor::most::removePropertiesCallback(Call(kMost, port));
} catch (...) {
  return kMost.failedCall(port);
}
