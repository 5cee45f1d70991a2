// The asynchronous triple of a library call (Name_Async, Name_Async_AddCallback, Name_Async_RemoveCallback):
// _Async sends the request without waiting (mode 1); _Async_AddCallback registers, through the core, a relay for
// responses of the command whose data begin with the key, with user data whose first 8 bytes hold the application's
// callback and whose rest holds what the relay decodes; _Async_RemoveCallback removes that entry. The relay runs on
// the port's callback thread, decodes the answer as the synchronous call does and calls the application.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <span>

#include "qor_async.h"
#include "qor_kit/call.hpp"

namespace qor::kit {

class AsyncFamily {
 public:
  static constexpr uint32_t kCallbackBytes = 8;

  // key: the control bytes that the response repeats (at most 8); decodedBytes: room for the relay's record.
  AsyncFamily(uint8_t command, std::initializer_list<uint8_t> key, uint32_t decodedBytes);

  uint8_t command() const { return command_; }
  uint32_t userDataBytes() const { return kCallbackBytes + decodedBytes_; }

  // _Async: the record (which begins with the key bytes) sent in mode 1.
  uint32_t request(const Call& call, const RecordWriter& record) const;
  // _Async_AddCallback and _Async_RemoveCallback; the core's codes unchanged. entryUserData, when given, receives
  // the entry's user data (the relay's context), e.g. for a second entry that works on the same collection.
  template <class ApplicationCallback>
  uint32_t add(uint32_t port, Qor_AsyncCommunication_Callback_t relay, ApplicationCallback callback,
               void** entryUserData = nullptr) const {
    static_assert(sizeof callback <= kCallbackBytes);
    void* userData = nullptr;
    const uint32_t code = Qor_AsyncCommunication_AddCallback(port, command_, kResponseType, key_.data(), keyLength_,
                                                             relay, nullptr, userDataBytes(), &userData);
    if (code == 0 && userData != nullptr) std::memcpy(userData, &callback, sizeof callback);
    if (code == 0 && entryUserData != nullptr) *entryUserData = userData;
    return code;
  }
  uint32_t remove(uint32_t port) const;

  // In a relay: the application's callback and the room for the decoded record in the entry's user data.
  template <class ApplicationCallback>
  static ApplicationCallback applicationCallback(const void* context) {
    ApplicationCallback callback;
    std::memcpy(&callback, context, sizeof callback);
    return callback;
  }
  template <class Record>
  static Record* decodedRecord(void* context) {
    return reinterpret_cast<Record*>(static_cast<uint8_t*>(context) + kCallbackBytes);
  }

 private:
  static constexpr uint8_t kResponseType = 1;

  uint8_t command_;
  std::array<uint8_t, 8> key_{};
  uint8_t keyLength_;
  uint32_t decodedBytes_;
};

// A relay that cannot decode its answer tells the port's asynchronous error callback, with the text
// "'<function>' error" and its length including the terminating zero.
void reportRelayFailure(uint32_t port, uint32_t code, const char* function);

}  // namespace qor::kit
