/* FlexRay message buffers: defined, updated, transmitted and read through u32 handles that the firmware gives, and
 * the two generators the firmware runs on a transmit buffer (a checksum and a ramp of one signal). Payload lengths
 * count two-byte words (at most QOR_FLEXRAY_MAX_PAYLOAD_WORDS); payload data are u16 words copied byte for byte.
 * Channel codes 0 to 3 pass unchanged between the application and the firmware. */
#ifndef QOR_FLEXRAY_MESSAGES_H
#define QOR_FLEXRAY_MESSAGES_H

#include <stddef.h>

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_FLEXRAY_MAX_PAYLOAD_WORDS 127u
/* Transmit definition and update flags: bits 0 to 6; Qor_FlexRay_Message_Transmit: bits 0 and 1. */
#define QOR_FLEXRAY_TX_DEFINE_FLAGS 0x7Fu
#define QOR_FLEXRAY_TRANSMIT_FLAGS 0x3u
#define QOR_FLEXRAY_CRC_FLAGS 0x7u
#define QOR_FLEXRAY_RAMP_FLAGS 0x7u
#define QOR_FLEXRAY_MAX_RAMP_CONTROL_MODE 3u
/* Qor_FlexRay_Message_Rx_Read's status: the firmware's status bits 0 to 4, and its bit 7 as bit 5. */
#define QOR_FLEXRAY_RX_STATUS_BITS 0x3Fu

/* A transmit buffer: identifier, selectors and channel are its key (Qor_FlexRay_Message_GetHandle). */
#pragma pack(push, 1)
typedef struct Qor_FlexRay_TxMessage_t {
  uint16_t identifier;   /* +0 */
  uint8_t selector1;     /* +2 */
  uint8_t selector2;     /* +3 */
  uint8_t channel;       /* +4 */
  uint8_t payloadLength; /* +5: two-byte words */
  uint16_t attributes;   /* +6: the firmware's */
  uint32_t flags;        /* +8: QOR_FLEXRAY_TX_DEFINE_FLAGS */
  const uint16_t* data;  /* +12: payloadLength words */
} Qor_FlexRay_TxMessage_t;
#pragma pack(pop)
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_TxMessage_t, flags) == 8, "flags at 8");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_TxMessage_t, data) == 12, "data at 12");
QOR_STATIC_ASSERT(sizeof(Qor_FlexRay_TxMessage_t) == 12 + sizeof(void*), "data is the last field");

/* A ramp of one signal in a transmit buffer's data. */
typedef struct Qor_FlexRay_Ramp_t {
  uint8_t signalSize;   /* +0: bits, 1 to 64 */
  uint8_t byteOrder;    /* +1: 0 or 1 */
  uint16_t bitOffset;   /* +2: of the signal in the data, at most QOR_FLEXRAY_MAX_RAMP_BIT_OFFSET */
  uint8_t mode;         /* +4: 0 or 1 */
  uint8_t reserved;     /* +5: 0 */
  uint16_t valueA;      /* +6 */
  uint16_t valueB;      /* +8 */
  uint16_t valueC;      /* +10 */
  uint32_t value1;      /* +12 */
  uint32_t value2;      /* +16 */
  uint32_t value3;      /* +20 */
  double step;          /* +24: sent as a fraction with a denominator of at most 65535 */
  uint32_t flags;       /* +32: QOR_FLEXRAY_RAMP_FLAGS */
  uint32_t reserved2;   /* +36: not read */
} Qor_FlexRay_Ramp_t;
QOR_STATIC_ASSERT(sizeof(Qor_FlexRay_Ramp_t) == 40, "Qor_FlexRay_Ramp_t is 40 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_Ramp_t, value1) == 12, "value1 at 12");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_Ramp_t, step) == 24, "step at 24");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_Ramp_t, flags) == 32, "flags at 32");

/* The firmware addresses the signal's byte with a u8. */
#define QOR_FLEXRAY_MAX_RAMP_BIT_OFFSET 2047u
#define QOR_FLEXRAY_MAX_RAMP_SIGNAL_SIZE 64u

/* Channel codes between the application and the firmware. */
QOR_API uint32_t Qor_FlexRay_Translate_Channel_Api2Fw(uint32_t port, uint8_t apiChannel, uint8_t* firmwareChannel);
QOR_API uint32_t Qor_FlexRay_Translate_Channel_Fw2Api(uint32_t port, uint8_t firmwareChannel, uint8_t* apiChannel);

QOR_API uint32_t Qor_FlexRay_Buffers_Config(uint32_t port);
QOR_API uint32_t Qor_FlexRay_Message_Tx_Define(uint32_t port, const Qor_FlexRay_TxMessage_t* message,
                                               uint32_t* handle);
QOR_API uint32_t Qor_FlexRay_Message_Tx_Update(uint32_t port, uint32_t handle, uint8_t payloadLength,
                                               uint16_t attributes, uint32_t flags, const uint16_t* data);
/* Two arrays of payloadLength words each. */
QOR_API uint32_t Qor_FlexRay_Message_Tx_ChangeData(uint32_t port, uint32_t handle, uint16_t attributes,
                                                   uint8_t payloadLength, const uint16_t* first,
                                                   const uint16_t* second);
QOR_API uint32_t Qor_FlexRay_Message_Transmit(uint32_t port, uint32_t handle, uint8_t payloadLength, uint32_t flags,
                                              const uint16_t* data);
QOR_API uint32_t Qor_FlexRay_Message_Rx_Define(uint32_t port, uint16_t identifier, uint8_t selector1,
                                               uint8_t selector2, uint8_t channel, uint32_t* handle);
QOR_API uint32_t Qor_FlexRay_Message_GetHandle(uint32_t port, uint16_t identifier, uint8_t selector1,
                                               uint8_t selector2, uint8_t channel, uint32_t* handle);
/* Every output may be null; payloadLength and data go together. *payloadLength holds the capacity of data in words
 * on entry and the received length on return. */
QOR_API uint32_t Qor_FlexRay_Message_Rx_Read(uint32_t port, uint32_t handle, uint16_t* identifier, uint8_t* selector,
                                             uint8_t* channel, uint32_t* status, uint8_t* payloadLength,
                                             uint16_t* data);
QOR_API uint32_t Qor_FlexRay_Message_Delete(uint32_t port, uint32_t handle);
QOR_API uint32_t Qor_FlexRay_Message_Checksum_Crc_Define(uint32_t port, uint32_t handle, uint32_t firstValue,
                                                         uint32_t secondValue, uint8_t thirdValue, uint32_t flags,
                                                         uint32_t* crcHandle);
QOR_API uint32_t Qor_FlexRay_Message_Checksum_Crc_Assign(uint32_t port, uint32_t firstValue, uint32_t secondValue,
                                                         uint8_t thirdValue, uint8_t fourthValue, uint8_t fifthValue,
                                                         uint32_t* crcHandle);
QOR_API uint32_t Qor_FlexRay_Message_Ramp_Define(uint32_t port, uint32_t txHandle, const Qor_FlexRay_Ramp_t* ramp,
                                                 uint32_t* rampHandle);
QOR_API uint32_t Qor_FlexRay_Message_Ramp_Control(uint32_t port, uint32_t rampHandle, uint8_t mode);

QOR_END_DECLS

#endif
