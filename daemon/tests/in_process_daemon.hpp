// The daemon core running inside the test process, with fake access paths and its accept loop on a thread, and
// clients in processes of their own. Test code only; every test using it runs in the sandbox.
#pragma once

#include <sys/types.h>

#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <thread>

#include "fake_path.hpp"
#include "map.hpp"
#include "qor_test/child_process.hpp"
#include "raw_client.hpp"
#include "server.hpp"

namespace qor::test {

class InProcessDaemon {
public:
  // Installs a fake path for each kind, each reporting properties at open, and starts serving "/Qor_API".
  explicit InProcessDaemon(std::initializer_list<daemon::PathKind> kinds = {daemon::PathKind::Ethernet},
                           const daemon::Device::Properties& properties = {});
  // Installs a real path for its kind and starts serving "/Qor_API".
  InProcessDaemon(daemon::PathKind kind, std::unique_ptr<daemon::AccessPath> path);
  ~InProcessDaemon();

  daemon::Server& server() { return *server_; }
  FakePath& path(daemon::PathKind kind = daemon::PathKind::Ethernet) { return *paths_.at(kind); }
  // Stops the daemon as its signal thread would (without signalling clients).
  void stop();

private:
  void serve();

  std::unique_ptr<daemon::Server> server_;
  std::map<daemon::PathKind, FakePath*> paths_;
  std::thread acceptLoop_;
};

// A client in a process of its own. Construct it before the daemon: the process is forked while the test process
// has one thread, and acts on the commands below.
class ChildClient {
public:
  // The child runs as user when given (the test runs as root then).
  explicit ChildClient(std::optional<uid_t> user = std::nullopt);
  ~ChildClient();

  pid_t pid() const { return process_->pid(); }
  ChildProcess& process() { return *process_; }
  // Connects an application of the child; its answer, or nothing when the child gave none.
  std::optional<ConnectPortResponse> connect(const Qor_InterfaceInfo_t& descriptor, uint32_t clientPortId = 1);
  // Sends a message on the request queue of the child's application connected with clientPortId and returns the
  // first answer on its response queue.
  std::optional<Message> request(const Message& message, uint32_t clientPortId = 1);

private:
  std::optional<Message> command(char what, uint32_t argument, const Message& payload);

  int commands_ = -1;
  int results_ = -1;
  std::unique_ptr<ChildProcess> process_;
};

} // namespace qor::test
