/* The Ethernet controller's ping: started by the host, run by the firmware, whose states and values these are. */
#ifndef QOR_ETHERNET_PING_H
#define QOR_ETHERNET_PING_H

#include "qor_types.h"

QOR_BEGIN_DECLS

/* Bit 0 goes to the firmware; with bit 1 the start does not wait for the outcome. */
#define QOR_ETHERNET_PING_FLAGS 0x03u
#define QOR_ETHERNET_PING_NO_WAIT 0x02u
#define QOR_ETHERNET_PING_MAX_PROTOCOL 1u
/* The state of a ping still running; states 0 to 3 are the firmware's, 4 stands for any other it gives. */
#define QOR_ETHERNET_PING_STATE_RUNNING 1u
#define QOR_ETHERNET_PING_STATE_UNKNOWN 4u
/* The longest a start waits for the outcome; a ping still running then gives state 1, as without waiting. */
#define QOR_ETHERNET_PING_WAIT_MS 5000u

typedef struct Qor_Ethernet_Ping_t {
  uint32_t flags;      /* +0 bits 0 and 1 */
  uint8_t protocol;    /* +4 0 or 1 */
  uint8_t reserved[3]; /* +5 0 */
  uint16_t value1;     /* +8 */
  uint16_t value2;     /* +10 */
  uint32_t value3;     /* +12 */
  uint8_t address[16]; /* +16 */
} Qor_Ethernet_Ping_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_Ping_t) == 32, "ping is 32 bytes");

typedef struct Qor_Ethernet_PingResult_t {
  uint32_t reserved;   /* +0 0 */
  uint8_t state;       /* +4 0 to 4 */
  uint8_t reserved2[3]; /* +5 0 */
} Qor_Ethernet_PingResult_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_PingResult_t) == 8, "ping result is 8 bytes");

/* Starts the ping and, unless told not to, polls its state each millisecond while it runs. */
QOR_API uint32_t Qor_Ethernet_Ping_Start(uint32_t port, const Qor_Ethernet_Ping_t* ping,
                                         Qor_Ethernet_PingResult_t* result);
/* *flags must be 0. */
QOR_API uint32_t Qor_Ethernet_Ping_GetState(uint32_t port, const uint32_t* flags, Qor_Ethernet_PingResult_t* result);

QOR_END_DECLS

#endif
