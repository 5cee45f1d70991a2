// Discovery as the daemon does it, from a plain UDP socket inside the test's own network namespace.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <map>
#include <string>

#include "qor_emulator/discovery_responder.hpp"

namespace {

using namespace qor::emulator;

// Sender address of each answer, and its text.
using Answers = std::map<std::string, std::string>;

// Sends `request` to `destination`:1234 as the daemon does (broadcast allowed) and collects answers for 500 ms.
Answers discover(const char* destination, std::string_view request = kDiscoveryRequest) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(kDiscoveryPort);
  inet_pton(AF_INET, destination, &to.sin_addr);
  EXPECT_EQ(sendto(fd, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to),
            static_cast<ssize_t>(request.size()));
  Answers answers;
  pollfd polled{fd, POLLIN, 0};
  while (poll(&polled, 1, 500) > 0) {
    char text[1025] = {};
    sockaddr_in from{};
    socklen_t size = sizeof from;
    const ssize_t n = recvfrom(fd, text, sizeof text - 1, 0, reinterpret_cast<sockaddr*>(&from), &size);
    if (n < 0) break;
    char address[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &from.sin_addr, address, sizeof address);
    answers[address] = std::string(text, static_cast<size_t>(n));
  }
  close(fd);
  return answers;
}

const std::string kFirstAnswer =
    "Hestor electronic device discovery response\nport=5000\nmac=00000000\nserial=11\ntarget=61\n"
    "subNetMask=ff000000\ndefaultGateway=00000000\n";
const std::string kSecondAnswer =
    "Hestor electronic device discovery response\nport=5001\nmac=0a0b0c0d\nserial=4294967295\ntarget=75\n"
    "subNetMask=ffffff00\ndefaultGateway=7f000001\n";

struct DestinationCase {
  const char* name;
  const char* destination;
  Answers expected;
};

void PrintTo(const DestinationCase& c, std::ostream* out) { *out << c.name; }

class Discovery : public testing::TestWithParam<DestinationCase> {};

TEST_P(Discovery, DevicesAnswerFromTheirOwnAddresses) {
  Device first(DeviceConfig{.serialNumber = 11, .hostType = 58});
  Device second(DeviceConfig{
      .serialNumber = 0xFFFFFFFF, .hostType = 77, .mac = 0x0A0B0C0D, .netmask = 0xFFFFFF00, .gateway = 0x7F000001});
  TcpFrontEnd firstTcp(first, "127.0.0.2", 5000);
  TcpFrontEnd secondTcp(second, "127.0.0.3", 5001);
  DiscoveryResponder responder;
  responder.add(firstTcp);
  responder.add(secondTcp);
  responder.add("127.0.0.4", "Hestor electronic device discovery response port=7");
  responder.start();

  EXPECT_EQ(discover(GetParam().destination), GetParam().expected);
  EXPECT_EQ(responder.requestsReceived(), 1u);
}

// The adapter 127.0.0.1 with netmask 255.0.0.0 broadcasts to 127.255.255.255; with 255.255.255.255 it sends to
// 127.0.0.1; a request to one device's address is that device's alone.
INSTANTIATE_TEST_SUITE_P(
    DiscoveryResponder, Discovery,
    testing::Values(DestinationCase{"Broadcast", "127.255.255.255",
                                    {{"127.0.0.2", kFirstAnswer},
                                     {"127.0.0.3", kSecondAnswer},
                                     {"127.0.0.4", "Hestor electronic device discovery response port=7"}}},
                    DestinationCase{"AdapterAddress", "127.0.0.1",
                                    {{"127.0.0.2", kFirstAnswer},
                                     {"127.0.0.3", kSecondAnswer},
                                     {"127.0.0.4", "Hestor electronic device discovery response port=7"}}},
                    DestinationCase{"OneDevice", "127.0.0.3", {{"127.0.0.3", kSecondAnswer}}}),
    [](const testing::TestParamInfo<DestinationCase>& test) { return std::string(test.param.name); });

TEST(DiscoveryResponder, AnswersOnlyTheExactRequest) {
  Device device(DeviceConfig{.serialNumber = 11, .hostType = 58});
  TcpFrontEnd tcp(device, "127.0.0.2", 5000);
  DiscoveryResponder responder;
  responder.add(tcp);
  responder.start();
  EXPECT_TRUE(discover("127.255.255.255", std::string(kDiscoveryRequest) + '\0').empty());
  EXPECT_TRUE(discover("127.255.255.255", kDiscoveryRequest.substr(1)).empty());
  EXPECT_EQ(responder.requestsReceived(), 0u);
  EXPECT_THROW(responder.add("10.0.0.1", "beyond loopback"), std::invalid_argument);
}

}  // namespace
