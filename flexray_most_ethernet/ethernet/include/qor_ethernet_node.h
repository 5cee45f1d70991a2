/* The Ethernet controller's node: its local IPv4 and IPv6 addresses, VLANs, MAC address, MTU and data rate. The
 * qualifier words and prefix values belong to the firmware. Flags bit 0 of a record: its qualifier applies. */
#ifndef QOR_ETHERNET_NODE_H
#define QOR_ETHERNET_NODE_H

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_ETHERNET_NODE_QUALIFIED 0x01u
#define QOR_ETHERNET_NODE_MAX_IP4_ADDRESSES 100u
#define QOR_ETHERNET_NODE_MAX_IP6_ADDRESSES 100u
#define QOR_ETHERNET_NODE_MAX_VLANS 128u

typedef struct Qor_Ethernet_Node_Ip4Address_t {
  uint32_t flags;     /* +0 bit 0 */
  uint8_t address[4]; /* +4 */
  uint8_t mask[4];    /* +8 */
  uint32_t qualifier; /* +12 */
} Qor_Ethernet_Node_Ip4Address_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_Node_Ip4Address_t) == 16, "IPv4 address is 16 bytes");

typedef struct Qor_Ethernet_Node_Ip4AddressKey_t {
  uint32_t flags;     /* +0 bit 0 */
  uint8_t address[4]; /* +4 */
  uint32_t qualifier; /* +8 */
} Qor_Ethernet_Node_Ip4AddressKey_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_Node_Ip4AddressKey_t) == 12, "IPv4 address key is 12 bytes");

typedef struct Qor_Ethernet_Node_Ip6Address_t {
  uint32_t flags;       /* +0 bit 0 */
  uint8_t address[16];  /* +4 */
  uint8_t prefix;       /* +20 */
  uint8_t reserved[3];  /* +21 0 */
  uint32_t qualifier;   /* +24 */
} Qor_Ethernet_Node_Ip6Address_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_Node_Ip6Address_t) == 28, "IPv6 address is 28 bytes");

typedef struct Qor_Ethernet_Node_Ip6AddressKey_t {
  uint32_t flags;      /* +0 bit 0 */
  uint8_t address[16]; /* +4 */
  uint32_t qualifier;  /* +20 */
} Qor_Ethernet_Node_Ip6AddressKey_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_Node_Ip6AddressKey_t) == 24, "IPv6 address key is 24 bytes");

/* Which addresses or MAC address to read; for the VLAN calls the qualifier is the VLAN value. */
typedef struct Qor_Ethernet_Node_Selection_t {
  uint32_t flags;     /* +0 */
  uint32_t qualifier; /* +4 */
} Qor_Ethernet_Node_Selection_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_Node_Selection_t) == 8, "node selection is 8 bytes");

typedef struct Qor_Ethernet_Node_MacAddressSetting_t {
  uint32_t flags;     /* +0 bit 0 */
  uint8_t address[6]; /* +4 */
  uint16_t reserved;  /* +10 0 */
  uint32_t qualifier; /* +12 */
} Qor_Ethernet_Node_MacAddressSetting_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_Node_MacAddressSetting_t) == 16, "MAC address setting is 16 bytes");

typedef struct Qor_Ethernet_Node_Ip4Entry_t {
  uint8_t address[4]; /* +0 */
  uint8_t mask[4];    /* +4 */
  uint32_t reserved;  /* +8 0 */
} Qor_Ethernet_Node_Ip4Entry_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_Node_Ip4Entry_t) == 12, "IPv4 entry is 12 bytes");

/* A list's count is the number of entries read; on "buffer too small" it is the firmware's count and no entry is
 * read. Entries past the count are 0. */
typedef struct Qor_Ethernet_Node_Ip4AddressList_t {
  uint32_t reserved;  /* +0 0 */
  uint16_t count;     /* +4 */
  uint16_t reserved2; /* +6 0 */
  Qor_Ethernet_Node_Ip4Entry_t entries[QOR_ETHERNET_NODE_MAX_IP4_ADDRESSES]; /* +8 */
} Qor_Ethernet_Node_Ip4AddressList_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_Node_Ip4AddressList_t) == 1208, "IPv4 address list is 1208 bytes");

typedef struct Qor_Ethernet_Node_Ip6Entry_t {
  uint8_t address[16]; /* +0 */
  uint8_t prefix;      /* +16 */
  uint8_t reserved[3]; /* +17 0 */
} Qor_Ethernet_Node_Ip6Entry_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_Node_Ip6Entry_t) == 20, "IPv6 entry is 20 bytes");

typedef struct Qor_Ethernet_Node_Ip6AddressList_t {
  uint32_t reserved;  /* +0 0 */
  uint16_t count;     /* +4 */
  uint16_t reserved2; /* +6 0 */
  Qor_Ethernet_Node_Ip6Entry_t entries[QOR_ETHERNET_NODE_MAX_IP6_ADDRESSES]; /* +8 */
} Qor_Ethernet_Node_Ip6AddressList_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_Node_Ip6AddressList_t) == 2008, "IPv6 address list is 2008 bytes");

typedef struct Qor_Ethernet_Node_VlanList_t {
  uint32_t reserved;                          /* +0 0 */
  uint16_t count;                             /* +4 */
  uint16_t reserved2;                         /* +6 0 */
  uint32_t vlans[QOR_ETHERNET_NODE_MAX_VLANS]; /* +8 */
} Qor_Ethernet_Node_VlanList_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_Node_VlanList_t) == 520, "VLAN list is 520 bytes");

typedef struct Qor_Ethernet_Node_MacAddress_t {
  uint32_t reserved;  /* +0 0 */
  uint8_t address[6]; /* +4 */
  uint16_t reserved2; /* +10 0 */
} Qor_Ethernet_Node_MacAddress_t;
QOR_STATIC_ASSERT(sizeof(Qor_Ethernet_Node_MacAddress_t) == 12, "MAC address is 12 bytes");

QOR_API uint32_t Qor_Ethernet_Node_LocalIp4Address_Add(uint32_t port, const Qor_Ethernet_Node_Ip4Address_t* address);
QOR_API uint32_t Qor_Ethernet_Node_LocalIp4Address_Remove(uint32_t port, const Qor_Ethernet_Node_Ip4AddressKey_t* key);
QOR_API uint32_t Qor_Ethernet_Node_LocalIp4Address_GetAll(uint32_t port, const Qor_Ethernet_Node_Selection_t* selection,
                                                          Qor_Ethernet_Node_Ip4AddressList_t* list);
QOR_API uint32_t Qor_Ethernet_Node_LocalIp6Address_Add(uint32_t port, const Qor_Ethernet_Node_Ip6Address_t* address);
QOR_API uint32_t Qor_Ethernet_Node_LocalIp6Address_Remove(uint32_t port, const Qor_Ethernet_Node_Ip6AddressKey_t* key);
QOR_API uint32_t Qor_Ethernet_Node_LocalIp6Address_GetAll(uint32_t port, const Qor_Ethernet_Node_Selection_t* selection,
                                                          Qor_Ethernet_Node_Ip6AddressList_t* list);
/* The selection's flags must be 0. */
QOR_API uint32_t Qor_Ethernet_Node_Vlan_Config(uint32_t port, const Qor_Ethernet_Node_Selection_t* vlan);
QOR_API uint32_t Qor_Ethernet_Node_Vlan_Delete(uint32_t port, const Qor_Ethernet_Node_Selection_t* vlan);
/* flags must be 0. */
QOR_API uint32_t Qor_Ethernet_Node_Vlan_GetAll(uint32_t port, uint32_t flags, Qor_Ethernet_Node_VlanList_t* list);
QOR_API uint32_t Qor_Ethernet_Node_MacAddress_Get(uint32_t port, const Qor_Ethernet_Node_Selection_t* selection,
                                                  Qor_Ethernet_Node_MacAddress_t* macAddress);
QOR_API uint32_t Qor_Ethernet_Node_MacAddress_Set(uint32_t port, const Qor_Ethernet_Node_MacAddressSetting_t* setting);

QOR_API uint32_t Qor_Ethernet_Node_Mtu_Set(uint32_t port, uint32_t mtu);
QOR_API uint32_t Qor_Ethernet_Node_Mtu_Get(uint32_t port, uint32_t* mtu);
QOR_API uint32_t Qor_Ethernet_Node_DataRate_Set(uint32_t port, uint32_t dataRate);
QOR_API uint32_t Qor_Ethernet_Node_DataRate_Get(uint32_t port, uint32_t* dataRate);

QOR_END_DECLS

#endif
