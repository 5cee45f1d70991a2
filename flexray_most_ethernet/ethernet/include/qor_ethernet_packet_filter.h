/* The Ethernet controller's ten packet filters. The values' and blocks' meanings belong to the firmware; a flag bit
 * says which field is given. */
#ifndef QOR_ETHERNET_PACKET_FILTER_H
#define QOR_ETHERNET_PACKET_FILTER_H

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_ETHERNET_PKT_FILTER_COUNT 10u
/* Set: bits 1 to 7 give value1, value2, value3, block1, block2, value4 and value5; bit 10 gives extra; the others
 * go to the firmware. */
#define QOR_ETHERNET_PKT_FILTER_SET_FLAGS 0x7FFu
#define QOR_ETHERNET_PKT_FILTER_EXTRA 0x400u
/* Reset: bit 0 goes to the firmware, bit 1 gives extra. */
#define QOR_ETHERNET_PKT_FILTER_RESET_FLAGS 0x03u
#define QOR_ETHERNET_PKT_FILTER_RESET_EXTRA 0x02u

typedef struct Qor_Ethernet_PktFilter_t {
  uint32_t flags;     /* +0 bits 0 to 10 */
  uint8_t instance;   /* +4 0 to 9 */
  uint8_t extra;      /* +5 */
  uint16_t value1;    /* +6 */
  uint16_t value2;    /* +8 */
  uint8_t value3;     /* +10 */
  uint8_t reserved;   /* +11 0 */
  uint8_t block1[16]; /* +12 */
  uint8_t block2[16]; /* +28 */
  uint16_t value4;    /* +44 */
  uint16_t value5;    /* +46 */
} Qor_Ethernet_PktFilter_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_PktFilter_t) == 48, "packet filter is 48 bytes");

typedef struct Qor_Ethernet_PktFilterReset_t {
  uint32_t flags;    /* +0 bits 0 and 1 */
  uint8_t instance;  /* +4 0 to 9 */
  uint8_t extra;     /* +5 */
  uint16_t reserved; /* +6 0 */
} Qor_Ethernet_PktFilterReset_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_PktFilterReset_t) == 8, "packet filter reset is 8 bytes");

QOR_API uint32_t Qor_Ethernet_PktFilter_Set(uint32_t port, const Qor_Ethernet_PktFilter_t* filter);
QOR_API uint32_t Qor_Ethernet_PktFilter_Reset(uint32_t port, const Qor_Ethernet_PktFilterReset_t* reset);

QOR_END_DECLS

#endif
