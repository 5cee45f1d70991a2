// The 95xx card path in the test process, over the card library linked in and emulated cards below a /proc root of
// the test's own: the probe and its device table with the cards' PCI Express link, opening a card, a command's round
// trip through the rings, the read's wait, the board requests, and the bounds of what comes from the card.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "card_device_table.hpp"
#include "card_path_support.hpp"
#include "card_fixture.hpp"
#include "linked_pxi95xx_library.hpp"
#include "map_pxi95xx.hpp"
#include "pxi95xx_probe.hpp"
#include "qor_error_codes.h"

namespace qor::daemon {
namespace {

using ByteVector = emulator::Bytes;
using emulator::ReceivedFrame;
using emulator::Reply;

constexpr uint32_t kPxie9510 = 81;
constexpr uint32_t kPcie9510 = 78;
constexpr uint32_t kPortFrameRoom = 4096;
constexpr uint8_t kEcho = 0x42;

int32_t waitFails(uint8_t, uint32_t) { return QORPXI95XX_ERROR_NO_BOARD; }
int32_t readFails(uint8_t, void*, uint32_t*) { return QORPXI95XX_ERROR_LENGTH; }

// Files of this process open below the directory.
size_t openFilesBelow(const std::string& directory) {
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path(), error).string().starts_with(directory)) ++count;
  }
  return count;
}

class Pxi95xxPathTest : public pxi95xx::test::CardFixture {
protected:
  void SetUp() override {
    CardFixture::SetUp();
    device_.onCommand(kEcho, [](const ReceivedFrame& frame) { return Reply(frame.response(frame.parameters())); });
  }
  void TearDown() override {
    path_.reset();
    CardFixture::TearDown();
  }

  // A card of another model, with a firmware of its own.
  emulator::Card95xx& addModel(uint32_t hostType, uint16_t pciDeviceId) {
    devices_.push_back(std::make_unique<emulator::Device>(emulator::DeviceConfig{.hostType = hostType}));
    const auto number = static_cast<uint32_t>(cards_.size());
    cards_.push_back(std::make_unique<emulator::Card95xx>(*devices_.back(), root_, number,
                                                          emulator::Card95xxConfig{.pciDeviceId = pciDeviceId}));
    return *cards_.back();
  }

  PathStatus start() {
    connect();
    auto library = std::make_unique<test::LinkedPxi95xxLibrary>();
    library_ = library.get();
    path_ = makePxi95xxPath(std::move(library));
    return path_->start(settings_);
  }

  std::vector<CardDeviceRecord> listed() { return test::listedCards(*path_, kPxie9510); }

  PathStatus open(uint32_t hostType, uint32_t deviceNumber, std::unique_ptr<Device>& device) {
    return test::openCardPort(*path_, hostType, deviceNumber, device);
  }

  PathStatus boardRequest(uint32_t sub, uint32_t value, Device* device, ByteVector& data) {
    BoardRequest95xx request{{QOR_MSG_BOARD_REQUEST_95XX, 0, 0, 0, 16}, sub, value};
    data.assign(1024, 0xEE);
    uint32_t length = 0;
    const PathStatus status = path_->boardRequest(request, device, data, length);
    data.resize(length);
    return status;
  }

  // Reads until a frame comes (at most 2 s).
  static ByteVector readFrame(Device& device) {
    ByteVector frame(kPortFrameRoom);
    uint32_t length = 0;
    for (int attempt = 0; attempt < 20 && length == 0; ++attempt) {
      const PathStatus status = device.read(frame, length);
      EXPECT_TRUE(status.ok()) << status.text;
    }
    frame.resize(length);
    return frame;
  }

  static ByteVector command(uint8_t module, ByteVector parameters) {
    ByteVector frame = pxi95xx::test::commandFrame(kEcho, 12 + parameters.size());
    frame[10] = module;
    std::copy(parameters.begin(), parameters.end(), frame.begin() + 12);
    return frame;
  }

  std::vector<std::unique_ptr<emulator::Device>> devices_;
  PathSettings settings_;
  std::unique_ptr<AccessPath> path_;
  test::LinkedPxi95xxLibrary* library_ = nullptr;
};

// Configuration headers with a capability list, as the board record carries them.
struct LinkCase {
  const char* name;
  std::vector<std::pair<size_t, uint32_t>> dwords; // offset, value
  std::array<uint8_t, 4> link;
};

TEST(Pxi95xxLinkInformation, ComesFromThePciExpressCapabilityAndSurvivesBrokenLists) {
  const LinkCase cases[] = {
      {"no capability list", {}, {5, 0, 5, 0}},
      {"express capability second in the list",
       {{0x34, 0x40}, {0x40, 0x5001}, {0x50, 0x10}, {0x5C, 0x83}, {0x60, 0x42u << 16}},
       {3, 8, 2, 4}},
      {"unknown speed codes", {{0x34, 0x40}, {0x40, 0x10}, {0x4C, 0x40}, {0x50, 0x17u << 16}}, {5, 4, 5, 1}},
      {"a list that loops", {{0x34, 0x40}, {0x40, 0x4005}}, {5, 0, 5, 0}},
      {"a capability at the header's end", {{0x34, 0xFC}, {0xFC, 0x10}}, {5, 0, 5, 0}},
  };
  for (const LinkCase& test : cases) {
    std::vector<uint8_t> header(256);
    for (auto [offset, value] : test.dwords) std::memcpy(header.data() + offset, &value, 4);
    uint8_t link[4];
    pxi95xxLinkInformation(header, link);
    EXPECT_EQ(std::to_array(link), test.link) << test.name;
  }
}

TEST_F(Pxi95xxPathTest, CardsAreListedByModelWithTheirLink) {
  emulator::Card95xx& first = addCard(); // PXIe 9510, PCI device 0x9512
  addModel(kPcie9510, 0x9510);
  addCard();
  // The first card's PCI Express capability: 8 GT/s x8 at most, running at 5 GT/s x4.
  first.setConfigDword(0x34, 0x40);
  first.setConfigDword(0x40, 0x10);
  first.setConfigDword(0x4C, 0x83);
  first.setConfigDword(0x50, 0x42u << 16);
  ASSERT_TRUE(start().ok());
  const auto records = listed();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].hostInterfaceType, kPxie9510);
  EXPECT_EQ(records[0].communicationType, 8u); // PXIe
  EXPECT_EQ(records[0].deviceNumber, 1u);
  EXPECT_EQ(records[0].card, 0);
  EXPECT_EQ(records[0].deviceIdentifier, emulator::Card95xxConfig{}.serialNumber);
  EXPECT_EQ(std::to_array(records[0].pathSpecific), (std::array<uint8_t, 7>{3, 8, 2, 4, 0, 0, 0}));
  EXPECT_EQ(records[1].hostInterfaceType, kPcie9510);
  EXPECT_EQ(records[1].communicationType, 7u); // PCIe
  EXPECT_EQ(records[1].deviceNumber, 1u);
  EXPECT_EQ(records[1].card, 1);
  EXPECT_EQ(std::to_array(records[1].pathSpecific), (std::array<uint8_t, 7>{5, 0, 5, 0, 0, 0, 0}));
  EXPECT_EQ(records[2].hostInterfaceType, kPxie9510);
  EXPECT_EQ(records[2].deviceNumber, 2u);
  EXPECT_EQ(records[2].card, 2);
  EXPECT_EQ(records[2].position, 2u);
}

TEST_F(Pxi95xxPathTest, ACardWithoutAUsableAnswerFailsTheProbeAndIsLeftClosed) {
  addCard();
  connect();
  const size_t filesBefore = openFilesBelow(root_);
  auto library = std::make_unique<test::LinkedPxi95xxLibrary>();
  library->functions["QorPxi95xx_ReadRsp"] = reinterpret_cast<void*>(&readFails);
  library_ = library.get();
  path_ = makePxi95xxPath(std::move(library));
  const PathStatus status = path_->start(settings_);
  EXPECT_EQ(status.code, QOR_ERR_PXI95XX_READ);
  EXPECT_NE(status.text.find("transfer data mismatch"), std::string::npos) << status.text;
  EXPECT_TRUE(listed().empty());
  EXPECT_EQ(library_->references, 0);
  EXPECT_EQ(openFilesBelow(root_), filesBefore); // the card's channel files were closed again
}

TEST_F(Pxi95xxPathTest, WithoutLibraryOrCardsTheDaemonStartsWithAnEmptyTable) {
  ASSERT_TRUE(start().ok()); // no card: the library reports no board
  EXPECT_TRUE(listed().empty());
  EXPECT_EQ(library_->references, 0);

  path_.reset();
  auto missing = std::make_unique<test::LinkedPxi95xxLibrary>();
  missing->loadable = false;
  path_ = makePxi95xxPath(std::move(missing));
  EXPECT_TRUE(path_->start(settings_).ok());
  EXPECT_TRUE(listed().empty());
  std::unique_ptr<Device> device;
  EXPECT_EQ(open(kPxie9510, 1, device).code, QOR_ERR_SERVER_DEVICE_NOT_CONNECTED);
}

TEST_F(Pxi95xxPathTest, APortCarriesACommandRoundTripAndGivesTheLibraryBackAtItsClose) {
  addCard();
  ASSERT_TRUE(start().ok());
  std::unique_ptr<Device> device;
  ASSERT_TRUE(open(kPxie9510, 1, device).ok());
  EXPECT_EQ(device->properties.module, 0);
  EXPECT_EQ(device->properties.deviceIdentifier, emulator::Card95xxConfig{}.serialNumber);
  EXPECT_FALSE(device->properties.flushAfterOpen);
  EXPECT_EQ(library_->references, 2);

  const ByteVector parameters{1, 2, 3, 4, 5};
  ASSERT_TRUE(device->write(command(0, parameters)).ok());
  ByteVector frame = readFrame(*device);
  ASSERT_EQ(frame.size(), 12u + parameters.size());
  EXPECT_EQ(frame[8], QOR_FRAME_RESPONSE);
  EXPECT_EQ(frame[11], kEcho);
  EXPECT_EQ(ByteVector(frame.begin() + 12, frame.end()), parameters);

  // Nothing more: the read waits for the interrupt and comes back empty, without error.
  frame.resize(kPortFrameRoom);
  uint32_t length = 0;
  EXPECT_TRUE(device->read(frame, length).ok());
  EXPECT_EQ(length, 0u);

  device.reset();
  EXPECT_EQ(library_->references, 1);
}

TEST_F(Pxi95xxPathTest, TwoPortsOnOneCardShareItsOpeningUntilTheLastCloses) {
  addCard();
  ASSERT_TRUE(start().ok());
  std::unique_ptr<Device> first;
  std::unique_ptr<Device> second;
  ASSERT_TRUE(open(kPxie9510, 1, first).ok());
  ASSERT_TRUE(first->write(command(0, {7, 8})).ok());
  // The second open leaves the rings as they are: the answer to the first port's command still comes.
  ASSERT_TRUE(open(kPxie9510, 1, second).ok());
  first.reset();
  EXPECT_EQ(readFrame(*second).size(), 14u);
  ASSERT_TRUE(second->write(command(0, {9})).ok());
  EXPECT_EQ(readFrame(*second).size(), 13u);
}

TEST_F(Pxi95xxPathTest, AResponseLargerThanThePortsBufferIsAnErrorAndNothingBeyondItIsWritten) {
  emulator::Card95xx& card = addCard();
  ASSERT_TRUE(start().ok());
  std::unique_ptr<Device> device;
  ASSERT_TRUE(open(kPxie9510, 1, device).ok());
  ByteVector response = pxi95xx::test::commandFrame(kEcho, 600);
  response[8] = QOR_FRAME_RESPONSE;
  ASSERT_TRUE(card.writeResponse(response));
  ByteVector room(1024, 0xAA);
  uint32_t length = 0;
  const PathStatus status = device->read(Buffer(room.data(), 256), length);
  EXPECT_EQ(status.code, QOR_ERR_PXI95XX_READ);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(ByteVector(room.begin() + 256, room.end()), ByteVector(768, 0xAA));
}

TEST_F(Pxi95xxPathTest, AFailingInterruptWaitEndsThePortInsteadOfReadingNothing) {
  addCard();
  ASSERT_TRUE(start().ok());
  // The first open binds the library again: its wait now fails as for a card that has gone.
  library_->functions["QorPxi95xx_WaitForRsp"] = reinterpret_cast<void*>(&waitFails);
  std::unique_ptr<Device> device;
  ASSERT_TRUE(open(kPxie9510, 1, device).ok());
  ByteVector frame(kPortFrameRoom);
  uint32_t length = 0;
  const PathStatus status = device->read(frame, length);
  EXPECT_EQ(status.code, QOR_ERR_PXI95XX_READ);
  EXPECT_NE(status.text.find("no board found"), std::string::npos) << status.text;
  EXPECT_EQ(length, 0u);
}

TEST_F(Pxi95xxPathTest, BoardRequestsGiveResultTextsAndThePortsLink) {
  addCard();
  ASSERT_TRUE(start().ok());
  ByteVector data;
  ASSERT_TRUE(boardRequest(0, static_cast<uint32_t>(-30), nullptr, data).ok());
  EXPECT_EQ(data.size(), 24u);
  EXPECT_EQ(std::string(data.begin(), data.end()), "memory allocation failed");
  ASSERT_TRUE(boardRequest(0, 2, nullptr, data).ok());
  EXPECT_EQ(std::string(data.begin(), data.end()), std::strerror(2));
  ASSERT_TRUE(boardRequest(0, static_cast<uint32_t>(-7), nullptr, data).ok());
  EXPECT_EQ(std::string(data.begin(), data.end()), "unknown error");

  EXPECT_EQ(boardRequest(1, 0, nullptr, data).code, QOR_ERR_SERVER_DEVICE_NOT_CONNECTED);
  std::unique_ptr<Device> device;
  ASSERT_TRUE(open(kPxie9510, 1, device).ok());
  ASSERT_TRUE(boardRequest(1, 0, device.get(), data).ok());
  EXPECT_EQ(data, (ByteVector{5, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(boardRequest(2, 0, device.get(), data).code, QOR_ERR_PXI95XX_UNKNOWN_SUBFUNCTION);
}

} // namespace
} // namespace qor::daemon
