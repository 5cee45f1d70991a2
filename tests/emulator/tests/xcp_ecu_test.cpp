// The emulated ECU's commands, packet in and packets out, in the orders a master may send them, including those the
// library's tests do not reach (the short transfers, sequence errors).
#include <gtest/gtest.h>

#include <vector>

#include "qor_emulator/xcp_ecu.hpp"

namespace {

using namespace qor::emulator;

struct Step {
  Bytes packet;
  std::vector<Bytes> answers;
};

struct Case {
  const char* name;
  std::vector<Step> steps;
};

TEST(EmulatedEcu, AnswersEachCommandInTurn) {
  const Case cases[] = {
      {"short download and upload at a big-endian address",
       {{{0xED, 3, 0, 0, 0x00, 0x00, 0x40, 0x10, 7, 8, 9}, {{0xFF}}},
        {{0xF4, 3, 0, 0, 0x00, 0x00, 0x40, 0x10}, {{0xFF, 7, 8, 9}}}}},
      {"outside the image",
       {{{0xF6, 0, 0, 0, 0x00, 0x00, 0x50, 0x00}, {{0xFF}}}, {{0xF5, 4}, {{0xFE, 0x24}}}}},
      {"DOWNLOAD_NEXT without a block", {{{0xEF, 2, 1, 2}, {{0xFE, 0x29, 0}}}}},
      {"a block in master block mode",
       {{{0xF6, 0, 0, 0, 0x00, 0x00, 0x40, 0x00}, {{0xFF}}},
        {{0xF0, 8, 1, 2, 3, 4, 5, 6}, {}},
        {{0xEF, 2, 7, 8}, {{0xFF}}},
        {{0xF6, 0, 0, 0, 0x00, 0x00, 0x40, 0x00}, {{0xFF}}},
        {{0xF5, 7}, {{0xFF, 1, 2, 3, 4, 5, 6, 7}}}}},
      {"a NEXT packet with the wrong count",
       {{{0xF6, 0, 0, 0, 0x00, 0x00, 0x40, 0x00}, {{0xFF}}},
        {{0xF0, 8, 1, 2, 3, 4, 5, 6}, {}},
        {{0xEF, 1, 7}, {{0xFE, 0x29, 2}}}}},
      {"a block longer than MAX_BS packets", {{{0xF0, 19, 1, 2, 3, 4, 5, 6}, {{0xFE, 0x22}}}}},
      {"programming outside a session",
       {{{0xD0, 2, 1, 2}, {{0xFE, 0x29}}}, {{0xCF}, {{0xFE, 0x29}}}, {{0xCC, 0, 2, 0}, {{0xFF}}}}},
      {"UNLOCK before GET_SEED", {{{0xF7, 2, 1, 2}, {{0xFE, 0x29}}}}},
      {"a free resource has no seed", {{{0xF8, 0, 0x01}, {{0xFF, 0}}}}},
      {"DAQ allocations out of order or beyond the limits",
       {{{0xD4, 0, 0x00, 0x00, 2}, {{0xFE, 0x22}}},
        {{0xD5, 0, 0x00, 0x09}, {{0xFE, 0x30}}},
        {{0xD5, 0, 0x00, 0x01}, {{0xFF}}},
        {{0xD5, 0, 0x00, 0x01}, {{0xFE, 0x29}}},
        {{0xE1, 0xFF, 1, 0, 0x00, 0x00, 0x40, 0x00}, {{0xFE, 0x29}}},
        {{0xD4, 0, 0x00, 0x00, 1}, {{0xFF}}},
        {{0xD3, 0, 0x00, 0x00, 0, 1}, {{0xFF}}},
        {{0xE2, 0, 0x00, 0x00, 0, 1}, {{0xFE, 0x22}}},
        {{0xE2, 0, 0x00, 0x00, 0, 0}, {{0xFF}}},
        {{0xE1, 0xFF, 8, 0, 0x00, 0x00, 0x40, 0x00}, {{0xFE, 0x22}}},
        {{0xE1, 0xFF, 2, 0, 0x00, 0x00, 0x40, 0x00}, {{0xFF}}},
        {{0xE1, 0xFF, 2, 0, 0x00, 0x00, 0x40, 0x00}, {{0xFE, 0x22}}},
        {{0xDE, 2, 0x00, 0x01}, {{0xFE, 0x22}}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    XcpEcuSettings settings;
    settings.slave.commModeBasic = 0x01;  // big endian
    settings.commModeOptional = 1;
    settings.maxBs = 3;
    EmulatedEcu ecu(settings);
    for (const Step& step : c.steps) EXPECT_EQ(ecu.command(step.packet), step.answers);
  }
}

TEST(EmulatedEcu, SeedAndKeyFollowTheKeyRule) {
  XcpEcuSettings settings;
  settings.protectedResources = 0x11;
  settings.seed = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7};
  EmulatedEcu ecu(settings);
  EXPECT_EQ(ecu.command(Bytes{0xF8, 0, 0x10}), (std::vector<Bytes>{{0xFF, 8, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}}));
  EXPECT_EQ(ecu.command(Bytes{0xF8, 1, 0x10}), (std::vector<Bytes>{{0xFF, 2, 0xA6, 0xA7}}));
  const Bytes key = xcpKeyFor(settings.seed);
  EXPECT_EQ(key[0], 0xA0 ^ 0x5A);
  EXPECT_EQ(key[7], 0xA7 ^ 0x61);
  Bytes first = {0xF7, 8};
  first.insert(first.end(), key.begin(), key.begin() + 6);
  EXPECT_EQ(ecu.command(first), (std::vector<Bytes>{{0xFF, 0x11}}));
  EXPECT_EQ(ecu.command(Bytes{0xF7, 2, key[6], key[7]}), (std::vector<Bytes>{{0xFF, 0x01}}));
  EXPECT_EQ(ecu.protection(), 0x01);
  EXPECT_EQ(ecu.command(Bytes{0xD2}).front()[0], 0xFF);
  EXPECT_TRUE(ecu.programming());
}

// DTOs come from the memory image for the selected lists after START_STOP_SYNCH, which clears the selection: a
// restart after a stop starts only the lists selected again.
TEST(EmulatedEcu, DaqListsSendTheirOdtsFromTheImage) {
  XcpEcuSettings settings;
  settings.firstPid = 0x10;
  settings.daqPeriod = std::chrono::hours(1);
  EmulatedEcu ecu(settings);
  ecu.setMemory(0x4000, Bytes{0x11, 0x22, 0x33, 0x44, 0x28});
  const std::vector<Bytes> setUp = {
      {0xD6},
      {0xD5, 0, 2, 0},
      {0xD4, 0, 0, 0, 2},
      {0xD4, 0, 1, 0, 1},
      {0xD3, 0, 0, 0, 0, 1},
      {0xD3, 0, 0, 0, 1, 2},
      {0xD3, 0, 1, 0, 0, 1},
      {0xE2, 0, 0, 0, 0, 0},
      {0xE1, 0xFF, 4, 0, 0x00, 0x40, 0, 0},
      {0xE2, 0, 0, 0, 1, 0},
      {0xE1, 0xFF, 1, 0, 0x04, 0x40, 0, 0},
      {0xE1, 3, 1, 0, 0x04, 0x40, 0, 0},
      {0xE2, 0, 1, 0, 0, 0},
      {0xE1, 0xFF, 2, 0, 0x01, 0x40, 0, 0},
  };
  for (const Bytes& packet : setUp) EXPECT_EQ(ecu.command(packet), (std::vector<Bytes>{{0xFF}}));
  EXPECT_EQ(ecu.command(Bytes{0xDE, 2, 0, 0}), (std::vector<Bytes>{{0xFF, 0x10}}));
  EXPECT_EQ(ecu.command(Bytes{0xDE, 2, 1, 0}), (std::vector<Bytes>{{0xFF, 0x12}}));
  EXPECT_TRUE(ecu.daqPackets().empty());
  EXPECT_EQ(ecu.command(Bytes{0xDD, 1}), (std::vector<Bytes>{{0xFF}}));
  EXPECT_TRUE(ecu.daqRunning());
  EXPECT_EQ(ecu.daqPackets(),
            (std::vector<Bytes>{{0x10, 0x11, 0x22, 0x33, 0x44}, {0x11, 0x28, 1}, {0x12, 0x22, 0x33}}));
  EXPECT_EQ(ecu.command(Bytes{0xDD, 0}), (std::vector<Bytes>{{0xFF}}));
  EXPECT_EQ(ecu.command(Bytes{0xDD, 1}), (std::vector<Bytes>{{0xFF}}));
  EXPECT_FALSE(ecu.daqRunning());
  EXPECT_EQ(ecu.command(Bytes{0xDE, 2, 1, 0}), (std::vector<Bytes>{{0xFF, 0x12}}));
  EXPECT_EQ(ecu.command(Bytes{0xDD, 1}), (std::vector<Bytes>{{0xFF}}));
  EXPECT_EQ(ecu.daqPackets(), (std::vector<Bytes>{{0x12, 0x22, 0x33}}));
}

}  // namespace
