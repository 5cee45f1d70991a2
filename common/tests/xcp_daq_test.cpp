// DAQ lists on the whole road against an emulated ECU: the lists configured command by command, values of every
// signal type decoded from the ECU's DTOs with and without time stamps, seed & key with the caller's key, a restart
// that only resynchronises, DTOs too short for their ODT, and a slave that falls silent in the middle of a start.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "qor_api.h"
#include "qor_common_xcp.h"
#include "qor_common_xcp_daq.h"
#include "qor_emulator/xcp_ecu.hpp"
#include "qor_emulator/xcp_firmware.hpp"
#include "qor_test/interface_fixture.hpp"

namespace qor::common {
namespace {

using emulator::Bytes;
using emulator::EmulatedEcu;
using emulator::XcpEcuSettings;
using emulator::XcpFirmware;
using Clock = std::chrono::steady_clock;

constexpr uint8_t kChannel = 2;
constexpr uint32_t kBufferUndersized = 0x02010006;
constexpr uint32_t kDaqRunning = 0x02010200;
constexpr uint32_t kDaqNotPossible = 0x02010201;
constexpr uint8_t kWhole = QOR_COMMON_XCP_DAQ_WHOLE_ELEMENT;

std::string lastText() { return Qor_GetLastErrorDescription(); }

Bytes keyFromSeed(const Bytes& seed) {
  Bytes key;
  for (size_t index = 0; index < seed.size(); ++index) key.push_back(seed[index] ^ static_cast<uint8_t>(0x5A + index));
  return key;
}

Qor_Common_Xcp_Daq_Signal_t signal(uint8_t type, uint16_t eventChannel, uint32_t address, uint8_t bitOffset = kWhole) {
  return Qor_Common_Xcp_Daq_Signal_t{0, bitOffset, type, 0, 0, eventChannel, 0, address, 0x1000u + address};
}

// Every type once on event 1, then a bit and two more types on event 7: with MAX_DTO 8, four ODTs and one.
const std::vector<Qor_Common_Xcp_Daq_Signal_t> kSignals = {
    signal(0, 1, 0x4000), signal(1, 1, 0x4001), signal(2, 1, 0x4002), signal(3, 1, 0x4004), signal(4, 1, 0x4008),
    signal(5, 1, 0x400C), signal(6, 1, 0x4010), signal(0, 7, 0x4014, 5), signal(2, 7, 0x4016), signal(4, 7, 0x4018)};

class XcpDaq : public test::InterfaceFixture {
 protected:
  void SetUp() override {
    InterfaceFixture::SetUp();
    firmware_ = XcpFirmware::attachTo(*device_);
    port_ = open();
  }

  void plug(XcpEcuSettings settings = {}) {
    bigEndian_ = (settings.slave.commModeBasic & 1) != 0;
    ecu_ = std::make_shared<EmulatedEcu>(std::move(settings));
    firmware_->plugSlave(kChannel, ecu_);
    Bytes image(0x20);
    for (size_t index = 0; index < image.size(); ++index) image[index] = static_cast<uint8_t>(0xA0 + 7 * index);
    ecu_->setMemory(0x4000, image);
  }

  void setSignals(const std::vector<Qor_Common_Xcp_Daq_Signal_t>& signals = kSignals) {
    ASSERT_EQ(Qor_Common_Xcp_Daq_SetSignals(port_, kChannel, 0, static_cast<uint32_t>(signals.size()), signals.data()),
              0u)
        << lastText();
  }

  std::vector<Bytes> sent(uint8_t code) const {
    std::vector<Bytes> packets;
    for (Bytes& packet : ecu_->commands()) {
      if (packet[0] == code) packets.push_back(std::move(packet));
    }
    return packets;
  }

  // The value the ECU's image holds for a signal, as the decoder should give it.
  uint32_t expected(const Qor_Common_Xcp_Daq_Signal_t& s) const {
    const Bytes bytes = ecu_->memory(s.address, 4);
    if (s.bitOffset != kWhole) return (bytes[0] >> s.bitOffset) & 1u;
    const size_t size = s.type < 2 ? 1 : s.type < 4 ? 2 : 4;
    uint32_t value = 0;
    for (size_t index = 0; index < size; ++index) {
      value |= uint32_t{bytes[index]} << 8 * (bigEndian_ ? size - 1 - index : index);
    }
    return value;
  }

  // Reads until every signal came at least once (bounded, at most `reads` reads); the latest values by address.
  template <class Value, class Read>
  std::map<uint32_t, Value> collect(Read read, uint32_t* statusSeen = nullptr, unsigned reads = 10000) {
    std::map<uint32_t, Value> values;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
    for (unsigned done = 0; done < reads && values.size() < kSignals.size() && Clock::now() < deadline; ++done) {
      std::vector<Value> batch(255 * 8);
      uint32_t status = 0;
      uint32_t count = static_cast<uint32_t>(batch.size());
      EXPECT_EQ(read(port_, kChannel, 0, &status, &count, batch.data()), 0u) << lastText();
      if (statusSeen != nullptr) *statusSeen |= status;
      for (uint32_t index = 0; index < count; ++index) values[batch[index].address] = batch[index];
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return values;
  }

  uint8_t state() {
    Qor_Common_Xcp_Daq_State_t daqState{};
    EXPECT_EQ(Qor_Common_Xcp_Daq_GetState(port_, kChannel, &daqState), 0u);
    return daqState.state;
  }

  std::shared_ptr<XcpFirmware> firmware_;
  std::shared_ptr<EmulatedEcu> ecu_;
  uint32_t port_ = 0;
  bool bigEndian_ = false;
};

TEST_F(XcpDaq, ListsAreConfiguredAndEverySignalTypeIsDecoded) {
  plug();
  setSignals();
  ASSERT_EQ(Qor_Common_Xcp_Daq_Start(port_, kChannel, 0), 0u) << lastText();
  EXPECT_EQ(state(), 1);
  EXPECT_EQ(firmware_->property(kChannel, 0), 255u);

  // ODTs of 7 bytes: event 1 in 1+1+2+2 | 4 | 4 | 4, event 7 in 1+2+4.
  EXPECT_EQ(sent(0xD5), (std::vector<Bytes>{{0xD5, 0, 2, 0}}));
  EXPECT_EQ(sent(0xD4), (std::vector<Bytes>{{0xD4, 0, 0, 0, 4}, {0xD4, 0, 1, 0, 1}}));
  EXPECT_EQ(sent(0xD3), (std::vector<Bytes>{{0xD3, 0, 0, 0, 0, 4}, {0xD3, 0, 0, 0, 1, 1}, {0xD3, 0, 0, 0, 2, 1},
                                            {0xD3, 0, 0, 0, 3, 1}, {0xD3, 0, 1, 0, 0, 3}}));
  EXPECT_EQ(sent(0xE0), (std::vector<Bytes>{{0xE0, 1, 0, 0, 1, 0, 1, 0}, {0xE0, 1, 1, 0, 7, 0, 1, 0}}));
  const std::vector<Bytes> writes = sent(0xE1);
  ASSERT_EQ(writes.size(), kSignals.size());
  EXPECT_EQ(writes[4], (Bytes{0xE1, kWhole, 4, 0, 0x08, 0x40, 0, 0}));
  EXPECT_EQ(writes[7], (Bytes{0xE1, 5, 1, 0, 0x14, 0x40, 0, 0}));
  EXPECT_EQ(sent(0xDE), (std::vector<Bytes>{{0xDE, 2, 0, 0}, {0xDE, 2, 1, 0}}));
  EXPECT_EQ(sent(0xDD), (std::vector<Bytes>{{0xDD, 1}}));

  const auto values = collect<Qor_Common_Xcp_Daq_SignalValue_t>(Qor_Common_Xcp_Daq_ReadRxSignals);
  ASSERT_EQ(values.size(), kSignals.size());
  for (const Qor_Common_Xcp_Daq_Signal_t& s : kSignals) {
    const Qor_Common_Xcp_Daq_SignalValue_t& value = values.at(s.address);
    EXPECT_EQ(value.value, expected(s)) << std::hex << s.address;
    EXPECT_EQ(value.type, s.type);
    EXPECT_EQ(value.userValue, s.userValue);
  }

  // Signals cannot change under a running DAQ.
  EXPECT_EQ(Qor_Common_Xcp_Daq_SetSignals(port_, kChannel, 0, 1, kSignals.data()), kDaqRunning);
  EXPECT_EQ(Qor_Common_Xcp_Daq_Start(port_, kChannel, 0), kDaqRunning);

  // Stop, then a restart with time stamps: the lists stay on the slave, they are selected again and started.
  ASSERT_EQ(Qor_Common_Xcp_Daq_Stop(port_, kChannel, 0), 0u) << lastText();
  EXPECT_EQ(state(), 0);
  EXPECT_FALSE(ecu_->daqRunning());
  // DTOs of the ECU's last cycle may still be on their way: drained before frames come with time stamps.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  collect<Qor_Common_Xcp_Daq_SignalValue_t>(Qor_Common_Xcp_Daq_ReadRxSignals, nullptr, 1);
  const size_t commandsBefore = ecu_->commands().size();
  ASSERT_EQ(Qor_Common_Xcp_Daq_Start(port_, kChannel, QOR_COMMON_XCP_DAQ_TIME_STAMPS), 0u) << lastText();
  const std::vector<Bytes> commands = ecu_->commands();
  EXPECT_EQ(std::vector<Bytes>(commands.begin() + static_cast<long>(commandsBefore), commands.end()),
            (std::vector<Bytes>{{0xDE, 2, 0, 0}, {0xDE, 2, 1, 0}, {0xDD, 1}}));
  EXPECT_EQ(firmware_->property(kChannel, 4), 1u);
  const auto stamped = collect<Qor_Common_Xcp_Daq_SignalValueTs_t>(Qor_Common_Xcp_Daq_ReadRxSignalsTs);
  ASSERT_EQ(stamped.size(), kSignals.size());
  for (const Qor_Common_Xcp_Daq_Signal_t& s : kSignals) {
    EXPECT_EQ(stamped.at(s.address).value, expected(s));
    EXPECT_NE(stamped.at(s.address).timeStamp, 0u);
  }

  // A reset stops the slave's lists and gives property 0 its value back.
  ASSERT_EQ(Qor_Common_Xcp_Daq_Reset(port_, kChannel, 0), 0u) << lastText();
  EXPECT_EQ(state(), 0);
  EXPECT_FALSE(ecu_->daqRunning());
  EXPECT_EQ(firmware_->property(kChannel, 0), 0u);
  EXPECT_EQ(Qor_Common_Xcp_Daq_Start(port_, kChannel, 0), kDaqNotPossible);
}

// Each identification field and byte order of the slave: the identifiers of its DTOs find their ODTs, the values
// come in the slave's byte order.
TEST_F(XcpDaq, EveryIdentificationFieldAndByteOrderIsDecoded) {
  struct Case {
    uint8_t daqKeyByte;
    uint8_t commModeBasic;
    uint16_t maxDto;
  };
  const Case cases[] = {{0x40, 0x00, 8}, {0x80, 0x01, 9}, {0xC0, 0x01, 12}, {0x00, 0x01, 8}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "key byte " << int{c.daqKeyByte} << ", basic " << int{c.commModeBasic});
    XcpEcuSettings settings;
    settings.daqKeyByte = c.daqKeyByte;
    settings.slave.commModeBasic = c.commModeBasic;
    settings.slave.maxDto = c.maxDto;
    settings.minDaq = 2;
    plug(settings);
    ASSERT_EQ(Qor_Common_Xcp_Daq_Reset(port_, kChannel, 0), 0u);
    setSignals();
    ASSERT_EQ(Qor_Common_Xcp_Daq_Start(port_, kChannel, 0), 0u) << lastText();
    const auto values = collect<Qor_Common_Xcp_Daq_SignalValue_t>(Qor_Common_Xcp_Daq_ReadRxSignals);
    ASSERT_EQ(values.size(), kSignals.size());
    for (const Qor_Common_Xcp_Daq_Signal_t& s : kSignals) EXPECT_EQ(values.at(s.address).value, expected(s));
    ASSERT_EQ(Qor_Common_Xcp_Daq_Stop(port_, kChannel, 0), 0u);
  }
}

TEST_F(XcpDaq, AProtectedDaqIsStartedWithTheCallersKey) {
  XcpEcuSettings settings;
  settings.protectedResources = 0x04;
  settings.seed = {0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39};  // two GET_SEED parts
  plug(settings);
  setSignals();
  Qor_Common_Xcp_Daq_StartRequest_t request{};
  Qor_Common_Xcp_Daq_StartResult_t result{};
  ASSERT_EQ(Qor_Common_Xcp_Daq_Start2(port_, kChannel, &request, &result), kDaqNotPossible);
  EXPECT_EQ(lastText(), "0x02010201 - COMMON - daq not initialized - DAQ is protected by seed & key mechanism");
  EXPECT_EQ(result.flags, uint32_t{QOR_COMMON_XCP_DAQ_SEED_RETURNED});
  const Bytes seed(result.seed, result.seed + result.seedLength);
  EXPECT_EQ(seed, settings.seed);
  EXPECT_TRUE(sent(0xFE).empty());  // the connection stays for the key

  // A wrong key leaves DAQ locked.
  request.flags = QOR_COMMON_XCP_DAQ_KEY_GIVEN;
  request.keyLength = 2;
  ASSERT_NE(Qor_Common_Xcp_Daq_Start2(port_, kChannel, &request, &result), 0u);
  EXPECT_EQ(state(), 0);

  ASSERT_EQ(Qor_Common_Xcp_Daq_Start2(port_, kChannel, &(request = {}), &result), kDaqNotPossible);
  const Bytes key = keyFromSeed(Bytes(result.seed, result.seed + result.seedLength));
  request.flags = QOR_COMMON_XCP_DAQ_KEY_GIVEN;
  request.keyLength = static_cast<uint8_t>(key.size());
  std::copy(key.begin(), key.end(), request.key);
  ASSERT_EQ(Qor_Common_Xcp_Daq_Start2(port_, kChannel, &request, &result), 0u) << lastText();
  EXPECT_EQ(result.flags, 0u);
  EXPECT_EQ(ecu_->protection(), 0);
  EXPECT_EQ(state(), 1);
  EXPECT_EQ(collect<Qor_Common_Xcp_Daq_SignalValue_t>(Qor_Common_Xcp_Daq_ReadRxSignals).size(), kSignals.size());
}

TEST_F(XcpDaq, DtosTooShortForTheirOdtAreSkippedAndReported) {
  XcpEcuSettings settings;
  settings.daqPeriod = std::chrono::hours(1);  // only the DTOs of the test
  plug(settings);
  setSignals();
  ASSERT_EQ(Qor_Common_Xcp_Daq_Start(port_, kChannel, 0), 0u) << lastText();
  const std::vector<Bytes> cycle = ecu_->daqPackets();
  ASSERT_EQ(cycle.size(), 5u);

  // Each ODT's DTO cut by one byte, then the whole cycle, then an identifier of no ODT and a packet that is no DTO.
  for (const Bytes& packet : cycle) firmware_->receiveData(kChannel, Bytes(packet.begin(), packet.end() - 1));
  for (const Bytes& packet : cycle) firmware_->receiveData(kChannel, packet);
  firmware_->receiveData(kChannel, {0x40, 1, 2, 3});
  firmware_->receiveData(kChannel, {0xFC, 1, 2, 3});
  firmware_->receiveData(kChannel, {});

  // Values are waiting: no room for them is an error, and they are gone.
  uint32_t status = 0;
  uint32_t count = 0;
  EXPECT_EQ(Qor_Common_Xcp_Daq_ReadRxSignals(port_, kChannel, 0, &status, &count, nullptr), kBufferUndersized);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(status & QOR_COMMON_XCP_DAQ_STATUS_SHORT_DTO, uint32_t{QOR_COMMON_XCP_DAQ_STATUS_SHORT_DTO});

  for (const Bytes& packet : cycle) firmware_->receiveData(kChannel, Bytes(packet.begin(), packet.end() - 1));
  for (const Bytes& packet : cycle) firmware_->receiveData(kChannel, packet);
  std::vector<Qor_Common_Xcp_Daq_SignalValue_t> values(64);
  count = static_cast<uint32_t>(values.size());
  ASSERT_EQ(Qor_Common_Xcp_Daq_ReadRxSignals(port_, kChannel, 0, &status, &count, values.data()), 0u) << lastText();
  EXPECT_EQ(status, uint32_t{QOR_COMMON_XCP_DAQ_STATUS_SHORT_DTO});
  ASSERT_EQ(count, kSignals.size());  // the whole cycle once, nothing of the short DTOs
  for (uint32_t index = 0; index < count; ++index) {
    EXPECT_EQ(values[index].address, kSignals[index].address);
    EXPECT_EQ(values[index].value, expected(kSignals[index]));
  }
}

// A start that fails on the slave disconnects, drops the lists, gives property 0 its value back and leaves the record
// unconfigured, also when it was a restart of configured lists: the next start configures again from CONNECT.
TEST_F(XcpDaq, AStartThatFailsOnTheSlaveIsCleanedUp) {
  struct Case {
    const char* name;
    uint8_t silentCommand;
    bool startedBefore;
    uint8_t firstPid;
    const char* text;
  };
  const Case cases[] = {
      {"WRITE_DAQ unanswered", 0xE1, false, 0, nullptr},
      {"START_STOP_SYNCH of a restart unanswered", 0xDD, true, 0, nullptr},
      {"identifiers reaching past 0xFB", 0, false, 0xF8,
       "0x02010201 - COMMON - daq not initialized - the slave's packet identifiers of a daq list reach past 0xFB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    XcpEcuSettings settings;
    settings.firstPid = c.firstPid;
    plug(settings);
    ASSERT_EQ(Qor_Common_Xcp_Daq_Reset(port_, kChannel, 0), 0u);
    setSignals();
    const Qor_Common_Xcp_Daq_Timeouts_t timeouts{0, {20, 20, 20, 20, 20, 20, 20}};
    ASSERT_EQ(Qor_Common_Xcp_Daq_SetTimeouts(port_, kChannel, &timeouts), 0u);
    if (c.startedBefore) {
      ASSERT_EQ(Qor_Common_Xcp_Daq_Start(port_, kChannel, 0), 0u) << lastText();
      ASSERT_EQ(Qor_Common_Xcp_Daq_Stop(port_, kChannel, 0), 0u) << lastText();
    }
    if (c.silentCommand != 0) {
      ecu_->on(c.silentCommand, [](std::span<const uint8_t>) { return std::vector<Bytes>{}; });
    }

    const Clock::time_point start = Clock::now();
    EXPECT_EQ(Qor_Common_Xcp_Daq_Start(port_, kChannel, 0), kDaqNotPossible);
    if (c.text != nullptr) {
      EXPECT_EQ(lastText(), c.text);
    }
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(ecu_->commands().back(), (Bytes{0xFE}));  // DISCONNECT
    EXPECT_EQ(state(), 0);
    EXPECT_EQ(firmware_->property(kChannel, 0), 0u);

    const size_t connects = sent(0xFF).size();
    EXPECT_EQ(Qor_Common_Xcp_Daq_Start(port_, kChannel, 0), kDaqNotPossible);
    EXPECT_EQ(sent(0xFF).size(), connects + 1);
  }
}

// Property 0 is given back only when a start raised it: a reset of a record never started leaves it alone.
TEST_F(XcpDaq, AResetWritesBackOnlyTheValueThatAStartSaved) {
  plug();
  const Qor_Common_Xcp_Property_t property{0, 0, 40};
  ASSERT_EQ(Qor_Common_Xcp_Property_SetById(port_, kChannel, &property), 0u) << lastText();
  setSignals();
  ASSERT_EQ(Qor_Common_Xcp_Daq_Reset(port_, kChannel, 0), 0u) << lastText();
  EXPECT_EQ(firmware_->property(kChannel, 0), 40u);
  setSignals();
  ASSERT_EQ(Qor_Common_Xcp_Daq_Start(port_, kChannel, 0), 0u) << lastText();
  EXPECT_EQ(firmware_->property(kChannel, 0), 255u);
  ASSERT_EQ(Qor_Common_Xcp_Daq_Reset(port_, kChannel, 0), 0u) << lastText();
  EXPECT_EQ(firmware_->property(kChannel, 0), 40u);
  EXPECT_EQ(sent(0xDD).back(), (Bytes{0xDD, 0}));
}

// A port opened again under the same handle inherits no DAQ: not running, no signals, nothing configured.
TEST_F(XcpDaq, TheDaqOfAPortIsDroppedWhenItCloses) {
  plug();
  setSignals();
  ASSERT_EQ(Qor_Common_Xcp_Daq_Start(port_, kChannel, 0), 0u) << lastText();
  const uint32_t handle = port_;
  ASSERT_EQ(Qor_CloseInterface(port_), 0u);
  port_ = open();
  ASSERT_EQ(port_, handle);
  EXPECT_EQ(state(), 0);
  EXPECT_EQ(Qor_Common_Xcp_Daq_Start(port_, kChannel, 0), kDaqNotPossible);
  EXPECT_EQ(Qor_GetLastErrorCode(), kDaqNotPossible);
  setSignals();
  const size_t connects = sent(0xFF).size();
  ASSERT_EQ(Qor_Common_Xcp_Daq_Start(port_, kChannel, 0), 0u) << lastText();
  EXPECT_EQ(sent(0xFF).size(), connects + 1);  // configured afresh
}

TEST_F(XcpDaq, CallsAreCheckedBeforeAnythingIsSent) {
  plug();
  auto bad = kSignals;
  bad[3].flags = 1;
  EXPECT_EQ(Qor_Common_Xcp_Daq_SetSignals(port_, kChannel, 0, 4, bad.data()), 0x02010004u);
  EXPECT_EQ(lastText(), "0x02010004 - COMMON - unknown flag - unknown flag in signal with index 3");
  bad = kSignals;
  bad[2].reserved10 = 1;
  EXPECT_EQ(Qor_Common_Xcp_Daq_SetSignals(port_, kChannel, 0, 4, bad.data()), 0x02010007u);
  bad = kSignals;
  bad[1].type = 7;
  EXPECT_EQ(Qor_Common_Xcp_Daq_SetSignals(port_, kChannel, 0, 4, bad.data()), 0x02010007u);
  EXPECT_EQ(lastText(), "0x02010007 - COMMON - invalid parameter - signal type of signal with index 1 is unknown");
  EXPECT_EQ(Qor_Common_Xcp_Daq_SetSignals(port_, 255, 0, 1, kSignals.data()), 0x02010007u);
  EXPECT_EQ(Qor_Common_Xcp_Daq_Start(port_, kChannel, 0), kDaqNotPossible);  // no record
  EXPECT_EQ(Qor_Common_Xcp_Daq_Start(port_, kChannel, 2), 0x02010004u);
  EXPECT_EQ(Qor_Common_Xcp_Daq_Stop(port_, kChannel, 0), 0u);
  EXPECT_EQ(Qor_Common_Xcp_Daq_Stop(port_, kChannel, 1), 0x02010004u);
  const Qor_Common_Xcp_Daq_Timeouts_t timeouts{1, {}};
  EXPECT_EQ(Qor_Common_Xcp_Daq_SetTimeouts(port_, kChannel, &timeouts), 0x02010004u);
  EXPECT_EQ(Qor_Common_Xcp_Daq_SetTimeouts(port_, kChannel, nullptr), 0x02010007u);
  uint32_t status = 0;
  uint32_t count = 4;
  EXPECT_EQ(Qor_Common_Xcp_Daq_ReadRxSignals(port_, kChannel, 0, &status, &count, nullptr), 0x02010007u);
  EXPECT_TRUE(ecu_->commands().empty());
}

}  // namespace
}  // namespace qor::common
