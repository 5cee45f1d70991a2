// Opening a card's ring channels and the frame traffic on them.
#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "QorPxi95xx_API.h"
#include "card_rings.hpp"
#include "cards.hpp"
#include "driver_access.hpp"
#include "vortaq_abi.h"

using namespace qor::pxi95xx;

namespace {

constexpr uint32_t kCommandChannel = 0;
constexpr uint32_t kResponseChannel = 1;
constexpr uint32_t kMinimumFrame = 12;

int openChannelFile(uint8_t card, uint32_t channel) {
  return open((cardDirectory(card) + "DMA" + std::to_string(channel)).c_str(), O_RDWR | O_CLOEXEC);
}

}  // namespace

extern "C" {

int32_t QorPxi95xx_OpenBoard(uint8_t card) {
  if (const int32_t code = checkCard(card, QORPXI95XX_ERROR_PARAMETER)) return code;
  CardRecord& record = cardRecord(card);
  // The ring positions live in the channel windows: a card without them cannot carry frames.
  if (record.device < 0 || record.windows == nullptr) return QORPXI95XX_ERROR_NOT_CONNECTED;
  errno = 0;
  const int command = openChannelFile(card, kCommandChannel);
  const int response = command < 0 ? -1 : openChannelFile(card, kResponseChannel);
  if (response < 0) {
    const int32_t code = errno != 0 ? errno : QORPXI95XX_ERROR_NOT_CONNECTED;
    if (command >= 0) close(command);
    return code;
  }
  for (int* file : {&record.commandFile, &record.responseFile}) {
    if (*file >= 0) close(*file);
  }
  record.commandFile = command;
  record.responseFile = response;
  record.commandBase = readRegister(record, kCommandChannel, V2_SCRATCH0);
  record.commandWrite = readRegister(record, kCommandChannel, V2_SCRATCH2);
  record.responseBase = readRegister(record, kResponseChannel, V2_SCRATCH0);
  record.responseRead = readRegister(record, kResponseChannel, V2_SCRATCH3);
  record.channels[kCommandChannel].state = QORPXI95XX_CHANNEL_CONFIGURED;
  record.channels[kResponseChannel].state = QORPXI95XX_CHANNEL_CONFIGURED;
  return 0;
}

int32_t QorPxi95xx_CloseBoard(uint8_t card) {
  if (const int32_t code = checkCard(card, QORPXI95XX_ERROR_PARAMETER)) return code;
  CardRecord& record = cardRecord(card);
  if (record.device < 0) return QORPXI95XX_ERROR_NOT_CONNECTED;
  for (int* file : {&record.commandFile, &record.responseFile}) {
    if (*file >= 0) close(*file);
    *file = -1;
  }
  return 0;
}

int32_t QorPxi95xx_WriteCmd(uint8_t card, const void* frame, uint32_t length) {
  if (const int32_t code = checkCard(card, QORPXI95XX_ERROR_NO_BOARD)) return code;
  if (frame == nullptr || length < kMinimumFrame) return QORPXI95XX_ERROR_PARAMETER;
  uint16_t declared = 0;
  std::memcpy(&declared, static_cast<const uint8_t*>(frame) + 2, 2);
  if (declared != length) return QORPXI95XX_ERROR_PARAMETER;
  CardRecord& record = cardRecord(card);
  if (record.commandFile < 0) return QORPXI95XX_ERROR_PARAMETER;
  const RingState ring{record.commandBase, readRegister(record, kCommandChannel, V2_SCRATCH3),
                       readRegister(record, kCommandChannel, V2_SCRATCH2)};
  uint32_t write = 0;
  if (const int32_t code =
          writeFrame(record.commandFile, ring, static_cast<const uint8_t*>(frame), length, &write)) {
    return code;
  }
  record.commandWrite = write;
  writeRegister(record, kCommandChannel, V2_SCRATCH2, write);
  writeRegister(record, kCommandChannel, V2_AXI_INT_ASSERT, V2_ASSERT_INT);
  return 0;
}

int32_t QorPxi95xx_ReadRsp(uint8_t card, void* buffer, uint32_t* length) {
  if (length == nullptr || buffer == nullptr || *length < kMinimumFrame) return QORPXI95XX_ERROR_PARAMETER;
  const uint32_t capacity = *length;
  *length = 0;
  if (const int32_t code = checkCard(card, QORPXI95XX_ERROR_NO_BOARD)) return code;
  CardRecord& record = cardRecord(card);
  if (record.responseFile < 0) return QORPXI95XX_ERROR_PARAMETER;
  const RingState ring{record.responseBase, readRegister(record, kResponseChannel, V2_SCRATCH3),
                       readRegister(record, kResponseChannel, V2_SCRATCH2)};
  uint32_t read = ring.read;
  const int32_t code =
      readFrame(record.responseFile, ring, static_cast<uint8_t*>(buffer), capacity, length, &read);
  if (read != ring.read) {
    record.responseRead = read;
    writeRegister(record, kResponseChannel, V2_SCRATCH3, read);
  }
  return code;
}

int32_t QorPxi95xx_WaitForRsp(uint8_t card, uint32_t timeoutMs) {
  if (const int32_t code = checkCard(card, QORPXI95XX_ERROR_NO_BOARD)) return code;
  CardRecord& record = cardRecord(card);
  if (record.commandFile < 0) return QORPXI95XX_ERROR_PARAMETER;
  uint32_t timeout = timeoutMs;
  const int32_t code = driverRequest(record.commandFile, VORTAQ_WAIT_MSG_ANSWER, &timeout);
  if (code == 0 || code == ETIME) return 0;
  syslog(LOG_WARNING, "%s: IOCTL call failed.  Status=0x%x, Error = 0x%x\n", "QorPxi95xx_WaitForRsp", -1, code);
  return code;
}

}  // extern "C"
