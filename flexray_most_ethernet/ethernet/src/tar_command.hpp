// The TAR instances' firmware command 0x25: records begin with a u32 sub-function, sent with one control byte.
#pragma once

#include <cstdint>
#include <vector>

#include "qor_kit/call.hpp"

namespace qor::ethernet {

inline constexpr uint8_t kTarCommand = 0x25;
inline constexpr uint32_t kTarAnswerCapacity = 16;

enum TarSubFunction : uint32_t {
  kTarConfigure = 0,
  kTarAddItems = 2,
  kTarStart = 3,
  kTarStop = 4,
  kTarState = 5,
};

inline uint32_t exchangeTar(const kit::Call& call, const kit::RecordWriter& record, std::vector<uint8_t>& answer) {
  return call.exchange(kTarCommand, 1, record, answer, kTarAnswerCapacity);
}

inline uint32_t exchangeTar(const kit::Call& call, const kit::RecordWriter& record) {
  std::vector<uint8_t> answer;
  return exchangeTar(call, record, answer);
}

}  // namespace qor::ethernet
