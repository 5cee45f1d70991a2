#pragma once

#include <thread>

#include "qor_emulator/device.hpp"
#include "qor_emulator/reply.hpp"

namespace qor::emulator {

// The firmware's answers on an emulated card go into the card's response ring; a cut has no meaning on a card and is
// ignored.
template <class Card>
class CardResponseSink final : public FrameSink {
 public:
  explicit CardResponseSink(Card& card) : card_(card) {}
  uint64_t id() const override { return 1; }
  bool isOpen() const override { return true; }
  void play(const Reply& reply) override {
    for (const auto& step : reply.steps()) {
      if (step.kind == Reply::Step::Kind::Send) card_.writeResponse(step.bytes);
      if (step.kind == Reply::Step::Kind::Wait) std::this_thread::sleep_for(step.duration);
    }
  }

 private:
  Card& card_;
};

}  // namespace qor::emulator
