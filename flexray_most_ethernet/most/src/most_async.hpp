// The interface check in front of the kit's asynchronous triple, for the MOST families.
#pragma once

#include <cstdint>

#include "most_library.hpp"
#include "qor_kit/async_family.hpp"

namespace qor::most {

inline uint32_t requestAsync(const kit::Call& call, const kit::AsyncFamily& family, const kit::RecordWriter& record) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return family.request(call, record);
}

template <class ApplicationCallback>
uint32_t addAsyncCallback(const kit::Call& call, const kit::AsyncFamily& family,
                          Qor_AsyncCommunication_Callback_t relay, ApplicationCallback callback,
                          void** entryUserData = nullptr) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(reinterpret_cast<const void*>(callback), "callback")) return code;
  return family.add(call.port(), relay, callback, entryUserData);
}

inline uint32_t removeAsyncCallback(const kit::Call& call, const kit::AsyncFamily& family) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return family.remove(call.port());
}

}  // namespace qor::most
