// The request table on the emulator's core: expected requests get their canned answers byte-exact, everything else a
// negative acknowledge and a line in the report, and the built-in answers stay as they are.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "collecting_sink.hpp"
#include "qor_emulator/device.hpp"

namespace {

using namespace qor::emulator;

DeviceConfig plainDevice() {
  return DeviceConfig{.serialNumber = 0x01020304, .hostType = 58, .identity = Identity{61, false, 0, {}}};
}

// '#', request kind, u16 length, TAddr 0, TPort 1, 0, 0, type, App 7, Mod 9, command, data.
Bytes frame(uint8_t kind, uint8_t type, uint8_t command, const Bytes& data) {
  const size_t length = 12 + data.size();
  Bytes bytes{'#', kind, static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8), 0, 1, 0, 0, type, 7, 9,
              command};
  bytes.insert(bytes.end(), data.begin(), data.end());
  return bytes;
}
Bytes request(uint8_t kind, uint8_t command, const Bytes& parameters) { return frame(kind, 0, command, parameters); }
Bytes response(uint8_t kind, uint8_t command, const Bytes& data) { return frame(kind, 1, command, data); }
Bytes acknowledge(uint8_t kind, uint8_t command, const Bytes& data) { return frame(kind, 2, command, data); }

// The negative acknowledge of a request the table did not expect: code 0x00EE0001 and its text.
Bytes unexpected(uint8_t kind, uint8_t command) {
  Bytes data{0x01, 0x00, 0xEE, 0x00};
  const std::string text = "request the emulator did not expect";
  data.insert(data.end(), text.begin(), text.end());
  data.push_back(0);
  return acknowledge(kind, command, data);
}

Bytes identityWithoutInterfaces() {
  Bytes data(40, 0);
  data[28] = 61;  // device code
  return data;
}

class Host {
 public:
  explicit Host(Device& device) : device_(device) {}
  std::vector<Bytes> send(const Bytes& bytes) {
    sink_->sent.clear();
    EXPECT_TRUE(device_.receive(bytes, sink_));
    return sink_->sent;
  }

 private:
  Device& device_;
  std::shared_ptr<CollectingSink> sink_ = std::make_shared<CollectingSink>(1);
};

struct TableCase {
  const char* name;
  std::function<void(Device&)> setUp;
  Bytes request;
  std::vector<Bytes> answers;
  std::string unexpectedRequests;
  std::string unmetExpectations;
};

void PrintTo(const TableCase& c, std::ostream* out) { *out << c.name; }

class RequestTableRules : public testing::TestWithParam<TableCase> {};

TEST_P(RequestTableRules, AnswerAndReport) {
  Device device(plainDevice());
  GetParam().setUp(device);
  EXPECT_EQ(Host(device).send(GetParam().request), GetParam().answers);
  EXPECT_EQ(device.requests().unexpectedRequests(), GetParam().unexpectedRequests);
  EXPECT_EQ(device.requests().unmetExpectations(), GetParam().unmetExpectations);
}

INSTANTIATE_TEST_SUITE_P(
    Device, RequestTableRules,
    testing::Values(
        TableCase{"ResponseDataAsGiven", [](Device& d) { d.expect(0x42, {0x10, 0x20}).answer({0x10, 0xAA, 0xBB}); },
                  request(2, 0x42, {0x10, 0x20}), {response(2, 0x42, {0x10, 0xAA, 0xBB})}, "", ""},
        TableCase{"AcknowledgeByDefault", [](Device& d) { d.expect(0x12, {}); }, request(1, 0x12, {}),
                  {acknowledge(1, 0x12, {0, 0, 0, 0})}, "", ""},
        TableCase{"Failure", [](Device& d) { d.expect(0x78, {1}).fail(0x1F, "busy"); }, request(1, 0x78, {1}),
                  {acknowledge(1, 0x78, {0x1F, 0, 0, 0, 'b', 'u', 's', 'y', 0})}, "", ""},
        TableCase{"Silence", [](Device& d) { d.expect(0x42, {}).silence(); }, request(2, 0x42, {}), {}, "", ""},
        TableCase{"OwnReply",
                  [](Device& d) {
                    d.expect(0x42, {}).reply([](const ReceivedFrame& f) {
                      return Reply(f.acknowledge()).send(f.response(Bytes{5}));
                    });
                  },
                  request(1, 0x42, {}), {acknowledge(1, 0x42, {0, 0, 0, 0}), response(1, 0x42, {5})}, "", ""},
        TableCase{"HeadMatchesLongerParameters", [](Device& d) { d.expectStartingWith(0x31, {1, 2}).answer({}); },
                  request(2, 0x31, {1, 2, 3, 4}), {response(2, 0x31, {})}, "", ""},
        TableCase{"OtherBytesAreUnexpected", [](Device& d) { d.expect(0x42, {0x10, 0x20}).answer({1}); },
                  request(2, 0x42, {0x10, 0x21}), {unexpected(2, 0x42)},
                  "0x42 request 10 21: expectation 1 was parameters 10 20 (first difference at byte 1)\n", ""},
        TableCase{"MoreBytesAreUnexpected", [](Device& d) { d.expect(0x42, {0x10}); }, request(1, 0x42, {0x10, 0x20}),
                  {unexpected(1, 0x42)},
                  "0x42 request 10 20: expectation 1 was parameters 10 (2 bytes instead of 1)\n", ""},
        TableCase{"LessThanTheHeadIsUnexpected", [](Device& d) { d.expectStartingWith(0x31, {1, 2, 3}); },
                  request(1, 0x31, {1, 2}), {unexpected(1, 0x31)},
                  "0x31 request 01 02: expectation 1 was parameters starting with 01 02 03 (2 bytes instead of 3)\n",
                  ""},
        TableCase{"SerialNumberQueryKeepsItsBuiltInAnswer", [](Device& d) { d.expect(0x0C, {9, 0, 0, 0}); },
                  request(2, 0x0C, {5, 0, 0, 0}), {response(2, 0x0C, {5, 0, 0, 0, 4, 3, 2, 1})}, "",
                  "0x0C expectation 1 (parameters 09 00 00 00, answer: acknowledge) was never requested\n"},
        TableCase{"OtherControllerControlGoesToTheTable",
                  [](Device& d) { d.expect(0x0C, {9, 0, 0, 0, 2, 0}).answer({9, 0, 0, 0, 1, 2, 3, 4}); },
                  request(2, 0x0C, {9, 0, 0, 0, 2, 0}), {response(2, 0x0C, {9, 0, 0, 0, 1, 2, 3, 4})}, "", ""},
        TableCase{"IdentityKeepsItsBuiltInAnswer", [](Device& d) { d.expect(0xFF, {1, 0, 0, 0}).answer({7}); },
                  request(2, 0xFF, {0, 0, 0, 0}), {response(2, 0xFF, identityWithoutInterfaces())}, "",
                  "0xFF expectation 1 (parameters 01 00 00 00, answer: response 07) was never requested\n"},
        TableCase{"ErrorTextKeepsItsBuiltInAnswer",
                  [](Device& d) {
                    d.setErrorText(9, "off");
                    d.expect(0xFD, {}).silence();
                  },
                  request(2, 0xFD, {9, 0, 0, 0}), {response(2, 0xFD, {9, 0, 0, 0, 'o', 'f', 'f', 0})}, "",
                  "0xFD expectation 1 (parameters (none), answer: silence) was never requested\n"},
        TableCase{"OtherCommandsKeepTheirHandlers",
                  [](Device& d) {
                    d.expect(0x42, {});
                    d.onCommand(0x43, [](const ReceivedFrame& f) { return Reply(f.response(Bytes{3})); });
                  },
                  request(2, 0x43, {}), {response(2, 0x43, {3})}, "",
                  "0x42 expectation 1 (parameters (none), answer: acknowledge) was never requested\n"}),
    [](const testing::TestParamInfo<TableCase>& test) { return std::string(test.param.name); });

TEST(RequestTable, EachCommandMeetsItsExpectationsInOrder) {
  Device device(plainDevice());
  device.expect(0x42, {1}).answer({0xA1});
  device.expect(0x43, {}).answer({0xB1});
  device.expect(0x42, {2}).answer({0xA2});
  device.expect(0x42, {3}).answer({0xA3});
  Host host(device);

  EXPECT_EQ(host.send(request(2, 0x43, {})), std::vector<Bytes>{response(2, 0x43, {0xB1})});
  EXPECT_EQ(host.send(request(2, 0x42, {1})), std::vector<Bytes>{response(2, 0x42, {0xA1})});
  // A wrong request uses up the expectation it was compared with; the next one still meets its own.
  EXPECT_EQ(host.send(request(2, 0x42, {9})), std::vector<Bytes>{unexpected(2, 0x42)});
  EXPECT_EQ(host.send(request(2, 0x42, {3})), std::vector<Bytes>{response(2, 0x42, {0xA3})});
  // None left: a command that had expectations stays the table's.
  EXPECT_EQ(host.send(request(1, 0x42, {3})), std::vector<Bytes>{unexpected(1, 0x42)});
  EXPECT_EQ(host.send(request(2, 0x43, {})), std::vector<Bytes>{unexpected(2, 0x43)});

  EXPECT_EQ(device.requests().unexpectedRequests(),
            "0x42 request 09: expectation 2 was parameters 02 (first difference at byte 0)\n"
            "0x42 request 03: no expectation left\n"
            "0x43 request (none): no expectation left\n");
  EXPECT_EQ(device.requests().unmetExpectations(), "");
}

TEST(RequestTable, UnmetExpectationsAreListedByCommandWithTheirAnswers) {
  Device device(plainDevice());
  device.expect(0x78, {0x1F}).fail(0x1F, "busy");
  device.expectStartingWith(0x31, {1}).answer({1, 2});
  device.expect(0x31, {5}).silence();
  device.expect(0x12, {});
  EXPECT_EQ(device.requests().unmetExpectations(),
            "0x12 expectation 1 (parameters (none), answer: acknowledge) was never requested\n"
            "0x31 expectation 1 (parameters starting with 01, answer: response 01 02) was never requested\n"
            "0x31 expectation 2 (parameters 05, answer: silence) was never requested\n"
            "0x78 expectation 1 (parameters 1F, answer: negative acknowledge 0x1F \"busy\") was never requested\n");
  EXPECT_EQ(device.requests().unexpectedRequests(), "");
}

}  // namespace
