// The daemon: its state, the accept loop on "/Qor_API", the control thread of each private pair, the request thread
// of each application, connect and close, the command interpreter, the hardware and monitor threads of each port,
// and the orderly stop. One instance serves the program; tests make their own with a fake access path.
//
// Threads: the caller of waitForClients (accept loop), one control thread per announced private pair, one request
// thread per application, one hardware thread per port with a device that needs one, at most one monitor thread per
// port. All are started and joined through Workers; every wait among them has a bound.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "channel.hpp"
#include "error_record.hpp"
#include "map.hpp"
#include "port_table.hpp"
#include "worker.hpp"

namespace qor::daemon {

struct ServerOptions {
  bool usb = false; // the word "usb": the USB access path starts
};

class Server {
public:
  explicit Server(ServerOptions options);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Install the access paths here before start.
  DeviceAccess& deviceAccess() { return access_; }

  // Starts the access paths.
  void start();
  // The accept loop: creates "/Qor_API" and serves it until stop (or a failure of the queue itself), then removes it.
  // False when "/Qor_API" could not be created.
  bool waitForClients();
  // SIGTERM to the process of every application (one per application).
  void stopProcesses();
  // Closes every application and port, ends the accept loop and every thread, and shuts the access paths down.
  // Once; a second call waits for the first to finish.
  void stop();

  // ---- the parts of the daemon (one file each) ----

  // accept_loop.cpp
  void acceptClient(Bytes message);
  // A private pair as announced: its name and the queue behind its reply end. A client that removes its pair and
  // makes it anew under the same name has a new pair.
  struct PairIdentity {
    std::string baseName;
    ino_t replyQueue;
    auto operator<=>(const PairIdentity&) const = default;
  };
  // The pairs that have a control thread (one each), claimed by the accept loop, released by their control thread
  // while it still holds the reply end open (so no new queue can have its identity yet).
  bool servesPair(const PairIdentity& pair);
  void claimPair(const PairIdentity& pair);
  void releasePair(const PairIdentity& pair);
  // control_thread.cpp
  void serveControlPair(const PairIdentity& pair, const ClientProcess& client, Worker& self);
  // request_thread.cpp
  void serveApplication(const std::shared_ptr<Port>& port, const std::shared_ptr<Application>& app, Worker& self);
  // interpreter.cpp: acts on one message; the caller's buffer may be changed
  void interpret(Buffer message, Channel& channel);
  uint32_t writeCommand(Port& port, uint8_t application, Bytes frame);
  // connect.cpp
  void connectPort(Bytes message, Channel& channel);
  // close.cpp
  uint32_t closeApplication(const std::shared_ptr<Port>& port, const std::shared_ptr<Application>& app);
  void closeConnection(Channel& channel);
  // hardware_thread.cpp
  uint32_t startHardwareThread(const std::shared_ptr<Port>& port);
  // monitor.cpp
  void startMonitor(Channel& channel);
  void stopMonitor(Channel& channel);
  // fpga_access.cpp
  void fpgaAccess(Bytes message, Channel& channel);

  // Records an error as the daemon's last error and, when a port and an application of it with an open response
  // queue are named, reports it to that application (message 0x11). Returns code; 0 records nothing.
  uint32_t recordError(const Port* port, uint8_t application, uint32_t code, std::string_view text);
  uint32_t recordErrorf(const Port* port, uint8_t application, uint32_t code, const char* format, ...)
      __attribute__((format(printf, 5, 6)));
  uint32_t recordPathError(const Port* port, uint8_t application, const PathStatus& status) {
    return recordError(port, application, status.code, status.text);
  }

  // Sends a message to an application's response queue; a failure is recorded (0x1000022, or 0x1000009 reported to
  // the application when the message is larger than its queue takes).
  bool sendToApplication(const Port& port, Application& app, Bytes message);
  // Answers on a channel's reply queue; a failure is recorded (0x1000022).
  bool reply(Channel& channel, Bytes message);
  // A bare answer {code, 12, error} on a channel's reply queue.
  bool replyBare(Channel& channel, uint8_t code, uint32_t error);

  bool stopRequested() const { return stopRequested_; }
  uint32_t pollIntervalMs() const { return pollIntervalMs_; }
  PortTable& ports() { return ports_; }
  std::mutex& usbSuspension() { return usbSuspension_; }

private:
  friend class Interpreter;

  // close.cpp: with the port's lifecycle lock held.
  bool retire(Port& port, const std::shared_ptr<Application>& app);
  uint32_t closePortIfUnused(const std::shared_ptr<Port>& port);
  uint32_t stopPortThreads(Port& port);
  uint32_t closeApplication(const std::shared_ptr<Port>& port, const std::shared_ptr<Application>& app,
                            std::unique_lock<std::mutex>& lifecycle);
  // connect.cpp
  void connectOn(const std::shared_ptr<Port>& port, const ConnectPortRequest& request, Channel& channel,
                 std::unique_lock<std::mutex>& lifecycle);
  uint32_t openDevice(Port& port);

  ServerOptions options_;
  DeviceAccess access_;
  PortTable ports_;
  ErrorRecord errors_;
  std::mutex usbSuspension_; // one USB suspension at a time
  std::atomic<uint32_t> pollIntervalMs_{0};

  std::atomic<bool> started_{false};
  std::atomic<bool> stopRequested_{false};
  std::mutex stopMutex_;
  bool stopped_ = false;

  std::mutex acceptMutex_;
  std::condition_variable acceptEnded_;
  bool acceptRunning_ = false;

  std::mutex pairsMutex_;
  std::set<PairIdentity> servedPairs_;

  Workers workers_; // last: destroyed first, after every thread has ended
};

} // namespace qor::daemon
