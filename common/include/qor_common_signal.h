/* Signal layout check: where a signal of 1 to 64 bits lies in a frame of 64 bytes, as the bus libraries place
 * checksums, counters, ramps and parity bits. Nothing is sent to the firmware. */
#ifndef QOR_COMMON_SIGNAL_H
#define QOR_COMMON_SIGNAL_H

#include "qor_types.h"

QOR_BEGIN_DECLS

enum { QOR_COMMON_SIGNAL_INTEL = 0, QOR_COMMON_SIGNAL_MOTOROLA = 1 };

typedef struct Qor_Common_Signal_t {
  uint8_t size;      /* +0 bits, 1 to 64 */
  uint8_t byteOrder; /* +1 QOR_COMMON_SIGNAL_INTEL (upwards from the start bit) or _MOTOROLA (start bit is the least
                        significant; the signal goes on in the bytes of lower index) */
  uint16_t startBit; /* +2 0 to 511; bit 0 is bit 0 of byte 0 */
} Qor_Common_Signal_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Signal_t) == 4, "Qor_Common_Signal_t is 4 bytes");

/* 0 when the signal fits the frame, else 0x02010007 with the reason. */
QOR_API uint32_t Qor_Common_Signal_Check(uint32_t port, const Qor_Common_Signal_t* signal);
/* Checks, then gives the firmware's form: byte = start bit / 8, bit = start bit % 8, the size, and 1 for Motorola.
 * The outputs are untouched on failure. */
QOR_API uint32_t Qor_Common_Signal_CheckAndTranslate(uint32_t port, const Qor_Common_Signal_t* signal,
                                                     uint8_t* byteIndex, uint8_t* bitIndex, uint8_t* size,
                                                     uint8_t* motorola);

QOR_END_DECLS

#endif
