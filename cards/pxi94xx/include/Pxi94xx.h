/* libPxi94xx: the access path to the 94xx cards. A card's firmware and the host talk through three rings in the
 * card's first memory window (BAR0): the host fills the command ring with firmware frames and rings a doorbell, the
 * card fills the response and monitor rings. Cards are numbered 1 to 16. The library has no threads and no locks;
 * the caller keeps one card's ring traffic on one thread. Card memory is untrusted: ring indices and frame lengths
 * are checked before use, and a ring found inconsistent is emptied and reported as PXI94XX_ERROR_BAD_ANSWER. */
#ifndef PXI94XX_H
#define PXI94XX_H

#include "PlxApi.h"

QOR_BEGIN_DECLS

#define PXI94XX_CARD_COUNT_MAX 16u
#define PXI94XX_LIBRARY_VERSION 104u

enum {
  PXI94XX_ERROR_BUFFER_TOO_SMALL = 0xE0000005u, /* "API - user memory undersized" */
  PXI94XX_ERROR_CARD_NOT_OPEN = 0xE0000100u,    /* "API - invalid handle" */
  PXI94XX_ERROR_CARD_NUMBER = 0xE0000101u,      /* "API - invalid card number" */
  PXI94XX_ERROR_NO_CARD = 0xE0000105u,          /* "API - no card present" */
  PXI94XX_ERROR_LENGTH_MISMATCH = 0xE0000106u,  /* "API - not equal length on write instruction" */
  PXI94XX_ERROR_NO_ANSWER = 0xE0000115u,        /* a built-in instruction got no answer within 500 ms */
  PXI94XX_ERROR_BAD_ANSWER = 0xE0000116u,       /* answer does not match, or a ring's indices or lengths are bad */
  PXI94XX_ERROR_RING_FULL = 0xE0000300u,        /* "API - not enough memory": ring full or no memory */
  PXI94XX_ERROR_INVALID_ARGUMENT = 0xE0000301u, /* "API - invalid parameter" */
  PXI94XX_ERROR_ACKNOWLEDGE = 0xE0000400u,      /* "API - firmware error" */
  PXI94XX_ERROR_NOTIFICATION = 0xE0000900u,     /* notification object not valid */
  PXI94XX_ERROR_DEVICE_OBJECT = 0xE0000926u     /* device object not valid */
};

/* BAR0 of a card: byte offsets; ring indices count dwords. */
#define PXI94XX_BAR0_SIZE 0x800000u
#define PXI94XX_CONTROL_WORD 0x0u           /* bit 8: the card waits for a doorbell; bit 0: doorbell */
#define PXI94XX_INTERRUPT_CONTROL_WORD 0x8u /* bit 8: response interrupt enabled */
#define PXI94XX_CONTROL_WAITING 0x100u
#define PXI94XX_CONTROL_DOORBELL 0x1u
#define PXI94XX_INTERRUPT_RESPONSE 0x100u
#define PXI94XX_COMMAND_RING 0x400u
#define PXI94XX_COMMAND_RING_SIZE 0x200000u
#define PXI94XX_RESPONSE_RING 0x200400u
#define PXI94XX_RESPONSE_RING_SIZE 0x200000u
#define PXI94XX_MONITOR_RING 0x400400u
#define PXI94XX_MONITOR_RING_SIZE 0x3FF800u
#define PXI94XX_COMMAND_READ_INDEX 0x7FFC00u  /* written by the card */
#define PXI94XX_COMMAND_WRITE_INDEX 0x7FFC04u /* written by the host */
#define PXI94XX_RESPONSE_READ_INDEX 0x7FFC08u /* host */
#define PXI94XX_RESPONSE_WRITE_INDEX 0x7FFC0Cu /* card */
#define PXI94XX_MONITOR_READ_INDEX 0x7FFD38u  /* host */
#define PXI94XX_MONITOR_WRITE_INDEX 0x7FFD3Cu /* card */

/* An interrupt notification, owned by the caller. */
typedef struct Pxi94xxNotification_t {
  uint32_t tag;    /* +0 PLX_TAG_VALID while registered, PLX_TAG_INVALID after a cancel */
  uint32_t padding; /* +4 */
  uint64_t handle; /* +8 the driver's */
} Pxi94xxNotification_t;
QOR_STATIC_ASSERT(sizeof(Pxi94xxNotification_t) == 16, "Pxi94xxNotification_t is 16 bytes");

/* BAR0 properties of a card. */
typedef struct Pxi94xxMemoryProperties_t {
  uint32_t physicalAddress; /* +0 */
  uint32_t size;            /* +4 */
  uint32_t flag;            /* +8 bit 0 of the BAR flags */
} Pxi94xxMemoryProperties_t;
QOR_STATIC_ASSERT(sizeof(Pxi94xxMemoryProperties_t) == 12, "Pxi94xxMemoryProperties_t is 12 bytes");

/* Functions that take a card number check, in this order: no card opened PXI94XX_ERROR_NO_CARD; card number outside
 * 1-16 PXI94XX_ERROR_CARD_NUMBER; card not open PXI94XX_ERROR_CARD_NOT_OPEN. */

/* Opens every card the driver finds (run when the library is loaded); 0 when at least one is open. */
PXI94XX_API uint32_t Pxi94xx__Init(void);
/* Unmaps and closes every open card; the last close status. */
PXI94XX_API uint32_t Pxi94xx__Close(void);
/* One frame into the command ring of the card named by the frame's byte 10, then the doorbell. The length must be
 * at least the 12-byte header and equal the frame's u16 at 2. */
PXI94XX_API uint32_t Pxi94xx__WriteInstruction(const uint8_t* frame, uint16_t length);
/* One frame from the response ring; length 0 when none waits. The buffer holds 65535 bytes. */
PXI94XX_API uint32_t Pxi94xx__ReadResponse(uint8_t card, uint8_t* buffer, uint32_t* length);
/* Every frame waiting in the response (monitor) ring, back to back; the buffer holds a whole ring
 * (PXI94XX_RESPONSE_RING_SIZE, PXI94XX_MONITOR_RING_SIZE). */
PXI94XX_API uint32_t Pxi94xx__ReadResponseBlock(uint8_t card, uint8_t* buffer, uint32_t* total, uint32_t* count);
PXI94XX_API uint32_t Pxi94xx__ReadMonitor(uint8_t card, uint8_t* buffer, uint32_t* total, uint32_t* count);
/* Enables the card's response interrupt. */
PXI94XX_API uint32_t Pxi94xx__SetInterruptSource(uint8_t card);
PXI94XX_API uint32_t Pxi94xx__IsDeviceNumberValid(uint8_t card, uint8_t* index, volatile uint8_t** bar0,
                                                  PlxDeviceObject_t** device);
PXI94XX_API uint32_t Pxi94xx__MemoryProperties(uint8_t card, Pxi94xxMemoryProperties_t* properties, void* ignored);

/* Interrupt notifications: null arguments PXI94XX_ERROR_INVALID_ARGUMENT, a device object that is not open
 * PXI94XX_ERROR_DEVICE_OBJECT, a notification not registered PXI94XX_ERROR_NOTIFICATION; else the driver's status.
 * The wait's status is 0 when the interrupt came, 13 or 14 when it did not within the time-out. */
PXI94XX_API uint32_t Pxi94xx__NotificationInit(PlxDeviceObject_t* device, const uint8_t* flags,
                                               Pxi94xxNotification_t* notification);
PXI94XX_API uint32_t Pxi94xx__NotificationWait(PlxDeviceObject_t* device, Pxi94xxNotification_t* notification,
                                               uint32_t timeoutMs);
PXI94XX_API uint32_t Pxi94xx__NotificationCancel(PlxDeviceObject_t* device, Pxi94xxNotification_t* notification);

/* Built-in instructions: the library writes the frame and takes the first frame of the response ring within 500 ms
 * as the answer; not for a card whose rings the daemon serves. */
PXI94XX_API uint32_t Pxi94xx__EepromReadData(uint8_t card, uint8_t selector, uint16_t address, uint16_t count,
                                             uint8_t* buffer);
PXI94XX_API uint32_t Pxi94xx__FpgaReadData(uint8_t card, uint8_t fpga, uint16_t reg, uint32_t* value);
PXI94XX_API uint32_t Pxi94xx__FpgaWriteData(uint8_t card, uint8_t fpga, uint16_t reg, uint32_t value);
/* Action 0 queries, 1 and 2 change the protection of EEPROM 0-9; *state gets the card's answer. */
PXI94XX_API uint32_t Pxi94xx__HandlingWriteProtection(uint8_t card, uint8_t action, uint8_t eeprom, uint8_t* state);

/* u32 library version at 0, u32 driver version at 4, u32 card count at 8, from 12 one 20-byte record per card
 * beginning with its u32 PCI device identifier. */
PXI94XX_API uint32_t Pxi94xx__SystemInfoSpecial(uint8_t* buffer, uint32_t length);
/* The same header and a 116-byte record per card from its FPGAs and EEPROM 0. */
PXI94XX_API uint32_t Pxi94xx__SystemInfo(uint8_t* buffer, uint32_t length);
/* u32 count of transceiver EEPROMs present per card from 0; from 64 a 196-byte block per card. */
PXI94XX_API uint32_t Pxi94xx__TransceiverInfo(uint8_t* buffer, uint32_t length);

QOR_END_DECLS

#endif
