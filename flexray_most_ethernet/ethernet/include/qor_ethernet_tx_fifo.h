/* The Ethernet controller's transmit FIFOs: frames written by the host, raw or completed by the firmware from a
 * protocol template (ICMPv6, UDP or TCP over IPv6 or IPv4). The values, addresses, ports and option bits mean what
 * the firmware makes of them. */
#ifndef QOR_ETHERNET_TX_FIFO_H
#define QOR_ETHERNET_TX_FIFO_H

#include <stddef.h>

#include "qor_types.h"

QOR_BEGIN_DECLS

/* Kinds of FIFO, as the firmware numbers them. */
typedef enum Ethernet_Param_TxFifo_Type_t {
  Ethernet_TxFifo_Type_Raw = 0,
  Ethernet_TxFifo_Type_Icmp6 = 1,
  Ethernet_TxFifo_Type_Udp6 = 2,
  Ethernet_TxFifo_Type_Tcp6 = 3,
  Ethernet_TxFifo_Type_Udp4 = 4,
  Ethernet_TxFifo_Type_Tcp4 = 5
} Ethernet_Param_TxFifo_Type_t;

/* Flag bits each configuration takes; bit 0 goes to the firmware's flag word, the others to the options byte. */
#define QOR_ETHERNET_TX_FIFO_RAW_FLAGS 0x01u
#define QOR_ETHERNET_TX_FIFO_ICMP6_FLAGS 0x07u
#define QOR_ETHERNET_TX_FIFO_UDP6_FLAGS 0x3Fu
#define QOR_ETHERNET_TX_FIFO_TCP6_FLAGS 0x0Fu
#define QOR_ETHERNET_TX_FIFO_UDP4_FLAGS 0x1Fu
#define QOR_ETHERNET_TX_FIFO_TCP4_FLAGS 0x07u
/* The flag bits that make an optional field count. */
#define QOR_ETHERNET_TX_FIFO_FLAG_VALUE32 0x04u /* ICMPv6, UDP and TCP over IPv6: value32 */
#define QOR_ETHERNET_TX_FIFO_FLAG_VALUE8 0x10u  /* UDP: value8 */
#define QOR_ETHERNET_TX_FIFO_FLAG_BLOCK 0x20u   /* UDP over IPv6: value16 and block */

/* Every configuration's head. */
typedef struct Qor_Ethernet_TxFifo_ConfigHead_t {
  uint32_t flags;       /* +0 */
  uint32_t firstValue;  /* +4 */
  uint32_t secondValue; /* +8 */
  uint16_t thirdValue;  /* +12 */
  uint16_t reserved;    /* +14 0 */
} Qor_Ethernet_TxFifo_ConfigHead_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_TxFifo_ConfigHead_t) == 16, "Qor_Ethernet_TxFifo_ConfigHead_t is 16 bytes");

typedef struct Qor_Ethernet_TxFifo_Config_Raw_t {
  Qor_Ethernet_TxFifo_ConfigHead_t head; /* +0 */
} Qor_Ethernet_TxFifo_Config_Raw_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_TxFifo_Config_Raw_t) == 16, "Qor_Ethernet_TxFifo_Config_Raw_t is 16 bytes");

typedef struct Qor_Ethernet_TxFifo_Config_Icmp6_t {
  Qor_Ethernet_TxFifo_ConfigHead_t head; /* +0 */
  uint8_t address1[16];                  /* +16 */
  uint8_t address2[16];                  /* +32 */
  uint32_t value32;                      /* +48 with flag bit 2 */
} Qor_Ethernet_TxFifo_Config_Icmp6_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_TxFifo_Config_Icmp6_t) == 52, "Qor_Ethernet_TxFifo_Config_Icmp6_t is 52 bytes");

typedef struct Qor_Ethernet_TxFifo_Config_Udp6_t {
  Qor_Ethernet_TxFifo_ConfigHead_t head; /* +0 */
  uint8_t address1[16];                  /* +16 */
  uint8_t address2[16];                  /* +32 */
  uint16_t port1;                        /* +48 */
  uint16_t port2;                        /* +50 */
  uint32_t value32;                      /* +52 with flag bit 2 */
  uint8_t value8;                        /* +56 with flag bit 4 */
  uint8_t reserved;                      /* +57 0 when any of flag bits 3 to 5 is set */
  uint16_t value16;                      /* +58 with flag bit 5 */
  uint8_t block[16];                     /* +60 with flag bit 5 */
} Qor_Ethernet_TxFifo_Config_Udp6_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_TxFifo_Config_Udp6_t) == 76, "Qor_Ethernet_TxFifo_Config_Udp6_t is 76 bytes");

typedef struct Qor_Ethernet_TxFifo_Config_Tcp6_t {
  Qor_Ethernet_TxFifo_ConfigHead_t head; /* +0 */
  uint8_t address1[16];                  /* +16 */
  uint8_t address2[16];                  /* +32 */
  uint16_t port1;                        /* +48 */
  uint16_t port2;                        /* +50 */
  uint32_t value32;                      /* +52 with flag bit 2 */
} Qor_Ethernet_TxFifo_Config_Tcp6_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_TxFifo_Config_Tcp6_t) == 56, "Qor_Ethernet_TxFifo_Config_Tcp6_t is 56 bytes");

typedef struct Qor_Ethernet_TxFifo_Config_Udp4_t {
  Qor_Ethernet_TxFifo_ConfigHead_t head; /* +0 */
  uint8_t address1[4];                   /* +16 */
  uint8_t address2[4];                   /* +20 */
  uint16_t port1;                        /* +24 */
  uint16_t port2;                        /* +26 */
  uint8_t value8;                        /* +28 with flag bit 4 */
  uint8_t reserved;                      /* +29 0 when any of flag bits 2 to 4 is set */
  uint16_t alignment;                    /* +30 not read */
} Qor_Ethernet_TxFifo_Config_Udp4_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_TxFifo_Config_Udp4_t) == 32, "Qor_Ethernet_TxFifo_Config_Udp4_t is 32 bytes");

typedef struct Qor_Ethernet_TxFifo_Config_Tcp4_t {
  Qor_Ethernet_TxFifo_ConfigHead_t head; /* +0 */
  uint8_t address1[4];                   /* +16 */
  uint8_t address2[4];                   /* +20 */
  uint16_t port1;                        /* +24 */
  uint16_t port2;                        /* +26 */
} Qor_Ethernet_TxFifo_Config_Tcp4_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_TxFifo_Config_Tcp4_t) == 28, "Qor_Ethernet_TxFifo_Config_Tcp4_t is 28 bytes");

/* What a configuration gives back; written only on success. */
typedef struct Qor_Ethernet_TxFifo_ConfigResult_t {
  uint32_t fifoId;      /* +0 */
  uint16_t secondValue; /* +4 */
  uint16_t reserved;    /* +6 0 */
} Qor_Ethernet_TxFifo_ConfigResult_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_TxFifo_ConfigResult_t) == 8, "Qor_Ethernet_TxFifo_ConfigResult_t is 8 bytes");

typedef struct Qor_Ethernet_TxFifo_DeleteKey_t {
  uint32_t flags;  /* +0 bit 0 */
  uint32_t fifoId; /* +4 */
} Qor_Ethernet_TxFifo_DeleteKey_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_TxFifo_DeleteKey_t) == 8, "Qor_Ethernet_TxFifo_DeleteKey_t is 8 bytes");

typedef struct Qor_Ethernet_TxFifo_Key_t {
  uint32_t flags;  /* +0 0 */
  uint32_t fifoId; /* +4 */
} Qor_Ethernet_TxFifo_Key_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_TxFifo_Key_t) == 8, "Qor_Ethernet_TxFifo_Key_t is 8 bytes");

/* A FIFO's state: 1 to 4 for the firmware's states 0 to 3, 0 for any other. */
typedef struct Qor_Ethernet_TxFifo_State_t {
  uint8_t state;       /* +0 */
  uint8_t reserved[3]; /* +1 0 */
} Qor_Ethernet_TxFifo_State_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_TxFifo_State_t) == 4, "Qor_Ethernet_TxFifo_State_t is 4 bytes");

/* One frame (or payload) to write. */
typedef struct Qor_Ethernet_TxFifo_Entry_t {
  uint16_t length;      /* +0 bytes at data */
  uint8_t reserved[6];  /* +2 0 */
  const uint8_t* data;  /* +8 */
} Qor_Ethernet_TxFifo_Entry_t;
QOR_STATIC_ASSERT(offsetof(Qor_Ethernet_TxFifo_Entry_t, data) == 8, "entry data at 8");

QOR_API uint32_t Qor_Ethernet_TxFifo_Config_Raw(uint32_t port, const Qor_Ethernet_TxFifo_Config_Raw_t* config,
                                                Qor_Ethernet_TxFifo_ConfigResult_t* result);
QOR_API uint32_t Qor_Ethernet_TxFifo_Config_Icmp6(uint32_t port, const Qor_Ethernet_TxFifo_Config_Icmp6_t* config,
                                                  Qor_Ethernet_TxFifo_ConfigResult_t* result);
QOR_API uint32_t Qor_Ethernet_TxFifo_Config_Udp6(uint32_t port, const Qor_Ethernet_TxFifo_Config_Udp6_t* config,
                                                 Qor_Ethernet_TxFifo_ConfigResult_t* result);
QOR_API uint32_t Qor_Ethernet_TxFifo_Config_Tcp6(uint32_t port, const Qor_Ethernet_TxFifo_Config_Tcp6_t* config,
                                                 Qor_Ethernet_TxFifo_ConfigResult_t* result);
QOR_API uint32_t Qor_Ethernet_TxFifo_Config_Udp4(uint32_t port, const Qor_Ethernet_TxFifo_Config_Udp4_t* config,
                                                 Qor_Ethernet_TxFifo_ConfigResult_t* result);
QOR_API uint32_t Qor_Ethernet_TxFifo_Config_Tcp4(uint32_t port, const Qor_Ethernet_TxFifo_Config_Tcp4_t* config,
                                                 Qor_Ethernet_TxFifo_ConfigResult_t* result);
/* What the six above send: the firmware flag, the values, the type and its protocol data; the outputs are written on
 * success only. */
QOR_API uint32_t Qor_Ethernet_TxFifo_Config(uint32_t port, uint32_t flag, uint32_t firstValue, uint32_t secondValue,
                                            uint16_t thirdValue, Ethernet_Param_TxFifo_Type_t type,
                                            uint32_t protocolLength, const uint8_t* protocolData, uint32_t* fifoId,
                                            uint16_t* secondValueOut);

QOR_API uint32_t Qor_Ethernet_TxFifo_Delete(uint32_t port, const Qor_Ethernet_TxFifo_DeleteKey_t* key);
QOR_API uint32_t Qor_Ethernet_TxFifo_Connect(uint32_t port, const Qor_Ethernet_TxFifo_Key_t* key);
QOR_API uint32_t Qor_Ethernet_TxFifo_Disconnect(uint32_t port, const Qor_Ethernet_TxFifo_Key_t* key);
QOR_API uint32_t Qor_Ethernet_TxFifo_GetState(uint32_t port, const Qor_Ethernet_TxFifo_Key_t* key,
                                              Qor_Ethernet_TxFifo_State_t* state);

/* Writes the entries in order, in chunks within the port's maximum parameter length and the FIFO's free slots. Every
 * entry is checked before the first chunk leaves; a FIFO that stays full for a second ends the call (the chunks sent
 * before stay queued). Flags must be 0. */
QOR_API uint32_t Qor_Ethernet_TxFifo_Write(uint32_t port, uint32_t flags, uint32_t fifoId, uint32_t count,
                                           const Qor_Ethernet_TxFifo_Entry_t* entries);
/* Asks until the FIFO has a free slot, for up to a second; freeSlots holds the last count asked. */
QOR_API uint32_t Qor_Ethernet_TxFifo_WaitForFreeSlots(uint32_t port, uint32_t fifoId, uint32_t* freeSlots);

QOR_END_DECLS

#endif
