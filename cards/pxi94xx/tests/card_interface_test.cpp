// The card interface against emulated cards: opening, the rings in both directions with wrap-around, the monitor
// ring, built-in instructions, notifications and the information records.
#include <sys/mman.h>

#include "card_fixture.hpp"
#include "qor_test/syslog_capture.hpp"

namespace qor::pxi94xx::test {
namespace {

using namespace std::chrono_literals;
using emulator::Reply;

constexpr uint8_t kEcho = 0x42;

uint32_t wordAt(const uint8_t* bytes, size_t offset) {
  uint32_t value = 0;
  std::memcpy(&value, bytes + offset, 4);
  return value;
}

class CardInterfaceTest : public CardFixture {
 protected:
  // The card answers kEcho with the command's parameters.
  void echoCommands() {
    device_.onCommand(kEcho, [](const emulator::ReceivedFrame& frame) {
      return Reply(frame.response(frame.parameters()));
    });
  }
};

TEST_F(CardInterfaceTest, OpensEveryCardFoundAndChecksCardNumbers) {
  addCard({.deviceNumber = 0, .pciDeviceId = 0x9440});
  addCard({.deviceNumber = 1, .pciDeviceId = 0x9460});
  driver_.setVersion(7, 24, 3);
  ASSERT_EQ(Pxi94xx__Init(), 0u);

  uint8_t index = 0xFF;
  volatile uint8_t* bar0 = nullptr;
  PlxDeviceObject_t* device = nullptr;
  ASSERT_EQ(Pxi94xx__IsDeviceNumberValid(2, &index, &bar0, &device), 0u);
  EXPECT_EQ(index, 1);
  EXPECT_NE(bar0, nullptr);
  EXPECT_EQ(device->key.deviceId, 0x9460);
  EXPECT_EQ(Pxi94xx__IsDeviceNumberValid(3, &index, &bar0, &device), PXI94XX_ERROR_CARD_NOT_OPEN);
  EXPECT_EQ(Pxi94xx__IsDeviceNumberValid(0, &index, &bar0, &device), PXI94XX_ERROR_CARD_NUMBER);
  EXPECT_EQ(Pxi94xx__IsDeviceNumberValid(17, &index, &bar0, &device), PXI94XX_ERROR_CARD_NUMBER);

  uint8_t info[332];
  ASSERT_EQ(Pxi94xx__SystemInfoSpecial(info, sizeof info), 0u);
  EXPECT_EQ(wordAt(info, 0), PXI94XX_LIBRARY_VERSION);
  EXPECT_EQ(wordAt(info, 4), 7u * 100 + 24 * 10 + 3);
  EXPECT_EQ(wordAt(info, 8), 2u);
  EXPECT_EQ(wordAt(info, 12), 0x9440u);
  EXPECT_EQ(wordAt(info, 32), 0x9460u);
  EXPECT_EQ(Pxi94xx__SystemInfoSpecial(info, 12 + 2 * 20 - 1), PXI94XX_ERROR_BUFFER_TOO_SMALL);

  Pxi94xxMemoryProperties_t properties;
  EXPECT_EQ(Pxi94xx__MemoryProperties(1, &properties, nullptr), 0u);
  EXPECT_EQ(properties.size, PXI94XX_BAR0_SIZE);

  EXPECT_EQ(Pxi94xx__Close(), 0u);
  EXPECT_EQ(Pxi94xx__IsDeviceNumberValid(1, &index, &bar0, &device), PXI94XX_ERROR_NO_CARD);
}

TEST_F(CardInterfaceTest, WithoutDriverNodesThereIsNoCard) {
  qor::test::SyslogCapture log;
  EXPECT_EQ(Pxi94xx__Init(), static_cast<uint32_t>(PLX_STATUS_NO_DRIVER));
  EXPECT_TRUE(log.waitFor("Error can not open Driver '/dev/plx/Pxi94xx-0'", 2s));
  EXPECT_FALSE(log.contains("PlxSvc"));

  const Bytes frame = commandFrame(1, kEcho, 16);
  EXPECT_EQ(Pxi94xx__WriteInstruction(frame.data(), 16), PXI94XX_ERROR_NO_CARD);
  uint8_t info[12];
  EXPECT_EQ(Pxi94xx__SystemInfoSpecial(info, sizeof info), PXI94XX_ERROR_NO_CARD);
  EXPECT_EQ(wordAt(info, 0), PXI94XX_LIBRARY_VERSION);
  EXPECT_EQ(wordAt(info, 8), 0u);
}

TEST_F(CardInterfaceTest, SkipsADeviceWhoseWindowCannotHoldTheRings) {
  addCard({.deviceNumber = 0, .bar0Size = 0x400000});
  EXPECT_NE(Pxi94xx__Init(), 0u);
  uint8_t index = 0;
  EXPECT_EQ(Pxi94xx__IsDeviceNumberValid(1, &index, nullptr, nullptr), PXI94XX_ERROR_NO_CARD);
}

TEST_F(CardInterfaceTest, CommandReachesTheFirmwareAndItsAnswerComesBack) {
  echoCommands();
  emulator::Card94xx& card = addCard();
  ASSERT_EQ(Pxi94xx__Init(), 0u);

  const Bytes frame = commandFrame(1, kEcho, 23);  // a partial last dword
  ASSERT_EQ(Pxi94xx__WriteInstruction(frame.data(), 23), 0u);
  const Bytes answer = awaitResponse(1);
  ASSERT_EQ(answer.size(), 23u);
  EXPECT_EQ(answer[8], QOR_FRAME_RESPONSE);
  EXPECT_EQ(answer[11], kEcho);
  EXPECT_TRUE(std::equal(frame.begin() + 12, frame.end(), answer.begin() + 12));
  EXPECT_EQ(card.doorbells(), 1u);
  EXPECT_EQ(card.registerAt(PXI94XX_COMMAND_WRITE_INDEX), 6u);
  EXPECT_EQ(card.registerAt(PXI94XX_RESPONSE_READ_INDEX), card.registerAt(PXI94XX_RESPONSE_WRITE_INDEX));
}

TEST_F(CardInterfaceTest, WriteRefusesFramesWhoseLengthIsWrong) {
  addCard();
  ASSERT_EQ(Pxi94xx__Init(), 0u);
  const Bytes frame = commandFrame(1, kEcho, 20);
  EXPECT_EQ(Pxi94xx__WriteInstruction(frame.data(), 19), PXI94XX_ERROR_LENGTH_MISMATCH);
  EXPECT_EQ(Pxi94xx__WriteInstruction(frame.data(), 8), PXI94XX_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(Pxi94xx__WriteInstruction(nullptr, 20), PXI94XX_ERROR_INVALID_ARGUMENT);
  const Bytes otherCard = commandFrame(2, kEcho, 20);
  EXPECT_EQ(Pxi94xx__WriteInstruction(otherCard.data(), 20), PXI94XX_ERROR_CARD_NOT_OPEN);
}

TEST_F(CardInterfaceTest, FramesWrapAtTheRingEndsBothWays) {
  echoCommands();
  constexpr uint32_t kNearEnd = PXI94XX_COMMAND_RING_SIZE / 4 - 2;
  emulator::Card94xx& card = addCard({.firstRingIndex = kNearEnd});
  ASSERT_EQ(Pxi94xx__Init(), 0u);

  for (int round = 0; round < 3; ++round) {
    const Bytes frame = commandFrame(1, kEcho, 30 + round);
    ASSERT_EQ(Pxi94xx__WriteInstruction(frame.data(), static_cast<uint16_t>(frame.size())), 0u);
    const Bytes answer = awaitResponse(1);
    ASSERT_EQ(answer.size(), frame.size());
    EXPECT_TRUE(std::equal(frame.begin() + 12, frame.end(), answer.begin() + 12)) << "round " << round;
  }
  // Three frames of 8, 8 and 8 dwords from 2 before the end.
  EXPECT_EQ(card.registerAt(PXI94XX_COMMAND_WRITE_INDEX), 22u);
  EXPECT_EQ(card.registerAt(PXI94XX_RESPONSE_READ_INDEX), 22u);
  ASSERT_EQ(device_.recorder().frames().size(), 3u);
}

TEST_F(CardInterfaceTest, BlockReadTakesEveryWaitingFrameOnce) {
  emulator::Card94xx& card = addCard({.firstRingIndex = PXI94XX_MONITOR_RING_SIZE / 4 - 3});
  ASSERT_EQ(Pxi94xx__Init(), 0u);
  const Bytes frames[] = {commandFrame(1, 1, 13), commandFrame(1, 2, 40), commandFrame(1, 3, 12)};
  for (const Bytes& frame : frames) {
    ASSERT_TRUE(card.writeMonitor(frame));
    ASSERT_TRUE(card.writeResponse(frame));
  }
  const Bytes expected = [&] {
    Bytes all;
    for (const Bytes& frame : frames) all.insert(all.end(), frame.begin(), frame.end());
    return all;
  }();

  std::vector<uint8_t> monitor(PXI94XX_MONITOR_RING_SIZE);
  uint32_t total = 0, count = 0;
  ASSERT_EQ(Pxi94xx__ReadMonitor(1, monitor.data(), &total, &count), 0u);
  EXPECT_EQ(count, 3u);
  ASSERT_EQ(total, expected.size());
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), monitor.begin()));
  ASSERT_EQ(Pxi94xx__ReadMonitor(1, monitor.data(), &total, &count), 0u);
  EXPECT_EQ(count, 0u);

  std::vector<uint8_t> responses(PXI94XX_RESPONSE_RING_SIZE);
  ASSERT_EQ(Pxi94xx__ReadResponseBlock(1, responses.data(), &total, &count), 0u);
  EXPECT_EQ(count, 3u);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), responses.begin()));
}

TEST_F(CardInterfaceTest, InterruptNotificationWakesTheWaiter) {
  echoCommands();
  addCard();
  ASSERT_EQ(Pxi94xx__Init(), 0u);
  PlxDeviceObject_t* device = nullptr;
  ASSERT_EQ(Pxi94xx__IsDeviceNumberValid(1, nullptr, nullptr, &device), 0u);
  const uint8_t flags = 1;
  Pxi94xxNotification_t notification{};
  ASSERT_EQ(Pxi94xx__NotificationInit(device, &flags, &notification), 0u);
  EXPECT_EQ(notification.tag, PLX_TAG_VALID);

  EXPECT_EQ(Pxi94xx__NotificationWait(device, &notification, 50), 13u);  // nothing happened
  ASSERT_EQ(Pxi94xx__SetInterruptSource(1), 0u);
  const Bytes frame = commandFrame(1, kEcho, 16);
  ASSERT_EQ(Pxi94xx__WriteInstruction(frame.data(), 16), 0u);
  EXPECT_EQ(Pxi94xx__NotificationWait(device, &notification, 2000), 0u);
  EXPECT_EQ(awaitResponse(1).size(), 16u);

  EXPECT_EQ(Pxi94xx__NotificationWait(nullptr, &notification, 10), PXI94XX_ERROR_DEVICE_OBJECT);
  EXPECT_EQ(Pxi94xx__NotificationInit(nullptr, &flags, &notification), PXI94XX_ERROR_DEVICE_OBJECT);
  EXPECT_EQ(Pxi94xx__NotificationWait(device, nullptr, 10), PXI94XX_ERROR_INVALID_ARGUMENT);
  ASSERT_EQ(Pxi94xx__NotificationCancel(device, &notification), 0u);
  EXPECT_EQ(notification.tag, PLX_TAG_INVALID);
  EXPECT_EQ(Pxi94xx__NotificationWait(device, &notification, 10), PXI94XX_ERROR_NOTIFICATION);
}

// Built-in instructions: what the card answers and what the caller gets.
struct InstructionCase {
  const char* name;
  std::function<Reply(const emulator::ReceivedFrame&)> answer;
  uint32_t expected;
};

class BuiltInInstructionTest : public CardFixture, public ::testing::WithParamInterface<InstructionCase> {};

Bytes withCommand(Bytes frame, uint8_t command) {
  frame[11] = command;
  return frame;
}

Bytes fpgaValue(const emulator::ReceivedFrame& frame) {
  return frame.response(Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x34, 0x56, 0x78});
}

TEST_P(BuiltInInstructionTest, FpgaReadTakesTheFirstAnswer) {
  device_.onCommand(11, GetParam().answer);
  addCard();
  ASSERT_EQ(Pxi94xx__Init(), 0u);
  uint32_t value = 0xFFFFFFFF;
  EXPECT_EQ(Pxi94xx__FpgaReadData(1, 1, 3, &value), GetParam().expected);
  EXPECT_EQ(value, GetParam().expected == 0 ? 0x12345678u : 0u);
  const auto frames = device_.recorder().frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].parameterWord(0), 0x1000000u + 3 * 4);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, BuiltInInstructionTest,
    ::testing::Values(
        InstructionCase{"value", fpgaValue, 0},
        InstructionCase{"acknowledge", [](const auto& frame) { return Reply(frame.acknowledge()); },
                        PXI94XX_ERROR_ACKNOWLEDGE},
        InstructionCase{"other_command", [](const auto& frame) { return Reply(withCommand(fpgaValue(frame), 12)); },
                        PXI94XX_ERROR_BAD_ANSWER},
        InstructionCase{"too_short", [](const auto& frame) { return Reply(frame.response(Bytes{1, 2})); },
                        PXI94XX_ERROR_BAD_ANSWER},
        InstructionCase{"silence", [](const auto&) { return Reply(); }, PXI94XX_ERROR_NO_ANSWER}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(CardInterfaceTest, EepromReadCopiesNoMoreThanTheAnswerCarries) {
  // The answer claims 200 bytes of data but carries 8.
  device_.onCommand(12, [](const emulator::ReceivedFrame& frame) {
    Bytes data(12 + 8, 0xAB);
    data[0] = 0;  // sub-function echo
    data[8] = 200;
    data[9] = 0;
    return Reply(frame.response(data));
  });
  addCard();
  ASSERT_EQ(Pxi94xx__Init(), 0u);
  uint8_t buffer[64];
  std::memset(buffer, 0xEE, sizeof buffer);
  ASSERT_EQ(Pxi94xx__EepromReadData(1, 0, 0, 32, buffer), 0u);
  EXPECT_EQ(buffer[7], 0xAB);
  EXPECT_EQ(buffer[8], 0);   // zeroed, not read beyond the answer
  EXPECT_EQ(buffer[31], 0);
  EXPECT_EQ(buffer[32], 0xEE);
  EXPECT_EQ(Pxi94xx__EepromReadData(1, 0, 0, 257, buffer), PXI94XX_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(buffer[40], 0xEE);  // checked before anything is zeroed
  EXPECT_EQ(Pxi94xx__EepromReadData(1, 0, 256, 1, buffer), PXI94XX_ERROR_INVALID_ARGUMENT);
}

TEST_F(CardInterfaceTest, WriteProtectionSendsTheActionsSubFunction) {
  device_.onCommand(12, [](const emulator::ReceivedFrame& frame) {
    Bytes data(6, 0);
    data[0] = frame.parameters()[0];
    data[5] = 0;  // byte 17: not protected
    return Reply(frame.response(data));
  });
  addCard();
  ASSERT_EQ(Pxi94xx__Init(), 0u);
  uint8_t state = 0xFF;
  ASSERT_EQ(Pxi94xx__HandlingWriteProtection(1, 2, 9, &state), 0u);
  EXPECT_EQ(state, 0);
  ASSERT_EQ(device_.recorder().frames().size(), 1u);
  EXPECT_EQ(device_.recorder().frames()[0].parameters()[0], 4);
  EXPECT_EQ(Pxi94xx__HandlingWriteProtection(1, 3, 0, &state), PXI94XX_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(Pxi94xx__HandlingWriteProtection(1, 0, 10, &state), PXI94XX_ERROR_INVALID_ARGUMENT);
}

TEST_F(CardInterfaceTest, FpgaWriteSendsTheValueBigEndian) {
  addCard();
  ASSERT_EQ(Pxi94xx__Init(), 0u);
  ASSERT_EQ(Pxi94xx__FpgaWriteData(1, 0, 5, 0x11223344), 0u);  // the built-in acknowledge
  const auto frames = device_.recorder().frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].header().requestKind, QOR_REQUEST_ACKNOWLEDGE);
  EXPECT_EQ(frames[0].parameterWord(0), 20u);
  EXPECT_EQ(frames[0].parameterWord(12), 0x44332211u);
}

}  // namespace
}  // namespace qor::pxi94xx::test
