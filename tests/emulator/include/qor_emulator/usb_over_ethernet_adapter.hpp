// A USB-over-Ethernet adapter: an Ethernet device of host type 32 (its firmware answers discovery and the identity
// query through its TCP front end) that carries USB devices. The stand-in libuoe_QorUSB_Platform reaches them by a
// TCP connection to the adapter's own loopback address at the port its settings name (qor_usb_emulator_link.hpp),
// one request at a time per connection. The USB devices are a UsbFrontEnd of the adapter's own, never started:
// the adapter answers for it. After a connection is made the adapter enumerates its devices: it answers a number of
// status requests with 2 (busy) before its final status.
//
//   UsbOverEthernetAdapter adapter(700, "127.0.0.2", 5400);
//   adapter.devices().plugIn({12, {{300, nullptr}}, 3});
//   adapter.start();
//   adapter.announce();
//   responder.add(adapter.network());
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "qor_emulator/device.hpp"
#include "qor_emulator/tcp_front_end.hpp"
#include "qor_emulator/usb_front_end.hpp"

namespace qor::emulator {

class Wakeup;

inline constexpr uint32_t kUsbOverEthernetHostType = 32;

class UsbOverEthernetAdapter {
 public:
  // address: in 127.0.0.0/8; usbPort: where the stand-in connects (the same for every adapter of a test).
  UsbOverEthernetAdapter(uint32_t serialNumber, const std::string& address, uint16_t usbPort);
  ~UsbOverEthernetAdapter();  // stops
  UsbOverEthernetAdapter(const UsbOverEthernetAdapter&) = delete;
  UsbOverEthernetAdapter& operator=(const UsbOverEthernetAdapter&) = delete;

  UsbFrontEnd& devices() { return devices_; }
  const TcpFrontEnd& network() const { return network_; }

  // The status requests of each connection answered with 2 before finalStatus (1: done; others are faults).
  void setEnumeration(uint32_t busyAnswers, uint32_t finalStatus = 1);

  // Listens on both ports; throws std::system_error when an address cannot be bound.
  void start();
  void stop();
  // Writes the stand-in's settings so that it reaches the adapters at this port.
  void announce() const;

  size_t acceptedConnections() const;
  size_t openConnections() const;

 private:
  void acceptLoop();
  void serve(int fd);
  void reapConnections();  // joins the connections that ended; needs mutex_
  uint32_t enumerationStatus(uint32_t& asked) const;

  Device firmware_;
  TcpFrontEnd network_;
  UsbFrontEnd devices_;
  const std::string address_;
  uint16_t usbPort_;  // the bound port once started
  std::unique_ptr<Wakeup> stop_;
  int listenFd_ = -1;
  std::thread listener_;

  mutable std::mutex mutex_;  // guards what follows
  uint32_t busyAnswers_ = 2;
  uint32_t finalStatus_ = 1;
  size_t accepted_ = 0;
  struct Connection {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::vector<Connection> connections_;
};

}  // namespace qor::emulator
