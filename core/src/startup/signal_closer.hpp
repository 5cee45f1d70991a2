// The closing of a process's ports on SIGTERM or SIGABRT. A signal handler may interrupt a thread that holds the
// port table or the heap, so the handler only wakes a thread that does the work. The thread starts with the first
// open, so a process that never opened a port runs no thread of ours.
#pragma once

namespace qor::client {

class SignalCloser {
 public:
  static void ensureStarted();
  // Async-signal-safe.
  static void requestFromSignal();
  // At unload: ends and joins the thread.
  static void stop();
};

// The closer's work: close every open port and free the configuration texts.
void closeAllPortsAfterSignal();

} // namespace qor::client
