// A device on TCP, as the daemon's Ethernet access path reaches it: one listener on the device's own loopback
// address, any number of connections (the daemon's probe, its lasting connection and every reconnect), each
// read by a thread of its own. A frame's answer is played on the connection that carried it, by that
// connection's thread, so a delayed answer holds back only its own connection.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "qor_emulator/device.hpp"

namespace qor::emulator {

class TcpConnection;
class Wakeup;

class TcpFrontEnd {
 public:
  // `address` must lie in 127.0.0.0/8 (std::invalid_argument otherwise); port 0 takes a free port at start.
  // `device` must outlive the front end.
  TcpFrontEnd(Device& device, const std::string& address, uint16_t port);
  ~TcpFrontEnd();  // stops
  TcpFrontEnd(const TcpFrontEnd&) = delete;
  TcpFrontEnd& operator=(const TcpFrontEnd&) = delete;

  // Listens; throws std::system_error when the address cannot be bound.
  void start();
  // Closes the listener and every connection and joins every thread.
  void stop();

  Device& device() const { return device_; }
  const std::string& address() const { return address_; }
  uint16_t port() const { return port_; }  // the bound port once started

  // Faults. Refusing closes the listener, so connection attempts are refused; ending it listens again.
  void refuseConnections(bool refuse);
  // Connections accepted from now on are kept open but never read.
  void setBlackHole(bool blackHole);
  // Closes every open connection now, between frames.
  void cutConnections();

  size_t acceptedConnections() const;
  size_t openConnections() const;
  // True once `count` connections were accepted in all, waiting at most `timeout`.
  bool waitForAccepted(size_t count, std::chrono::milliseconds timeout) const;

 private:
  void startListener();
  void stopListener();
  void acceptLoop();
  void reapFinished();  // joins connections whose thread has ended; needs mutex_

  Device& device_;
  const std::string address_;
  uint16_t port_;

  std::shared_ptr<Wakeup> stopConnections_;  // shared with the connections, which may outlive a stop
  std::unique_ptr<Wakeup> stopListening_;
  int listenFd_ = -1;  // owned by the listener thread while it runs
  std::thread listener_;
  std::mutex controlMutex_;  // serialises start, stop and refuseConnections, and guards the two flags below
  bool running_ = false;
  bool refusing_ = false;

  mutable std::mutex mutex_;  // guards what follows
  mutable std::condition_variable accepted_;
  std::vector<std::shared_ptr<TcpConnection>> connections_;
  size_t acceptedCount_ = 0;
  bool blackHole_ = false;
};

}  // namespace qor::emulator
