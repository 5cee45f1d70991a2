/* The Ethernet controller's packet generator: sends a given frame as the firmware's mode and values say. */
#ifndef QOR_ETHERNET_PACKET_GENERATOR_H
#define QOR_ETHERNET_PACKET_GENERATOR_H

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_ETHERNET_PKT_GEN_FLAGS 0x1Fu
#define QOR_ETHERNET_PKT_GEN_MAX_MODE 2u
/* What a state read back holds for a mode the firmware gives beyond the known ones. */
#define QOR_ETHERNET_PKT_GEN_MODE_UNKNOWN 3u
#define QOR_ETHERNET_PKT_GEN_STATUS_BITS 0x7Fu
#define QOR_ETHERNET_PKT_GEN_MAX_FRAME_BYTES 4060u

/* Only the first frameLength bytes of frame are read. */
typedef struct Qor_Ethernet_PktGen_Config_t {
  uint32_t flags;        /* +0 bits 0 to 4 */
  uint8_t mode;          /* +4 0 to 2 */
  uint8_t reserved;      /* +5 0 */
  uint16_t frameLength;  /* +6 at most 4060 */
  uint32_t value1;       /* +8 */
  uint32_t value2;       /* +12 */
  uint32_t value3;       /* +16 */
  uint8_t frame[QOR_ETHERNET_PKT_GEN_MAX_FRAME_BYTES]; /* +20 */
} Qor_Ethernet_PktGen_Config_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_PktGen_Config_t) == 4080, "generator configuration is 4080 bytes");

typedef struct Qor_Ethernet_PktGen_State_t {
  uint32_t status;      /* +0 bits 0 to 6 */
  uint8_t mode;         /* +4 0 to 3 */
  uint8_t reserved[3];  /* +5 0 */
  uint32_t values[5];   /* +8 the firmware's counters, in its order */
} Qor_Ethernet_PktGen_State_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_PktGen_State_t) == 28, "generator state is 28 bytes");

QOR_API uint32_t Qor_Ethernet_PktGen_Reset(uint32_t port);
QOR_API uint32_t Qor_Ethernet_PktGen_Config(uint32_t port, const Qor_Ethernet_PktGen_Config_t* config);
/* *flags must be 0. */
QOR_API uint32_t Qor_Ethernet_PktGen_GetState(uint32_t port, const uint32_t* flags,
                                              Qor_Ethernet_PktGen_State_t* state);

QOR_END_DECLS

#endif
