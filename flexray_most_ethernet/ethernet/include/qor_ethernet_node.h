/* The Ethernet controller's node: its MTU and data rate. */
#ifndef QOR_ETHERNET_NODE_H
#define QOR_ETHERNET_NODE_H

#include "qor_types.h"

QOR_BEGIN_DECLS

QOR_API uint32_t Qor_Ethernet_Node_Mtu_Set(uint32_t port, uint32_t mtu);
QOR_API uint32_t Qor_Ethernet_Node_Mtu_Get(uint32_t port, uint32_t* mtu);
QOR_API uint32_t Qor_Ethernet_Node_DataRate_Set(uint32_t port, uint32_t dataRate);
QOR_API uint32_t Qor_Ethernet_Node_DataRate_Get(uint32_t port, uint32_t* dataRate);

QOR_END_DECLS

#endif
