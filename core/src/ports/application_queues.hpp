// The two queues of a port's application at the daemon and the thread that receives from the response queue.
#pragma once

#include <mqueue.h>
#include <pthread.h>

#include <cstdint>
#include <vector>

#include "qor_helpers.h"
#include "qor_shared/scoped_lock.hpp"

namespace qor::client {

struct ApplicationQueues {
  ApplicationQueues() = default;
  ~ApplicationQueues() {
    close_message_queue(&request);
    close_message_queue(&response);
  }
  ApplicationQueues(const ApplicationQueues&) = delete;
  ApplicationQueues& operator=(const ApplicationQueues&) = delete;

  qor::CriticalSection section;
  mqd_t request = -1; // -1 while closed
  mqd_t response = -1;
  pthread_t responseThread = 0;
  bool closeRequested = false; // the response thread's 0x05 is the answer to our own close
  std::vector<uint8_t> receiveBuffer;
  uint32_t lastReceivedLength = 0;
  // the rest-bus signal write builds its frames here, under the section: it takes no command lock
  std::vector<uint8_t> signalMessage;
};

} // namespace qor::client
