#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hex_bytes.hpp"
#include "qor_shared/byte_reader.hpp"
#include "qor_shared/firmware_records.hpp"
#include "qor_shared/protocol.hpp"

namespace {

using namespace qor::protocol;
using ByteVector = std::vector<uint8_t>;

template <class Record>
ByteVector bytesOf(const Record& record) {
  ByteVector out(sizeof record);
  writeRecord(Buffer(out), record);
  return out;
}

TEST(ProtocolRecords, FixedLayoutsAreByteExact) {
  const ServerRequestHeader request{0x20, 3, 4, 0, 0x01020304};
  EXPECT_EQ(bytesOf(request), (ByteVector{0x20, 3, 4, 0, 0x04, 0x03, 0x02, 0x01}));

  const ServerResponseHeader response{0xF0, {0, 0, 0}, 24, 0x02000205};
  EXPECT_EQ(bytesOf(response), (ByteVector{0xF0, 0, 0, 0, 24, 0, 0, 0, 0x05, 0x02, 0x00, 0x02}));

  const FirmwareMessageHeader frame = commandHeader(QOR_REQUEST_ACKNOWLEDGE, 1, 2, 7, 9, 0xFF, 8);
  EXPECT_EQ(bytesOf(frame), (ByteVector{'#', 1, 20, 0, 1, 2, 0, 0, 0, 7, 9, 0xFF}));

  const ClientConnectReply connectReply{0x0A, 16, 0, 0};
  EXPECT_EQ(bytesOf(connectReply), (ByteVector{0x0A, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

  const CloseClientConnectionRequest close{{0x0B, 5, 6, 0, 12}, 4321};
  EXPECT_EQ(bytesOf(close), (ByteVector{0x0B, 5, 6, 0, 12, 0, 0, 0, 0xE1, 0x10, 0, 0}));

  const ControlValueRequest timeout{{0x1B, 0, 0, 0, 12}, 1500};
  EXPECT_EQ(bytesOf(timeout), (ByteVector{0x1B, 0, 0, 0, 12, 0, 0, 0, 0xDC, 0x05, 0, 0}));

  const ConnectionTimeoutReply timeoutReply{{0x1B, {0, 0, 0}, 16, 0}, 500};
  EXPECT_EQ(bytesOf(timeoutReply), (ByteVector{0x1B, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0xF4, 0x01, 0, 0}));

  const BoardRequest95xx board{{0x52, 1, 2, 0, 16}, 3, 0xAABBCCDD};
  EXPECT_EQ(bytesOf(board), (ByteVector{0x52, 1, 2, 0, 16, 0, 0, 0, 3, 0, 0, 0, 0xDD, 0xCC, 0xBB, 0xAA}));
}

TEST(FirmwareRecords, LayoutsAreByteExact) {
  qor::firmware::IdentityHead identity{};
  identity.bootLoader = qor::firmware::kBootLoaderRunning;
  identity.controllerKind = 0x0A0B0C0D;
  identity.deviceCode = 61;
  identity.interfaceCount = 2;
  struct Case {
    const char* record;
    ByteVector bytes;
    const char* expected;
  };
  const Case cases[] = {
      {"identity head", bytesOf(identity), "0*4 01 0*3 0D 0C 0B 0A 0*16 3D 0*3 0*4 02 0*3"},
      {"identity entry", bytesOf(qor::firmware::IdentityEntry{24, 6}), "18 06"},
      {"serial-number query", bytesOf(qor::firmware::SerialNumberQuery{qor::firmware::kSerialNumberSubFunction}),
       "05 0*3"},
      {"serial-number answer", bytesOf(qor::firmware::SerialNumberAnswer{5, 0x00BC614E}), "05 0*3 4E 61 BC 00"},
      {"error-text query", bytesOf(qor::firmware::ErrorTextQuery{0x1234}), "34 12 0*2"},
      {"error-text head", bytesOf(qor::firmware::ErrorTextHead{7}), "07 0*3"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.bytes, qor::test::hex(c.expected)) << c.record;
  EXPECT_EQ(qor::firmware::kIdentityCommand, 0xFF);
  EXPECT_EQ(qor::firmware::kControllerControlCommand, 0x0C);
  EXPECT_EQ(qor::firmware::kErrorTextCommand, 0xFD);
}

TEST(ByteReader, ReadsOnlyWhatArrived) {
  const ByteVector bytes = qor::test::hex("01 02 03 04 05");
  EXPECT_EQ(qor::readU32LE(bytes, 0), 0x04030201u);
  EXPECT_EQ(qor::readU32LE(bytes, 1), 0x05040302u);
  EXPECT_EQ(qor::readU16LE(bytes, 3), 0x0504u);
  for (size_t offset : {size_t{2}, size_t{5}, size_t{6}, SIZE_MAX - 1}) {
    EXPECT_FALSE(qor::readU32LE(bytes, offset).has_value()) << offset;
  }
  EXPECT_FALSE(qor::readU16LE(bytes, 4).has_value());
  EXPECT_FALSE(qor::readU16LE({}, 0).has_value());
}

TEST(ProtocolRecords, ConnectPortRequestAndResponse) {
  ConnectPortRequest request{};
  request.header = {0x01, 0, 0, 0, 52};
  request.info.hostInterfaceType = 18;
  request.info.controllerNumber = 1;
  request.info.interfaceNumber = 22;
  request.info.flags = QOR_INTERFACE_FLAG_ETHERNET | QOR_INTERFACE_FLAG_BINARY_IPV4;
  request.info.deviceNumber = 5134; // TCP port, reserved half zero
  const uint32_t address = 0x0100007F; // 127.0.0.1 in network order
  memcpy(request.info.ipAddress, &address, sizeof address);
  request.processId = 0x1234;
  request.clientPortId = 1;
  request.maxParameterLength = 4084;
  request.queueMessageSize = 4108;
  const ByteVector expected = {
      0x01, 0, 0, 0, 52, 0, 0, 0,                      // header
      18, 0, 0, 0, 1, 22, 5, 0, 0x0E, 0x14, 0, 0,      // type, controller, interface, flags, port 5134
      127, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, // address
      0x34, 0x12, 0, 0, 1, 0, 0, 0, 0xF4, 0x0F, 0, 0, 0x0C, 0x10, 0, 0};
  EXPECT_EQ(bytesOf(request), expected);

  const ByteVector responseBytes = {0x01, 0, 0, 0, 24, 0, 0, 0, 0, 0, 0, 0, 3, 4, 1, 1, 0x42, 0, 0, 0,
                                    0x78, 0x56, 0x34, 0x12};
  auto response = readRecord<ConnectPortResponse>(responseBytes);
  ASSERT_TRUE(response);
  EXPECT_EQ(response->header.length, 24u);
  EXPECT_EQ(response->portIndex, 3);
  EXPECT_EQ(response->applicationIndex, 4);
  EXPECT_EQ(response->controllerLockGranted, 1);
  EXPECT_EQ(response->interfaceLockGranted, 1);
  EXPECT_EQ(response->module, 0x42);
  EXPECT_EQ(response->deviceIdentifier, 0x12345678u);
  EXPECT_FALSE(readRecord<ConnectPortResponse>(Bytes(responseBytes).first(23)));
}

TEST(ProtocolRecords, DriverInfoRequestLengths) {
  DriverInfoRequest request{};
  request.header = {0x17, 0, 0, 0, QOR_DRIVER_INFO_REQUEST_LENGTH_USB_OVER_ETHERNET};
  request.hostInterfaceType = 32;
  request.capacity = 4108;
  const uint32_t target = 0x0101A8C0;
  memcpy(request.data, &target, sizeof target);
  const ByteVector bytes = bytesOf(request);
  EXPECT_EQ(ByteVector(bytes.begin(), bytes.begin() + 20),
            (ByteVector{0x17, 0, 0, 0, 20, 0, 0, 0, 32, 0, 0, 0, 0x0C, 0x10, 0, 0, 0xC0, 0xA8, 0x01, 0x01}));
  EXPECT_EQ(QOR_DRIVER_INFO_REQUEST_LENGTH, 16u);
  EXPECT_EQ(QOR_DRIVER_INFO_REQUEST_LENGTH_ETHERNET, sizeof(DriverInfoRequest));
}

TEST(ProtocolMessages, VariableLengthEncodings) {
  uint8_t out[64];
  size_t length = encodeClientConnect(out, "/Qor_API-42_CNP");
  EXPECT_EQ(ByteVector(out, out + length),
            (ByteVector{0x0A, 0, 0, 0, 24, 0, 0, 0, '/', 'Q', 'o', 'r', '_', 'A', 'P', 'I', '-', '4', '2', '_', 'C',
                        'N', 'P', 0}));
  EXPECT_EQ(encodeClientConnect(Buffer(out, 23), "/Qor_API-42_CNP"), 0u);

  length = encodeErrorReport(out, 0x1000002, "command code 99 is undefined");
  ByteVector expected = {0x11, 0, 0, 0, 41, 0, 0, 0, 0x02, 0, 0, 0x01};
  for (char c : std::string("command code 99 is undefined")) expected.push_back(static_cast<uint8_t>(c));
  expected.push_back(0);
  EXPECT_EQ(ByteVector(out, out + length), expected);

  length = encodeErrorReport(out, 0x1000002, "");
  EXPECT_EQ(ByteVector(out, out + length), (ByteVector{0x11, 0, 0, 0, 12, 0, 0, 0, 0x02, 0, 0, 0x01}));

  // A text longer than the receiver's messages is cut to fit, NUL included.
  length = encodeErrorReport(Buffer(out, 16), 7, "abcdefgh");
  EXPECT_EQ(ByteVector(out, out + length), (ByteVector{0x11, 0, 0, 0, 16, 0, 0, 0, 7, 0, 0, 0, 'a', 'b', 'c', 0}));

  const ByteVector frame = {'#', 2, 13, 0, 1, 1, 0, 0, 0, 0, 0, 0x0C, 5};
  length = encodeFirmwareFrameMessage(out, 2, 3, frame);
  expected = {0x20, 2, 3, 0, 21, 0, 0, 0};
  expected.insert(expected.end(), frame.begin(), frame.end());
  EXPECT_EQ(ByteVector(out, out + length), expected);

  length = encodeFirmwareTraffic(out, frame);
  expected = {0xF0, 0, 0, 0, 25, 0, 0, 0, 0, 0, 0, 0};
  expected.insert(expected.end(), frame.begin(), frame.end());
  EXPECT_EQ(ByteVector(out, out + length), expected);
  EXPECT_EQ(encodeFirmwareTraffic(Buffer(out, 24), frame), 0u);

  const ByteVector monitor = {1, 2, 3};
  length = encodeMonitorData(out, monitor);
  EXPECT_EQ(ByteVector(out, out + length), (ByteVector{0x33, 0, 0, 0, 15, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3}));
}

TEST(ProtocolMessages, DaemonAnswers) {
  EXPECT_EQ(bytesOf(bareReply(0x07, 0x1000005)), qor::test::hex("07 0*3 0C 0*3 05 00 00 01"));
  EXPECT_EQ(bytesOf(responseHeader(0x17, 52, 0)), qor::test::hex("17 0*3 34 0*3 0*4"));

  // A body already in place behind the header stays; one from elsewhere is copied behind it.
  ByteVector inPlace = qor::test::hex("EE*12 23 02 0D 00 01 01 0*5 0C 05");
  const size_t placed = encodeFirmwareTraffic(inPlace, Bytes(inPlace).subspan(12));
  EXPECT_EQ(ByteVector(inPlace.begin(), inPlace.begin() + placed),
            qor::test::hex("F0 0*3 19 0*3 0*4 23 02 0D 00 01 01 0*5 0C 05"));
  ByteVector out(20, 0xEE);
  const ByteVector data = qor::test::hex("AA BB");
  EXPECT_EQ(encodeResponse(out, 0x40, 0, data), 14u);
  EXPECT_EQ(ByteVector(out.begin(), out.begin() + 14), qor::test::hex("40 0*3 0E 0*3 0*4 AA BB"));
  EXPECT_EQ(encodeResponse(Buffer(out).first(13), 0x40, 0, data), 0u) << "a body that does not fit";
  EXPECT_EQ(encodeMonitorData(out, Bytes(out).subspan(12, 3)), 15u);
  EXPECT_EQ(ByteVector(out.begin(), out.begin() + 15), qor::test::hex("33 0*3 0F 0*3 0*4 AA BB EE"));
  // The library's command in place behind room for the 0x20 header.
  ByteVector command = qor::test::hex("EE*8 23 01 0C 00 01 02 0*3 07 09 FF");
  EXPECT_EQ(encodeFirmwareFrameMessage(command, 2, 3, Bytes(command).subspan(8)), 20u);
  EXPECT_EQ(command, qor::test::hex("20 02 03 00 14 0*3 23 01 0C 00 01 02 0*3 07 09 FF"));

  // The last error: the text cut to the queue, its NUL always there.
  struct Case {
    size_t room;
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {64, "queue message", "18 0*3 1A 0*3 09 00 00 01 71 75 65 75 65 20 6D 65 73 73 61 67 65 00"},
      {20, "queue message", "18 0*3 14 0*3 09 00 00 01 71 75 65 75 65 20 6D 00"},
      {13, "queue message", "18 0*3 0D 0*3 09 00 00 01 00"},
      {64, "", "18 0*3 0D 0*3 09 00 00 01 00"},
  };
  for (const Case& c : cases) {
    ByteVector answer(c.room, 0xEE);
    answer.resize(encodeLastServerError(answer, 0x1000009, c.text));
    EXPECT_EQ(answer, qor::test::hex(c.expected)) << c.room;
  }
  ByteVector tooSmall(12);
  EXPECT_EQ(encodeLastServerError(tooSmall, 0x1000009, "x"), 0u);
}

TEST(ProtocolDecoding, RequestsNeedTheirExactLength) {
  const ByteVector bare = {0x12, 1, 2, 0, 8, 0, 0, 0};
  auto request = parseRequest(bare);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->header.code, 0x12);
  EXPECT_TRUE(request->payload.empty());
  EXPECT_FALSE(parseRequest(Bytes(bare).first(7)));                                    // shorter than a header
  EXPECT_FALSE(parseRequest(ByteVector{0x12, 1, 2, 0, 7, 0, 0, 0, 9}));                // longer than its field
  EXPECT_FALSE(parseRequest(ByteVector{0x12, 1, 2, 0, 12, 0, 0, 0}));                  // field beyond the bytes
}

TEST(ProtocolDecoding, ResponsesAreBoundByTheirLengthField) {
  const ByteVector withText = {0x11, 0, 0, 0, 15, 0, 0, 0, 1, 0, 0, 0, 'o', 'k', 0, 0xEE};
  auto response = parseResponse(withText);
  ASSERT_TRUE(response);
  EXPECT_EQ(response->data.size(), 3u);
  EXPECT_FALSE(parseResponse(ByteVector{0x11, 0, 0, 0, 20, 0, 0, 0, 1, 0, 0, 0}));
  EXPECT_FALSE(parseResponse(ByteVector{0x11, 0, 0, 0, 11, 0, 0, 0, 1, 0, 0, 0}));
}

struct FrameCase {
  const char* name;
  ByteVector bytes;
  bool valid;
};

TEST(ProtocolDecoding, FramesAreCheckedBeforeUse) {
  const FrameCase cases[] = {
      {"response with data", {'#', 2, 14, 0, 1, 1, 0, 0, 1, 0, 0, 0x10, 0xAA, 0xBB}, true},
      {"trailing bytes beyond the frame", {'#', 2, 12, 0, 1, 1, 0, 0, 1, 0, 0, 0x10, 0xAA}, true},
      {"wrong marker", {'$', 2, 12, 0, 1, 1, 0, 0, 1, 0, 0, 0x10}, false},
      {"length below the header", {'#', 2, 11, 0, 1, 1, 0, 0, 1, 0, 0, 0x10}, false},
      {"length beyond the bytes", {'#', 2, 13, 0, 1, 1, 0, 0, 1, 0, 0, 0x10}, false},
      {"short header", {'#', 2, 12, 0}, false},
  };
  for (const FrameCase& c : cases) {
    EXPECT_EQ(parseFrame(c.bytes).has_value(), c.valid) << c.name;
  }
  auto frame = parseFrame(cases[1].bytes);
  EXPECT_EQ(frame->bytes.size(), 12u);
  EXPECT_TRUE(frame->data.empty());
}

TEST(ProtocolDecoding, NegativeAcknowledges) {
  ByteVector nack = {'#', 2, 0, 0, 1, 1, 0, 0, 2, 0, 0, 0x42, 0x34, 0x12, 0, 0};
  for (char c : std::string("value %d too large")) nack.push_back(static_cast<uint8_t>(c));
  nack.push_back(0);
  nack[2] = static_cast<uint8_t>(nack.size());
  auto frame = parseFrame(nack);
  ASSERT_TRUE(frame);
  EXPECT_TRUE(frame->isNegativeAcknowledge());
  EXPECT_FALSE(frame->isAcknowledge());
  EXPECT_EQ(frame->negativeAcknowledgeCode(), 0x1234u);
  EXPECT_EQ(frame->negativeAcknowledgeText(), "value %d too large");

  // A text without its NUL ends with the frame.
  ByteVector unterminated = {'#', 2, 18, 0, 1, 1, 0, 0, 2, 0, 0, 0x42, 1, 0, 0, 0, 'h', 'i'};
  EXPECT_EQ(parseFrame(unterminated)->negativeAcknowledgeText(), "hi");

  ByteVector acknowledge = {'#', 2, 16, 0, 1, 1, 0, 0, 2, 0, 0, 0x42, 0, 0, 0, 0};
  EXPECT_TRUE(parseFrame(acknowledge)->isAcknowledge());
  ByteVector shortAcknowledge = {'#', 2, 12, 0, 1, 1, 0, 0, 2, 0, 0, 0x42};
  EXPECT_TRUE(parseFrame(shortAcknowledge)->isAcknowledge());
}

} // namespace
