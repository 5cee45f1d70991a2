// The card interface the daemon binds: open and close, the rings, the interrupt and its notifications.
#include <cstring>

#include "card_rings.hpp"
#include "cards.hpp"
#include "driver_request.hpp"
#include "qor_protocol.h"

using namespace qor::pxi94xx;

namespace {

constexpr uint8_t kCardByte = offsetof(FirmwareMessageHeader, Mod);

uint32_t readAll(const RingLayout& ring, uint8_t card, uint8_t* buffer, uint32_t* total, uint32_t* count) {
  if (total == nullptr || count == nullptr) return PXI94XX_ERROR_INVALID_ARGUMENT;
  *total = 0;
  *count = 0;
  if (const uint32_t code = checkCard(card)) return code;
  if (buffer == nullptr) return PXI94XX_ERROR_INVALID_ARGUMENT;
  return readFrames(bar0Of(card), ring, buffer, ring.size, total, count);
}

uint32_t checkNotification(PlxDeviceObject_t* device, Pxi94xxNotification_t* notification) {
  if (notification == nullptr) return PXI94XX_ERROR_INVALID_ARGUMENT;
  if (device == nullptr || device->tag != PLX_TAG_VALID) return PXI94XX_ERROR_DEVICE_OBJECT;
  if (notification->tag != PLX_TAG_VALID) return PXI94XX_ERROR_NOTIFICATION;
  return 0;
}

}  // namespace

uint32_t Pxi94xx__Init(void) { return openCards(); }

uint32_t Pxi94xx__Close(void) { return closeCards(); }

uint32_t Pxi94xx__WriteInstruction(const uint8_t* frame, uint16_t length) {
  if (frame == nullptr || length < QOR_FRAME_HEADER_SIZE) return PXI94XX_ERROR_INVALID_ARGUMENT;
  const uint8_t card = frame[kCardByte];
  if (const uint32_t code = checkCard(card)) return code;
  uint16_t frameLength = 0;
  std::memcpy(&frameLength, frame + offsetof(FirmwareMessageHeader, length), sizeof frameLength);
  if (frameLength != length) return PXI94XX_ERROR_LENGTH_MISMATCH;
  volatile uint8_t* bar0 = bar0Of(card);
  if (const uint32_t code = writeFrame(bar0, kCommandRing, frame, length)) return code;
  const uint32_t control = readRegister(bar0, PXI94XX_CONTROL_WORD);
  if (control & PXI94XX_CONTROL_WAITING) {
    writeRegister(bar0, PXI94XX_CONTROL_WORD, (control & ~PXI94XX_CONTROL_WAITING) | PXI94XX_CONTROL_DOORBELL);
  }
  return 0;
}

uint32_t Pxi94xx__ReadResponse(uint8_t card, uint8_t* buffer, uint32_t* length) {
  if (length == nullptr) return PXI94XX_ERROR_INVALID_ARGUMENT;
  *length = 0;
  if (const uint32_t code = checkCard(card)) return code;
  if (buffer == nullptr) return PXI94XX_ERROR_INVALID_ARGUMENT;
  return readFrame(bar0Of(card), kResponseRing, buffer, QOR_FRAME_MAX_LENGTH, length);
}

uint32_t Pxi94xx__ReadResponseBlock(uint8_t card, uint8_t* buffer, uint32_t* total, uint32_t* count) {
  return readAll(kResponseRing, card, buffer, total, count);
}

uint32_t Pxi94xx__ReadMonitor(uint8_t card, uint8_t* buffer, uint32_t* total, uint32_t* count) {
  return readAll(kMonitorRing, card, buffer, total, count);
}

uint32_t Pxi94xx__SetInterruptSource(uint8_t card) {
  if (const uint32_t code = checkCard(card)) return code;
  volatile uint8_t* bar0 = bar0Of(card);
  writeRegister(bar0, PXI94XX_INTERRUPT_CONTROL_WORD,
                readRegister(bar0, PXI94XX_INTERRUPT_CONTROL_WORD) | PXI94XX_INTERRUPT_RESPONSE);
  return 0;
}

uint32_t Pxi94xx__IsDeviceNumberValid(uint8_t card, uint8_t* index, volatile uint8_t** bar0,
                                      PlxDeviceObject_t** device) {
  if (const uint32_t code = checkCard(card)) return code;
  if (index != nullptr) *index = static_cast<uint8_t>(card - 1);
  if (bar0 != nullptr) *bar0 = bar0Of(card);
  if (device != nullptr) *device = &deviceOf(card);
  return 0;
}

uint32_t Pxi94xx__MemoryProperties(uint8_t card, Pxi94xxMemoryProperties_t* properties, void*) {
  if (properties == nullptr) return PXI94XX_ERROR_INVALID_ARGUMENT;
  *properties = Pxi94xxMemoryProperties_t{};
  if (const uint32_t code = checkCard(card)) return code;
  PlxBarProperties_t bar;
  const int status = PlxPci_PciBarProperties(&deviceOf(card), 0, &bar);
  properties->physicalAddress = static_cast<uint32_t>(bar.physicalAddress);
  properties->size = static_cast<uint32_t>(bar.size);
  properties->flag = bar.flags & 1u;
  return static_cast<uint32_t>(status);
}

uint32_t Pxi94xx__NotificationInit(PlxDeviceObject_t* device, const uint8_t* flags,
                                   Pxi94xxNotification_t* notification) {
  if (flags == nullptr || notification == nullptr) return PXI94XX_ERROR_INVALID_ARGUMENT;
  if (device == nullptr || device->tag != PLX_TAG_VALID) return PXI94XX_ERROR_DEVICE_OBJECT;
  PlxRequest_t record{};
  record.key = device->key;
  record.reply[PLX_REQUEST_INTERRUPT_SOURCE_OFFSET - offsetof(PlxRequest_t, reply)] =
      static_cast<uint8_t>((flags[0] & 1u) << 2);
  const uint32_t status = static_cast<uint32_t>(requestStatus(device, PLX_REQUEST_NOTIFICATION_REGISTER, &record));
  if (status == 0) {
    notification->tag = PLX_TAG_VALID;
    notification->handle = record.value0;
  }
  return status;
}

uint32_t Pxi94xx__NotificationWait(PlxDeviceObject_t* device, Pxi94xxNotification_t* notification,
                                   uint32_t timeoutMs) {
  if (const uint32_t code = checkNotification(device, notification)) return code;
  PlxRequest_t record{};
  record.key = device->key;
  record.value0 = notification->handle;
  record.value1 = timeoutMs;
  return static_cast<uint32_t>(requestStatus(device, PLX_REQUEST_NOTIFICATION_WAIT, &record));
}

uint32_t Pxi94xx__NotificationCancel(PlxDeviceObject_t* device, Pxi94xxNotification_t* notification) {
  if (const uint32_t code = checkNotification(device, notification)) return code;
  PlxRequest_t record{};
  record.key = device->key;
  record.value0 = notification->handle;
  const uint32_t status = static_cast<uint32_t>(requestStatus(device, PLX_REQUEST_NOTIFICATION_CANCEL, &record));
  if (status == 0) notification->tag = PLX_TAG_INVALID;
  return status;
}
