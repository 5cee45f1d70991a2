// A sink standing in for a connection: it keeps the frames a device sends, for the tests of the emulator's core.
#pragma once

#include <cstdint>
#include <vector>

#include "qor_emulator/device.hpp"

namespace qor::emulator {

class CollectingSink : public FrameSink {
 public:
  explicit CollectingSink(uint64_t id) : id_(id) {}
  uint64_t id() const override { return id_; }
  bool isOpen() const override { return open; }
  void play(const Reply& reply) override {
    for (const auto& step : reply.steps()) {
      if (step.kind == Reply::Step::Kind::Send) sent.push_back(step.bytes);
    }
  }
  std::vector<Bytes> sent;
  bool open = true;

 private:
  uint64_t id_;
};

}  // namespace qor::emulator
