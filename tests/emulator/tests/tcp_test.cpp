// The TCP front end as the daemon's Ethernet access path meets it: probe and lasting connection, built-in and
// scripted answers, faults, and several connections at once. Every case runs in a network namespace of its own.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <chrono>
#include <optional>

#include "qor_emulator/device.hpp"
#include "qor_emulator/tcp_front_end.hpp"

namespace {

using namespace qor::emulator;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr char kAddress[] = "127.0.0.2";
constexpr uint16_t kPort = 5000;

// A host side with bounded waits only.
class Client {
 public:
  // Connects to the device; fd() < 0 with the error kept when the connection failed.
  Client() : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(kPort);
    inet_pton(AF_INET, kAddress, &peer.sin_addr);
    if (connect(fd_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
      error_ = errno;
      close(fd_);
      fd_ = -1;
    }
  }
  ~Client() {
    if (fd_ >= 0) close(fd_);
  }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  int fd() const { return fd_; }
  int error() const { return error_; }
  void hangUp() {
    close(fd_);
    fd_ = -1;
  }

  void send(const Bytes& bytes) const {
    ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
  }

  // What arrives: waits up to 5 s for `expected` bytes, then takes more until the device closes or nothing
  // came for 300 ms.
  struct Received {
    Bytes bytes;
    bool closed = false;
    Clock::time_point firstAt{};
  };
  Received receive(size_t expected = 0) const {
    Received received;
    const auto patience = Clock::now() + 5s;
    for (;;) {
      const auto wait = received.bytes.size() < expected
                            ? std::chrono::ceil<std::chrono::milliseconds>(patience - Clock::now())
                            : 300ms;
      pollfd polled{fd_, POLLIN, 0};
      if (wait.count() <= 0 || poll(&polled, 1, static_cast<int>(wait.count())) <= 0) return received;
      uint8_t buffer[4096];
      const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) {
        received.closed = true;
        return received;
      }
      if (received.bytes.empty()) received.firstAt = Clock::now();
      received.bytes.insert(received.bytes.end(), buffer, buffer + n);
    }
  }
  // True when the device closes within 5 s.
  bool closes() const { return receive(SIZE_MAX).closed; }

 private:
  int fd_;
  int error_ = 0;
};

const Bytes kSerialQuery{'#', 2, 16, 0, 1, 0, 0, 0, 0, 0, 0, 0x0C, 5, 0, 0, 0};
const Bytes kSerialAnswer{'#', 2, 20, 0, 1, 0, 0, 0, 1, 0, 0, 0x0C, 5, 0, 0, 0, 0x39, 0x30, 0, 0};

class TcpFrontEndTest : public testing::Test {
 protected:
  Device device{DeviceConfig{.serialNumber = 12345, .hostType = 58}};
  TcpFrontEnd tcp{device, kAddress, kPort};
};

TEST_F(TcpFrontEndTest, ServesProbeAndLastingConnectionLikeTheDaemonOpens) {
  device.onCommand(0x42, [](const ReceivedFrame& f) { return f.response(Bytes{0xEE}, 1); });
  tcp.start();
  { Client probe; }  // connected and closed at once
  Client lasting;
  ASSERT_GE(lasting.fd(), 0);

  lasting.send(kSerialQuery);
  EXPECT_EQ(lasting.receive(kSerialAnswer.size()).bytes, kSerialAnswer);
  const Bytes identity{'#', 2, 20, 0, 1, 0, 0, 0, 0, 3, 0, 0xFF, 0, 0, 0, 0, 5, 0, 0, 0};
  lasting.send(identity);
  const auto answer = lasting.receive(52).bytes;
  ASSERT_EQ(answer.size(), 52u);
  EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 12), (Bytes{'#', 2, 52, 0, 1, 0, 0, 0, 1, 3, 0, 0xFF}));
  EXPECT_EQ(answer[12 + 28], 61);  // the host type's device code
  // Two frames in one segment are two commands.
  Bytes two{'#', 2, 13, 0, 0, 1, 0, 0, 0, 4, 2, 0x42, 0x77};
  two.insert(two.end(), two.begin(), two.end());
  lasting.send(two);
  EXPECT_EQ(lasting.receive(28).bytes, (Bytes{'#', 2, 14, 0, 0, 1, 0, 0, 1, 4, 2, 0x42, 0x77, 0xEE,  //
                                            '#', 2, 14, 0, 0, 1, 0, 0, 1, 4, 2, 0x42, 0x77, 0xEE}));

  EXPECT_EQ(tcp.acceptedConnections(), 2u);
  const auto frames = device.recorder().frames();
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(Bytes(frames[0].bytes().begin(), frames[0].bytes().end()), kSerialQuery);
  EXPECT_EQ(Bytes(frames[1].bytes().begin(), frames[1].bytes().end()), identity);
  for (const auto& frame : frames) EXPECT_EQ(frame.connection(), 2u);
}

struct FaultCase {
  const char* name;
  std::function<Reply(const ReceivedFrame&)> reply;
  Bytes expected;
  bool closed;
  std::chrono::milliseconds notBefore{0};
};

void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.name; }

class Faults : public testing::TestWithParam<FaultCase> {};

// The command {'#', 2, 13, 0, 0, 0, 0, 0, 0, 6, 0, 0x42, 1}; its response with data {1, 2, 3, 4, 5, 6, 7, 8}:
const Bytes kResponse{'#', 2, 20, 0, 0, 0, 0, 0, 1, 6, 0, 0x42, 1, 2, 3, 4, 5, 6, 7, 8};
Bytes responseTo(const ReceivedFrame& frame) { return frame.response(Bytes{2, 3, 4, 5, 6, 7, 8}, 1); }

TEST_P(Faults, HostSeesExactlyWhatTheReplySays) {
  Device device{DeviceConfig{.serialNumber = 1, .hostType = 58}};
  device.onCommand(0x42, GetParam().reply);
  TcpFrontEnd tcp(device, kAddress, kPort);
  tcp.start();
  Client client;
  ASSERT_GE(client.fd(), 0);
  const auto sent = Clock::now();
  client.send(Bytes{'#', 2, 13, 0, 0, 0, 0, 0, 0, 6, 0, 0x42, 1});
  const auto received = client.receive(GetParam().expected.size());
  EXPECT_EQ(received.bytes, GetParam().expected);
  EXPECT_EQ(received.closed, GetParam().closed);
  if (!received.bytes.empty()) {
    EXPECT_GE(received.firstAt - sent, GetParam().notBefore);
  }
  EXPECT_EQ(tcp.openConnections(), GetParam().closed ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    TcpFrontEnd, Faults,
    testing::Values(
        FaultCase{"Response", responseTo, kResponse, false},
        FaultCase{"Silence", [](const ReceivedFrame&) { return Reply(); }, {}, false},
        FaultCase{"Delay", [](const ReceivedFrame& f) { return Reply().wait(150ms).send(responseTo(f)); }, kResponse,
                  false, 150ms},
        FaultCase{"CutBetweenFrames", [](const ReceivedFrame& f) { return Reply(responseTo(f)).cut(); }, kResponse,
                  true},
        FaultCase{"CutInsideHeader", [](const ReceivedFrame& f) { return Reply(firstBytes(responseTo(f), 6)).cut(); },
                  firstBytes(kResponse, 6), true},
        FaultCase{"CutInsideBody", [](const ReceivedFrame& f) { return Reply(firstBytes(responseTo(f), 15)).cut(); },
                  firstBytes(kResponse, 15), true},
        FaultCase{"LengthBelowHeader", [](const ReceivedFrame& f) { return withLength(responseTo(f), 8); },
                  withLength(kResponse, 8), false},
        FaultCase{"LengthBeyondBytesThenCut",
                  [](const ReceivedFrame& f) { return Reply(withLength(responseTo(f), 100)).cut(); },
                  withLength(kResponse, 100), true},
        FaultCase{"NegativeAcknowledge", [](const ReceivedFrame& f) { return f.negativeAcknowledge(0x1F, "busy"); },
                  {'#', 2, 21, 0, 0, 0, 0, 0, 2, 6, 0, 0x42, 0x1F, 0, 0, 0, 'b', 'u', 's', 'y', 0}, false}),
    [](const testing::TestParamInfo<FaultCase>& test) { return std::string(test.param.name); });

TEST_F(TcpFrontEndTest, RefusesWhileTheListenerIsClosed) {
  tcp.start();
  tcp.refuseConnections(true);
  EXPECT_EQ(Client().error(), ECONNREFUSED);
  tcp.refuseConnections(false);
  Client client;
  ASSERT_GE(client.fd(), 0);
  client.send(kSerialQuery);
  EXPECT_EQ(client.receive(kSerialAnswer.size()).bytes, kSerialAnswer);
}

TEST_F(TcpFrontEndTest, BlackHoleAcceptsButNeverReads) {
  tcp.setBlackHole(true);
  tcp.start();
  Client client;
  ASSERT_GE(client.fd(), 0);
  client.send(kSerialQuery);
  const auto received = client.receive();
  EXPECT_TRUE(received.bytes.empty());
  EXPECT_FALSE(received.closed);
  EXPECT_EQ(device.recorder().count(), 0u);
  const auto start = Clock::now();
  tcp.stop();
  EXPECT_LT(Clock::now() - start, 1s);
}

TEST_F(TcpFrontEndTest, CutBetweenFramesThenReconnect) {
  tcp.start();
  Client first;
  first.send(kSerialQuery);
  EXPECT_EQ(first.receive(kSerialAnswer.size()).bytes, kSerialAnswer);
  tcp.cutConnections();
  EXPECT_TRUE(first.closes());

  Client second;
  second.send(kSerialQuery);
  EXPECT_EQ(second.receive(kSerialAnswer.size()).bytes, kSerialAnswer);
  const auto frames = device.recorder().frames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].connection(), 1u);
  EXPECT_EQ(frames[1].connection(), 2u);
  EXPECT_EQ(tcp.openConnections(), 1u);
}

TEST_F(TcpFrontEndTest, BrokenHostsDisturbNoOtherConnection) {
  tcp.start();
  Client good;
  Client halfHeader;
  Client badLength;
  Client badMarker;
  halfHeader.send(Bytes{'#', 2, 16, 0, 1});
  badLength.send(Bytes{'#', 2, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0x42});
  badMarker.send(Bytes{'$', 2, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0x42});
  EXPECT_TRUE(badLength.closes());
  EXPECT_TRUE(badMarker.closes());
  halfHeader.hangUp();

  good.send(kSerialQuery);
  EXPECT_EQ(good.receive(kSerialAnswer.size()).bytes, kSerialAnswer);
  EXPECT_EQ(device.malformedFrames(), 2u);
  EXPECT_EQ(device.recorder().count(), 1u);
}

TEST_F(TcpFrontEndTest, UnsolicitedFrameReachesTheApplicationsConnection) {
  tcp.start();
  Client other;
  Client carrying;
  carrying.send(Bytes{'#', 2, 12, 0, 1, 2, 0, 0, 0, 3, 4, 0x42});
  ASSERT_TRUE(device.recorder().waitFor(0, 5s));
  other.send(Bytes{'#', 2, 12, 0, 0, 0, 0, 0, 0, 7, 0, 0x42});
  ASSERT_TRUE(device.recorder().waitFor(1, 5s));

  ASSERT_TRUE(device.sendToApplication(3, 0x23, Bytes{9}));
  EXPECT_EQ(carrying.receive(13).bytes, (Bytes{'#', 2, 13, 0, 1, 2, 0, 0, 1, 3, 4, 0x23, 9}));
  EXPECT_TRUE(other.receive().bytes.empty());
}

}  // namespace
