/* libqor_api_ethernet: the automotive Ethernet controller of a port whose interface type is 14. */
#ifndef QOR_ETHERNET_H
#define QOR_ETHERNET_H

#include "qor_ethernet_mii_mux.h"
#include "qor_ethernet_monitor.h"
#include "qor_ethernet_node.h"
#include "qor_ethernet_packet_filter.h"
#include "qor_ethernet_packet_generator.h"
#include "qor_ethernet_phy.h"
#include "qor_ethernet_ping.h"
#include "qor_ethernet_rx_fifo.h"
#include "qor_ethernet_tar.h"
#include "qor_ethernet_tp.h"
#include "qor_ethernet_tx_fifo.h"
#include "qor_ethernet_types.h"

#endif
