// The 95xx card path end to end: the daemon as a process finds emulated cards of two models at start (its card
// library over the emulated driver, the cards played here below their /proc root), lists them, and serves ports of
// this process's library on them: commands and their answers through the cards' rings, across the processes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "QorPxi95xx_API.h"
#include "card_path_support.hpp"
#include "qor_api.h"
#include "qor_emulator/card95xx.hpp"
#include "qor_test/daemon_process.hpp"

namespace qor::daemon {
namespace {

using emulator::Bytes;
using emulator::Card95xx;
using emulator::ReceivedFrame;
using emulator::Reply;

constexpr uint32_t kPxie9510 = 81;
constexpr uint32_t kPcie9510 = 78;
constexpr uint32_t kPxieSerial = 0x95000011;
constexpr uint32_t kPcieSerial = 0x95000022;
constexpr uint32_t kDriverVersion = 2019 * 100 + 1 * 10 + 9; // the emulated driver's 2019.1.9
constexpr uint8_t kEcho = 0x42;

class Cards95xxEndToEnd : public ::testing::Test {
protected:
  void SetUp() override {
    std::filesystem::create_directories(Card95xx::kSandboxProcRoot);
    addCard(kPxie9510, {.pciDeviceId = 0x9512, .serialNumber = kPxieSerial});
    addCard(kPcie9510, {.pciDeviceId = 0x9510, .serialNumber = kPcieSerial});
    // The daemon loads the card library by name: this one reaches the cards through the emulated driver.
    setenv("LD_LIBRARY_PATH", PXI95XX_OVER_EMULATED_DRIVER, 1);
    daemon_ = std::make_unique<qor::test::DaemonProcess>(QORAPID_PROGRAM);
    ASSERT_TRUE(qor::test::connectLibraryToDaemon());
  }

  void TearDown() override {
    for (uint32_t port = 0; port < QOR_MAX_PORTS; ++port) Qor_CloseInterface(port);
    daemon_.reset();
    cards_.clear();
  }

  void addCard(uint32_t hostType, emulator::Card95xxConfig config) {
    devices_.push_back(std::make_unique<emulator::Device>(emulator::DeviceConfig{.hostType = hostType}));
    devices_.back()->onCommand(kEcho, [](const ReceivedFrame& frame) { return Reply(frame.response(frame.parameters())); });
    const auto number = static_cast<uint32_t>(cards_.size());
    cards_.push_back(std::make_unique<Card95xx>(*devices_.back(), Card95xx::kSandboxProcRoot, number, config));
  }

  static void expectEcho(uint32_t port, const Bytes& parameters) {
    Bytes response(parameters.size() + 16);
    auto size = static_cast<uint32_t>(response.size());
    ASSERT_EQ(Qor_CommandWithResponse(port, kEcho, parameters.data(), static_cast<uint32_t>(parameters.size()),
                                      response.data(), &size),
              0u)
        << Qor_GetLastErrorDescription();
    response.resize(size);
    EXPECT_EQ(response, parameters);
  }

  std::vector<std::unique_ptr<emulator::Device>> devices_;
  std::vector<std::unique_ptr<Card95xx>> cards_;
  std::unique_ptr<qor::test::DaemonProcess> daemon_;
};

TEST_F(Cards95xxEndToEnd, TheDaemonListsTheCardsItFoundAtStart) {
  uint8_t table[CardDeviceTable::kHeaderSize + 4 * sizeof(CardDeviceRecord)];
  uint32_t size = sizeof table;
  ASSERT_EQ(Qor_GetDriverInfo(kPxie9510, table, &size), 0u) << Qor_GetLastErrorDescription();
  ASSERT_EQ(size, CardDeviceTable::kHeaderSize + 2 * sizeof(CardDeviceRecord));
  uint32_t header[3];
  std::memcpy(header, table, sizeof header);
  EXPECT_EQ(header[0], QORPXI95XX_LIBRARY_VERSION);
  EXPECT_EQ(header[1], kDriverVersion);
  EXPECT_EQ(header[2], 2u);
  CardDeviceRecord records[2];
  std::memcpy(records, table + CardDeviceTable::kHeaderSize, sizeof records);
  EXPECT_EQ(records[0].hostInterfaceType, kPxie9510);
  EXPECT_EQ(records[0].communicationType, 8u); // PXIe
  EXPECT_EQ(records[0].deviceNumber, 1u);
  EXPECT_EQ(records[0].deviceIdentifier, kPxieSerial);
  EXPECT_EQ(records[0].card, 0);
  EXPECT_EQ(records[1].hostInterfaceType, kPcie9510);
  EXPECT_EQ(records[1].communicationType, 7u); // PCIe
  EXPECT_EQ(records[1].deviceNumber, 1u);
  EXPECT_EQ(records[1].deviceIdentifier, kPcieSerial);
  EXPECT_EQ(records[1].card, 1);
}

TEST_F(Cards95xxEndToEnd, PortsOnBothCardsCarryCommandRoundTrips) {
  const uint32_t pxie = daemon::test::openCardThroughLibrary(kPxie9510);
  const uint32_t pcie = daemon::test::openCardThroughLibrary(kPcie9510);
  ASSERT_NE(pxie, QOR_NO_PORT);
  ASSERT_NE(pcie, QOR_NO_PORT);
  // Small and large parameters, alternating between the cards; every answer waits on its card's interrupt.
  for (const size_t length : {size_t{1}, size_t{5}, size_t{1000}, size_t{4000}}) {
    Bytes parameters(length);
    for (size_t i = 0; i < length; ++i) parameters[i] = static_cast<uint8_t>(i * 7 + length);
    expectEcho(pxie, parameters);
    expectEcho(pcie, parameters);
  }
  for (uint8_t round = 0; round < 50; ++round) expectEcho(round % 2 == 0 ? pxie : pcie, Bytes{round, 1, 2});
  EXPECT_EQ(Qor_CloseInterface(pxie), 0u);
  expectEcho(pcie, Bytes{9}); // the other card's port goes on
}

} // namespace
} // namespace qor::daemon
