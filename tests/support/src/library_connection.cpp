// Apart from the daemon helpers: only tests that link libqor_api use it.
#include <mqueue.h>

#include "qor_client_state.h"
#include "qor_protocol.h"
#include "qor_test/daemon_process.hpp"

namespace qor::test {

bool connectLibraryToDaemon() {
  const mqd_t queue = mq_open(QOR_SERVER_QUEUE_NAME, O_WRONLY);
  if (queue == -1) return false;
  ClientInfo.serverQueue = queue;
  return true;
}

}  // namespace qor::test
