// Private queue pairs: a client's one-shot road to the daemon's control thread, for an open or a control request.
#pragma once

#include <mqueue.h>

#include <cstdint>
#include <string>

namespace qor::client {

class PrivatePair {
 public:
  // Creates "<base>-R" (large enough for replies of replyCapacity bytes) and "<base>-W" and announces them on
  // "/Qor_API" with 0x0A. A failure records 0x2000100 for no port: with "server returned with ERRORCODE 0x%x" when
  // the daemon refused, with "could not create queue <name>: <system's reason>" when a queue could not be made,
  // with no text of its own (the table's text describes it) when no answer came.
  static uint32_t announce(const std::string& baseName, uint32_t replyCapacity, PrivatePair& pair);

  PrivatePair() = default;
  PrivatePair(const PrivatePair&) = delete;
  PrivatePair& operator=(const PrivatePair&) = delete;
  // Removes both queues.
  ~PrivatePair();

  // Sends a request on "-W" and receives its reply on "-R"; *received gets the reply's length.
  uint32_t exchange(const void* request, uint32_t length, void* reply, uint32_t replyCapacity, size_t* received);
  // Sends 0x0B without waiting for its reply: the daemon's control thread ends.
  void closeConnection();
  // Removes both queues now.
  void destroy();

 private:
  // Two users of one base name in this process would remove each other's queues: one at a time.
  void releaseName();
  std::string baseName_;
  mqd_t reader_ = -1;
  mqd_t writer_ = -1;
  bool nameHeld_ = false;
};

// A control request on its own pair "/Qor_API-<pid>_CNP": fails at once with 0x2000100 (nothing recorded)
// when there is no "/Qor_API"; returns 0x2000100 for a failed send or receive, else 0.
uint32_t Qor_Client_Linux_CallNamedPipe(const void* request, uint32_t length, void* reply, uint32_t replyCapacity,
                                        size_t* received);

} // namespace qor::client
