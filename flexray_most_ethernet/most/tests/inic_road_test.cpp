// INIC requests, reports and state from the library through the daemon to an emulated controller: the request record
// byte-exact, the report read within the bytes received, waiting for a complete report, the state's ranges, and the
// asynchronous families.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "most_road.hpp"
#include "qor_most.h"
#include "qor_test/inbox.hpp"

namespace qor::test {
namespace {

constexpr uint8_t kInic = 0x21;
constexpr uint32_t kUnset = 0xEEEEEEEE;

Bytes requestRecord(uint16_t function, uint8_t operation, uint8_t instance, const Bytes& data) {
  return Record().u32(1).u16(function).u8(operation).u8(instance).u16(data.size()).u16(0).bytes(data);
}
const Bytes kReportRequest = {2, 0, 0, 0};
const Bytes kStateRequest = {0, 0, 0, 0};
Bytes report(uint8_t flags, uint32_t status, const Bytes& data, size_t announced) {
  return Record().u32(2).u8(flags).zeros(3).u32(status).u16(0x0512).u8(0x0C).u8(0x03).u16(announced).u16(0).bytes(data);
}
Bytes report(uint8_t flags, uint32_t status, const Bytes& data) { return report(flags, status, data, data.size()); }
Bytes stateAnswer(uint8_t lock, uint8_t ehci, uint8_t ni, uint8_t nc, uint8_t device) {
  return Record().u32(0).u8(lock).u8(ehci).u8(ni).u8(nc).u8(device).zeros(3);
}

class MostInicRoad : public MostRoad {
 protected:
  void expectRequest(const Bytes& record) {
    device_->expect(kInic, record).answer(Bytes(record.begin(), record.begin() + 4));
  }
};

TEST_F(MostInicRoad, RequestsGoOutByteExactAndWhatCannotGoOutIsRefusedFirst) {
  expectRequest(requestRecord(0x1234, 15, 7, {0xA1, 0xB2}));
  const uint8_t two[] = {0xA1, 0xB2};
  EXPECT_EQ(Qor_Most_Inic_QueueRequest(port_, 0x1234, 15, 7, two, 2), 0u) << lastError();
  // 12 + 4072 bytes fill the port's parameter length of 4084.
  const Bytes most(4073, 0x33);
  expectRequest(requestRecord(1, 0, 0, Bytes(most.begin(), most.end() - 1)));
  EXPECT_EQ(Qor_Most_Inic_QueueRequest(port_, 1, 0, 0, most.data(), 4072), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Inic_QueueRequest(port_, 1, 0, 0, most.data(), 4073), kInvalidDataLength);
  expectText("4073");
  EXPECT_EQ(Qor_Most_Inic_QueueRequest(port_, 1, 0, 0, most.data(), 70000), kInvalidDataLength);
  EXPECT_EQ(Qor_Most_Inic_QueueRequest(port_, 1, 16, 0, two, 2), kUnknownOperationType);
  expectText("16");
  EXPECT_EQ(Qor_Most_Inic_QueueRequest(port_, 1, 0, 0, nullptr, 2), kInvalidParameter);

  Qor_Most_Inic_Result_t result{};
  uint32_t room = 0;
  EXPECT_EQ(Qor_Most_Inic_Request(port_, 10, 1, 16, two, 2, &result, nullptr, &room), kUnknownOperationType);
  EXPECT_EQ(Qor_Most_Inic_Request(port_, 10, 1, 0, two, 2, nullptr, nullptr, &room), kInvalidParameter);
  room = 4;
  EXPECT_EQ(Qor_Most_Inic_Request(port_, 10, 1, 0, two, 2, &result, nullptr, &room), kInvalidParameter);
}

TEST_F(MostInicRoad, AReportIsReadOnlyWhenItsDataLieWithinTheAnswer) {
  struct Case {
    const char* name;
    Bytes answer;
    uint32_t room;
    uint32_t code;
    uint32_t state, status, length;
  };
  const Bytes three = {7, 8, 9};
  Bytes nineteen = report(0, 0, {});
  nineteen.pop_back();
  const Case cases[] = {
      {"three bytes", report(0xE1, 0x10002, three), 8, 0, 0x01, 0x10002, 3},
      {"an empty report", report(0x02, 0, {}), 0, 0, 0x02, 0, 0},
      {"300 bytes into 200", report(0, 0, Bytes(300, 1)), 200, kBufferUndersized, kUnset, kUnset, 200},
      {"announcing more than sent", report(0, 0, three, 100), 200, kInvalidResponseLength, kUnset, kUnset, 200},
      {"19 bytes", nineteen, 8, kInvalidResponseLength, kUnset, kUnset, 8},
      {"an unknown status", report(0x1F, 0x10006, three), 8, kInvalidResponseParameter, 0x1F, 1, 8},
  };
  for (const Case& c : cases) {
    device_->expect(kInic, kReportRequest).answer(c.answer);
    uint32_t state = kUnset, status = kUnset, length = c.room;
    uint16_t function = 0xEEEE;
    uint8_t operation = 0xEE, instance = 0xEE;
    Bytes data(300, 0xEE);
    EXPECT_EQ(Qor_Most_Inic_GetReport(port_, &state, &status, &function, &operation, &instance, data.data(), &length),
              c.code)
        << c.name << ": " << lastError();
    EXPECT_EQ(state, c.state) << c.name;
    EXPECT_EQ(status, c.status) << c.name;
    EXPECT_EQ(length, c.length) << c.name;
    if (c.code == 0) {
      EXPECT_EQ(function, 0x0512) << c.name;
      EXPECT_EQ(operation, 0x0C) << c.name;
      EXPECT_EQ(instance, 0x03) << c.name;
      EXPECT_EQ(Bytes(data.begin(), data.begin() + length), Bytes(c.answer.begin() + 20, c.answer.end())) << c.name;
    } else {
      EXPECT_EQ(data[0], 0xEE) << c.name;
    }
  }
  device_->expect(kInic, kReportRequest).answer(report(0, 0, Bytes(300, 1)));
  uint32_t state = 0, status = 0, length = 200;
  uint16_t function = 0;
  uint8_t operation = 0, instance = 0, data[200];
  EXPECT_EQ(Qor_Most_Inic_GetReport(port_, &state, &status, &function, &operation, &instance, data, &length),
            kBufferUndersized);
  expectText("Bytes needed: 300");
}

TEST_F(MostInicRoad, ARequestWaitsForItsReportAndACompleteReportIsNeverLate) {
  const uint8_t parameter[] = {0x55};
  expectRequest(requestRecord(0x0600, 1, 0, {0x55}));
  device_->expect(kInic, kReportRequest).answer(report(0x02, 0, {}));
  device_->expect(kInic, kReportRequest).answer(report(0x02, 0, {}));
  device_->expect(kInic, kReportRequest).answer(report(0x01, 0x20001, {4, 5, 6}));
  Qor_Most_Inic_Result_t result;
  std::memset(&result, 0xEE, sizeof result);
  uint8_t data[8] = {};
  uint32_t length = sizeof data;
  EXPECT_EQ(Qor_Most_Inic_Request(port_, 2000, 0x0600, 1, parameter, 1, &result, data, &length), 0u) << lastError();
  EXPECT_EQ(result.state, 0x01u);
  EXPECT_EQ(result.status, 0x20001u);
  EXPECT_EQ(result.functionId, 0x0512);
  EXPECT_EQ(result.operationType, 0x0C);
  EXPECT_EQ(result.reserved, 0);
  EXPECT_EQ(length, 3u);
  EXPECT_EQ(data[2], 6);

  // No time at all: the one report read is complete, so the request succeeded.
  expectRequest(requestRecord(0x0600, 1, 0, {0x55}));
  device_->expect(kInic, kReportRequest).answer(report(0x00, 0, {9}));
  length = sizeof data;
  EXPECT_EQ(Qor_Most_Inic_Request(port_, 0, 0x0600, 1, parameter, 1, &result, data, &length), 0u) << lastError();
  EXPECT_EQ(length, 1u);
  EXPECT_EQ(data[0], 9);
}

TEST_F(MostInicRoad, ARequestEndsWithTheTimeOutTheTooSmallRoomOrTheFailedRead) {
  Qor_Most_Inic_Result_t result;
  uint8_t data[200];
  uint32_t length = sizeof data;

  expectRequest(requestRecord(0x0600, 1, 0, {}));
  device_->expect(kInic, kReportRequest).answer(report(0x03, 0, {}));
  std::memset(&result, 0xEE, sizeof result);
  std::memset(data, 0xEE, sizeof data);
  EXPECT_EQ(Qor_Most_Inic_Request(port_, 0, 0x0600, 1, nullptr, 0, &result, data, &length), kUserTimeout);
  expectText("INIC request timeout!");
  EXPECT_EQ(result.state, 0x03u);
  EXPECT_EQ(result.reserved, 0);
  EXPECT_EQ(result.status, 0xEEEEEEEEu);
  EXPECT_EQ(length, sizeof data);

  expectRequest(requestRecord(0x0600, 1, 0, {}));
  device_->expect(kInic, kReportRequest).answer(report(0x00, 0, Bytes(300, 1)));
  EXPECT_EQ(Qor_Most_Inic_Request(port_, 100, 0x0600, 1, nullptr, 0, &result, data, &length), kBufferUndersized);
  expectText("Bytes needed: 300");
  EXPECT_EQ(result.functionId, 0x0512);
  EXPECT_EQ(data[0], 0xEE);
  EXPECT_EQ(length, sizeof data);

  expectRequest(requestRecord(0x0600, 1, 0, {}));
  device_->expect(kInic, kReportRequest).fail(0x1F, "busy");
  std::memset(&result, 0xEE, sizeof result);
  EXPECT_EQ(Qor_Most_Inic_Request(port_, 100, 0x0600, 1, nullptr, 0, &result, data, &length), 0x1Fu);
  EXPECT_EQ(result.state, 0xEEEEEEEEu);
}

TEST_F(MostInicRoad, NetworkStartUpAndShutDownAreReadyMadeRequests) {
  for (uint16_t function : {uint16_t{0x500}, uint16_t{0x501}}) {
    expectRequest(requestRecord(function, 2, 0, {}));
    device_->expect(kInic, kReportRequest).answer(report(0x00, 1, {}));
  }
  Qor_Most_Inic_Result_t result{};
  uint32_t length = 0;
  EXPECT_EQ(Qor_Most_Inic_Request_NwStartup_StartResult(port_, 100, &result, nullptr, &length), 0u) << lastError();
  EXPECT_EQ(result.status, 1u);
  EXPECT_EQ(Qor_Most_Inic_Request_NwShutdown_StartResult(port_, 100, &result, nullptr, &length), 0u) << lastError();
}

TEST_F(MostInicRoad, TheStateIsCheckedAndStoredInOrder) {
  struct Case {
    const char* name;
    Bytes answer;
    uint32_t code;
    const char* text;
    uint8_t values[5];
  };
  constexpr uint8_t u = 0xEE;
  const Case cases[] = {
      {"the highest values", stateAnswer(2, 3, 4, 2, 2), 0, "", {2, 3, 4, 2, 2}},
      {"lock state 3", stateAnswer(3, 0, 0, 0, 0), kInvalidResponseParameter,
       "lock state '3' in firmware response is unknown", {u, u, u, u, u}},
      {"ni state 5", stateAnswer(1, 2, 5, 0, 0), kInvalidResponseParameter,
       "ni state '5' in firmware response is unknown", {1, 2, u, u, u}},
      {"device mode 3", stateAnswer(0, 0, 0, 0, 3), kInvalidResponseParameter,
       "device mode '3' in firmware response is unknown", {0, 0, 0, 0, u}},
      {"8 bytes", Bytes(8, 0), kInvalidResponseLength, "8", {u, u, u, u, u}},
  };
  for (const Case& c : cases) {
    device_->expect(kInic, kStateRequest).answer(c.answer);
    uint8_t values[5] = {u, u, u, u, u};
    EXPECT_EQ(Qor_Most_Inic_GetState(port_, &values[0], &values[1], &values[2], &values[3], &values[4]), c.code)
        << c.name << ": " << lastError();
    if (*c.text != 0) expectText(c.text);
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(values[i], c.values[i]) << c.name << " value " << i;
  }
  uint8_t value = 0;
  EXPECT_EQ(Qor_Most_Inic_GetState(port_, &value, &value, nullptr, &value, &value), kInvalidParameter);
}

Inbox gArrived;

void reportArrived(uint32_t, uint32_t state, uint32_t status, uint16_t function, uint8_t operation, uint8_t instance,
                   const uint8_t* data, uint16_t length) {
  gArrived.put("report " + std::to_string(state) + " " + std::to_string(status) + " " + std::to_string(function) +
               " " + std::to_string(operation) + " " + std::to_string(instance) + " " +
               std::string(reinterpret_cast<const char*>(data), length));
}
void stateArrived(uint32_t, uint8_t lock, uint8_t ehci, uint8_t ni, uint8_t nc, uint8_t device) {
  gArrived.put("state " + std::to_string(lock) + std::to_string(ehci) + std::to_string(ni) + std::to_string(nc) +
               std::to_string(device));
}
void errorArrived(uint32_t, uint32_t code, const char* text, uint32_t length) {
  gArrived.put("error " + std::to_string(code) + " " + std::string(text, length));
}

TEST_F(MostInicRoad, AsynchronousReportsAndStatesReachTheApplicationOrItsErrorCallback) {
  ASSERT_EQ(Qor_AsyncCommunication_Enable(port_, errorArrived), 0u) << lastError();
  ASSERT_EQ(Qor_Most_Inic_GetReport_Async_AddCallback(port_, reportArrived), 0u) << lastError();
  ASSERT_EQ(Qor_Most_Inic_GetState_Async_AddCallback(port_, stateArrived), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Inic_GetState_Async_AddCallback(port_, nullptr), kInvalidParameter);

  const std::string reportError = "'Qor_Most_Inic_GetReport_Async' error" + std::string(1, '\0');
  const std::string stateError = "'Qor_Most_Inic_GetState_Async' error" + std::string(1, '\0');
  device_->expect(kInic, kReportRequest).answer(report(0x01, 0, {'o', 'k'}));
  device_->expect(kInic, kReportRequest).answer(report(0x01, 0, {'o', 'k'}, 3000));
  device_->expect(kInic, kReportRequest).answer(report(0x01, 0x80000, {}));
  device_->expect(kInic, kStateRequest).answer(stateAnswer(1, 2, 3, 1, 0));
  device_->expect(kInic, kStateRequest).answer(stateAnswer(1, 4, 3, 1, 0));
  for (size_t i = 1; i <= 3; ++i) {
    ASSERT_EQ(Qor_Most_Inic_GetReport_Async(port_), 0u) << lastError();
    ASSERT_TRUE(gArrived.waitFor(i));
  }
  for (size_t i = 4; i <= 5; ++i) {
    ASSERT_EQ(Qor_Most_Inic_GetState_Async(port_), 0u) << lastError();
    ASSERT_TRUE(gArrived.waitFor(i));
  }
  EXPECT_EQ(gArrived.entries,
            (std::vector<std::string>{"report 1 0 " + std::to_string(0x0512) + " 12 3 ok",
                                      "error " + std::to_string(kInvalidResponseLength) + " " + reportError,
                                      "error " + std::to_string(kInvalidResponseParameter) + " " + reportError,
                                      "state 12310",
                                      "error " + std::to_string(kInvalidResponseParameter) + " " + stateError}));
  EXPECT_EQ(Qor_Most_Inic_GetReport_Async_RemoveCallback(port_), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Inic_GetState_Async_RemoveCallback(port_), 0u) << lastError();
}

TEST_F(MostInicRoad, EveryCallWantsAMostPort) {
  const uint32_t canPort = open(2);
  uint32_t a = 0, b = 0;
  uint16_t function = 0;
  uint8_t x = 0;
  Qor_Most_Inic_Result_t result{};
  const PortCall calls[] = {
      [](uint32_t p) { return Qor_Most_Inic_QueueRequest(p, 1, 0, 0, nullptr, 0); },
      [&](uint32_t p) { return Qor_Most_Inic_GetReport(p, &a, &b, &function, &x, &x, &x, &a); },
      [&](uint32_t p) { return Qor_Most_Inic_Request(p, 1, 1, 0, nullptr, 0, &result, &x, &a); },
      [&](uint32_t p) { return Qor_Most_Inic_Request_NwStartup_StartResult(p, 1, &result, &x, &a); },
      [&](uint32_t p) { return Qor_Most_Inic_Request_NwShutdown_StartResult(p, 1, &result, &x, &a); },
      [&](uint32_t p) { return Qor_Most_Inic_GetState(p, &x, &x, &x, &x, &x); },
      [](uint32_t p) { return Qor_Most_Inic_GetReport_Async_AddCallback(p, reportArrived); },
      [](uint32_t p) { return Qor_Most_Inic_GetReport_Async_RemoveCallback(p); },
      [](uint32_t p) { return Qor_Most_Inic_GetState_Async(p); },
      [](uint32_t p) { return Qor_Most_Inic_GetState_Async_AddCallback(p, stateArrived); },
      [](uint32_t p) { return Qor_Most_Inic_GetState_Async_RemoveCallback(p); },
  };
  expectEachWantsAMostPort(canPort, calls);
  // The one exception: a bad handle too is the wrong interface.
  EXPECT_EQ(Qor_Most_Inic_GetReport_Async(canPort), kWrongInterface);
  EXPECT_EQ(Qor_Most_Inic_GetReport_Async(0xDEAD), kWrongInterface);
}

}  // namespace
}  // namespace qor::test
