// XCP commands on the whole road against an emulated ECU: connecting to slaves of either byte order and every address
// granularity, seed & key with the caller's key, memory round trips packet by packet and in both block modes, a flash
// programming sequence, the slave's error packets, a slave that falls silent, and what is remembered per port.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "qor_api.h"
#include "qor_common_xcp.h"
#include "qor_common_xcp_commands.h"
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

constexpr uint8_t kChannel = 4;
constexpr uint32_t kAddress = 0x4100;
constexpr uint32_t kUnknownFlag = 0x02010004;
constexpr uint32_t kUnknownMode = 0x02010005;
constexpr uint32_t kBufferUndersized = 0x02010006;
constexpr uint32_t kInvalidParameter = 0x02010007;
constexpr uint32_t kInvalidResponseParameter = 0x02010009;
constexpr uint32_t kNoValidResponse = 0x02010201;
constexpr uint32_t kSlaveError = 0x02010202;
constexpr uint32_t kNoResponse = 0x02010203;
constexpr uint8_t kBigEndian = 0x01;
constexpr uint8_t kWordGranularity = 0x02;
constexpr uint8_t kDoubleWordGranularity = 0x04;
constexpr uint8_t kSlaveBlockMode = 0x40;
constexpr uint8_t kOptional = 0x80;

std::string lastText() { return Qor_GetLastErrorDescription(); }

// The application's key function: what the ECU's maker gave the tester, written down independently of the emulator.
Bytes keyFromSeed(const Bytes& seed) {
  Bytes key;
  for (size_t index = 0; index < seed.size(); ++index) key.push_back(seed[index] ^ static_cast<uint8_t>(0x5A + index));
  return key;
}

Bytes pattern(size_t size, uint8_t salt = 1) {
  Bytes bytes(size);
  for (size_t index = 0; index < size; ++index) bytes[index] = static_cast<uint8_t>(index * 13 + salt);
  return bytes;
}

Qor_Common_Xcp_MemoryBlock_t memoryBlock(uint32_t address, size_t length) {
  return Qor_Common_Xcp_MemoryBlock_t{address, 0, {0, 0, 0}, static_cast<uint32_t>(length)};
}

class XcpCommands : public test::InterfaceFixture {
 protected:
  void SetUp() override {
    InterfaceFixture::SetUp();
    firmware_ = XcpFirmware::attachTo(*device_);
    port_ = open();
  }

  void plug(XcpEcuSettings settings = {}) {
    ecu_ = std::make_shared<EmulatedEcu>(std::move(settings));
    firmware_->plugSlave(kChannel, ecu_);
  }

  Qor_Common_Xcp_ConnectInfo_t connect() {
    const Qor_Common_Xcp_ConnectMode_t mode{};
    Qor_Common_Xcp_ConnectInfo_t info{};
    EXPECT_EQ(Qor_Common_Xcp_Cmd_Connect(port_, kChannel, &mode, &info), 0u) << lastText();
    return info;
  }

  void commModeInfo() {
    Qor_Common_Xcp_CommModeInfo_t info{};
    ASSERT_EQ(Qor_Common_Xcp_Cmd_GetCommModeInfo(port_, kChannel, &info), 0u) << lastText();
  }

  std::vector<Bytes> sent(uint8_t code) const {
    std::vector<Bytes> packets;
    for (Bytes& packet : ecu_->commands()) {
      if (packet[0] == code) packets.push_back(std::move(packet));
    }
    return packets;
  }

  Bytes upload(uint32_t address, size_t length) {
    const Qor_Common_Xcp_MemoryBlock_t block = memoryBlock(address, length);
    Bytes data(length + 8, 0xEE);  // room behind the data shows any byte written past it
    EXPECT_EQ(Qor_Common_Xcp_Cmd_Upload(port_, kChannel, &block, data.data()), 0u) << lastText();
    EXPECT_EQ(Bytes(data.begin() + static_cast<long>(length), data.end()), Bytes(8, 0xEE));
    data.resize(length);
    return data;
  }

  uint32_t download(uint32_t address, const Bytes& data) {
    const Qor_Common_Xcp_MemoryBlock_t block = memoryBlock(address, data.size());
    return Qor_Common_Xcp_Cmd_Download(port_, kChannel, &block, data.data());
  }

  // Properties 1 and 3 as a block transfer must leave them.
  void setFifoProperties(uint32_t value) {
    for (uint16_t id : {1, 3}) {
      const Qor_Common_Xcp_Property_t property{id, 0, value};
      ASSERT_EQ(Qor_Common_Xcp_Property_SetById(port_, kChannel, &property), 0u) << lastText();
    }
  }

  std::shared_ptr<XcpFirmware> firmware_;
  std::shared_ptr<EmulatedEcu> ecu_;
  uint32_t port_ = QOR_NO_PORT;
};

TEST_F(XcpCommands, TheFirstCommandOfAChannelWorksWithTheDefaults) {
  plug();
  const Bytes data = pattern(13);
  ASSERT_EQ(download(kAddress, data), 0u) << lastText();
  EXPECT_EQ(sent(0xF6), (std::vector<Bytes>{{0xF6, 0, 0, 0, 0x00, 0x41, 0, 0}}));
  EXPECT_EQ(sent(0xCC), (std::vector<Bytes>{{0xCC, 0, 13, 0}}));  // accepted outside a programming session
  const std::vector<Bytes> parts = sent(0xF0);
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[0].size(), 8u);
  EXPECT_EQ(parts[1].size(), 8u);
  EXPECT_EQ(parts[2], (Bytes{0xF0, 1, data[12]}));
  EXPECT_EQ(ecu_->memory(kAddress, 13), data);
}

TEST_F(XcpCommands, ConnectShapesThePacketsByByteOrderAndGranularity) {
  struct Case {
    const char* name;
    uint8_t commModeBasic;
    uint8_t maxCto;
    uint8_t granularity;
    Bytes setMta;           // of kAddress
    size_t downloadPacket;  // bytes of a full DOWNLOAD packet
  };
  const Case cases[] = {
      {"Intel, bytes", 0, 8, 1, {0xF6, 0, 0, 0, 0x00, 0x41, 0, 0}, 8},
      {"Motorola, words", kBigEndian | kWordGranularity, 8, 2, {0xF6, 0, 0, 0, 0, 0, 0x41, 0x00}, 8},
      {"Motorola, double words", kBigEndian | kDoubleWordGranularity, 12, 4, {0xF6, 0, 0, 0, 0, 0, 0x41, 0x00}, 12},
      {"Intel, the fourth code as bytes", 0x06, 8, 1, {0xF6, 0, 0, 0, 0x00, 0x41, 0, 0}, 8},
      {"Intel, words, odd MAX_CTO", kWordGranularity, 9, 2, {0xF6, 0, 0, 0, 0x00, 0x41, 0, 0}, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    XcpEcuSettings settings;
    settings.slave.commModeBasic = c.commModeBasic;
    settings.slave.maxCto = c.maxCto;
    settings.slave.maxDto = 0x0123;
    plug(settings);
    const Qor_Common_Xcp_ConnectInfo_t info = connect();
    EXPECT_EQ(info.byteOrder, c.commModeBasic & kBigEndian);
    EXPECT_EQ(info.granularityCode, (c.commModeBasic >> 1) & 3);
    EXPECT_EQ(info.maxDto, 0x0123);
    EXPECT_EQ(info.maxCto, c.maxCto);
    EXPECT_EQ(info.resources, uint32_t{QOR_COMMON_XCP_RESOURCE_CAL_PAG | QOR_COMMON_XCP_RESOURCE_DAQ |
                                       QOR_COMMON_XCP_RESOURCE_STIM | QOR_COMMON_XCP_RESOURCE_PGM});

    const Bytes data = pattern(40);
    ASSERT_EQ(download(kAddress, data), 0u) << lastText();
    EXPECT_EQ(sent(0xF6).front(), c.setMta);
    const std::vector<Bytes> parts = sent(0xF0);
    ASSERT_FALSE(parts.empty());
    EXPECT_EQ(parts.front().size(), c.downloadPacket);
    if (c.granularity == 4) {
      EXPECT_EQ(Bytes(parts.front().begin() + 2, parts.front().begin() + 4), (Bytes{0, 0}));
    }
    for (const Bytes& part : parts) EXPECT_EQ((part.size() - (c.granularity == 4 ? 4 : 2)) / c.granularity, part[1]);
    EXPECT_EQ(ecu_->memory(kAddress, 40), data);
    EXPECT_EQ(upload(kAddress, 40), data);
  }
}

TEST_F(XcpCommands, StatusAndCommunicationModeAreMapped) {
  XcpEcuSettings settings;
  settings.slave.commModeBasic = kBigEndian | kOptional;
  settings.slave.sessionStatus = 0xC1;  // resume, DAQ running, store CAL request
  settings.slave.sessionConfigurationId = 0x1234;
  settings.protectedResources = 0x11;   // CAL/PAG and PGM
  settings.commModeOptional = 0x03;
  settings.maxBs = 9;
  settings.minSt = 2;
  settings.queueSize = 5;
  plug(settings);
  EXPECT_EQ(connect().resources & QOR_COMMON_XCP_OPTIONAL_COMM_MODE, uint32_t{QOR_COMMON_XCP_OPTIONAL_COMM_MODE});
  Qor_Common_Xcp_Status_t status{};
  ASSERT_EQ(Qor_Common_Xcp_Cmd_GetStatus(port_, kChannel, &status), 0u) << lastText();
  EXPECT_EQ(status.flags, (1u << 0) | (1u << 3) | (1u << 4) | (1u << 5) | (1u << 8));
  EXPECT_EQ(status.sessionConfigurationId, 0x1234);
  Qor_Common_Xcp_CommModeInfo_t info{};
  ASSERT_EQ(Qor_Common_Xcp_Cmd_GetCommModeInfo(port_, kChannel, &info), 0u) << lastText();
  EXPECT_EQ(info.flags, uint32_t{QOR_COMMON_XCP_MASTER_BLOCK_MODE | QOR_COMMON_XCP_INTERLEAVED_MODE});
  EXPECT_EQ(info.maxBs, 9);
  EXPECT_EQ(info.minSt, 2);
  EXPECT_EQ(info.queueSize, 5);
  EXPECT_EQ(info.driverVersion, 0x10);
}

TEST_F(XcpCommands, SeedAndKeyUnlockWithTheCallersKey) {
  struct Case {
    size_t seedBytes;
    std::vector<uint8_t> seedRequestsModes;
    std::vector<uint8_t> unlockRemaining;
  };
  const Case cases[] = {{14, {0, 1, 1}, {14, 8, 2}}, {13, {0, 1, 1}, {13, 7, 1}}, {6, {0}, {6}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seedBytes);
    XcpEcuSettings settings;
    settings.protectedResources = 0x01;
    settings.seed = pattern(c.seedBytes, 0x30);
    plug(settings);
    connect();
    EXPECT_EQ(upload(kAddress, 0).size(), 0u);
    const Qor_Common_Xcp_MemoryBlock_t block = memoryBlock(kAddress, 4);
    uint8_t data[4];
    EXPECT_EQ(Qor_Common_Xcp_Cmd_Upload(port_, kChannel, &block, data), kSlaveError);
    EXPECT_EQ(lastText(),
              "0x02010202 - COMMON - xcp error - the slave returned error code 0x25 - Access denied, Seed & Key is "
              "required");

    Bytes seed(255, 0);
    uint32_t length = static_cast<uint32_t>(seed.size());
    ASSERT_EQ(Qor_Common_Xcp_Cmd_GetSeed(port_, kChannel, QOR_COMMON_XCP_SEED_CAL_PAG, &length, seed.data()), 0u)
        << lastText();
    ASSERT_EQ(length, c.seedBytes);
    seed.resize(length);
    EXPECT_EQ(seed, settings.seed);
    std::vector<uint8_t> modes;
    for (const Bytes& packet : sent(0xF8)) modes.push_back(packet[1]);
    EXPECT_EQ(modes, c.seedRequestsModes);

    const Bytes key = keyFromSeed(seed);
    ASSERT_EQ(Qor_Common_Xcp_Cmd_Unlock(port_, kChannel, static_cast<uint8_t>(key.size()), key.data()), 0u)
        << lastText();
    std::vector<uint8_t> remaining;
    for (const Bytes& packet : sent(0xF7)) remaining.push_back(packet[1]);
    EXPECT_EQ(remaining, c.unlockRemaining);
    EXPECT_EQ(ecu_->protection(), 0);
    EXPECT_EQ(upload(kAddress, 4).size(), 4u);
  }
}

TEST_F(XcpCommands, SeedRoomTooSmallOrAWrongKeyIsReported) {
  XcpEcuSettings settings;
  settings.protectedResources = 0x10;
  settings.seed = pattern(14);
  plug(settings);
  Bytes seed(13);
  uint32_t length = 13;
  EXPECT_EQ(Qor_Common_Xcp_Cmd_GetSeed(port_, kChannel, QOR_COMMON_XCP_SEED_PGM, &length, seed.data()),
            kBufferUndersized);
  EXPECT_EQ(lastText(), "0x02010006 - COMMON - response buffer undersized - 14 bytes are needed for the seed");
  EXPECT_EQ(sent(0xF8), (std::vector<Bytes>{{0xF8, 0, 0x10}}));

  seed.resize(14);
  length = 14;
  ASSERT_EQ(Qor_Common_Xcp_Cmd_GetSeed(port_, kChannel, QOR_COMMON_XCP_SEED_PGM, &length, seed.data()), 0u);
  Bytes wrongKey = keyFromSeed(seed);
  wrongKey.back() ^= 1;
  EXPECT_EQ(Qor_Common_Xcp_Cmd_Unlock(port_, kChannel, 14, wrongKey.data()), kSlaveError);
  EXPECT_EQ(ecu_->protection(), 0x10);
  EXPECT_EQ(Qor_Common_Xcp_Cmd_GetSeed(port_, kChannel, 4, &length, seed.data()), kInvalidParameter);
  EXPECT_EQ(lastText(), "0x02010007 - COMMON - invalid parameter - 'resource' value is unknown");
}

TEST_F(XcpCommands, SeedPartsNeverPassTheAnnouncedLength) {
  plug();
  // The slave announces 10 bytes, then claims far more in fuller parts than it announced.
  ecu_->answerNext({{0xFF, 10, 1, 2, 3, 4, 5, 6}});
  ecu_->answerNext({{0xFF, 0xFF, 7, 8, 9, 10, 11, 12}});
  Bytes seed(18, 0xEE);
  uint32_t length = 10;
  ASSERT_EQ(Qor_Common_Xcp_Cmd_GetSeed(port_, kChannel, 0, &length, seed.data()), 0u) << lastText();
  EXPECT_EQ(seed, (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));

  // A further part without bytes would never end.
  ecu_->answerNext({{0xFF, 10, 1, 2, 3, 4, 5, 6}});
  ecu_->answerNext({{0xFF, 4}});
  EXPECT_EQ(Qor_Common_Xcp_Cmd_GetSeed(port_, kChannel, 0, &length, seed.data()), kInvalidResponseParameter);
}

TEST_F(XcpCommands, MemoryRoundTripsInEveryMode) {
  struct Case {
    const char* name;
    uint8_t commModeBasic;
    uint8_t commModeOptional;
    uint8_t maxBs;
    uint8_t minSt;
    size_t bytes;
  };
  const Case cases[] = {
      {"packets, one byte", 0, 0, 4, 0, 1},
      {"packets, one full packet", 0, 0, 4, 0, 6},
      {"packets, one more", 0, 0, 4, 0, 7},
      {"master block, one block exactly", 0, 1, 4, 0, 24},
      {"master block, one byte into the next block", 0, 1, 4, 0, 25},
      {"master block, MIN_ST, double words", kDoubleWordGranularity | kBigEndian, 1, 3, 1, 64},
      {"master block, the largest block", 0, 1, 255, 0, 255},
      {"slave block, 255 elements", kSlaveBlockMode, 0, 4, 0, 255},
      {"slave block, several blocks of words", kSlaveBlockMode | kWordGranularity, 0, 4, 0, 1200},
      {"both block modes", kSlaveBlockMode | kBigEndian, 1, 8, 0, 700},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    XcpEcuSettings settings;
    settings.slave.commModeBasic = static_cast<uint8_t>(c.commModeBasic | kOptional);
    settings.commModeOptional = c.commModeOptional;
    settings.maxBs = c.maxBs;
    settings.minSt = c.minSt;
    plug(settings);
    connect();
    commModeInfo();
    setFifoProperties(7);
    const Bytes data = pattern(c.bytes, static_cast<uint8_t>(c.bytes));
    ASSERT_EQ(download(kAddress, data), 0u) << lastText();
    EXPECT_EQ(ecu_->memory(kAddress, static_cast<uint32_t>(c.bytes)), data);
    EXPECT_EQ(upload(kAddress, c.bytes), data);
    EXPECT_EQ(firmware_->property(kChannel, 1), 7u);
    EXPECT_EQ(firmware_->property(kChannel, 3), 7u);
    if (c.commModeOptional != 0) {
      EXPECT_FALSE(firmware_->transmittedCommands(kChannel).empty());
    }

    const Qor_Common_Xcp_MemoryBlock_t start = memoryBlock(kAddress, 0);
    ASSERT_EQ(Qor_Common_Xcp_Cmd_SetMta(port_, kChannel, &start), 0u) << lastText();
    const Qor_Common_Xcp_ChecksumRequest_t request{static_cast<uint32_t>(c.bytes), 0};
    Qor_Common_Xcp_Checksum_t checksum{};
    ASSERT_EQ(Qor_Common_Xcp_Cmd_BuildChecksum(port_, kChannel, &request, &checksum), 0u) << lastText();
    EXPECT_EQ(checksum.type, 0x03);
    EXPECT_EQ(checksum.checksum, std::accumulate(data.begin(), data.end(), 0u));
  }
}

TEST_F(XcpCommands, AFlashIsProgrammed) {
  XcpEcuSettings settings;
  settings.protectedResources = 0x10;
  settings.pgmCommMode = 1;
  settings.maxCtoPgm = 16;
  settings.maxBsPgm = 3;
  settings.seed = pattern(5);
  plug(settings);
  connect();
  Bytes seed(5);
  uint32_t length = 5;
  ASSERT_EQ(Qor_Common_Xcp_Cmd_GetSeed(port_, kChannel, QOR_COMMON_XCP_SEED_PGM, &length, seed.data()), 0u);
  const Bytes key = keyFromSeed(seed);
  ASSERT_EQ(Qor_Common_Xcp_Cmd_Unlock(port_, kChannel, 5, key.data()), 0u) << lastText();

  Qor_Common_Xcp_PgmProcessorInfo_t processor{};
  ASSERT_EQ(Qor_Common_Xcp_Cmd_GetPgmProcessorInfo(port_, kChannel, &processor), 0u) << lastText();
  EXPECT_EQ(processor.properties, 1u);
  EXPECT_EQ(processor.maxSector, 2);
  const Qor_Common_Xcp_SectorRequest_t second{1, {0, 0, 0}};
  Qor_Common_Xcp_SectorInfo_t sector{};
  ASSERT_EQ(Qor_Common_Xcp_Cmd_GetSectorInfo(port_, kChannel, &second, &sector), 0u) << lastText();
  EXPECT_EQ(sector.clearSequence, 3);
  EXPECT_EQ(sector.programSequence, 4);
  EXPECT_EQ(sector.nameLength, 6);
  EXPECT_EQ(sector.startAddress, 0x4800u);
  EXPECT_EQ(sector.length, 0x800u);

  const Bytes image = pattern(200, 9);
  ecu_->setMemory(sector.startAddress, pattern(256, 0x77));
  const Qor_Common_Xcp_ProgramBlock_t block{0, memoryBlock(sector.startAddress, image.size())};
  ASSERT_EQ(Qor_Common_Xcp_Cmd_Program(port_, kChannel, &block, image.data()), 0u) << lastText();  // opens the session
  const Qor_Common_Xcp_MemoryBlock_t start = memoryBlock(sector.startAddress, 0);
  ASSERT_EQ(Qor_Common_Xcp_Cmd_SetMta(port_, kChannel, &start), 0u);
  const Qor_Common_Xcp_ClearRange_t clear{QOR_COMMON_XCP_CLEAR_ABSOLUTE, {0, 0, 0}, 0, {0, 0, 0}, 256, 0};
  ASSERT_EQ(Qor_Common_Xcp_Cmd_ProgramClear(port_, kChannel, &clear), 0u) << lastText();
  EXPECT_EQ(ecu_->memory(sector.startAddress, 256), Bytes(256, 0xFF));
  ASSERT_EQ(Qor_Common_Xcp_Cmd_Program(port_, kChannel, &block, image.data()), 0u) << lastText();
  EXPECT_EQ(ecu_->memory(sector.startAddress, 200), image);
  EXPECT_EQ(ecu_->memory(sector.startAddress + 200, 56), Bytes(56, 0xFF));
  EXPECT_TRUE(ecu_->programming());
  // Blocks of MAX_BS_PGM packets of 14 bytes: 42, 42, 42, 42, 32.
  EXPECT_EQ(sent(0xD0).size(), 10u);
  EXPECT_EQ(sent(0xD0).back()[1], 32);
  ASSERT_EQ(Qor_Common_Xcp_Cmd_ProgramReset(port_, kChannel), 0u) << lastText();
  EXPECT_FALSE(ecu_->programming());

  const Qor_Common_Xcp_ClearRange_t functional{QOR_COMMON_XCP_CLEAR_FUNCTIONAL, {0, 0, 0}, 0x05, {9, 9, 9}, 0,
                                               0x12345678};
  EXPECT_EQ(Qor_Common_Xcp_Cmd_ProgramClear(port_, kChannel, &functional), kSlaveError);  // outside a session
  EXPECT_EQ(sent(0xD1).back(), (Bytes{0xD1, 1, 0, 0, 0x05, 0x56, 0x34, 0x12}));
}

TEST_F(XcpCommands, ErrorPacketsOfTheSlaveComeWithTheirTexts) {
  plug();
  struct Case {
    uint8_t code;
    const char* text;
  };
  const Case cases[] = {{0x10, "Command was not executed"},
                        {0x22, "Command syntax valid but command parameter(s) out of range"},
                        {0x29, "Sequence error"},
                        {0x33, "Access to the requested resource is temporary not possible"},
                        {0x7E, ""}};
  for (const Case& c : cases) {
    ecu_->failNext(c.code);
    Qor_Common_Xcp_Status_t status{};
    EXPECT_EQ(Qor_Common_Xcp_Cmd_GetStatus(port_, kChannel, &status), kSlaveError);
    char expected[160];
    std::snprintf(expected, sizeof expected,
                  "0x02010202 - COMMON - xcp error - the slave returned error code 0x%02x - %s", c.code, c.text);
    EXPECT_EQ(lastText(), expected);
  }
  // An error within a multi-packet command ends it: the third DOWNLOAD packet is not sent.
  const size_t before = ecu_->commands().size();
  ecu_->answerNext({{0xFF}});
  ecu_->answerNext({{0xFF}});
  ecu_->answerNext({{0xFE, 0x24}});
  EXPECT_EQ(download(kAddress, pattern(18)), kSlaveError);
  EXPECT_EQ(ecu_->commands().size(), before + 3);
}

TEST_F(XcpCommands, ASlaveThatStopsAnsweringIsGivenUpInTime) {
  XcpEcuSettings settings;
  settings.slave.commModeBasic = kSlaveBlockMode;
  settings.commModeOptional = 1;
  plug(settings);
  connect();
  commModeInfo();

  ecu_->answerNext({});
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(Qor_Common_Xcp_Cmd_Disconnect(port_, kChannel), kNoValidResponse);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));

  // Slave block mode: one packet of the block comes, the others never do.
  ecu_->answerNext({{0xFF}});                        // SET_MTA
  ecu_->answerNext({{0xFF, 1, 2, 3, 4, 5, 6, 7}});  // the first of three packets
  const Qor_Common_Xcp_MemoryBlock_t block = memoryBlock(kAddress, 20);
  Bytes data(20);
  const Clock::time_point blockStart = Clock::now();
  EXPECT_EQ(Qor_Common_Xcp_Cmd_Upload(port_, kChannel, &block, data.data()), kNoResponse);
  EXPECT_EQ(lastText(), "0x02010203 - COMMON - xcp response timeout - not all data was received within timeout");
  EXPECT_LT(Clock::now() - blockStart, std::chrono::seconds(7));

  // Master block mode: a transmit FIFO that never drains.
  firmware_->setStateFlags(kChannel, 0x08);
  const Clock::time_point drainStart = Clock::now();
  EXPECT_EQ(download(kAddress, pattern(30)), kNoResponse);
  EXPECT_LT(Clock::now() - drainStart, std::chrono::seconds(3));
}

TEST_F(XcpCommands, SlaveParametersThatCannotWorkAreRefused) {
  struct Case {
    const char* name;
    XcpEcuSettings settings;
    std::function<uint32_t()> call;
  };
  XcpEcuSettings smallCto;
  smallCto.slave.maxCto = 2;
  XcpEcuSettings noBlocks;
  noBlocks.commModeOptional = 1;
  noBlocks.maxBs = 0;
  XcpEcuSettings smallPgmCto;
  smallPgmCto.maxCtoPgm = 3;
  const Case cases[] = {
      {"MAX_CTO below 8", smallCto,
       [this] {
         const Qor_Common_Xcp_ConnectMode_t mode{};
         Qor_Common_Xcp_ConnectInfo_t info{};
         return Qor_Common_Xcp_Cmd_Connect(port_, kChannel, &mode, &info);
       }},
      {"master block mode with MAX_BS 0", noBlocks,
       [this] {
         Qor_Common_Xcp_CommModeInfo_t info{};
         return Qor_Common_Xcp_Cmd_GetCommModeInfo(port_, kChannel, &info);
       }},
      {"MAX_CTO_PGM below 8", smallPgmCto,
       [this] {
         const uint8_t data[4] = {};
         const Qor_Common_Xcp_ProgramBlock_t block{0, memoryBlock(kAddress, 4)};
         return Qor_Common_Xcp_Cmd_Program(port_, kChannel, &block, data);
       }},
      {"UPLOAD answered without data", {},
       [this] {
         for (int answer = 0; answer < 3; ++answer) ecu_->answerNext({{0xFF}});
         ecu_->answerNext({{0xFF}});
         uint8_t data[4] = {};
         const Qor_Common_Xcp_MemoryBlock_t block = memoryBlock(kAddress, 4);
         return Qor_Common_Xcp_Cmd_Upload(port_, kChannel, &block, data);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    plug(c.settings);
    EXPECT_EQ(c.call(), kInvalidResponseParameter) << lastText();
  }
  // A refused CONNECT left the defaults: the next packets are still of 8 bytes at most.
  plug();
  ASSERT_EQ(download(kAddress, pattern(12)), 0u) << lastText();
  EXPECT_EQ(sent(0xF0).size(), 2u);
}

TEST_F(XcpCommands, CallersRecordsAreCheckedBeforeAnythingIsSent) {
  plug();
  const Qor_Common_Xcp_ConnectMode_t badReserved{0, {0, 1, 0}};
  const Qor_Common_Xcp_ConnectMode_t userMode{2, {0, 0, 0}};
  Qor_Common_Xcp_ConnectInfo_t info{};
  Qor_Common_Xcp_MemoryBlock_t reservedBlock = memoryBlock(kAddress, 4);
  reservedBlock.reserved5[2] = 1;
  const Qor_Common_Xcp_ProgramBlock_t flaggedProgram{1, memoryBlock(kAddress, 4)};
  const Qor_Common_Xcp_ClearRange_t badFlags{QOR_COMMON_XCP_CLEAR_FUNCTIONAL, {0, 0, 0}, 0x08, {0, 0, 0}, 0, 0};
  const Qor_Common_Xcp_ClearRange_t badMode{2, {0, 0, 0}, 0, {0, 0, 0}, 0, 0};
  const Qor_Common_Xcp_ChecksumRequest_t badChecksum{4, 1};
  const Qor_Common_Xcp_SectorRequest_t badSector{0, {1, 0, 0}};
  Qor_Common_Xcp_Checksum_t checksum{};
  Qor_Common_Xcp_SectorInfo_t sector{};
  uint8_t data[8] = {};
  struct Case {
    const char* name;
    std::function<uint32_t()> call;
    uint32_t code;
    const char* text;
  };
  const uint32_t port = port_;
  const Case cases[] = {
      {"reserved bytes of the connect mode",
       [&] { return Qor_Common_Xcp_Cmd_Connect(port, kChannel, &badReserved, &info); }, kInvalidParameter,
       "reserved bytes have to be zero"},
      {"connect mode", [&] { return Qor_Common_Xcp_Cmd_Connect(port, kChannel, &userMode, &info); }, kUnknownMode, ""},
      {"no connect info", [&] { return Qor_Common_Xcp_Cmd_Connect(port, kChannel, &userMode, nullptr); },
       kInvalidParameter, "'info' is NULL"},
      {"handle of 255", [&] { return Qor_Common_Xcp_Cmd_Disconnect(255, kChannel); }, kInvalidParameter,
       "invalid 'portHandle'"},
      {"channel 255", [&] { return Qor_Common_Xcp_Cmd_Disconnect(port, 255); }, kInvalidParameter,
       "invalid 'channel'"},
      {"reserved bytes of a memory block",
       [&] { return Qor_Common_Xcp_Cmd_Upload(port, kChannel, &reservedBlock, data); }, kInvalidParameter,
       "reserved bytes have to be zero"},
      {"no data to download",
       [&] {
         const Qor_Common_Xcp_MemoryBlock_t block = memoryBlock(kAddress, 4);
         return Qor_Common_Xcp_Cmd_Download(port, kChannel, &block, nullptr);
       },
       kInvalidParameter, "'data' is NULL"},
      {"program flags", [&] { return Qor_Common_Xcp_Cmd_Program(port, kChannel, &flaggedProgram, data); },
       kUnknownFlag, ""},
      {"functional clear flags", [&] { return Qor_Common_Xcp_Cmd_ProgramClear(port, kChannel, &badFlags); },
       kUnknownFlag, ""},
      {"clear mode", [&] { return Qor_Common_Xcp_Cmd_ProgramClear(port, kChannel, &badMode); }, kUnknownMode, ""},
      {"checksum reserved word",
       [&] { return Qor_Common_Xcp_Cmd_BuildChecksum(port, kChannel, &badChecksum, &checksum); }, kInvalidParameter,
       "reserved bytes have to be zero"},
      {"sector reserved bytes", [&] { return Qor_Common_Xcp_Cmd_GetSectorInfo(port, kChannel, &badSector, &sector); },
       kInvalidParameter, "reserved bytes have to be zero"},
      {"no key", [&] { return Qor_Common_Xcp_Cmd_Unlock(port, kChannel, 4, nullptr); }, kInvalidParameter,
       "'key' is NULL"},
      {"no room for the seed",
       [&] {
         uint32_t length = 4;
         return Qor_Common_Xcp_Cmd_GetSeed(port, kChannel, 0, &length, nullptr);
       },
       kInvalidParameter, "'seed' is NULL"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.call(), c.code);
    const std::string text = lastText();
    EXPECT_NE(text.find(c.text), std::string::npos) << text;
  }
  EXPECT_TRUE(ecu_->commands().empty());
}

TEST_F(XcpCommands, LengthsOfPartElementsAreRefused) {
  XcpEcuSettings settings;
  settings.slave.commModeBasic = kDoubleWordGranularity;
  settings.checksumType = 10;
  plug(settings);
  connect();
  const size_t before = ecu_->commands().size();
  EXPECT_EQ(download(kAddress, pattern(6)), kInvalidParameter);
  EXPECT_EQ(lastText(), "0x02010007 - COMMON - invalid parameter - length 6 is not a whole number of 4-byte elements");
  Bytes data(10);
  const Qor_Common_Xcp_MemoryBlock_t block = memoryBlock(kAddress, 10);
  EXPECT_EQ(Qor_Common_Xcp_Cmd_Upload(port_, kChannel, &block, data.data()), kInvalidParameter);
  EXPECT_EQ(ecu_->commands().size(), before);

  // A checksum type XCP does not name is reported as 0.
  const Qor_Common_Xcp_MemoryBlock_t start = memoryBlock(kAddress, 0);
  ASSERT_EQ(Qor_Common_Xcp_Cmd_SetMta(port_, kChannel, &start), 0u) << lastText();
  const Qor_Common_Xcp_ChecksumRequest_t request{4, 0};
  Qor_Common_Xcp_Checksum_t checksum{};
  ASSERT_EQ(Qor_Common_Xcp_Cmd_BuildChecksum(port_, kChannel, &request, &checksum), 0u) << lastText();
  EXPECT_EQ(checksum.type, 0);
}

TEST_F(XcpCommands, WhatTheSlaveToldIsDroppedWhenThePortCloses) {
  XcpEcuSettings settings;
  settings.slave.commModeBasic = kBigEndian | kDoubleWordGranularity;
  plug(settings);
  connect();
  const Qor_Common_Xcp_MemoryBlock_t block = memoryBlock(kAddress, 0);
  ASSERT_EQ(Qor_Common_Xcp_Cmd_SetMta(port_, kChannel, &block), 0u) << lastText();
  EXPECT_EQ(sent(0xF6).back(), (Bytes{0xF6, 0, 0, 0, 0, 0, 0x41, 0x00}));

  ASSERT_EQ(Qor_CloseInterface(port_), 0u);
  port_ = open();
  ASSERT_EQ(Qor_Common_Xcp_Cmd_SetMta(port_, kChannel, &block), 0u) << lastText();
  EXPECT_EQ(sent(0xF6).back(), (Bytes{0xF6, 0, 0, 0, 0x00, 0x41, 0, 0}));  // little endian again, as before CONNECT
}

}  // namespace
}  // namespace qor::common
