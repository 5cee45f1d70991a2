// The receive FIFOs from the library through the daemon to an emulated Ethernet controller: configuration and
// deletion byte-exact, reads of scripted answers that stop at every awkward place (buffer full, frame count, a frame
// over two answers, a failed exchange, an empty answer that claims more) without losing or cutting a frame, and
// frames sent over an emulated link read back whole.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ethernet_road.hpp"
#include "qor_emulator/ethernet_rx_fifo_firmware.hpp"
#include "qor_ethernet_rx_fifo.h"

namespace qor::test {
namespace {

constexpr uint8_t kRxFifo = 0x27;
constexpr uint32_t kFifo = 7;

Bytes frameOf(size_t length, uint8_t seed) {
  Bytes frame(length);
  for (size_t index = 0; index < length; ++index) frame[index] = static_cast<uint8_t>(seed + index * 3);
  return frame;
}

// A read answer: count fragments, the backlog, then the fragments {u16 length, u8 0, u8 continues, data}.
struct Fragment {
  Bytes data;
  bool continues = false;
};
Bytes readAnswer(uint32_t backlog, const std::vector<Fragment>& fragments) {
  Record answer;
  answer.u32(2).u32(static_cast<uint32_t>(fragments.size())).u32(backlog);
  Bytes bytes = answer;
  for (const Fragment& fragment : fragments) {
    const Bytes head = Record().u16(static_cast<uint16_t>(fragment.data.size())).u8(0).u8(fragment.continues ? 1 : 0);
    bytes.insert(bytes.end(), head.begin(), head.end());
    bytes.insert(bytes.end(), fragment.data.begin(), fragment.data.end());
  }
  return bytes;
}

struct ReadResult {
  uint32_t code = 0;
  std::vector<Bytes> frames;
  uint32_t remaining = 0;
};

// One read with a buffer of capacity bytes; the frames come out of the entries, each entry's head checked.
ReadResult readOnce(uint32_t port, uint32_t capacity, uint32_t maxFrames = 0, uint32_t fifo = kFifo) {
  Bytes buffer(capacity, 0xAA);
  uint32_t count = maxFrames, size = capacity;
  ReadResult result;
  result.remaining = 0xDEAD;
  result.code = Qor_Ethernet_RxFifo_Read(port, 0, fifo, &count, &size, &result.remaining, buffer.data());
  if (result.code != 0) return result;
  size_t offset = 0;
  for (uint32_t frame = 0; frame < count; ++frame) {
    Qor_Ethernet_RxFifo_FrameHead_t head;
    std::memcpy(&head, buffer.data() + offset, sizeof head);
    EXPECT_EQ(head.entrySize, (8u + head.dataLength + 3) & ~3u);
    EXPECT_EQ(head.reserved, 0);
    result.frames.emplace_back(buffer.begin() + offset + 8, buffer.begin() + offset + 8 + head.dataLength);
    offset += head.entrySize;
  }
  EXPECT_EQ(offset, size);
  return result;
}

class RxFifoRoad : public EthernetRoad {
 protected:
  // Configures FIFO kFifo on port_ through the table.
  void configure() {
    device_->expect(kRxFifo, Record().u32(0).u32(0).u32(0).u32(0).u32(0).u16(0).u16(0))
        .answer(Record().u32(0).u32(kFifo));
    const Qor_Ethernet_RxFifo_Configuration_t configuration{};
    uint32_t id = 0;
    ASSERT_EQ(Qor_Ethernet_RxFifo_Config(port_, &configuration, &id), 0u) << lastText();
    ASSERT_EQ(id, kFifo);
  }
  void expectRead(Bytes answer) {
    device_->expect(kRxFifo, Record().u32(2).u32(kFifo).u32(0)).answer(std::move(answer));
  }
};

TEST_F(RxFifoRoad, ConfigurationAndDeletionGoOutByteExact) {
  device_->expect(kRxFifo, Record().u32(0).u32(1).u32(0x11).u32(0x22).u32(0x33).u16(0x44).u16(0))
      .answer(Record().u32(0).u32(9));
  device_->expect(kRxFifo, Record().u32(1).u32(0).u32(9)).answer(Record().u32(1));
  device_->expect(kRxFifo, Record().u32(1).u32(1).u32(0)).answer(Record().u32(1));
  const Qor_Ethernet_RxFifo_Configuration_t configuration{1, 0x11, 0x22, 0x33, 0x44, 0};
  uint32_t id = 0;
  EXPECT_EQ(Qor_Ethernet_RxFifo_Config(port_, &configuration, &id), 0u) << lastText();
  EXPECT_EQ(id, 9u);
  const Qor_Ethernet_RxFifo_Key_t one{0, 9}, all{1, 0};
  EXPECT_EQ(Qor_Ethernet_RxFifo_Delete(port_, &one), 0u) << lastText();
  EXPECT_EQ(Qor_Ethernet_RxFifo_Delete(port_, &all), 0u) << lastText();
  EXPECT_EQ(readOnce(port_, 100, 0, 9).code, kRxFifoError);
  EXPECT_NE(lastText().find("RX FIFO not configured"), std::string::npos) << lastText();
}

TEST_F(RxFifoRoad, TwoFragmentsMakeOneEntryAndAFullBufferKeepsTheRestForTheNextRead) {
  configure();
  const Bytes joined = frameOf(200, 1);
  expectRead(readAnswer(
      0, {{Bytes(joined.begin(), joined.begin() + 100), true}, {Bytes(joined.begin() + 100, joined.end())}}));
  ReadResult first = readOnce(port_, 300);
  EXPECT_EQ(first.code, 0u) << lastText();
  EXPECT_EQ(first.frames, std::vector<Bytes>{joined});
  EXPECT_EQ(first.remaining, 0u);

  // 120 bytes take one of three frames of 100 bytes; the two held count with the backlog and go first next time.
  const Bytes a = frameOf(100, 10), b = frameOf(100, 20), c = frameOf(100, 30), d = frameOf(60, 40);
  expectRead(readAnswer(5, {{a}, {b}, {c}}));
  ReadResult second = readOnce(port_, 120);
  EXPECT_EQ(second.frames, std::vector<Bytes>{a});
  EXPECT_EQ(second.remaining, 2u + 5u);
  // At most one frame: from the host alone, no read goes out, the held one still counts.
  ReadResult third = readOnce(port_, 1000, 1);
  EXPECT_EQ(third.frames, std::vector<Bytes>{b});
  EXPECT_EQ(third.remaining, 1u + 5u);
  expectRead(readAnswer(0, {{d}}));
  ReadResult fourth = readOnce(port_, 1000);
  EXPECT_EQ(fourth.frames, (std::vector<Bytes>{c, d}));
  EXPECT_EQ(fourth.remaining, 0u);
}

TEST_F(RxFifoRoad, AFrameOverTwoAnswersComesOutWholeAndABufferStopInsideItCutsNothing) {
  configure();
  const Bytes small = frameOf(60, 1), large = frameOf(1514, 2);
  const Bytes head(large.begin(), large.begin() + 1000), tail(large.begin() + 1000, large.end());
  expectRead(readAnswer(1, {{small}, {head, true}}));
  expectRead(readAnswer(0, {{tail}}));
  // Room for the small frame and not the large one: the large one's first fragment stays held, not delivered cut.
  ReadResult first = readOnce(port_, 1000);
  EXPECT_EQ(first.code, 0u) << lastText();
  EXPECT_EQ(first.frames, std::vector<Bytes>{small});
  EXPECT_EQ(first.remaining, 2u);
  expectRead(readAnswer(0, {}));  // once the held frames are out, the firmware is asked for newer ones
  ReadResult second = readOnce(port_, 2000);
  EXPECT_EQ(second.frames, std::vector<Bytes>{large});
  EXPECT_EQ(second.remaining, 0u);
}

TEST_F(RxFifoRoad, AFailedReadLosesNothingAndAFrameTooLargeForTheBufferStays) {
  configure();
  const Bytes a = frameOf(100, 1), b = frameOf(100, 2), large = frameOf(1514, 3);
  expectRead(readAnswer(3, {{a}, {b}}));
  device_->expect(kRxFifo, Record().u32(2).u32(kFifo).u32(0)).fail(0x1F, "busy");
  // Both frames fit, then the read for the backlog fails: nothing is delivered and nothing lost.
  EXPECT_NE(readOnce(port_, 1000).code, 0u);
  expectRead(readAnswer(0, {{large}}));
  ReadResult after = readOnce(port_, 1000);
  EXPECT_EQ(after.code, 0u) << lastText();
  EXPECT_EQ(after.frames, (std::vector<Bytes>{a, b}));
  EXPECT_EQ(after.remaining, 1u);
  EXPECT_EQ(readOnce(port_, 1000).code, kBufferTooSmall);
  EXPECT_NE(lastText().find("frame entry (1524 bytes) > buffer (1000 bytes)"), std::string::npos) << lastText();
  expectRead(readAnswer(0, {}));
  EXPECT_EQ(readOnce(port_, 1524).frames, std::vector<Bytes>{large});
}

TEST_F(RxFifoRoad, AnswersThatLieEndTheReadInsteadOfLoopingOrOverreading) {
  configure();
  // No fragment but a backlog: one read, not an endless loop.
  expectRead(readAnswer(50, {}));
  ReadResult empty = readOnce(port_, 1000);
  EXPECT_EQ(empty.code, 0u) << lastText();
  EXPECT_TRUE(empty.frames.empty());
  EXPECT_EQ(empty.remaining, 50u);
  // A count beyond the fragments and a last fragment cut short: the whole frame before it arrives.
  const Bytes whole = frameOf(80, 1);
  Bytes cut = readAnswer(0, {{whole}, {frameOf(300, 2)}});
  cut.erase(cut.end() - 10, cut.end());
  cut[4] = 9;
  expectRead(cut);
  EXPECT_EQ(readOnce(port_, 1000).frames, std::vector<Bytes>{whole});
  // An answer without its head.
  expectRead(Record().u32(2).u32(1));
  EXPECT_EQ(readOnce(port_, 1000).code, kInvalidParameter);
  EXPECT_NE(lastText().find("response of 8 bytes, 12 expected"), std::string::npos) << lastText();
}

TEST_F(RxFifoRoad, AFrameBeyondTheLargestIsDroppedAndSaidSo) {
  configure();
  // One frame in answers of 3900 bytes: past 65535 bytes (the 17th) it goes, up to its last fragment; the frame
  // behind it stays for the next read.
  const Bytes piece = frameOf(3900, 1), next = frameOf(60, 2);
  for (uint32_t answer = 0; answer < 17; ++answer) expectRead(readAnswer(18 - answer, {{piece, true}}));
  expectRead(readAnswer(0, {{piece}, {next}}));
  EXPECT_EQ(readOnce(port_, 1000).code, kRxFifoError);
  EXPECT_NE(lastText().find("frame longer than 65535 bytes dropped"), std::string::npos) << lastText();
  expectRead(readAnswer(0, {}));
  const ReadResult after = readOnce(port_, 1000);
  EXPECT_EQ(after.code, 0u) << lastText();
  EXPECT_EQ(after.frames, std::vector<Bytes>{next});
}

TEST_F(RxFifoRoad, AFailedDeleteKeepsTheFifoReadable) {
  configure();
  device_->expect(kRxFifo, Record().u32(1).u32(0).u32(kFifo)).fail(0x1F, "busy");
  const Qor_Ethernet_RxFifo_Key_t key{0, kFifo};
  EXPECT_NE(Qor_Ethernet_RxFifo_Delete(port_, &key), 0u);
  expectRead(readAnswer(0, {}));
  EXPECT_EQ(readOnce(port_, 100).code, 0u) << lastText();
}

TEST_F(RxFifoRoad, SizesOfAnyMagnitudeAndAClosedPortLeaveNothingBehind) {
  // The firmware's sizes ask for 2 x 0xFFFFFFFF x 0xFFFF bytes: the host holds no more than two answers anyway.
  device_->expect(kRxFifo, Record().u32(0).u32(0).u32(0).u32(0).u32(0xFFFFFFFF).u16(0xFFFF).u16(0))
      .answer(Record().u32(0).u32(kFifo));
  const Qor_Ethernet_RxFifo_Configuration_t huge{0, 0, 0, 0xFFFFFFFF, 0xFFFF, 0};
  uint32_t id = 0;
  ASSERT_EQ(Qor_Ethernet_RxFifo_Config(port_, &huge, &id), 0u) << lastText();
  const Bytes a = frameOf(100, 1), b = frameOf(100, 2);
  expectRead(readAnswer(0, {{a}, {b}}));
  EXPECT_EQ(readOnce(port_, 120).frames, std::vector<Bytes>{a});
  // The port closes with a frame held: a port opened again under the same handle has no such FIFO.
  ASSERT_EQ(Qor_CloseInterface(port_), 0u) << lastText();
  const uint32_t again = open(1);
  ASSERT_EQ(again, port_) << "the handle is used again";
  EXPECT_EQ(readOnce(again, 1000).code, kRxFifoError);
}

TEST_F(RxFifoRoad, RefusalsSendNothingAndSayWhy) {
  configure();
  uint32_t count = 0, size = 100, remaining = 0, id = 0;
  uint8_t buffer[100];
  const Refusal cases[] = {
      {"configuration flags 2",
       [&](uint32_t p) {
         const Qor_Ethernet_RxFifo_Configuration_t c{2, 0, 0, 0, 0, 0};
         return Qor_Ethernet_RxFifo_Config(p, &c, &id);
       },
       kUnknownFlag, ""},
      {"configuration reserved",
       [&](uint32_t p) {
         const Qor_Ethernet_RxFifo_Configuration_t c{0, 0, 0, 0, 0, 1};
         return Qor_Ethernet_RxFifo_Config(p, &c, &id);
       },
       kInvalidParameter, "reserved bytes have to be zero"},
      {"delete flags 2",
       [](uint32_t p) {
         const Qor_Ethernet_RxFifo_Key_t k{2, kFifo};
         return Qor_Ethernet_RxFifo_Delete(p, &k);
       },
       kUnknownFlag, ""},
      {"read flags 1",
       [&](uint32_t p) { return Qor_Ethernet_RxFifo_Read(p, 1, kFifo, &count, &size, &remaining, buffer); },
       kUnknownFlag, ""},
      {"read without size",
       [&](uint32_t p) { return Qor_Ethernet_RxFifo_Read(p, 0, kFifo, &count, nullptr, &remaining, buffer); },
       kInvalidParameter, "'size' is NULL"},
      {"FIFO not configured",
       [&](uint32_t p) { return Qor_Ethernet_RxFifo_Read(p, 0, kFifo + 1, &count, &size, &remaining, buffer); },
       kRxFifoError, "RX FIFO not configured"},
  };
  expectRefusals(port_, cases);
}

// ---------------------------------------------------------------- over an emulated link

using RxFifoLinkRoad = EthernetLinkRoad<emulator::EthernetRxFifoFirmware>;

TEST_F(RxFifoLinkRoad, FramesSentOnTheLinkAreReadWholeWhateverTheBufferAndAnswerSizes) {
  const uint32_t port = open(1);
  const uint32_t otherPort = open(2);
  firmware_->setAnswerRoom(700);
  const Qor_Ethernet_RxFifo_Configuration_t configuration{0, 0, 0, 16, 128, 0};  // fragments of 128 bytes
  uint32_t id = 0;
  ASSERT_EQ(Qor_Ethernet_RxFifo_Config(port, &configuration, &id), 0u) << lastText();
  std::vector<Bytes> sent;
  const emulator::MacAddress sender{0x02, 0, 0, 0, 0, 0x02};
  for (size_t index = 0; index < 40; ++index) {
    const size_t payload = (index * 397) % 1501;
    sent.push_back(emulator::EthernetFrame::make(emulator::kBroadcastMac, sender, 0x88B5,
                                                 frameOf(payload, static_cast<uint8_t>(index)))
                       .bytes);
    link_.transmit(*device_, 2, emulator::EthernetFrame{sent.back()});
  }
  std::vector<Bytes> received;
  const uint32_t capacities[] = {1524, 2000, 3100, 8000};
  for (size_t reads = 0; received.size() < sent.size() && reads < 200; ++reads) {
    ReadResult result = readOnce(port, capacities[reads % 4], reads % 3, id);
    ASSERT_EQ(result.code, 0u) << lastText();
    received.insert(received.end(), result.frames.begin(), result.frames.end());
  }
  EXPECT_EQ(received, sent);
  EXPECT_EQ(readOnce(port, 2000, 0, id).remaining, 0u);
  // The same identifier is not configured on the other port.
  EXPECT_EQ(readOnce(otherPort, 2000, 0, id).code, kRxFifoError);
}

TEST_F(RxFifoLinkRoad, TwoPortsReadTheirFifosAtOnce) {
  link_.attach(*device_, 3);  // a third node sends to both
  const uint32_t ports[] = {open(1), open(2)};
  uint32_t ids[2] = {};
  const Qor_Ethernet_RxFifo_Configuration_t configuration{0, 0, 0, 16, 200, 0};
  for (int node = 0; node < 2; ++node) {
    ASSERT_EQ(Qor_Ethernet_RxFifo_Config(ports[node], &configuration, &ids[node]), 0u) << lastText();
  }
  std::vector<Bytes> sent;
  for (size_t index = 0; index < 200; ++index) {
    sent.push_back(emulator::EthernetFrame::make(emulator::kBroadcastMac, {2, 0, 0, 0, 0, 3}, 0x88B5,
                                                 frameOf(46 + index * 7, static_cast<uint8_t>(index)))
                       .bytes);
    link_.transmit(*device_, 3, emulator::EthernetFrame{sent.back()});
  }
  std::vector<Bytes> received[2];
  std::vector<std::thread> readers;
  for (int node = 0; node < 2; ++node) {
    readers.emplace_back([&, node] {
      for (size_t reads = 0; received[node].size() < sent.size() && reads < 1000; ++reads) {
        ReadResult result = readOnce(ports[node], 3000, 0, ids[node]);
        if (result.code != 0) return;
        received[node].insert(received[node].end(), result.frames.begin(), result.frames.end());
      }
    });
  }
  for (std::thread& reader : readers) reader.join();
  EXPECT_EQ(received[0], sent);
  EXPECT_EQ(received[1], sent);
}

}  // namespace
}  // namespace qor::test
