// The 94xx card path in the test process, over the card library linked in and emulated cards behind the emulated
// bridge driver: the probe and its device table, opening a card, the read's waits and the bounds of every length
// that comes from card memory.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "card_device_table.hpp"
#include "card_path_support.hpp"
#include "Pxi94xx.h"
#include "driver_request.hpp"
#include "map_pxi94xx.hpp"
#include "qor_emulator/card94xx.hpp"
#include "qor_emulator/plx_driver.hpp"
#include "qor_error_codes.h"
#include "qor_shared/host_types.hpp"
#include "qor_test/syslog_capture.hpp"

namespace qor::daemon {
namespace {

using emulator::Bytes;
using emulator::Card94xxIdentification;
using emulator::ReceivedFrame;
using emulator::Reply;
using namespace std::chrono_literals;

constexpr uint32_t kPxi9440 = 24;
constexpr uint32_t kPci9440 = 49;
constexpr uint32_t kPortFrameRoom = 4096; // the frame room the daemon gives a port of these models
constexpr uint8_t kEcho = 0x42;

// Versions a replaced system information reports.
uint32_t reportedLibraryVersion = PXI94XX_LIBRARY_VERSION;
uint32_t reportedDriverVersion = 724;
uint32_t systemInfoWithVersions(uint8_t* buffer, uint32_t length) {
  const uint32_t code = Pxi94xx__SystemInfoSpecial(buffer, length);
  std::memcpy(buffer, &reportedLibraryVersion, 4);
  std::memcpy(buffer + 4, &reportedDriverVersion, 4);
  return code;
}

// The card library of this process, found by name as the loaded one would be.
class LinkedLibrary final : public LoadedLibrary {
public:
  LinkedLibrary() {
    functions_ = {
        {"Pxi94xx__SystemInfoSpecial", reinterpret_cast<void*>(&Pxi94xx__SystemInfoSpecial)},
        {"Pxi94xx__WriteInstruction", reinterpret_cast<void*>(&Pxi94xx__WriteInstruction)},
        {"Pxi94xx__ReadResponse", reinterpret_cast<void*>(&Pxi94xx__ReadResponse)},
        {"Pxi94xx__FpgaReadData", reinterpret_cast<void*>(&Pxi94xx__FpgaReadData)},
        {"Pxi94xx__NotificationInit", reinterpret_cast<void*>(&Pxi94xx__NotificationInit)},
        {"Pxi94xx__NotificationWait", reinterpret_cast<void*>(&Pxi94xx__NotificationWait)},
        {"Pxi94xx__NotificationCancel", reinterpret_cast<void*>(&Pxi94xx__NotificationCancel)},
        {"Pxi94xx__SetInterruptSource", reinterpret_cast<void*>(&Pxi94xx__SetInterruptSource)},
        {"Pxi94xx__IsDeviceNumberValid", reinterpret_cast<void*>(&Pxi94xx__IsDeviceNumberValid)},
    };
  }
  std::map<std::string, void*> functions_;
  bool loadable = true;

  bool load() override { return loadable; }
  void* find(const char* name) override {
    const auto found = functions_.find(name);
    return found != functions_.end() ? found->second : nullptr;
  }
  void unload() override {}
  std::string error() const override { return loadable ? "no such function" : "cannot open shared object file"; }
  const char* fileName() const override { return "libPxi94xx.so"; }
};

// A card of one model with its own firmware.
struct EmulatedCard {
  std::unique_ptr<emulator::Device> device;
  std::unique_ptr<emulator::Card94xx> card;
};

class Pxi94xxPathTest : public ::testing::Test {
protected:
  void SetUp() override { pxi94xx::setDriverRequestFunction(emulator::PlxDriver::request); }
  void TearDown() override {
    path_.reset();
    Pxi94xx__Close();
    pxi94xx::setDriverRequestFunction(nullptr);
    reportedLibraryVersion = PXI94XX_LIBRARY_VERSION;
    reportedDriverVersion = 724;
  }

  // Card number deviceNumber + 1 of the model, answering the identification as given.
  emulator::Device& addCard(uint32_t hostType, Card94xxIdentification identification, uint16_t pciDeviceId = 0x9440) {
    auto device = std::make_unique<emulator::Device>(
        emulator::DeviceConfig{.serialNumber = identification.identifier, .hostType = hostType});
    emulator::answerIdentification(*device, identification);
    const auto deviceNumber = static_cast<uint16_t>(cards_.size());
    auto card = std::make_unique<emulator::Card94xx>(
        *device, emulator::Card94xxConfig{.deviceNumber = deviceNumber, .pciDeviceId = pciDeviceId});
    driver_.addCard(*card);
    cards_.push_back({std::move(device), std::move(card)});
    return *cards_.back().device;
  }

  PathStatus start() {
    Pxi94xx__Init();
    auto library = std::make_unique<LinkedLibrary>();
    library_ = library.get();
    path_ = makePxi94xxPath(std::move(library));
    return path_->start(settings_);
  }

  std::vector<CardDeviceRecord> listed() { return test::listedCards(*path_, kPxi9440); }

  PathStatus open(uint32_t hostType, uint32_t deviceNumber, std::unique_ptr<Device>& device) {
    return test::openCardPort(*path_, hostType, deviceNumber, device);
  }

  // Reads until a frame comes (at most 2 s).
  static Bytes readFrame(Device& device) {
    Bytes frame(kPortFrameRoom);
    for (int attempt = 0; attempt < 20; ++attempt) {
      uint32_t length = 0;
      const PathStatus status = device.read(frame, length);
      EXPECT_TRUE(status.ok()) << status.text;
      if (length != 0) return Bytes(frame.begin(), frame.begin() + length);
    }
    return {};
  }

  static Bytes command(uint8_t card, uint8_t commandByte, Bytes parameters) {
    FirmwareMessageHeader header{QOR_FRAME_MARKER, QOR_REQUEST_NO_ACKNOWLEDGE,
                                 static_cast<uint16_t>(12 + parameters.size()), 1, 1, 0, 0, QOR_FRAME_COMMAND, 3, card,
                                 commandByte};
    Bytes frame(sizeof header);
    std::memcpy(frame.data(), &header, sizeof header);
    frame.insert(frame.end(), parameters.begin(), parameters.end());
    return frame;
  }

  emulator::PlxDriver driver_;
  std::vector<EmulatedCard> cards_;
  PathSettings settings_;
  std::unique_ptr<AccessPath> path_;
  LinkedLibrary* library_ = nullptr;
};

TEST_F(Pxi94xxPathTest, CardsOfOneModelAreNumberedByTheirFpgaPosition) {
  addCard(kPxi9440, {.identifier = 1001, .position = 5, .fpgaValue = 0x3412});
  addCard(kPxi9440, {.identifier = 1002, .position = 2, .fpgaValue = 0x7856});
  addCard(kPci9440, {.identifier = 2001, .position = 1}, 0x9441);
  ASSERT_TRUE(start().ok());
  const auto records = listed();
  ASSERT_EQ(records.size(), 3u);
  // By position within the model: card 2 (position 2) first.
  EXPECT_EQ(records[0].card, 2);
  EXPECT_EQ(records[0].deviceNumber, 1u);
  EXPECT_EQ(records[0].deviceIdentifier, 1002u);
  EXPECT_EQ(records[0].position, 2u);
  EXPECT_EQ(records[0].fpgaValue, 0x5678u); // the register's two bytes swapped
  EXPECT_EQ(records[0].hostInterfaceType, kPxi9440);
  EXPECT_EQ(records[0].communicationType, 1u); // PXI
  EXPECT_EQ(records[1].card, 1);
  EXPECT_EQ(records[1].deviceNumber, 2u);
  EXPECT_EQ(records[1].position, 5u);
  // The other model counts its cards from 1 again.
  EXPECT_EQ(records[2].card, 3);
  EXPECT_EQ(records[2].deviceNumber, 1u);
  EXPECT_EQ(records[2].hostInterfaceType, kPci9440);
  EXPECT_EQ(records[2].communicationType, 2u); // PCI
}

TEST_F(Pxi94xxPathTest, ACardThatReportsNoPositionIsNotAskedForIt) {
  emulator::Device& device = addCard(kPxi9440, {.identifier = 7, .reportsPosition = false, .position = 9});
  ASSERT_TRUE(start().ok());
  const auto records = listed();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].position, 0u);
  EXPECT_EQ(records[0].fpgaValue, 0u);
  EXPECT_FALSE(device.recorder().waitForCommand(0x0B, 0ms));
}

TEST_F(Pxi94xxPathTest, ACardOfAnUnknownModelIsLeftOut) {
  addCard(kPxi9440, {.identifier = 1});
  emulator::Device& foreign = addCard(kPxi9440, {.identifier = 2});
  foreign.onCommand(0xFF, [](const ReceivedFrame& frame) {
    Bytes identity(40, 0);
    identity[28] = 0x33; // no 94xx model has this code
    return Reply(frame.response(identity));
  });
  ASSERT_TRUE(start().ok());
  const auto records = listed();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].deviceIdentifier, 1u);
}

// The identification reads its answers with room for any frame, and reads nothing the answer does not carry.
TEST_F(Pxi94xxPathTest, IdentificationAnswersAreBoundedByWhatTheCardWrote) {
  struct Case {
    const char* name;
    size_t identityDataBytes;
    bool listed;
  };
  for (const Case& c : {Case{"longer than 256 bytes", 3000, true}, Case{"too short for the device code", 20, false}}) {
    SCOPED_TRACE(c.name);
    emulator::Device& device = addCard(kPxi9440, {.identifier = 5});
    device.onCommand(0xFF, [&c](const ReceivedFrame& frame) {
      Bytes identity(c.identityDataBytes, 0xA5);
      if (identity.size() >= 32) std::memcpy(identity.data() + 28, "\x24\x00\x00\x00", 4);
      return Reply(frame.response(identity));
    });
    const PathStatus status = start();
    EXPECT_EQ(status.code, c.listed ? 0u : QOR_ERR_PXI94XX_READ) << status.text;
    EXPECT_EQ(listed().size(), c.listed ? 1u : 0u);
    TearDown();
    cards_.clear();
    SetUp();
  }
}

TEST_F(Pxi94xxPathTest, ASilentCardEndsTheProbeAndTheCardsBeforeItStay) {
  addCard(kPxi9440, {.identifier = 1, .position = 1});
  addCard(kPxi9440, {.identifier = 2, .position = 2}).onCommand(0xFF, [](const ReceivedFrame&) { return Reply(); });
  const PathStatus status = start();
  EXPECT_EQ(status.code, QOR_ERR_PXI94XX_READ);
  const auto records = listed();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].deviceIdentifier, 1u);
}

TEST_F(Pxi94xxPathTest, TheLibraryAndDriverVersionsAreChecked) {
  struct Case {
    uint32_t library, driver, code;
  };
  for (const Case& c : {Case{101, 724, QOR_ERR_PXI94XX_LIBRARY_VERSION}, Case{102, 100, QOR_ERR_PXI94XX_DRIVER_VERSION},
                        Case{102, 101, 0}}) {
    addCard(kPxi9440, {.identifier = 1});
    reportedLibraryVersion = c.library;
    reportedDriverVersion = c.driver;
    Pxi94xx__Init();
    auto library = std::make_unique<LinkedLibrary>();
    library->functions_["Pxi94xx__SystemInfoSpecial"] = reinterpret_cast<void*>(&systemInfoWithVersions);
    path_ = makePxi94xxPath(std::move(library));
    EXPECT_EQ(path_->start(settings_).code, c.code) << c.library << " " << c.driver;
    TearDown();
    cards_.clear();
    SetUp();
  }
}

TEST_F(Pxi94xxPathTest, WithoutTheLibraryOrOneOfItsFunctionsNoCardIsListed) {
  addCard(kPxi9440, {.identifier = 1});
  Pxi94xx__Init();
  auto library = std::make_unique<LinkedLibrary>();
  library->loadable = false;
  path_ = makePxi94xxPath(std::move(library));
  EXPECT_TRUE(path_->start(settings_).ok()); // a host without the library still starts
  EXPECT_TRUE(listed().empty());

  library = std::make_unique<LinkedLibrary>();
  library->functions_.erase("Pxi94xx__NotificationWait");
  path_ = makePxi94xxPath(std::move(library));
  EXPECT_EQ(path_->start(settings_).code, QOR_ERR_PXI94XX_FUNCTION_ADDRESS);
  EXPECT_TRUE(listed().empty());
}

TEST_F(Pxi94xxPathTest, WithoutTheNodeDirectoryThePathOffersNothing) {
  EXPECT_EQ(start().code, PXI94XX_ERROR_NO_CARD);
  EXPECT_TRUE(listed().empty());
  EXPECT_TRUE(qor::test::SyslogCapture().waitFor("Qor_Map_Pxi94xx_Init : No Pxi94xx device found", 2s));
  std::unique_ptr<Device> device;
  EXPECT_EQ(open(kPxi9440, 1, device).code, QOR_ERR_SERVER_DEVICE_NOT_CONNECTED);
}

TEST_F(Pxi94xxPathTest, TheListMustFitWhole) {
  addCard(kPxi9440, {.identifier = 1});
  addCard(kPxi9440, {.identifier = 2});
  ASSERT_TRUE(start().ok());
  std::vector<uint8_t> out(12 + 32 * 2 - 1);
  uint32_t written = 99;
  EXPECT_EQ(path_->driverInfo(kPxi9440, out, written, {}).code, QOR_ERR_SERVER_RESPONSE_BUFFER_TOO_SMALL);
  EXPECT_EQ(written, 0u);
}

TEST_F(Pxi94xxPathTest, AnOpenCardCarriesCommandsAndAnswersAndWaitsBoundedly) {
  emulator::Device& firmware = addCard(kPxi9440, {.identifier = 4711});
  firmware.onCommand(kEcho, [](const ReceivedFrame& frame) { return Reply(frame.response(frame.parameters())); });
  ASSERT_TRUE(start().ok());
  cards_[0].card->writeResponse(command(1, 0x77, {1, 2, 3, 4})); // stale: the open flushes it
  std::unique_ptr<Device> device;
  EXPECT_EQ(open(kPxi9440, 2, device).code, QOR_ERR_SERVER_DEVICE_NOT_CONNECTED);
  const PathStatus opened = open(kPxi9440, 1, device);
  ASSERT_TRUE(opened.ok()) << opened.text;
  EXPECT_EQ(device->properties.module, 1);
  EXPECT_EQ(device->properties.deviceIdentifier, 4711u);
  EXPECT_TRUE(device->properties.flushAfterOpen);

  // Nothing waiting: the read waits for the interrupt at most about 100 ms and reports nothing, no failure.
  Bytes frame(kPortFrameRoom);
  uint32_t length = 1;
  const auto before = std::chrono::steady_clock::now();
  ASSERT_TRUE(device->read(frame, length).ok());
  EXPECT_EQ(length, 0u);
  EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);

  ASSERT_TRUE(device->write(command(1, kEcho, {9, 8, 7})).ok());
  const Bytes answer = readFrame(*device);
  ASSERT_EQ(answer.size(), 15u);
  EXPECT_EQ(answer[8], QOR_FRAME_RESPONSE);
  EXPECT_EQ(answer[11], kEcho);
  EXPECT_EQ(Bytes(answer.begin() + 12, answer.end()), (Bytes{9, 8, 7}));
  // A frame for a card that is not there is the library's failure.
  EXPECT_EQ(device->write(command(9, kEcho, {})).code, QOR_ERR_PXI94XX_WRITE);
}

TEST_F(Pxi94xxPathTest, AResponseLongerThanThePortsBufferIsAnErrorNotAnOverflow) {
  addCard(kPxi9440, {.identifier = 1});
  ASSERT_TRUE(start().ok());
  std::unique_ptr<Device> device;
  ASSERT_TRUE(open(kPxi9440, 1, device).ok());
  cards_[0].card->writeResponse(command(1, 0x50, Bytes(6000, 0x11)));
  std::vector<uint8_t> room(kPortFrameRoom + 16, 0xEE);
  uint32_t length = 0;
  const PathStatus status = device->read(std::span(room).first(kPortFrameRoom), length);
  EXPECT_EQ(status.code, QOR_ERR_PXI94XX_READ);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(room[kPortFrameRoom], 0xEE);
  // The ring goes on: the next frame is read.
  cards_[0].card->writeResponse(command(1, 0x51, {1}));
  EXPECT_EQ(readFrame(*device).size(), 13u);
}

} // namespace
} // namespace qor::daemon
