/* The trace record: one bus event of a trace, the same bytes in memory, in the swap file, in the buffers that the
 * trace reads fill and for every file writer. A 28-byte head, then a payload by bus type; all integers little
 * endian. A record is exactly `length` bytes (never padded itself); where records are packed into one buffer, each
 * starts at an 8-byte aligned offset. The layouts are frozen: stored files and other writers read them. */
#ifndef QOR_TRACE_ENTRY_H
#define QOR_TRACE_ENTRY_H

#include "qor_types.h"

QOR_BEGIN_DECLS

/* busType values; readers test the low byte. */
#define QOR_TRACE_BUS_CAN 0u
#define QOR_TRACE_BUS_LIN 1u
#define QOR_TRACE_BUS_FLEXRAY 2u
#define QOR_TRACE_BUS_ETHERNET 3u

/* The longest record: a firmware item of 65535 bytes behind the head. */
#define QOR_TRACE_ENTRY_MAX_LENGTH 65563u

/* CAN flags byte (Qor_Trace_Entry_Can_t.flags). */
#define QOR_TRACE_CAN_EXTENDED 0x01u
#define QOR_TRACE_CAN_SENT 0x02u
#define QOR_TRACE_CAN_ERROR_FRAME 0x04u
#define QOR_TRACE_CAN_FD 0x08u
#define QOR_TRACE_CAN_TRIGGER_EVENT 0x10u
#define QOR_TRACE_CAN_BIT_RATE_SWITCH 0x20u
#define QOR_TRACE_CAN_ERROR_STATE 0x40u
#define QOR_TRACE_CAN_BUFFER_OVERRUN 0x80u

/* The 64-bit fields sit at offsets that are multiples of 4 only. */
#pragma pack(push, 4)

typedef struct Qor_Trace_Entry_t {
  uint32_t length;            /* +0  whole record, head included */
  uint32_t channelId;         /* +4  trace channel number (not a port handle) */
  uint64_t timestamp;         /* +8  ns, as the firmware stamped the event */
  uint64_t relativeTimestamp; /* +16 ns since the previous record of the same list key; 0 when created */
  uint32_t busType;           /* +24 QOR_TRACE_BUS_* */
} Qor_Trace_Entry_t;

/* Bus type 0: the firmware's CAN item without its fill bytes; length = dataLength + 44. */
typedef struct Qor_Trace_Entry_Can_t {
  Qor_Trace_Entry_t head; /* +0 */
  uint64_t timestamp;     /* +28 ns, same as head.timestamp */
  uint32_t identifier;    /* +36 as the firmware reports it */
  uint8_t flags;          /* +40 QOR_TRACE_CAN_* */
  uint8_t flags2;         /* +41 carried unchanged */
  uint8_t dlc;            /* +42 */
  uint8_t dataLength;     /* +43 data bytes that follow */
  uint8_t data[64];       /* +44 error frame: byte 0 the error code; trigger event: byte 0 is 0 rising edge,
                                 1 falling edge, else a user event whose bytes follow */
} Qor_Trace_Entry_Can_t;

/* Bus type 1: always 48 bytes. */
typedef struct Qor_Trace_Entry_Lin_t {
  Qor_Trace_Entry_t head; /* +0 */
  uint16_t reserved1;     /* +28 0 */
  uint16_t status;        /* +30 firmware status bits; bit 7 also marks a buffer overrun */
  uint8_t byteCount;      /* +32 bytes at +35: data bytes, then the checksum; at most 9 */
  uint8_t identifier;     /* +33 low 6 bits: the frame identifier */
  uint8_t reserved2;      /* +34 0 */
  uint8_t bytes[9];       /* +35 data bytes, then the checksum */
  uint32_t bitTime;       /* +44 in 1/8 ns */
} Qor_Trace_Entry_Lin_t;

/* Bus type 2: the firmware's FlexRay entry whole; length = entryLength + 28. Frames (types 1 and 2) carry every
 * field; for types 7 to 10 the u16 at +40 is the event code. The payload follows at +48. */
typedef struct Qor_Trace_Entry_FlexRay_t {
  Qor_Trace_Entry_t head; /* +0 */
  uint16_t entryLength;   /* +28 */
  uint16_t entryType;     /* +30 1 frame received, 2 frame sent, 0 and 3 to 10 events; 0 after an overrun */
  uint64_t timestamp;     /* +32 ns */
  uint8_t channel;        /* +40 0 A, 1 B, 2 A and B */
  uint8_t indicator;      /* +41 frame indicator bits */
  uint16_t slot;          /* +42 */
  uint8_t cycle;          /* +44 */
  uint8_t payloadWords;   /* +45 payload length in 16-bit words */
  uint16_t headerCrc;     /* +46 */
} Qor_Trace_Entry_FlexRay_t;

/* Bus type 3: the firmware's Ethernet item whole; length = itemLength + 28. The frame follows at +44. */
typedef struct Qor_Trace_Entry_Ethernet_t {
  Qor_Trace_Entry_t head; /* +0 */
  uint16_t itemLength;    /* +28 */
  uint16_t itemType;      /* +30 1 a frame; 0 after an overrun */
  uint64_t timestamp;     /* +32 ns */
  uint8_t flags;          /* +40 bit 0: sent by the interface */
  uint8_t reserved;       /* +41 */
  uint16_t frameLength;   /* +42 */
} Qor_Trace_Entry_Ethernet_t;

#pragma pack(pop)

QOR_STATIC_ASSERT(sizeof(Qor_Trace_Entry_t) == 28, "Qor_Trace_Entry_t is 28 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Trace_Entry_t, channelId) == 4, "channelId at 4");
QOR_STATIC_ASSERT(offsetof(Qor_Trace_Entry_t, timestamp) == 8, "timestamp at 8");
QOR_STATIC_ASSERT(offsetof(Qor_Trace_Entry_t, relativeTimestamp) == 16, "relativeTimestamp at 16");
QOR_STATIC_ASSERT(offsetof(Qor_Trace_Entry_t, busType) == 24, "busType at 24");

QOR_STATIC_ASSERT(sizeof(Qor_Trace_Entry_Can_t) == 108, "Qor_Trace_Entry_Can_t is 108 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Trace_Entry_Can_t, timestamp) == 28, "CAN timestamp at 28");
QOR_STATIC_ASSERT(offsetof(Qor_Trace_Entry_Can_t, identifier) == 36, "CAN identifier at 36");
QOR_STATIC_ASSERT(offsetof(Qor_Trace_Entry_Can_t, flags) == 40, "CAN flags at 40");
QOR_STATIC_ASSERT(offsetof(Qor_Trace_Entry_Can_t, dlc) == 42, "CAN dlc at 42");
QOR_STATIC_ASSERT(offsetof(Qor_Trace_Entry_Can_t, dataLength) == 43, "CAN data length at 43");
QOR_STATIC_ASSERT(offsetof(Qor_Trace_Entry_Can_t, data) == 44, "CAN data at 44");

QOR_STATIC_ASSERT(sizeof(Qor_Trace_Entry_Lin_t) == 48, "Qor_Trace_Entry_Lin_t is 48 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Trace_Entry_Lin_t, status) == 30, "LIN status at 30");
QOR_STATIC_ASSERT(offsetof(Qor_Trace_Entry_Lin_t, byteCount) == 32, "LIN byte count at 32");
QOR_STATIC_ASSERT(offsetof(Qor_Trace_Entry_Lin_t, identifier) == 33, "LIN identifier at 33");
QOR_STATIC_ASSERT(offsetof(Qor_Trace_Entry_Lin_t, bytes) == 35, "LIN bytes at 35");
QOR_STATIC_ASSERT(offsetof(Qor_Trace_Entry_Lin_t, bitTime) == 44, "LIN bit time at 44");

QOR_STATIC_ASSERT(sizeof(Qor_Trace_Entry_FlexRay_t) == 48, "Qor_Trace_Entry_FlexRay_t is 48 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Trace_Entry_FlexRay_t, entryType) == 30, "FlexRay type at 30");
QOR_STATIC_ASSERT(offsetof(Qor_Trace_Entry_FlexRay_t, timestamp) == 32, "FlexRay timestamp at 32");
QOR_STATIC_ASSERT(offsetof(Qor_Trace_Entry_FlexRay_t, channel) == 40, "FlexRay channel at 40");
QOR_STATIC_ASSERT(offsetof(Qor_Trace_Entry_FlexRay_t, slot) == 42, "FlexRay slot at 42");
QOR_STATIC_ASSERT(offsetof(Qor_Trace_Entry_FlexRay_t, cycle) == 44, "FlexRay cycle at 44");
QOR_STATIC_ASSERT(offsetof(Qor_Trace_Entry_FlexRay_t, headerCrc) == 46, "FlexRay header CRC at 46");

QOR_STATIC_ASSERT(sizeof(Qor_Trace_Entry_Ethernet_t) == 44, "Qor_Trace_Entry_Ethernet_t is 44 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Trace_Entry_Ethernet_t, itemType) == 30, "Ethernet type at 30");
QOR_STATIC_ASSERT(offsetof(Qor_Trace_Entry_Ethernet_t, timestamp) == 32, "Ethernet timestamp at 32");
QOR_STATIC_ASSERT(offsetof(Qor_Trace_Entry_Ethernet_t, flags) == 40, "Ethernet flags at 40");
QOR_STATIC_ASSERT(offsetof(Qor_Trace_Entry_Ethernet_t, frameLength) == 42, "Ethernet frame length at 42");

QOR_END_DECLS

#endif
