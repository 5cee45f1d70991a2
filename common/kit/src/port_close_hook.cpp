#include <cstring>

#include "qor_async.h"
#include "qor_error_codes.h"
#include "qor_kit/port_table.hpp"

namespace qor::kit {
namespace {

constexpr uint8_t kNoCommand = 0;
constexpr uint8_t kCommandFrames = 0;

struct HookKey {
  uint8_t bytes[8] = {};
  explicit HookKey(const void* owner) {
    const auto address = reinterpret_cast<uintptr_t>(owner);
    static_assert(sizeof address <= sizeof bytes);
    std::memcpy(bytes, &address, sizeof address);
  }
};

struct HookContext {
  void* owner;
  PortCloseHook::Released released;
};

// Frames never match the hook's key; should one ever do, it is ignored.
void neverCalled(uint32_t, void*, const uint8_t*, uint32_t) {}

void onRelease(uint32_t port, void* context) {
  HookContext hook;
  std::memcpy(&hook, context, sizeof hook);
  hook.released(port, hook.owner);
}

}  // namespace

uint32_t PortCloseHook::attach(uint32_t port, void* owner, Released released) {
  const HookKey key(owner);
  void* userData = nullptr;
  const uint32_t code = Qor_AsyncCommunication_AddCallback(port, kNoCommand, kCommandFrames, key.bytes,
                                                           sizeof key.bytes, neverCalled, onRelease,
                                                           sizeof(HookContext), &userData);
  if (code == QOR_ERR_API_CALLBACK_EXISTS) return 0;
  if (code != 0) return code;
  const HookContext hook{owner, released};
  std::memcpy(userData, &hook, sizeof hook);
  return 0;
}

void PortCloseHook::detach(uint32_t port, void* owner) {
  const HookKey key(owner);
  Qor_AsyncCommunication_RemoveCallback(port, kNoCommand, kCommandFrames, key.bytes, sizeof key.bytes);
}

}  // namespace qor::kit
