#include "qor_emulator/most_ams_telegrams.hpp"

#include <algorithm>
#include <stdexcept>

namespace qor::emulator {
namespace {

constexpr size_t kTelegramData = 255;
constexpr size_t kSegmentData = kTelegramData - 1;  // after the counter byte
enum TelegramId : uint8_t { kWhole = 0, kFirst = 1, kMiddle = 2, kLast = 3 };

}  // namespace

std::vector<MostControlMessage> toTelegrams(const MostControlMessage& message) {
  if (message.data.size() > kMostApplicationMessageMax) throw std::invalid_argument("MOST message too long");
  MostControlMessage head = message;
  head.data.clear();
  if (message.data.size() <= kTelegramData) {
    head.telegramId = kWhole;
    head.data = message.data;
    return {head};
  }
  std::vector<MostControlMessage> telegrams;
  uint8_t counter = 0;
  for (size_t sent = 0; sent < message.data.size(); sent += kSegmentData) {
    const size_t length = std::min(kSegmentData, message.data.size() - sent);
    MostControlMessage& telegram = telegrams.emplace_back(head);
    telegram.telegramId = sent == 0 ? kFirst : sent + length == message.data.size() ? kLast : kMiddle;
    telegram.data.push_back(counter++);
    telegram.data.insert(telegram.data.end(), message.data.begin() + static_cast<ptrdiff_t>(sent),
                         message.data.begin() + static_cast<ptrdiff_t>(sent + length));
  }
  return telegrams;
}

std::optional<MostControlMessage> MostTelegramJoiner::take(const MostControlMessage& telegram) {
  if (telegram.telegramId == kWhole) return telegram;
  if (telegram.data.empty()) {  // no counter: nothing can follow it
    joining_.erase(telegram.sourceAddress);
    return std::nullopt;
  }
  const uint8_t counter = telegram.data[0];
  const auto segment = telegram.data.begin() + 1;
  if (telegram.telegramId == kFirst) {
    MostControlMessage start = telegram;
    start.telegramId = kWhole;
    start.data.assign(segment, telegram.data.end());
    joining_[telegram.sourceAddress] = Joining{std::move(start), static_cast<uint8_t>(counter + 1)};
    return std::nullopt;
  }
  const auto joining = joining_.find(telegram.sourceAddress);
  if (joining == joining_.end()) return std::nullopt;
  Bytes& data = joining->second.message.data;
  if (counter != joining->second.nextCounter ||
      data.size() + (telegram.data.size() - 1) > kMostApplicationMessageMax) {
    joining_.erase(joining);
    return std::nullopt;
  }
  data.insert(data.end(), segment, telegram.data.end());
  ++joining->second.nextCounter;
  if (telegram.telegramId != kLast) return std::nullopt;
  MostControlMessage whole = std::move(joining->second.message);
  joining_.erase(joining);
  return whole;
}

}  // namespace qor::emulator
