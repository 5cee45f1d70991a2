// The daemon's command interpreter on what a client writes to its private pair: the checked decoding of the request
// header, its length and code, and every control request that a private pair may send. Runs in the sandbox: the pair
// is a real queue, and the daemon records errors in the system log.
#include <fcntl.h>
#include <mqueue.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <vector>

#include "qor_protocol.h"
#include "server.hpp"

namespace {

using namespace qor::daemon;

constexpr const char* kPairName = "/Qor_API-fuzz-R";

// The pair's "-R" queue: the daemon writes its answers, the harness reads them away after each input.
struct PrivatePair {
  PrivatePair() {
    mq_attr attributes{};
    attributes.mq_maxmsg = QOR_QUEUE_MAX_MESSAGES;
    attributes.mq_msgsize = QOR_PRIVATE_PAIR_MESSAGE_SIZE;
    mq_unlink(kPairName);
    answers = mq_open(kPairName, O_RDONLY | O_CREAT | O_NONBLOCK, 0600, &attributes);
    if (answers == -1 || !reply.adopt(mq_open(kPairName, O_WRONLY))) std::abort();
    client = ClientProcess::identify(static_cast<uint32_t>(getpid()), answers);
    if (!client) std::abort();
  }
  void drain() {
    std::vector<char> message(QOR_PRIVATE_PAIR_MESSAGE_SIZE);
    while (mq_receive(answers, message.data(), message.size(), nullptr) >= 0) {
    }
  }
  mqd_t answers = -1;
  ReplyQueue reply;
  std::optional<ClientProcess> client;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Server server(ServerOptions{});
  static PrivatePair pair;
  std::vector<uint8_t> message(data, data + size); // the interpreter may change the message in place
  Channel channel{pair.reply, *pair.client, nullptr, nullptr};
  server.interpret(Buffer(message.data(), message.size()), channel);
  pair.drain();
  return 0;
}
