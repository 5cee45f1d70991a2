/* The address and socket protocol types that the other Ethernet calls take, and their firmware codes. */
#ifndef QOR_ETHERNET_TYPES_H
#define QOR_ETHERNET_TYPES_H

#include "qor_types.h"

QOR_BEGIN_DECLS

typedef uint32_t Qor_Ethernet_IpAddressType_t;       /* 0 to 5 */
typedef uint32_t Qor_Ethernet_SocketProtocolType_t;  /* 0 to 3 */
#define QOR_ETHERNET_MAX_IP_ADDRESS_TYPE 5u
#define QOR_ETHERNET_MAX_SOCKET_PROTOCOL_TYPE 3u

/* The firmware's code of a valid type is the type itself; an unknown type is reported for the port. */
QOR_API uint32_t Qor_Ethernet_Internal_Translate_IpAddressType_Api2Fw(uint32_t port, Qor_Ethernet_IpAddressType_t type,
                                                                      uint8_t* firmwareType);
QOR_API uint32_t Qor_Ethernet_Internal_Translate_SocketProtocolType_Api2Fw(uint32_t port,
                                                                           Qor_Ethernet_SocketProtocolType_t type,
                                                                           uint8_t* firmwareType);

QOR_END_DECLS

#endif
