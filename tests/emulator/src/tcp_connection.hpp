// One accepted TCP connection of a TcpFrontEnd: its thread reads frames by their length field and hands them to
// the device; answers and unsolicited frames are written under the connection's own lock.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "qor_emulator/device.hpp"
#include "socket_support.hpp"

namespace qor::emulator {

class TcpConnection final : public FrameSink, public std::enable_shared_from_this<TcpConnection> {
 public:
  // `stop` ends the thread and any wait of a reply; `device` must outlive the connection's thread.
  TcpConnection(UniqueFd fd, uint64_t id, Device& device, std::shared_ptr<const Wakeup> stop);
  ~TcpConnection() override;  // joins

  // A black hole keeps the connection open without ever reading it.
  void start(bool blackHole);
  void join();
  bool finished() const { return finished_; }

  uint64_t id() const override { return id_; }
  bool isOpen() const override { return open_; }
  void play(const Reply& reply) override;
  // Closes both directions at once; the thread then ends.
  void cut();

 private:
  void readFrames();
  void waitUntilClosed();

  UniqueFd fd_;
  const uint64_t id_;
  Device& device_;
  const std::shared_ptr<const Wakeup> stop_;
  std::atomic<bool> open_{true};
  std::atomic<bool> finished_{false};
  std::mutex writeMutex_;
  std::thread thread_;
};

}  // namespace qor::emulator
