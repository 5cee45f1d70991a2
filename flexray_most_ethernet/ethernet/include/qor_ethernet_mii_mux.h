/* The Ethernet controller's MII multiplexer: which source feeds which target. The types' and values' meanings belong
 * to the firmware. */
#ifndef QOR_ETHERNET_MII_MUX_H
#define QOR_ETHERNET_MII_MUX_H

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_ETHERNET_MII_MUX_SET_FLAGS 0x03u
#define QOR_ETHERNET_MII_MUX_GET_FLAGS 0x01u
#define QOR_ETHERNET_MII_MUX_MAX_TARGET_TYPE 7u
#define QOR_ETHERNET_MII_MUX_MAX_SOURCE_TYPE 5u
/* What a selection read back holds for a type the firmware gives beyond the known ones. */
#define QOR_ETHERNET_MII_MUX_TARGET_TYPE_UNKNOWN 8u
#define QOR_ETHERNET_MII_MUX_SOURCE_TYPE_UNKNOWN 6u

typedef struct Qor_Ethernet_MiiMux_Selection_t {
  uint32_t flags;      /* +0 bits 0 and 1 */
  uint8_t TargetType;  /* +4 0 to 7 */
  uint8_t targetValue; /* +5 */
  uint8_t SourceType;  /* +6 0 to 5 */
  uint8_t sourceValue; /* +7 */
} Qor_Ethernet_MiiMux_Selection_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_MiiMux_Selection_t) == 8, "MII selection is 8 bytes");

typedef struct Qor_Ethernet_MiiMux_SelectionKey_t {
  uint32_t flags;      /* +0 bit 0 */
  uint8_t TargetType;  /* +4 */
  uint8_t targetValue; /* +5 */
  uint16_t reserved;   /* +6 0 */
} Qor_Ethernet_MiiMux_SelectionKey_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_MiiMux_SelectionKey_t) == 8, "MII selection key is 8 bytes");

QOR_API uint32_t Qor_Ethernet_MiiMux_ResetOwnSelections(uint32_t port);
QOR_API uint32_t Qor_Ethernet_MiiMux_ResetAllSelections(uint32_t port);
QOR_API uint32_t Qor_Ethernet_MiiMux_Selection_Set(uint32_t port, const Qor_Ethernet_MiiMux_Selection_t* selection);
/* The result's flags are the firmware's bits 0 and 1. */
QOR_API uint32_t Qor_Ethernet_MiiMux_Selection_Get(uint32_t port, const Qor_Ethernet_MiiMux_SelectionKey_t* key,
                                                   Qor_Ethernet_MiiMux_Selection_t* selection);

QOR_END_DECLS

#endif
