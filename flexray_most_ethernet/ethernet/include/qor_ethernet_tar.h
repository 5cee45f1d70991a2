/* The Ethernet controller's TAR instances: a socket (UDP or TCP over IPv4 or IPv6) and a list of items, each with data
 * to send and, optionally, data expected in return. Flags, addresses, ports, values, modes and state fields mean what
 * the firmware makes of them. */
#ifndef QOR_ETHERNET_TAR_H
#define QOR_ETHERNET_TAR_H

#include <stddef.h>

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_ETHERNET_TAR_UDP4_FLAGS 0x03u
#define QOR_ETHERNET_TAR_TCP4_FLAGS 0x07u
#define QOR_ETHERNET_TAR_UDP6_FLAGS 0x07u
#define QOR_ETHERNET_TAR_TCP6_FLAGS 0x0Fu
#define QOR_ETHERNET_TAR_TX_FLAGS 0x07u
#define QOR_ETHERNET_TAR_RX_DATA_PRESENT 0x01u /* an item's rxFlags: rxData is expected on reception */
#define QOR_ETHERNET_TAR_MAX_START_MODE 1u

/* A socket over IPv4 (UDP or TCP). */
typedef struct Qor_Ethernet_Tar_Config4_t {
  uint32_t flags;       /* +0 */
  uint8_t instance;     /* +4 */
  uint8_t reserved[3];  /* +5 0 */
  uint8_t address1[4];  /* +8 */
  uint8_t address2[4];  /* +12 */
  uint16_t port1;       /* +16 */
  uint16_t port2;       /* +18 */
} Qor_Ethernet_Tar_Config4_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_Tar_Config4_t) == 20, "Qor_Ethernet_Tar_Config4_t is 20 bytes");

/* A socket over IPv6 (UDP or TCP). */
typedef struct Qor_Ethernet_Tar_Config6_t {
  uint32_t flags;        /* +0 */
  uint8_t instance;      /* +4 */
  uint8_t reserved[3];   /* +5 0 */
  uint8_t address1[16];  /* +8 */
  uint8_t address2[16];  /* +24 */
  uint16_t port1;        /* +40 */
  uint16_t port2;        /* +42 */
  uint32_t value;        /* +44 */
} Qor_Ethernet_Tar_Config6_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_Tar_Config6_t) == 48, "Qor_Ethernet_Tar_Config6_t is 48 bytes");

typedef struct Qor_Ethernet_Tar_ConfigOff_t {
  uint32_t flags;      /* +0 0 */
  uint8_t instance;    /* +4 */
  uint8_t reserved[3]; /* +5 0 */
} Qor_Ethernet_Tar_ConfigOff_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_Tar_ConfigOff_t) == 8, "Qor_Ethernet_Tar_ConfigOff_t is 8 bytes");

typedef struct Qor_Ethernet_Tar_Item_t {
  uint8_t txFlags;       /* +0 bits 0 to 2 */
  uint8_t rxFlags;       /* +1 bit 0: QOR_ETHERNET_TAR_RX_DATA_PRESENT */
  uint16_t value;        /* +2 */
  uint16_t txLength;     /* +4 bytes at txData */
  uint16_t rxLength;     /* +6 bytes at rxData */
  const uint8_t* txData; /* +8 */
  const uint8_t* rxData; /* +16 read only with QOR_ETHERNET_TAR_RX_DATA_PRESENT */
} Qor_Ethernet_Tar_Item_t;
QOR_STATIC_ASSERT(offsetof(Qor_Ethernet_Tar_Item_t, txData) == 8, "item TX data at 8");

typedef struct Qor_Ethernet_Tar_StartKey_t {
  uint8_t instance;    /* +0 */
  uint8_t mode;        /* +1 0 or 1 */
  uint8_t reserved[2]; /* +2 0 */
} Qor_Ethernet_Tar_StartKey_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_Tar_StartKey_t) == 4, "Qor_Ethernet_Tar_StartKey_t is 4 bytes");

typedef struct Qor_Ethernet_Tar_Key_t {
  uint8_t instance;    /* +0 */
  uint8_t reserved[3]; /* +1 0 */
} Qor_Ethernet_Tar_Key_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_Tar_Key_t) == 4, "Qor_Ethernet_Tar_Key_t is 4 bytes");

typedef struct Qor_Ethernet_Tar_State_t {
  uint8_t value;        /* +0 */
  uint8_t flag;         /* +1 0 or 1 */
  uint8_t state;        /* +2 the firmware's 0 to 4; 5 for any other */
  uint8_t reserved;     /* +3 0 */
  uint32_t firstValue;  /* +4 */
  uint32_t secondValue; /* +8 */
} Qor_Ethernet_Tar_State_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_Tar_State_t) == 12, "Qor_Ethernet_Tar_State_t is 12 bytes");

QOR_API uint32_t Qor_Ethernet_Tar_Config_Udp4(uint32_t port, const Qor_Ethernet_Tar_Config4_t* config);
QOR_API uint32_t Qor_Ethernet_Tar_Config_Tcp4(uint32_t port, const Qor_Ethernet_Tar_Config4_t* config);
QOR_API uint32_t Qor_Ethernet_Tar_Config_Udp6(uint32_t port, const Qor_Ethernet_Tar_Config6_t* config);
QOR_API uint32_t Qor_Ethernet_Tar_Config_Tcp6(uint32_t port, const Qor_Ethernet_Tar_Config6_t* config);
QOR_API uint32_t Qor_Ethernet_Tar_Config_Off(uint32_t port, const Qor_Ethernet_Tar_ConfigOff_t* config);

/* Loads the items in records within the port's maximum parameter length; every item is checked before the first
 * record leaves. The four socket kinds' names all do the same. */
QOR_API uint32_t Qor_Ethernet_Tar_AddItems(uint32_t port, uint8_t instance, uint32_t count,
                                           const Qor_Ethernet_Tar_Item_t* items);
QOR_API uint32_t Qor_Ethernet_Tar_AddItems_Udp4(uint32_t port, uint8_t instance, uint32_t count,
                                                const Qor_Ethernet_Tar_Item_t* items);
QOR_API uint32_t Qor_Ethernet_Tar_AddItems_Tcp4(uint32_t port, uint8_t instance, uint32_t count,
                                                const Qor_Ethernet_Tar_Item_t* items);
QOR_API uint32_t Qor_Ethernet_Tar_AddItems_Udp6(uint32_t port, uint8_t instance, uint32_t count,
                                                const Qor_Ethernet_Tar_Item_t* items);
QOR_API uint32_t Qor_Ethernet_Tar_AddItems_Tcp6(uint32_t port, uint8_t instance, uint32_t count,
                                                const Qor_Ethernet_Tar_Item_t* items);

QOR_API uint32_t Qor_Ethernet_Tar_Start(uint32_t port, const Qor_Ethernet_Tar_StartKey_t* key);
QOR_API uint32_t Qor_Ethernet_Tar_Stop(uint32_t port, const Qor_Ethernet_Tar_Key_t* key);
QOR_API uint32_t Qor_Ethernet_Tar_GetState(uint32_t port, const Qor_Ethernet_Tar_Key_t* key,
                                           Qor_Ethernet_Tar_State_t* state);

QOR_END_DECLS

#endif
