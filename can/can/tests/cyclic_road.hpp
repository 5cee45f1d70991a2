// The cyclic-message functions on the whole road: this process's library, the daemon and the emulated controller
// (CAN interfaces 1 and 2, rest bus 3), whose request table states every record byte-exact. TearDown fails a case for
// every request not stated and every stated request not sent.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>

#include "qor_api.h"
#include "qor_can_cyclic.h"
#include "qor_emulator/frame.hpp"
#include "qor_test/interface_fixture.hpp"

namespace qor::can::test {

using emulator::Bytes;
using testing::HasSubstr;

inline constexpr uint32_t kWrongInterfaceType = 0x02020001;
inline constexpr uint32_t kInvalidDataLength = 0x02020002;
inline constexpr uint32_t kInvalidResponseLength = 0x02020003;
inline constexpr uint32_t kUnknownFlag = 0x02020004;
inline constexpr uint32_t kUnknownMode = 0x02020005;
inline constexpr uint32_t kInvalidParameter = 0x02020007;
inline constexpr uint32_t kInvalidResponseParameter = 0x02020009;
inline constexpr uint32_t kInvalidDlc = 0x02020101;
inline constexpr uint32_t kInvalidSendState = 0x02020102;
inline constexpr uint32_t kInvalidGroupNumber = 0x02020103;
inline constexpr uint32_t kSignalRefused = 0x02010007;  // the common library's check
inline constexpr uint32_t kFirmwareError = 0x1F;
inline constexpr uint32_t kCommandTooLong = 0x02000202;  // the core's
inline constexpr uint8_t kRestBusInterface = 3;
inline constexpr uint32_t kFdMessage = QOR_CAN_CYCLIC_FD_MESSAGE;

// Records as the firmware gets them.
Bytes cat(std::initializer_list<Bytes> parts);
Bytes u16(uint16_t value);
Bytes u32(uint32_t value);
Bytes zeros(size_t count);
// count bytes first, first + 1, ...
Bytes counting(size_t count, uint8_t first);

std::string lastText();

class CyclicRoad : public qor::test::InterfaceFixture {
 protected:
  explicit CyclicRoad(qor::test::EmulatedModel model = qor::test::ethernetController())
      : InterfaceFixture(std::move(model)) {}
  void SetUp() override;
  // Requests of the cyclic-message commands since SetUp.
  size_t cyclicRequests() const;

  uint32_t port_ = QOR_NO_PORT;
};

// A refusal: its code, its text and nothing sent.
#define EXPECT_REFUSED(call, code, text)                       \
  do {                                                         \
    const size_t sentBefore = cyclicRequests();                \
    EXPECT_EQ((call), (code));                                 \
    EXPECT_THAT(lastText(), HasSubstr(text));                  \
    EXPECT_EQ(cyclicRequests(), sentBefore) << "nothing sent"; \
  } while (0)

}  // namespace qor::can::test
