// The request thread of one application: it creates the application's queues, hands each message to the
// interpreter, and, when its client process has gone or the thread ends for any other reason before the application
// was closed, closes the application. It removes the application's queues last.
#include <fcntl.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "qor_error_codes.h"
#include "qor_helpers.h"
#include "qor_shared/queue_creation.hpp"
#include "limited_log.hpp"
#include "server.hpp"

namespace qor::daemon {
namespace {

// While responses are held back for the application, they are offered again once it reads, at the latest after this.
constexpr Milliseconds kHeldBackSlice{2};
// A silent client is looked at this often; otherwise the thread sleeps until a request, a held-back response or the
// application's close wakes it.
constexpr Milliseconds kLivenessInterval{1000};
constexpr Milliseconds kSuspendedBound{2000};
constexpr Milliseconds kSuspendedStep{1};

// An application's queues are its user's alone: created for root only, then given to the client's user.
mqd_t createForClient(const std::string& name, uint32_t messageSize, bool write, const ClientProcess& client) {
  const mqd_t queue = createQueue(name.c_str(), messageSize, write, S_IRUSR | S_IWUSR);
  if (queue == -1 || fchown(queue, client.uid(), static_cast<gid_t>(-1)) == 0) return queue;
  const int error = errno;
  mq_close(queue);
  mq_unlink(name.c_str());
  errno = error;
  return -1;
}

} // namespace

void Server::serveApplication(const std::shared_ptr<Port>& port, const std::shared_ptr<Application>& app,
                              Worker& self) {
  const std::string responseName = app->queueName(QOR_APPLICATION_RESPONSE_QUEUE);
  const std::string requestName = app->queueName(QOR_APPLICATION_REQUEST_QUEUE);
  const auto queueFailed = [&] {
    const int error = errno;
    return recordErrorf(port.get(), app->index, QOR_ERR_SERVER_CREATE_PIPE, "'CreateNamedPipe' returned with '%d' - %s",
                        error, strerror(error));
  };
  const mqd_t response = createForClient(responseName, app->queueMessageSize, true, app->client);
  if (response == -1 || !app->response.adopt(response)) {
    app->queueResult = queueFailed();
    mq_unlink(responseName.c_str());
    return;
  }
  mqd_t request = createForClient(requestName, app->queueMessageSize, false, app->client);
  // The wake-up for what is held back: a writer of the request queue that never waits.
  mqd_t wake = request == -1 ? -1 : mq_open(requestName.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (wake == -1) {
    app->queueResult = queueFailed();
    close_message_queue(&request);
    mq_unlink(requestName.c_str());
    app->response.close();
    mq_unlink(responseName.c_str());
    return;
  }
  app->response.setDeliveryWake(wake);
  self.setRunning(true);

  std::vector<uint8_t> buffer(app->queueMessageSize);
  Channel channel{app->response, app->client, port, app};
  auto silentSince = std::chrono::steady_clock::now();
  while (!app->closing) {
    // One blocking receive per request while nothing is held back; a message held back meanwhile wakes it.
    ssize_t received = 0;
    if (app->response.deliverHeldBack()) {
      const auto silent = std::chrono::steady_clock::now() - silentSince;
      received = receiveWithin(request, buffer,
                               std::max(Milliseconds{1}, std::chrono::ceil<Milliseconds>(kLivenessInterval - silent)));
    } else {
      app->response.waitForRequestOrRoom(request, kHeldBackSlice);
      received = receiveWithin(request, buffer, Milliseconds{0});
    }
    if (received < 0) {
      const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - silentSince);
      logLimited(LOG_ERR, "%s : error %d (%m) elapse time %u\n", "mq_timed_read", errno,
             static_cast<unsigned>(elapsed.count()));
      break;
    }
    if (received == 0) {
      if (std::chrono::steady_clock::now() - silentSince < kLivenessInterval) continue;
      if (!app->client.alive()) break;
      silentSince = std::chrono::steady_clock::now();
      continue;
    }
    silentSince = std::chrono::steady_clock::now();
    if (port->suspended) {
      self.setRunning(false);
      const auto deadline = std::chrono::steady_clock::now() + kSuspendedBound;
      while (port->suspended && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(kSuspendedStep);
      if (port->suspended) {
        recordErrorf(port.get(), kNone, QOR_ERR_SERVER_THREAD_NOT_STARTED, "timeout for suspended request thread");
      }
      self.setRunning(true);
    }
    interpret(Buffer(buffer.data(), static_cast<size_t>(received)), channel);
  }
  self.setRunning(false);
  app->response.setDeliveryWake(-1);
  close_message_queue(&wake);
  // A client that died, a 0x0B, or a broken queue: the application goes as if its client had closed it.
  if (app->inUse) closeApplication(port, app);
  close_message_queue(&request);
  mq_unlink(requestName.c_str());
  // The last answers (the reply to a close among them) still reach a client that reads.
  const auto deliveryEnd = std::chrono::steady_clock::now() + kClientSendTimeout;
  while (!app->response.deliverHeldBack() && std::chrono::steady_clock::now() < deliveryEnd) {
    std::this_thread::sleep_for(kHeldBackSlice);
  }
  app->response.close();
  mq_unlink(responseName.c_str());
}

} // namespace qor::daemon
