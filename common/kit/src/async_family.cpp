#include "qor_kit/async_family.hpp"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace qor::kit {

AsyncFamily::AsyncFamily(uint8_t command, std::initializer_list<uint8_t> key, uint32_t decodedBytes)
    : command_(command), keyLength_(static_cast<uint8_t>(key.size())), decodedBytes_(decodedBytes) {
  if (key.size() > key_.size()) throw std::length_error("an asynchronous key holds at most 8 bytes");
  std::copy(key.begin(), key.end(), key_.begin());
}

uint32_t AsyncFamily::request(const Call& call, const RecordWriter& record) const {
  return call.request(command_, keyLength_, record);
}

uint32_t AsyncFamily::remove(uint32_t port) const {
  return Qor_AsyncCommunication_RemoveCallback(port, command_, kResponseType, key_.data(), keyLength_);
}

void reportRelayFailure(uint32_t port, uint32_t code, const char* function) {
  char text[256];
  const int length = std::snprintf(text, sizeof text, "'%s' error", function);
  const auto withTerminator = static_cast<uint32_t>(std::min<size_t>(length < 0 ? 0 : length, sizeof text - 1) + 1);
  Qor_AsyncCommunication_CallErrorCallback(port, code, text, withTerminator);
}

}  // namespace qor::kit
