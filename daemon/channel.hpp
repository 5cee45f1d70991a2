// Where a message to the daemon came from and where its answers go. A message acts only for its own channel: a
// request thread's messages for the thread's own port and application, whatever their header says.
#pragma once

#include <memory>

#include "client_process.hpp"
#include "client_queue.hpp"
#include "port.hpp"

namespace qor::daemon {

struct Channel {
  ReplyQueue& reply;            // a private pair's "-R", or the application's response queue
  const ClientProcess& client;  // the process that sent the message
  std::shared_ptr<Port> port;   // request threads: their port; private pairs: none
  std::shared_ptr<Application> application; // request threads: their application; private pairs: none
};

} // namespace qor::daemon
