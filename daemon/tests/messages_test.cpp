// What the daemon answers to every kind of message: control requests on private pairs, undefined and malformed
// messages on every queue, and messages that name other applications.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string_view>
#include <thread>

#include "in_process_daemon.hpp"
#include "qor_error_codes.h"
#include "qor_shared/protocol.hpp"
#include "qor_test/syslog_capture.hpp"

namespace qor::test {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kAddress = 0x0200007F;

Qor_InterfaceInfo_t device() { return descriptor(18, 1, 1, 0, 0, kAddress); }

Message withU32(Message message, uint32_t value) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&value);
  message.insert(message.end(), bytes, bytes + sizeof value);
  const auto length = static_cast<uint32_t>(message.size());
  std::memcpy(message.data() + 4, &length, sizeof length);
  return message;
}

// A message of the code cut to size bytes, its length field telling so.
Message ofSize(uint8_t code, size_t size) {
  Message message = bareRequest(code);
  message.resize(size);
  const auto length = static_cast<uint32_t>(size);
  std::memcpy(message.data() + 4, &length, sizeof length);
  return message;
}

size_t threadsOfThisProcess() {
  size_t count = 0;
  if (DIR* tasks = opendir("/proc/self/task")) {
    while (const dirent* entry = readdir(tasks)) count += entry->d_name[0] != '.';
    closedir(tasks);
  }
  return count;
}

void postOnServerQueue(const Message& message) {
  const mqd_t server = mq_open(QOR_SERVER_QUEUE_NAME, O_WRONLY);
  ASSERT_NE(server, -1);
  EXPECT_TRUE(sendTo(server, message));
  mq_close(server);
}

TEST(Messages, UndefinedAndMalformedMessagesOfAnApplicationAreReported) {
  struct Case {
    Message message;
    uint32_t code;
    const char* text;
  };
  const Case cases[] = {
      {bareRequest(QOR_MSG_APIX_REGISTER_ACCESS), QOR_ERR_SERVER_UNKNOWN_COMMAND, "command code 51 is undefined"},
      {bareRequest(0x99), QOR_ERR_SERVER_UNKNOWN_COMMAND, "command code 99 is undefined"},
      {withU32(bareRequest(QOR_MSG_FPGA_ACCESS), 10), QOR_ERR_SERVER_UNKNOWN_COMMAND,
       "subCmd 0x0a of cmd 0x40 is unknown"},
      {withU32(bareRequest(QOR_MSG_FPGA_ACCESS), 1), QOR_ERR_SERVER_INVALID_PARAMETER,
       "subCmd 0x01 of cmd 0x40: 12 bytes are too few"},
      {withU32(withU32(bareRequest(QOR_MSG_FPGA_ACCESS), 0), 3), QOR_ERR_SERVER_FUNCTION_NOT_AVAILABLE, ""},
      {bareRequest(QOR_MSG_FIRMWARE_FRAME), QOR_ERR_SERVER_INVALID_PARAMETER, "command code 20: 8 bytes are too few"},
      {ofSize(QOR_MSG_FIRMWARE_FRAME, 19), QOR_ERR_SERVER_INVALID_PARAMETER, "command code 20: 19 bytes are too few"},
      {bareRequest(QOR_MSG_FPGA_ACCESS), QOR_ERR_SERVER_INVALID_PARAMETER, "command code 40: 8 bytes are too few"},
      {frameRequest(0, 0x30, {}, '*'), QOR_ERR_SERVER_INVALID_PARAMETER, "invalid firmware frame"},
  };
  InProcessDaemon daemon;
  ConnectPortResponse answer;
  const auto app = Application::connect(device(), answer);
  ASSERT_TRUE(app);
  for (const Case& c : cases) {
    const auto report = app->request(c.message);
    ASSERT_TRUE(report) << c.text;
    EXPECT_EQ(headerOf(*report).code, QOR_MSG_ERROR_REPORT) << c.text;
    EXPECT_EQ(headerOf(*report).error, c.code) << c.text;
    EXPECT_EQ(reportText(*report), c.text);
  }
  // A length field that disagrees with the bytes: the message is dropped unanswered.
  Message lying = bareRequest(QOR_MSG_GET_LOCK);
  lying[4] = 9;
  ASSERT_TRUE(app->send(lying));
  const auto next = app->request(bareRequest(QOR_MSG_RELEASE_LOCK));
  ASSERT_TRUE(next);
  EXPECT_EQ(headerOf(*next).code, QOR_MSG_RELEASE_LOCK);
  EXPECT_TRUE(daemon.path().device(kAddress)->written().empty());
}

TEST(Messages, AnApplicationActsOnlyForItself) {
  InProcessDaemon daemon;
  ConnectPortResponse answer;
  const auto mine = Application::connect(device(), answer, 4108, 1);
  const auto other = Application::connect(device(), answer, 4108, 2);
  ASSERT_TRUE(mine && other);
  // A close naming the other application closes the sender.
  const auto closed = mine->request(bareRequest(QOR_MSG_CLOSE_CLIENT_CONNECTION, mine->port(), other->index()));
  ASSERT_TRUE(closed);
  EXPECT_EQ(headerOf(*closed).code, QOR_MSG_CLOSE_CLIENT_CONNECTION);
  EXPECT_FALSE(other->receive(100ms));
  const auto alive = other->request(bareRequest(QOR_MSG_GET_LOCK, 0, mine->index()));
  ASSERT_TRUE(alive);
  EXPECT_EQ(headerOf(*alive).error, 0u);
}

TEST(Messages, ControlRequestsAreAnsweredOnThePair) {
  struct Case {
    const char* what;
    Message request;
    Message answer; // header, and the u32 behind it when there is one
  };
  const auto withText = [](Message message, std::string_view text) {
    const size_t at = message.size();
    message.resize(at + text.size() + 1, 0);
    std::memcpy(message.data() + at, text.data(), text.size());
    return message;
  };
  const auto answer = [](uint8_t code, uint32_t length, uint32_t error) {
    Message bytes(sizeof(ServerResponseHeader));
    const ServerResponseHeader header{code, {0, 0, 0}, length, error};
    std::memcpy(bytes.data(), &header, sizeof header);
    return bytes;
  };
  const Case cases[] = {
      {"first connection time-out gives 500", valueRequest(QOR_MSG_CONNECTION_TIMEOUT, 700),
       withU32(answer(QOR_MSG_CONNECTION_TIMEOUT, 16, 0), 500)},
      {"then the one set", valueRequest(QOR_MSG_CONNECTION_TIMEOUT, 900),
       withU32(answer(QOR_MSG_CONNECTION_TIMEOUT, 16, 0), 700)},
      {"a time-out beyond a minute is refused", valueRequest(QOR_MSG_CONNECTION_TIMEOUT, 70000),
       withU32(answer(QOR_MSG_CONNECTION_TIMEOUT, 16, QOR_ERR_SERVER_INVALID_PARAMETER), 900)},
      {"polling cycle", valueRequest(QOR_MSG_FULL_SPEED_POLLING_CYCLE, 5),
       answer(QOR_MSG_FULL_SPEED_POLLING_CYCLE, 12, 0)},
      {"a polling cycle beyond a second is refused", valueRequest(QOR_MSG_FULL_SPEED_POLLING_CYCLE, 5000),
       answer(QOR_MSG_FULL_SPEED_POLLING_CYCLE, 12, QOR_ERR_SERVER_INVALID_PARAMETER)},
      {"refresh", valueRequest(QOR_MSG_REFRESH_DRIVER_INFO, 3), answer(QOR_MSG_REFRESH_DRIVER_INFO, 12, 0)},
      {"driver information of a card without a path", driverInfoRequest(5, 100), answer(QOR_MSG_DRIVER_INFO, 12, 0)},
      {"driver information of no model", driverInfoRequest(87, 100),
       answer(QOR_MSG_DRIVER_INFO, 12, QOR_ERR_SERVER_UNKNOWN_DEVICE_TYPE)},
      {"driver information larger than asked for", driverInfoRequest(18, 10),
       answer(QOR_MSG_DRIVER_INFO, 12, QOR_ERR_SERVER_RESPONSE_BUFFER_TOO_SMALL)},
      {"undefined code", bareRequest(QOR_MSG_APIX_REGISTER_ACCESS),
       answer(QOR_MSG_APIX_REGISTER_ACCESS, 12, QOR_ERR_SERVER_UNKNOWN_COMMAND)},
      {"an application's message", bareRequest(QOR_MSG_DISCONNECT),
       answer(QOR_MSG_DISCONNECT, 12, QOR_ERR_SERVER_UNKNOWN_COMMAND)},
      // Each code's shortest message, one byte short.
      {"connect port short", ofSize(QOR_MSG_CONNECT_PORT, sizeof(ConnectPortRequest) - 1),
       answer(QOR_MSG_CONNECT_PORT, 12, QOR_ERR_SERVER_INVALID_PARAMETER)},
      {"driver information short", ofSize(QOR_MSG_DRIVER_INFO, QOR_DRIVER_INFO_REQUEST_LENGTH - 1),
       answer(QOR_MSG_DRIVER_INFO, 12, QOR_ERR_SERVER_INVALID_PARAMETER)},
      {"refresh short", ofSize(QOR_MSG_REFRESH_DRIVER_INFO, 11),
       answer(QOR_MSG_REFRESH_DRIVER_INFO, 12, QOR_ERR_SERVER_INVALID_PARAMETER)},
      {"polling cycle short", ofSize(QOR_MSG_FULL_SPEED_POLLING_CYCLE, 11),
       answer(QOR_MSG_FULL_SPEED_POLLING_CYCLE, 12, QOR_ERR_SERVER_INVALID_PARAMETER)},
      {"connection time-out short: a bare answer", ofSize(QOR_MSG_CONNECTION_TIMEOUT, 11),
       answer(QOR_MSG_CONNECTION_TIMEOUT, 12, QOR_ERR_SERVER_INVALID_PARAMETER)},
      {"board request short", ofSize(QOR_MSG_BOARD_REQUEST_95XX, sizeof(BoardRequest95xx) - 1),
       answer(QOR_MSG_BOARD_REQUEST_95XX, 12, QOR_ERR_SERVER_INVALID_PARAMETER)},
      {"the last error is the last refusal", bareRequest(QOR_MSG_LAST_SERVER_ERROR),
       withText(answer(QOR_MSG_LAST_SERVER_ERROR, 50, QOR_ERR_SERVER_INVALID_PARAMETER),
                "command code 52: 15 bytes are too few")},
  };
  InProcessDaemon daemon;
  daemon.path().setDriverInfo(Message(40, 0xAB));
  auto pair = Pair::announce(controlPairName());
  ASSERT_TRUE(pair);
  for (const Case& c : cases) EXPECT_EQ(pair->request(c.request), c.answer) << c.what;
  // The daemon's own messages coming back are dropped unanswered.
  for (uint8_t own : {QOR_MSG_ERROR_REPORT, QOR_MSG_MONITOR_DATA, QOR_MSG_FIRMWARE_TRAFFIC}) {
    ASSERT_TRUE(pair->send(bareRequest(own)));
  }
  EXPECT_EQ(pair->request(valueRequest(QOR_MSG_FULL_SPEED_POLLING_CYCLE, 0)),
            answer(QOR_MSG_FULL_SPEED_POLLING_CYCLE, 12, 0));

  const auto listed = pair->request(driverInfoRequest(18, 100));
  ASSERT_TRUE(listed);
  EXPECT_EQ(headerOf(*listed).length, 12u + 40u) << "the bytes written, not the capacity";
  EXPECT_EQ(Message(listed->begin() + 12, listed->end()), Message(40, 0xAB));
}

TEST(Messages, ABoardRequestIsAnsweredWithItsWholeSubCommand) {
  InProcessDaemon daemon({daemon::PathKind::Ethernet, daemon::PathKind::Cards95xx});
  auto pair = Pair::announce(controlPairName());
  ASSERT_TRUE(pair);
  const BoardRequest95xx request{{QOR_MSG_BOARD_REQUEST_95XX, 0, 0, 0, sizeof request}, 0x01020304, 0xCAFEF00D};
  const auto answer = pair->request(Message(reinterpret_cast<const uint8_t*>(&request),
                                            reinterpret_cast<const uint8_t*>(&request) + sizeof request));
  ASSERT_TRUE(answer);
  const Message expected = {QOR_MSG_BOARD_REQUEST_95XX, 0, 0, 0, 20, 0, 0, 0, 0, 0, 0, 0,
                            0x04, 0x03, 0x02, 0x01, 0x0D, 0xF0, 0xFE, 0xCA};
  EXPECT_EQ(*answer, expected);
  const auto given = daemon.path(daemon::PathKind::Cards95xx).boardRequests();
  ASSERT_EQ(given.size(), 1u);
  EXPECT_EQ(given[0].subCommand, 0x01020304u);
  EXPECT_EQ(given[0].value, 0xCAFEF00Du);
}

TEST(Messages, AnswersNeverExceedTheClientsQueue) {
  InProcessDaemon daemon;
  daemon.path().setDriverInfo(Message(600, 1));
  ConnectPortResponse refused;
  Application::connect(device(), refused, 70000);
  ASSERT_EQ(refused.header.error, QOR_ERR_SERVER_INVALID_PARAMETER);

  auto pair = Pair::announce(controlPairName(), kReplyWait, 20);
  ASSERT_TRUE(pair);
  const auto last = pair->request(bareRequest(QOR_MSG_LAST_SERVER_ERROR));
  ASSERT_TRUE(last);
  EXPECT_EQ(last->size(), 20u);
  EXPECT_EQ(headerOf(*last).length, 20u);
  EXPECT_EQ(headerOf(*last).error, QOR_ERR_SERVER_INVALID_PARAMETER);
  EXPECT_EQ(reportText(*last), "queue m") << "the text is cut, its NUL kept";

  pair.reset();
  pair = Pair::announce(controlPairName());
  ASSERT_TRUE(pair);
  const auto listed = pair->request(driverInfoRequest(18, 1000));
  ASSERT_TRUE(listed);
  EXPECT_EQ(headerOf(*listed).length, 12u);
  EXPECT_EQ(headerOf(*listed).error, QOR_ERR_SERVER_RESPONSE_BUFFER_TOO_SMALL);
}

TEST(Messages, TheServerQueueTakesOnlyAnnouncements) {
  InProcessDaemon daemon;
  auto pair = Pair::create(controlPairName());
  ASSERT_TRUE(pair);
  Message announcement(QOR_SERVER_QUEUE_MESSAGE_SIZE);
  announcement.resize(protocol::encodeClientConnect(announcement, pair->baseName()));

  Message tooShort(announcement.begin(), announcement.begin() + 6);
  Message lengthTooSmall = announcement;
  lengthTooSmall[4] -= 1;
  Message notAnnouncement = announcement;
  notAnnouncement[0] = QOR_MSG_CONNECT_PORT;
  Message unterminated = announcement;
  unterminated.back() = 'x';
  Message nested(QOR_SERVER_QUEUE_MESSAGE_SIZE);
  nested.resize(protocol::encodeClientConnect(nested, "/Qor_API/../x"));
  Message foreign(QOR_SERVER_QUEUE_MESSAGE_SIZE);
  foreign.resize(protocol::encodeClientConnect(foreign, "/Qor_API-1_CNP")); // init's pid, not this process
  auto foreignPair = Pair::create("/Qor_API-1_CNP");
  ASSERT_TRUE(foreignPair);

  for (const Message& message : {tooShort, lengthTooSmall, notAnnouncement, unterminated, nested, foreign}) {
    postOnServerQueue(message);
  }
  EXPECT_FALSE(pair->receive(300ms));
  EXPECT_FALSE(foreignPair->receive(10ms));
  postOnServerQueue(announcement);
  EXPECT_TRUE(pair->receive()) << "the daemon still serves";
}

TEST(Messages, AClientThatFillsItsOwnQueueBlocksNoOther) {
  InProcessDaemon daemon;
  auto stuck = Pair::create("/Qor_API-" + std::to_string(getpid()) + "-9-9-9");
  ASSERT_TRUE(stuck);
  const mqd_t fill = mq_open((stuck->baseName() + QOR_PRIVATE_PAIR_READ_SUFFIX).c_str(), O_WRONLY);
  ASSERT_NE(fill, -1);
  for (int i = 0; i < QOR_QUEUE_MAX_MESSAGES; ++i) ASSERT_TRUE(sendTo(fill, Message(16)));
  mq_close(fill);
  Message announcement(QOR_SERVER_QUEUE_MESSAGE_SIZE);
  announcement.resize(protocol::encodeClientConnect(announcement, stuck->baseName()));
  postOnServerQueue(announcement);

  const auto started = std::chrono::steady_clock::now();
  EXPECT_TRUE(Pair::announce(controlPairName()));
  EXPECT_LT(std::chrono::steady_clock::now() - started, 1000ms);
}

size_t linesWith(const SyslogCapture& log, std::string_view text) {
  size_t count = 0;
  for (const SyslogLine& line : log.lines()) count += line.message.find(text) != std::string::npos;
  return count;
}

// A local user may send malformed messages as fast as the queue takes them: the system log gets a few lines of each
// kind per second and a count of the rest.
TEST(Messages, AFloodOfMalformedMessagesLogsAFewLinesAndACount) {
  SyslogCapture log;
  InProcessDaemon daemon;
  constexpr int kFlood = 3000;
  Message tooShort = bareRequest(QOR_MSG_CLIENT_CONNECT);
  tooShort.resize(6);
  const mqd_t server = mq_open(QOR_SERVER_QUEUE_NAME, O_WRONLY);
  ASSERT_NE(server, -1);
  const auto started = std::chrono::steady_clock::now();
  for (int i = 0; i < kFlood; ++i) ASSERT_TRUE(sendTo(server, tooShort));
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started);
  std::this_thread::sleep_for(1100ms);
  ASSERT_TRUE(sendTo(server, tooShort));
  mq_close(server);

  EXPECT_TRUE(log.waitFor("similar lines suppressed", 2000ms));
  EXPECT_LE(linesWith(log, "Bad Command"), static_cast<size_t>(20 * (seconds.count() + 3)));
}

// Every repeat of an announcement is dropped: the pair has its one control thread.
TEST(Messages, AnAnnouncementRepeatedStartsNoFurtherControlThread) {
  InProcessDaemon daemon;
  auto pair = Pair::announce(controlPairName());
  ASSERT_TRUE(pair);
  ASSERT_TRUE(pair->request(bareRequest(QOR_MSG_LAST_SERVER_ERROR))) << "its control thread runs";
  const size_t serving = threadsOfThisProcess();
  Message announcement(QOR_SERVER_QUEUE_MESSAGE_SIZE);
  announcement.resize(protocol::encodeClientConnect(announcement, pair->baseName()));
  for (int i = 0; i < 50; ++i) postOnServerQueue(announcement);
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(threadsOfThisProcess(), serving);
  EXPECT_TRUE(pair->request(bareRequest(QOR_MSG_LAST_SERVER_ERROR))) << "the pair is still served";
}

} // namespace
} // namespace qor::test
