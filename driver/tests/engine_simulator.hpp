// A simulated DMA engine behind BAR0 for the driver's user-space tests: it watches the register writes, walks the
// source and destination descriptors the driver hands it, copies between a card memory and host buffers, writes
// the status elements and raises the channel's interrupt on its own thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

extern "C" {
#include "vortaq.h"
}

class EngineSimulator {
public:
  enum class Generation { first, second };

  // windows: how many channel windows BAR0 holds; present: the engine indices that report a channel.
  EngineSimulator(Generation generation, std::uint32_t windows, const std::vector<std::uint32_t>& present,
                  std::size_t cardMemoryBytes = 1u << 20);
  ~EngineSimulator();
  // Ends the engine's thread and stops watching the registers; BAR0 and the card memory stay readable.
  void stop();
  EngineSimulator(const EngineSimulator&) = delete;
  EngineSimulator& operator=(const EngineSimulator&) = delete;

  void* bar0() { return registers_.data(); }
  std::uint32_t bar0Length() const { return static_cast<std::uint32_t>(registers_.size()); }
  std::uint8_t* cardMemory() { return card_.data(); }

  // Called on the engine's thread for each interrupt it raises, with the engine index. The interrupt status
  // register clears the bits written to it.
  void onInterrupt(std::function<void(std::uint32_t)> handler);

  // While paused the engine takes no descriptors; resuming goes on where it stopped.
  void pause();
  void resume();
  // The next packets complete with DESTINATION_ERROR, or report one byte less than they moved.
  void failNextPackets(int count) { failPackets_ = count; }
  void shortenNextPackets(int count) { shortenPackets_ = count; }

  std::uint32_t read32(std::uint32_t window, std::uint32_t offset) const;
  // Sets interrupt status bits of a channel, as the engine or the card's firmware does.
  void raiseStatus(std::uint32_t index, std::uint32_t bits);

  // FIFO mode: packets the card's stream offers to a channel that writes into host memory, and the bytes a
  // channel that reads host memory has sent to the stream so far.
  void streamToHost(std::vector<std::uint8_t> packet);
  std::vector<std::uint8_t> streamFromHost();

private:
  struct Queue {
    std::uint64_t base;
    std::uint32_t size, limit, next;
  };
  void run();
  void poke();
  bool serviceChannel(std::uint32_t index);
  bool serviceAddressed(std::uint32_t index);
  bool serviceStreamOut(std::uint32_t index);
  bool serviceStreamIn(std::uint32_t index);
  std::optional<std::vector<std::uint32_t>> sourcePacket(const Queue& src, std::uint64_t& bytes) const;
  std::optional<std::vector<std::uint32_t>> destinationRoom(const Queue& dst, std::uint64_t bytes) const;
  bool writeWideStatus(std::uint32_t index, std::uint32_t status, std::uint16_t handle, std::uint16_t id);
  bool raise(std::uint32_t index);
  Queue queue(std::uint32_t index, std::uint32_t pointer, std::uint32_t size, std::uint32_t limit,
              std::uint32_t next) const;
  bool copyOut(std::uint64_t address, bool card, std::uint32_t bytes, std::vector<std::uint8_t>& data);
  bool copyIn(std::uint64_t address, bool card, const std::uint8_t* data, std::uint32_t bytes);
  void write32(std::uint32_t window, std::uint32_t offset, std::uint32_t value);
  std::uint32_t windowBase(std::uint32_t index) const;
  static void registerWritten(void* context, void* address);
  void acknowledged(std::uint32_t offset);

  Generation generation_;
  std::uint32_t windows_;
  std::vector<std::uint8_t> registers_;
  std::vector<std::uint8_t> card_;
  std::function<void(std::uint32_t)> interrupt_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool dirty_ = false;
  bool paused_ = false;
  bool stop_ = false;
  std::atomic<int> failPackets_{0};
  std::atomic<int> shortenPackets_{0};
  std::mutex statusMutex_;
  std::vector<std::uint32_t> pendingStatus_; // interrupt status bits per window, cleared by writing them
  std::mutex streamMutex_;
  std::deque<std::vector<std::uint8_t>> toHost_;
  std::vector<std::uint8_t> fromHost_;
  std::thread thread_;
};
