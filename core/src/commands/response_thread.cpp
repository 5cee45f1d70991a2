#include "commands/response_thread.hpp"

#include "commands/receive_role.hpp"
#include "ports/port_flags.hpp"
#include "qor_api.h"

using namespace qor::client;

namespace {

// After the stop byte, the daemon's reply to our close is awaited this long.
constexpr double kCloseReplyWaitMs = 500;

} // namespace

void* Qor_Client_ResponseThread(void* argument) {
  Qor_PortInfo_t& entry = *static_cast<Qor_PortInfo_t*>(argument);
  setPortFlag(entry, PortFlag::ResponseThreadRunning, true);
  double stopSince = 0;
  for (;;) {
    const bool stopping = portFlag(entry, PortFlag::StopResponseThread);
    if (stopping) {
      if (stopSince == 0) stopSince = GetTickCount();
      if (GetTickCount() - stopSince > kCloseReplyWaitMs) break;
    }
    if (!responseThreadTurn(entry, stopping)) break;
  }
  endReceiving(entry);
  setPortFlag(entry, PortFlag::ResponseThreadRunning, false);
  return nullptr;
}
